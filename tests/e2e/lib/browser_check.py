#!/usr/bin/env python3
"""Checks that a real browser shows a recorded GIF or MP4 as its frames.

Usage: browser_check.py GIF|MP4 OUTDIR

An MP4 (by its name) is shown in a <video> that seeks to the middle of the
movie; the screenshot must show the frame due there within coding error
(the browser and ffmpeg each turn the same decoded YCbCr into RGB: on
average within 3 levels, and nearer to that frame than to any other that
differs from it), with the background around it.

For a GIF:
Writes OUTDIR/page.html showing the GIF at its natural size in the top-left
corner (margin 0) on a background colour no frame uses, and takes a
screenshot of it with headless Chromium (OUTDIR/screenshot.png), the window
MARGIN pixels wider and taller than the GIF. Passes when the screenshot
shows the background around the GIF's rectangle and that rectangle equals
one frame of the GIF exactly, as ffmpeg decodes it (composited frames).

The page keeps its load event back by a busy loop of HOLD seconds, in a
frame added once the GIF has loaded and is about to be drawn (a loop that
began before its first drawing delayed the animation's start too: frame 0
in about one screenshot of six under load), so the screenshot comes after the
animation has played that long in real time:
the shown frame must then be one due at least HOLD less a frame after the
start, not the first full picture. Headless Chromium's virtual time does not
drive GIF animation (with --virtual-time-budget from 100 to 8000 ms it
showed frame 0 or 1), so the frame's time has a lower bound only."""
import html
import os
import pathlib
import subprocess
import sys
import tempfile

MARGIN = 32
BACKGROUNDS = [(255, 0, 255), (0, 255, 255), (255, 255, 0), (128, 0, 128), (1, 2, 3)]


def raw(path, width, height, crop=None):
    """A picture file's (or every GIF frame's) rgb24 pixels, frame by frame."""
    vf = ["-vf", "crop=%d:%d:0:0" % crop] if crop else []
    data = subprocess.run(["ffmpeg", "-v", "error", "-i", path] + vf + ["-f", "rawvideo", "-pix_fmt", "rgb24", "-"],
                          check=True, capture_output=True).stdout
    size = width * height * 3
    return [data[i:i + size] for i in range(0, len(data) - size + 1, size)]


def uses(frame, colour):
    """Whether a pixel of the rgb24 frame has the colour."""
    i = frame.find(colour)
    while i >= 0 and i % 3:
        i = frame.find(colour, i + 1)
    return i >= 0


def differing(a, b):
    return sum(a[i:i + 3] != b[i:i + 3] for i in range(0, len(a), 3))


def screenshot(page, outdir, w, h, extra=()):
    """Headless Chromium's screenshot of the page, as rgb24."""
    shot = os.path.join(outdir, "screenshot.png")
    if os.path.exists(shot):
        os.remove(shot)
    with tempfile.TemporaryDirectory() as profile:
        run = subprocess.run(
            ["timeout", "60", "/usr/bin/chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
             "--no-first-run", "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--user-data-dir=" + profile, "--force-device-scale-factor=1", "--force-color-profile=srgb",
             "--hide-scrollbars", "--window-size=%d,%d" % (w, h), *extra, "--screenshot=" + shot,
             pathlib.Path(page).as_uri()],
            capture_output=True, text=True)
    if run.returncode != 0 or not os.path.exists(shot):
        sys.exit("browser_check: chromium exited %d without a screenshot:\n%s" % (run.returncode, run.stderr[-2000:]))
    whole = raw(shot, w, h)
    if len(whole) != 1:
        sys.exit("browser_check: the screenshot is not %dx%d" % (w, h))
    return shot, whole[0]


def mean_difference(a, b):
    return sum(abs(x - y) for x, y in zip(a, b)) / len(a)


