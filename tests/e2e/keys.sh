#!/usr/bin/env bash
# Shortcuts captioned in the movie, with real input under Wine at 96 DPI.
# Alt+Space from the control bar opens frmtop's menu, whose "Show keys" the
# keyboard turns on. Then one recording of the still region while the
# desktop, outside it, has the keyboard: Ctrl+Shift+S, a word typed, then
# Enter. The frames after the shortcut show its caption at the bottom of the
# region; it is gone before the word, no frame shows anything there while
# the word is typed, and Enter shows a caption of its own, narrower.
source "$(dirname "${BASH_SOURCE[0]}")/lib/journey.sh" keys

plain_movies

# --- the menu from the keyboard ---------------------------------------------------
start_program || die "no frame"
open_frame_menu
# Region size, the region's size, the two keys, Show clicks, Show keys.
for i in 1 2 3 4 5 6; do xdotool key Down; sleep 0.2; done
ks_screenshot "$out/menu-show-keys.png"
xdotool key Return; sleep 1
[[ "$(stored ShowKeys)" == True ]] || fail "Alt+Space and the keyboard did not turn Show keys on (ShowKeys=$(stored ShowKeys))"
[[ "$(stored ShowClicks)" != True ]] || fail "the keyboard turned Show clicks on instead"

# --- one recording with a shortcut, a word and Enter -------------------------------
read -r rx ry rw rh <<< "$(region)"
open_new_movie || die "the New movie dialog did not open"
xdotool mousemove $((cx + 66)) $((cy + 218)) click 1; sleep 0.3   # the name box
xdotool type --delay 30 keys; sleep 0.3
xdotool mousemove $((cx + 200)) $((cy + 250)) click 1             # OK
# The desktop takes the keyboard: what is typed lands nowhere.
xdotool mousemove 1010 740 click 1; sleep 1.5
xdotool key ctrl+shift+s; sleep 0.2
ks_screenshot "$out/screen-after-shortcut.png"
sleep 1.8
xdotool type --delay 60 secret; sleep 0.6
xdotool key Return; sleep 2.5
xdotool mousemove $((bx + 116)) $((by + 14)) click 1              # Stop
sleep 2
ks_wine_close kestrascope > /dev/null; ks_wine_wait "$job" > /dev/null
[[ -f "$movies/keys.avi" ]] || die "no movie"
cp "$movies/keys.avi" "$out/"

# Runs of frames whose bottom middle differs from the first frame's: a
# caption each. The shortcut's comes first, the Enter's last and narrower,
# nothing between them (the word), and each stays at least a second.
python3 - "$movies/keys.avi" "$rw" "$rh" "$out" <<'PY' || fail "the frames"
import subprocess, sys
movie, w, h, keep = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
raw = subprocess.run(["ffmpeg", "-v", "error", "-i", movie, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"],
                     capture_output=True, check=True).stdout
size = w * h * 3
frames = [raw[i:i + size] for i in range(0, len(raw) - size + 1, size)]
band = range(max(h - 80, 0), h)
def changed(f):
    cols = [x for x in range(w) if any(f[(y * w + x) * 3:(y * w + x) * 3 + 3] != frames[0][(y * w + x) * 3:(y * w + x) * 3 + 3] for y in band)]
    return (min(cols), max(cols)) if cols else None
spans = [changed(f) for f in frames]
runs = []
for k, s in enumerate(spans):
    if s is None: continue
    if runs and runs[-1][1] == k - 1:
        runs[-1][1] = k
        runs[-1][2] = max(runs[-1][2], s[1] - s[0] + 1)
        runs[-1][3] = min(runs[-1][3], s[0]); runs[-1][4] = max(runs[-1][4], s[1])
    else:
        runs.append([k, k, s[1] - s[0] + 1, s[0], s[1]])
print(f"{len(frames)} frames of {w}x{h}; captions (first frame, last, widest, left, right): {runs}")
problems = []
if len(runs) != 2:
    problems.append(f"{len(runs)} captions, not the shortcut's and Enter's")
else:
    (a0, a1, aw, al, ar), (b0, b1, bw, bl, br) = runs
    if a1 - a0 + 1 < 10: problems.append(f"the shortcut's caption shows {a1 - a0 + 1} frames, under a second")
    if b0 - a1 - 1 < 5: problems.append(f"only {b0 - a1 - 1} frames between the captions, where the word was typed")
    if not bw < aw: problems.append(f"Enter's caption ({bw} wide) is not narrower than the shortcut's ({aw})")
    for name, l, r in (("shortcut", al, ar), ("Enter", bl, br)):
        if abs(l - (w - 1 - r)) > 2: problems.append(f"the {name}'s caption is not centred: {l} to {r} of {w}")
    for k in (a0, b0):
        subprocess.run(["ffmpeg", "-v", "error", "-y", "-i", movie, "-vf", f"select=eq(n\\,{k})", "-frames:v", "1",
                        f"{keep}/frame{k}.png"])
for p in problems:
    print("FAIL:", p)
sys.exit(1 if problems else 0)
PY

[[ $failed -eq 0 ]] && echo "PASS: shortcuts captioned in the movie, typing left out (screens and frames in $out)"
exit $failed
