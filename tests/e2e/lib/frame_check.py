#!/usr/bin/env python3
"""Checks a screenshot of the frame against the windows' real positions.

Usage: frame_check.py SHOT.ppm WINDOWS.txt [--expect-moved DX DY BEFORE.txt]

WINDOWS.txt is wininfo's listing. The capture region is worked out from the
four windows' rectangles (left = frmleft's right edge, top = frmtop's bottom
edge, right = frmright's left edge, bottom = frmbot's top edge); the check is
that every pixel inside it shows the desktop, and every pixel of the one-pixel
ring around it belongs to the frame. Prints the region; exits 1 on a failure.
"""
import sys


def read_ppm(path):
    with open(path, "rb") as f:
        data = f.read()
    parts, pos = [], 0
    while len(parts) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        parts.append(data[pos:end])
        pos = end
    if parts[0] != b"P6" or int(parts[3]) != 255:
        sys.exit("not an 8-bit binary PPM: " + path)
    w, h = int(parts[1]), int(parts[2])
    pixels = data[pos + 1:pos + 1 + w * h * 3]
    return w, h, pixels


def read_windows(path):
    wins = []
    for line in open(path, encoding="utf-8"):
        f = line.split(None, 10)
        if len(f) < 11:
            continue
        x, y, w, h, cx, cy, cw, ch, topmost, enabled = map(int, f[:10])
        wins.append(dict(x=x, y=y, w=w, h=h, cx=cx, cy=cy, cw=cw, ch=ch,
                         topmost=topmost, enabled=enabled, caption=f[10].strip()))
    return wins


def classify(wins):
    tops = [w for w in wins if w["caption"] == "kestrascope"]
    rest = [w for w in wins if w["caption"] == "-"]
    if len(tops) != 1 or len(rest) != 3:
        sys.exit("expected frmtop and three borderless windows, got %r" % wins)
    sides = sorted((w for w in rest if w["h"] > w["w"]), key=lambda w: w["x"])
    bars = [w for w in rest if w["w"] > w["h"]]
    if len(sides) != 2 or len(bars) != 1:
        sys.exit("cannot tell the side windows from the bar: %r" % rest)
    return dict(top=tops[0], left=sides[0], right=sides[1], bot=bars[0])


def main():
    args = sys.argv[1:]
    shot, listing = args[0], args[1]
    w, h, px = read_ppm(shot)
    f = classify(read_windows(listing))
    top, left, right, bot = f["top"], f["left"], f["right"], f["bot"]
    x0, y0 = left["x"] + left["w"], top["y"] + top["h"]
    x1, y1 = right["x"], bot["y"]
    failures = []

    def fail(msg):
        failures.append(msg)

    # The layout the program promises, read from the real windows.
    if not (left["x"] == top["x"] == bot["x"]):
        fail("left edges differ: top %d left %d bar %d" % (top["x"], left["x"], bot["x"]))
    if right["x"] + right["w"] != top["x"] + top["w"] or bot["w"] != top["w"]:
        fail("right edges differ")
    if not (left["y"] == right["y"] and left["y"] < y0):
        fail("side windows do not start inside frmtop")
    for side in (left, right):
        if side["y"] + side["h"] <= y1:
            fail("a side window ends above the bar")
    if any(not win["topmost"] for win in (top, left, right, bot)):
        fail("a frame window is not topmost")

    def rgb(x, y):
        i = (y * w + x) * 3
        return px[i], px[i + 1], px[i + 2]

    desktop = rgb(w - 2, h - 2)
    if desktop in ((255, 0, 0), (0, 0, 0)):
        fail("desktop colour looks like the frame: %r" % (desktop,))
    inside_bad = [(x, y) for y in range(y0, y1) for x in range(x0, x1) if rgb(x, y) != desktop]
    if inside_bad:
        fail("%d pixels inside the region are not the desktop, first %r" % (len(inside_bad), inside_bad[:3]))
    ring = [(x, y0 - 1) for x in range(x0 - 1, x1 + 1)] + [(x, y1) for x in range(x0 - 1, x1 + 1)]
    ring += [(x0 - 1, y) for y in range(y0, y1)] + [(x1, y) for y in range(y0, y1)]
    ring_bad = [(x, y) for (x, y) in ring if rgb(x, y) == desktop]
    if ring_bad:
        fail("%d ring pixels show the desktop, first %r" % (len(ring_bad), ring_bad[:3]))
    # Red where the frame windows have no lines.
    for name, (x, y) in (("frmleft", (left["x"] + 3, (y0 + y1) // 2)),
                         ("frmright", (right["x"] + 4, (y0 + y1) // 2)),
                         ("frmbot", (bot["x"] + bot["w"] // 2, bot["y"] + 10)),
                         ("frmtop strip", (top["cx"] + top["cw"] // 2, top["cy"] + top["ch"] // 2))):
        if rgb(x, y) != (255, 0, 0):
            fail("%s is not red at (%d,%d): %r" % (name, x, y, rgb(x, y)))

    if "--expect-moved" in args:
        i = args.index("--expect-moved")
        dx, dy, before = int(args[i + 1]), int(args[i + 2]), classify(read_windows(args[i + 3]))
        for name in ("top", "left", "right", "bot"):
            a, b = before[name], f[name]
            if (b["x"] - a["x"], b["y"] - a["y"]) != (dx, dy) or (a["w"], a["h"]) != (b["w"], b["h"]):
                fail("%s moved by (%d,%d) size %dx%d, expected (%d,%d) size %dx%d" % (
                    name, b["x"] - a["x"], b["y"] - a["y"], b["w"], b["h"], dx, dy, a["w"], a["h"]))

    print("region %d %d %d %d" % (x0, y0, x1 - x0, y1 - y0))
    for msg in failures:
        print("FAIL: " + msg)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
