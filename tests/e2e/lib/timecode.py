#!/usr/bin/env python3
"""Reads the time codes that `pattern.exe bars` painted out of a movie.

  timecode.py MOVIE [--crop W:H:X:Y]      prints one line per frame:
                                           its index and code, or "-" when
                                           the frame does not read clearly

A frame reads when each of the 16 bars is clearly black or white across
the top half's middle row; its code is what they spell. A grab copied in
bands (as the Windows grabber does where that is faster) can take rows from
before and after a repaint: a frame whose bottom half is not the top half
inverted is torn, which torn() counts. The codes count steps (of the
pattern's STEP_MS) since the pattern started. As a module: read(), codes(), torn()."""
import json
import subprocess
import sys


def size(movie):
    s = json.loads(subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                                   "stream=width,height", "-of", "json", movie],
                                  check=True, capture_output=True).stdout)["streams"][0]
    return s["width"], s["height"]


def read(movie, crop=None):
    """(code or None, torn) for every frame."""
    w, h = size(movie)
    vf = []
    if crop:
        vf = ["-vf", "crop=" + crop]
        w, h = (int(v) for v in crop.split(":")[:2])
    grey = subprocess.run(["ffmpeg", "-v", "error", "-i", movie] + vf +
                          ["-vsync", "passthrough", "-f", "rawvideo", "-pix_fmt", "gray", "-"],
                          check=True, capture_output=True).stdout
    out = []
    for at in range(0, len(grey) - w * h + 1, w * h):
        frame = grey[at:at + w * h]
        code, clear, torn = 0, True, False
        for bit in range(16):
            x = (2 * bit + 1) * w // 32
            top, bottom = frame[(h // 4) * w + x], frame[(3 * h // 4) * w + x]
            if 64 <= top <= 192:
                clear = False
                break
            if top > 192:
                code |= 1 << bit
            torn = torn or not ((top > 192 and bottom < 64) or (top < 64 and bottom > 192))
        out.append((code if clear else None, torn and clear))
    return out


def codes(movie, crop=None):
    """The code of every frame, None where it does not read."""
    return [c for c, _ in read(movie, crop)]


def torn(movie, crop=None):
    """How many frames read but show two codes."""
    return sum(t for _, t in read(movie, crop))


if __name__ == "__main__":
    crop = sys.argv[sys.argv.index("--crop") + 1] if "--crop" in sys.argv else None
    for k, (c, t) in enumerate(read(sys.argv[1], crop)):
        print(k, "-" if c is None else c, "torn" if t else "")
