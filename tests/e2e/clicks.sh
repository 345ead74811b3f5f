#!/usr/bin/env bash
# Clicks marked in the movie, with real input under Wine at 96 DPI. Alt+Space
# from the control bar opens frmtop's menu, whose "Show clicks" the keyboard
# turns on. Then two recordings over a still screen, one with "Record the
# pointer" off and one with it on: the pointer moves into the region and
# clicks. No frame before the click changes at the click point (with the
# pointer off, not even the pointer shows); the frames right after it show
# the left button's ring, which is gone about a second later and never
# shows on the screen; with the pointer on, the pointer is at the click
# point.
source "$(dirname "${BASH_SOURCE[0]}")/lib/journey.sh" clicks

plain_movies

# --- the menu from the keyboard ---------------------------------------------------
start_program || die "no frame"
open_frame_menu
ks_screenshot "$out/menu.png"
# The items: Region size, the region's size, the two keys, Show clicks.
for i in 1 2 3 4 5; do xdotool key Down; sleep 0.2; done
ks_screenshot "$out/menu-show-clicks.png"
xdotool key Return; sleep 1
[[ "$(stored ShowClicks)" == True ]] || fail "Alt+Space and the keyboard did not turn Show clicks on (ShowClicks=$(stored ShowClicks))"
ks_wine_close kestrascope > /dev/null; ks_wine_wait "$job" > /dev/null
setting ShowClicks True

# --- two recordings with a click ----------------------------------------------------
# One recording NAME: the pointer waits outside the region, moves to its
# middle, clicks there, and Stop follows. Sets click (x y in the region) and
# size (w h).
record_click() {
    local name="$1" rx ry rw rh px py
    start_program || { fail "$name: no frame"; return 1; }
    read -r rx ry rw rh <<< "$(region)"
    open_new_movie || { fail "$name: the New movie dialog did not open"; return 1; }
    xdotool mousemove $((cx + 66)) $((cy + 218)) click 1; sleep 0.3   # the name box
    xdotool type --delay 30 "$name"; sleep 0.3
    xdotool mousemove $((cx + 200)) $((cy + 250)) click 1             # OK
    xdotool mousemove 1000 740; sleep 1.5
    px=$((rx + rw / 2)); py=$((ry + rh / 2))
    xdotool mousemove "$px" "$py"; sleep 1
    xdotool click 1; sleep 0.15
    ks_screenshot "$out/$name-screen.png"
    sleep 2
    xdotool mousemove $((bx + 116)) $((by + 14)) click 1              # Stop
    sleep 2
    ks_wine_close kestrascope > /dev/null; ks_wine_wait "$job" > /dev/null
    click="$((px - rx)) $((py - ry))"
    size="$rw $rh"
    screen_at="$px $py"
    [[ -f "$movies/$name.avi" ]] || { fail "$name: no movie"; return 1; }
    cp "$movies/$name.avi" "$out/"
}

# Reads the movie's frames and checks them; POINTER is on or off.
check_clicks() { # NAME POINTER
    python3 - "$movies/$1.avi" "$2" $size $click "$out/$1-screen.png" $screen_at "$out/$1" <<'EOF'
import subprocess, sys
movie, pointer, w, h, x, y, screen, sx, sy, keep = sys.argv[1:]
w, h, x, y, sx, sy = map(int, (w, h, x, y, sx, sy))
raw = subprocess.run(["ffmpeg", "-v", "error", "-i", movie, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"],
                     capture_output=True, check=True).stdout
frames = [raw[i:i + w * h * 3] for i in range(0, len(raw) - w * h * 3 + 1, w * h * 3)]
def px(f, dx, dy):
    o = ((y + dy) * w + x + dx) * 3
    return tuple(f[o:o + 3])
box = [(dx, dy) for dy in range(-24, 25) for dx in range(-24, 25)]
def area(f): return [px(f, dx, dy) for dx, dy in box]
amber = (255, 176, 0)
near = lambda a, b: all(abs(p - q) <= 8 for p, q in zip(a, b))
ring = lambda f: near(px(f, 16, 0), amber) and near(px(f, -16, 0), amber) and near(px(f, 0, 16), amber)
first = next((k for k, f in enumerate(frames) if ring(f)), None)
problems = []
if first is None:
    problems.append("no frame shows the ring")
    first = len(frames)
before = area(frames[0])
changed = [k for k in range(first) if area(frames[k]) != before]
rate = 10
print(f"{len(frames)} frames; the ring from frame {first} ({first / rate:.1f} s)")
if pointer == "off" and changed:
    problems.append(f"frames before the click change at the click point: {changed[:5]}")
if pointer == "on":
    # The pointer comes in before the click, its hotspot on the click
    # point. (The click makes the desktop the active window, and Wine then
    # stops reporting the pointer to the program; Windows goes on.)
    if not changed:
        problems.append("no frame before the click shows the pointer")
    elif first > 0:
        moved = [(dx, dy) for dx, dy in box if px(frames[first - 1], dx, dy) != px(frames[0], dx, dy)]
        corner = (min(d[0] for d in moved), min(d[1] for d in moved)) if moved else None
        print(f"the pointer before the click: its top-left corner at {corner} from the click point")
        if corner != (0, 0):
            problems.append("the pointer is not at the click point")
shown = [k for k in range(first, min(first + 3, len(frames))) if ring(frames[k])]
if len(shown) < 3:
    problems.append(f"the ring shows in frames {shown} of the three after the click")
later = first + 11
if later >= len(frames):
    problems.append(f"the movie ends before a second after the click ({len(frames)} frames)")
else:
    gone = area(frames[later]) == area(frames[later - 1]) and not any(
        near(px(frames[later], dx, dy), amber) for dx, dy in box)
    if pointer == "off":
        gone = gone and area(frames[later]) == before
    print(f"a second later (frame {later}): " + ("gone" if gone else "still there"))
    if not gone:
        problems.append("the ring is still there a second after the click")
# The screen right after the click has no ring.
shot = subprocess.run(["convert", screen, "-crop", f"1x1+{sx + 16}+{sy}", "-depth", "8", "rgb:-"],
                      capture_output=True, check=True).stdout
if near(tuple(shot[:3]), amber):
    problems.append("the ring shows on the screen")
for k in (max(first - 1, 0), min(first, len(frames) - 1)):
    with open(f"{keep}-frame{k}.rgb", "wb") as f:
        f.write(frames[k])
    subprocess.run(["convert", "-size", f"{w}x{h}", "-depth", "8", f"rgb:{keep}-frame{k}.rgb", f"{keep}-frame{k}.png"])
for p in problems:
    print("FAIL:", p)
sys.exit(1 if problems else 0)
EOF
}

setting RecordPointer False
record_click "no-pointer" && { check_clicks no-pointer off || fail "no-pointer: the frames"; }
setting RecordPointer True
record_click "pointer" && { check_clicks pointer on || fail "pointer: the frames"; }

[[ $failed -eq 0 ]] && echo "PASS: clicks marked in the movie (screens and frames in $out)"
exit $failed
