#!/usr/bin/env python3
"""Checks that a window's controls fit its client area and do not cover each
other, from what wininfo reported about the real window.

    layout_check.py WINDOW_LINE_FILE CONTROLS_FILE

WINDOW_LINE_FILE holds the window's `wininfo list` line:
    x y w h clientx clienty clientw clienth topmost enabled caption
CONTROLS_FILE holds `wininfo controls` output, one control per line:
    class x y w h enabled text       (item lines start with blanks)
All in screen pixels. A control drawn under others as their background (a
picture the size of the client area) may be covered. Overlaps of up to
SLACK pixels in either direction are rounding where two controls meet.
Prints each fault and exits 1 when there is one.
"""
import sys

SLACK = 2


def main(window_file, controls_file):
    with open(window_file, encoding="utf-8") as f:
        fields = f.readline().split()
    if len(fields) < 8:
        print(f"no window line in {window_file}")
        return 1
    cx, cy, cw, ch = (int(v) for v in fields[4:8])
    controls = []
    with open(controls_file, encoding="utf-8") as f:
        for line in f:
            if not line.strip() or line.startswith(" "):
                continue
            parts = line.rstrip("\n").split(" ", 6)
            kind = parts[0]
            x, y, w, h = (int(v) for v in parts[1:5])
            text = parts[6] if len(parts) > 6 else ""
            controls.append((kind, text, x, y, w, h))
    if not controls:
        print(f"no controls in {controls_file}")
        return 1

    faults = []
    for kind, text, x, y, w, h in controls:
        if x < cx or y < cy or x + w > cx + cw or y + h > cy + ch:
            faults.append(f"{kind} '{text}' at {x},{y} {w}x{h} is not inside the client area "
                          f"{cx},{cy} {cw}x{ch}")

    def background(c):
        return c[4] >= cw - SLACK and c[5] >= SLACK and c[4] * c[5] >= cw * ch // 3

    for i, a in enumerate(controls):
        for b in controls[i + 1:]:
            if background(a) or background(b):
                continue
            dx = min(a[2] + a[4], b[2] + b[4]) - max(a[2], b[2])
            dy = min(a[3] + a[5], b[3] + b[5]) - max(a[3], b[3])
            if dx > SLACK and dy > SLACK:
                faults.append(f"{a[0]} '{a[1]}' and {b[0]} '{b[1]}' overlap by {dx}x{dy} pixels")
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:3]))
