#!/usr/bin/env python3
"""Checks a recorded movie against what the screen showed.

Usage: movie_check.py [--loose] [--lossless | --gif] [--step MS] [--min-new PCT] [--max-median-late MS]
                      [--pauses N [--pause-seconds S]]
                      MOVIE.avi RATE WIDTH HEIGHT SPLIT [CURSOR_X CURSOR_Y]

The screen under the region showed the pattern tool: above row SPLIT of the
region it carries the time (in steps of --step ms, 10 by default) in red and
green with blue 0x40, below it is pure blue. --lossless expects a ZMBV movie (decoded to the same
pixels) instead of an uncompressed one; --gif an animated GIF, whose frames
are checked against the times they are shown at instead of k / RATE. --min-new asks that at least
that share of the frames be new pictures; --max-median-late that the new
pictures be grabbed, at the median, within that many ms of their due time
(frame k is due k / RATE seconds after the first). --pauses expects exactly
N jumps in the times (of about S seconds each), and checks the schedule and
the count on the time recorded, the jumps taken out. With --loose (rates the time pattern cannot resolve) only the order of the
times is checked, not the schedule and count. Checks: ffprobe's stream parameters, that every frame is the
right way up, that the times never go backwards and follow the schedule
(frame k about k / RATE seconds after frame 0), that the frame count fits
the recording's length, and that the cursor shows at the pointer."""
import json
import subprocess
import sys


