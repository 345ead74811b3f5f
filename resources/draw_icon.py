#!/usr/bin/env python3
"""Draws the program icon, kestrascope.ico: 32 x 32 in 16 colours, and a
16 x 16 version for small title bars. Run it after changing the drawing;
the .ico it writes is committed beside it.

The picture is the program in miniature: a red frame around a dark region
with a red "record" dot in it."""
import struct
import sys
from pathlib import Path

# The 16-colour palette (B, G, R, 0), standard VGA order.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
    (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
    (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DARK_RED, GREY, DARK_GREY, RED, WHITE = 0, 1, 7, 8, 9, 15
CLEAR = None


def draw(size):
    s = size / 32.0
    px = [[CLEAR] * size for _ in range(size)]

    def rect(x0, y0, x1, y1, c):
        for y in range(int(round(y0 * s)), int(round(y1 * s))):
            for x in range(int(round(x0 * s)), int(round(x1 * s))):
                px[y][x] = c

    rect(1, 3, 31, 29, BLACK)      # outline
    rect(2, 4, 30, 28, RED)        # the red frame
    rect(5, 7, 27, 25, BLACK)      # inner edge lines
    rect(6, 8, 26, 24, DARK_GREY)  # the region being recorded
    cx, cy, r = 16 * s, 16 * s, 5.2 * s
    for y in range(size):
        for x in range(size):
            d2 = (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2
            if d2 <= r * r:
                px[y][x] = RED
            elif d2 <= (r + 1.0 * s) ** 2 and px[y][x] == DARK_GREY:
                px[y][x] = DARK_RED
    # A highlight on the dot.
    rect(13.5, 12.5, 15.5, 14.5, WHITE)
    return px


def icon_image(px):
    size = len(px)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    xor_stride = ((size * 4 + 31) // 32) * 4
    and_stride = ((size + 31) // 32) * 4
    xor, mask = b"", b""
    for row in reversed(px):  # bottom-up
        bits = bytearray(xor_stride)
        m = bytearray(and_stride)
        for x, c in enumerate(row):
            v = 0 if c is None else c
            bits[x // 2] |= v << (4 if x % 2 == 0 else 0)
            if c is None:
                m[x // 8] |= 0x80 >> (x % 8)
        xor += bytes(bits)
        mask += bytes(m)
    return header + palette + xor + mask


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).with_name("kestrascope.ico")
    images = [icon_image(draw(32)), icon_image(draw(16))]
    sizes = [32, 16]
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, img in zip(sizes, images):
        data += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(img), offset)
        offset += len(img)
    data += b"".join(images)
    out.write_bytes(data)


if __name__ == "__main__":
    main()