def check_mp4(movie, outdir):
    probe = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                            "stream=width,height,r_frame_rate", "-of", "csv=p=0", movie],
                           check=True, capture_output=True, text=True).stdout.strip().split(",")
    width, height = int(probe[0]), int(probe[1])
    num, den = (int(v) for v in probe[2].split("/"))
    rate = num / den
    frames = raw(movie, width, height)
    if len(frames) < 3:
        sys.exit("browser_check: %s decodes to %d frames" % (movie, len(frames)))
    k = len(frames) // 2
    at = (k + 0.5) / rate  # the middle of frame k's time
    background = next(c for c in BACKGROUNDS if not any(uses(f, bytes(c)) for f in (frames[k],)))
    page = os.path.join(outdir, "page.html")
    with open(page, "w") as f:
        f.write('<!DOCTYPE html>\n<html><head><style>html, body { margin: 0; padding: 0; background: #%02x%02x%02x; }'
                ' video { display: block; }</style></head>\n<body><video id="v" src="%s" muted preload="auto">'
                '</video>\n<script>const v = document.getElementById("v");'
                ' v.addEventListener("loadedmetadata", () => { v.currentTime = %.4f; });</script></body></html>\n'
                % (background + (html.escape(pathlib.Path(movie).as_uri()), at)))
    w, h = width + MARGIN, height + MARGIN
    shot, whole = screenshot(page, outdir, w, h, ["--virtual-time-budget=5000"])
    around = b"".join(whole[(y * w + (width if y < height else 0)) * 3:(y + 1) * w * 3] for y in range(h))
    if around != bytes(background) * (len(around) // 3):
        sys.exit("browser_check: the screenshot does not show the background around the %dx%d video" % (width, height))
    crop = raw(shot, width, height, (width, height))[0]
    differences = [mean_difference(crop, f) for f in frames]
    nearest = min(range(len(frames)), key=lambda j: differences[j])
    print("browser_check: %s %dx%d, %d frames at %.3g fps: seeking to %.3f s the browser shows frame %d within %.2f"
          " levels on average (frame %d, due there: %.2f)"
          % (os.path.basename(movie), width, height, len(frames), rate, at, nearest, differences[nearest], k,
             differences[k]))
    if differences[k] > 3:
        sys.exit("browser_check: the browser's picture differs from frame %d by %.2f levels on average (screenshot"
                 " in %s)" % (k, differences[k], shot))
    if differences[nearest] < differences[k] and frames[nearest] != frames[k]:
        sys.exit("browser_check: the browser shows frame %d, not frame %d" % (nearest, k))


def main():
    gif, outdir = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    os.makedirs(outdir, exist_ok=True)
    if gif.lower().endswith(".mp4"):
        return check_mp4(gif, outdir)
    probe = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                            "stream=width,height:frame=pts_time", "-of", "csv=p=0", gif],
                           check=True, capture_output=True, text=True).stdout.split()
    width, height = (int(v) for v in next(p for p in probe if "," in p).split(","))
    times = [float(p) for p in probe if "," not in p]
    frames = raw(gif, width, height)
    if not frames or len(frames) != len(times):
        sys.exit("browser_check: ffmpeg decoded %d frames, ffprobe timed %d" % (len(frames), len(times)))
    background = next((c for c in BACKGROUNDS if not any(uses(f, bytes(c)) for f in frames)), None)
    if background is None:
        sys.exit("browser_check: the GIF uses every background colour tried")
    # A quarter of the length at most: a slow start must not wrap the loop around.
    hold = min(1.5, (times[-1] + (times[-1] - times[-2] if len(times) > 1 else 0)) / 4)
    page = os.path.join(outdir, "page.html")
    with open(page, "w") as f:
        f.write('<!DOCTYPE html>\n<html><head><style>html, body { margin: 0; padding: 0; background: #%02x%02x%02x; }'
                ' img { display: block; } iframe { display: none; }</style></head>\n<body>'
                '<img src="%s" onload="requestAnimationFrame(function () { var f = document.createElement(\'iframe\');'
                ' f.srcdoc = \'<script>var t = Date.now(); while (Date.now() - t &lt; %d) {}</script>\';'
                ' document.body.appendChild(f); })"></body></html>\n'
                % (background + (html.escape(pathlib.Path(gif).as_uri()), int(hold * 1000))))
    w, h = width + MARGIN, height + MARGIN
    shot, shown_page = screenshot(page, outdir, w, h)
    whole = [shown_page]
    outside = sum(x >= width or y >= height for y in range(h) for x in range(w)) * 3
    around = b"".join(whole[0][(y * w + (width if y < height else 0)) * 3:(y + 1) * w * 3] for y in range(h))
    if len(around) != outside or around != bytes(background) * (outside // 3):
        sys.exit("browser_check: the screenshot does not show the background around the %dx%d GIF" % (width, height))
    crop = raw(shot, width, height, (width, height))[0]
    shown = [k for k, f in enumerate(frames) if f == crop]
    if not shown:
        best = min(range(len(frames)), key=lambda k: differing(crop, frames[k]))
        sys.exit("browser_check: the browser showed no frame of %s; the nearest, frame %d (%.2f s), differs in %d of"
                 " %d pixels (screenshot in %s)" % (gif, best, times[best], differing(crop, frames[best]),
                                                    width * height, shot))
    k = shown[-1]
    step = times[k + 1] - times[k] if k + 1 < len(times) else 0.1
    print("browser_check: %s %dx%d, %d frames, background #%02x%02x%02x: the browser shows frame %d (%.2f s)"
          " exactly (0 of %d pixels differ; identical frames %s) after a hold of %.2f s"
          % (os.path.basename(gif), width, height, len(frames), *background, k, times[k], width * height, shown, hold))
    if times[k] < hold - step - 0.001:
        sys.exit("browser_check: frame %d (%.2f s) is earlier than due after the %.2f s hold: the animation stalled"
                 % (k, times[k], hold))


if __name__ == "__main__":
    main()
