#!/usr/bin/env python3
"""Reads the time codes that `pattern.exe bars` painted out of a movie.

  timecode.py MOVIE [--crop W:H:X:Y]      prints one line per frame:
                                           its index and code, or "-" when
                                           the frame does not read clearly

A frame reads when each of the 16 bars is clearly black or white in both
halves and the bottom half is the top half inverted. The codes count steps
(of the pattern's STEP_MS) since the pattern started. As a module: codes()."""
import json
import subprocess
import sys


def size(movie):
    s = json.loads(subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                                   "stream=width,height", "-of", "json", movie],
                                  check=True, capture_output=True).stdout)["streams"][0]
    return s["width"], s["height"]


def codes(movie, crop=None):
    """The code of every frame, None where it does not read."""
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
        code, clear = 0, True
        for bit in range(16):
            x = (2 * bit + 1) * w // 32
            top, bottom = frame[(h // 4) * w + x], frame[(3 * h // 4) * w + x]
            if not ((top > 192 and bottom < 64) or (top < 64 and bottom > 192)):
                clear = False
                break
            if top > 192:
                code |= 1 << bit
        out.append(code if clear else None)
    return out


if __name__ == "__main__":
    crop = sys.argv[sys.argv.index("--crop") + 1] if "--crop" in sys.argv else None
    for k, c in enumerate(codes(sys.argv[1], crop)):
        print(k, "-" if c is None else c)