def main():
    loose = "--loose" in sys.argv
    if loose:
        sys.argv.remove("--loose")

    def option(name, default):
        if name not in sys.argv:
            return default
        i = sys.argv.index(name)
        value = float(sys.argv[i + 1])
        del sys.argv[i:i + 2]
        return value

    lossless = "--lossless" in sys.argv
    if lossless:
        sys.argv.remove("--lossless")
    gif = "--gif" in sys.argv
    if gif:
        sys.argv.remove("--gif")
    step = option("--step", 10)
    pauses = option("--pauses", None)
    pause_seconds = option("--pause-seconds", None)
    min_new = option("--min-new", None)
    max_late = option("--max-median-late", None)
    movie, rate, width, height = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
    split = int(sys.argv[5])
    cursor = (int(sys.argv[6]), int(sys.argv[7])) if len(sys.argv) > 7 else None
    failures = []
    probe = json.loads(subprocess.run(
        ["ffprobe", "-v", "error", "-count_frames", "-show_streams", "-of", "json", movie],
        check=True, capture_output=True).stdout)
    s = probe["streams"][0]
    frames = int(s["nb_read_frames"])
    print("ffprobe: codec=%s pix_fmt=%s %sx%s r_frame_rate=%s frames=%d" % (
        s["codec_name"], s.get("pix_fmt"), s["width"], s["height"], s["r_frame_rate"], frames))
    if gif and s["codec_name"] != "gif":
        failures.append("not an animated GIF")
    if lossless and (s["codec_name"] != "zmbv" or s.get("pix_fmt") != "bgr0"):
        failures.append("not lossless ZMBV video")
    if not lossless and not gif and (s["codec_name"] != "rawvideo" or s.get("pix_fmt") != "bgr24"):
        failures.append("not uncompressed 24-bit video")
    if (s["width"], s["height"]) != (width, height):
        failures.append("size %sx%s, expected %dx%d" % (s["width"], s["height"], width, height))
    if not gif and s["r_frame_rate"] != "%d/1" % rate:
        failures.append("rate %s, expected %d/1" % (s["r_frame_rate"], rate))

    raw = subprocess.run(["ffmpeg", "-v", "error", "-i", movie, "-vsync", "passthrough", "-f", "rawvideo",
                          "-pix_fmt", "rgb24", "-"], check=True, capture_output=True).stdout
    size = width * height * 3
    count = len(raw) // size
    # When frame k is shown, in ms after frame 0.
    due = [k * 1000.0 / rate for k in range(count)]
    if gif:
        shown = json.loads(subprocess.run(
            ["ffprobe", "-v", "error", "-show_frames", "-show_entries", "frame=best_effort_timestamp_time",
             "-of", "json", movie], check=True, capture_output=True).stdout)["frames"]
        due = [1000.0 * (float(f["best_effort_timestamp_time"]) - float(shown[0]["best_effort_timestamp_time"]))
               for f in shown][:count]
        if len(due) != count:
            failures.append("%d frame times for %d frames" % (len(due), count))
    times, cursor_frames = [], 0
    for k in range(count):
        f = raw[k * size:(k + 1) * size]

        def px(x, y):
            i = (y * width + x) * 3
            return f[i], f[i + 1], f[i + 2]

        top, bottom = px(2, 2), px(2, max(split + 2, height - 3))
        if top[2] != 0x40 or bottom != (0, 0, 255):
            failures.append("frame %d: top %r bottom %r: not the pattern the right way up" % (k, top, bottom))
            continue
        times.append((top[0] << 8 | top[1]) * step)
        if cursor:
            cx, cy = cursor
            box = [px(x, y) for y in range(cy, min(cy + 16, height)) for x in range(cx, min(cx + 10, width))]
            if sum(1 for p in box if p in ((0, 0, 0), (255, 255, 255))) >= 15:
                cursor_frames += 1
    if len(times) == count and count > 1 and pauses is not None:
        # A pause shows as one jump in the times; without the jumps the
        # frames must follow the schedule of the time recorded.
        interval = 1000.0 / rate
        jumps = [(k, times[k] - times[k - 1] - (due[k] - due[k - 1]) + interval) for k in range(1, count)
                 if times[k] - times[k - 1] - (due[k] - due[k - 1]) > interval + 60]
        print("pauses: %s" % ", ".join("%.2f s after frame %d" % ((g - interval) / 1000.0, k - 1) for k, g in jumps))
        if len(jumps) != int(pauses):
            failures.append("%d jumps in the times, expected %d" % (len(jumps), int(pauses)))
        if pause_seconds is not None:
            for k, g in jumps:
                if abs((g - interval) / 1000.0 - pause_seconds) > 1.0:
                    failures.append("a jump of %.2f s, expected about %g s" % ((g - interval) / 1000.0, pause_seconds))
        shift = 0
        adjusted = []
        for k in range(count):
            if k > 0 and times[k] - times[k - 1] - (due[k] - due[k - 1]) > interval + 60:
                shift += times[k] - times[k - 1] - (due[k] - due[k - 1])
            adjusted.append(times[k] - shift)
        times = adjusted
    if len(times) == count and count > 1:
        interval = 1000.0 / rate
        back = [k for k in range(1, count) if times[k] < times[k - 1]]
        if back:
            failures.append("time goes backwards at frames %r" % back[:5])
        late = [] if loose else [k for k in range(count) if abs((times[k] - times[0]) - due[k]) > 2 * interval + 60]
        if late:
            failures.append("frames off the schedule: %r (times %r)" % (late[:5], [times[k] for k in late[:5]]))
        span = (times[-1] - times[0]) / 1000.0
        if not loose and not gif and abs((count - 1) - rate * span) > 2:
            failures.append("%d frames for %.2f s at %d/s" % (count, span, rate))
        new = len(set(times))
        print("frames %d, distinct pictures %d (%.1f%%), span %.2f s" % (count, new, 100.0 * new / count, span))
        if min_new is not None and 100.0 * new / count < min_new:
            # One long run of repeats is a stall of the machine; many short
            # ones, grabs that keep falling behind.
            runs, start = [], 0
            for k in range(1, count + 1):
                if k == count or times[k] != times[k - 1]:
                    if k - start > 1:
                        runs.append((k - start, start))
                    start = k
            longest = max(runs) if runs else (1, 0)
            failures.append("only %.1f%% new pictures, want %g%% (%d runs of one picture, the longest %d frames from "
                            "frame %d)" % (100.0 * new / count, min_new, len(runs), longest[0], longest[1]))
        # A new picture's lateness: when it was grabbed against when it was
        # due, both from the first grab, which happens at the start.
        lates = sorted(abs((times[k] - times[0]) - due[k])
                       for k in range(1, count) if times[k] != times[k - 1])
        if lates and not loose:
            median = lates[len(lates) // 2]
            print("median grab %.1f ms from its due time (%d new pictures)" % (median, len(lates)))
            if max_late is not None and median > max_late:
                failures.append("median grab %.1f ms from its due time, want at most %g" % (median, max_late))
    if cursor and cursor_frames < count // 2:
        failures.append("cursor seen in %d of %d frames" % (cursor_frames, count))
    for msg in failures:
        print("FAIL: " + msg)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
