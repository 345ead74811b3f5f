#!/usr/bin/env bash
# The real program under Wine at 96 and at 144 DPI: the four red windows frame the
# capture region exactly; dragging frmtop's title bar with real mouse input
# brings the frame along; closing frmtop ends the process.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/env.sh"
exe="$KS_EXE"
base="${KS_E2E_OUT:-$KS_ROOT/build/e2e/frame}"
source "$KS_HARNESS"

fail() { echo "FAIL: $*"; exit 1; }
windows() { ks_wine_run --timeout 30 "$wininfo" list kestrascope | tr -d "\r" > "$1" || fail "wininfo list"; }
check() { # NAME [extra args]
    local name="$1"; shift
    ks_screenshot "$out/$name.png"
    /usr/bin/convert "$out/$name.png" "$out/$name.ppm"
    python3 "$here/lib/frame_check.py" "$out/$name.ppm" "$out/$name.txt" "$@" || fail "$name: screen does not match the windows"
}
field() { # FILE WINDOW-CAPTION-OR-ROW FIELD: fields of frmtop's line
    awk -v f="$2" '$11 == "kestrascope" { print $f }' "$1"
}

[[ -f "$exe" && -f "$wininfo" ]] || fail "build the Windows preset first ($exe)"

run_at() { # DPI
local dpi="$1"
out="$base/dpi$dpi"
mkdir -p "$out"
ks_harness_start --size 1024x768 --dpi "$dpi" --name "frame$dpi" || fail "harness"

ks_wine_start --timeout 120 "$exe"
job=$KS_WINE_JOB
ks_wine_run --timeout 30 "$wininfo" wait kestrascope 30 || fail "the program shows no frmtop"
sleep 1
windows "$out/start.txt"
check start
echo "start: $(tail -n1 "$out/start.txt")"

# Drag the title bar by (+150, +90) with real mouse input, then move the
# pointer over frmtop's red strip.
tx=$(field "$out/start.txt" 1); ty=$(field "$out/start.txt" 2)
cx=$(field "$out/start.txt" 5); cy=$(field "$out/start.txt" 6); ch=$(field "$out/start.txt" 8)
gx=$((tx + 80)); gy=$(((ty + cy) / 2))
xdotool mousemove "$gx" "$gy"; sleep 0.3
xdotool mousedown 1; sleep 0.3
for i in 1 2 3 4 5 6; do xdotool mousemove "$((gx + 25 * i))" "$((gy + 15 * i))"; sleep 0.15; done
ks_screenshot "$out/dragging.png"
xdotool mouseup 1; sleep 0.5
xdotool mousemove "$((cx + 150 + 40))" "$((cy + 90 + ch / 2))"; sleep 0.2
xdotool mousemove "$((cx + 150 + 60))" "$((cy + 90 + ch / 2))"; sleep 0.8
windows "$out/moved.txt"
check moved --expect-moved 150 90 "$out/start.txt"
echo "moved: $(tail -n1 "$out/moved.txt")"

# Close frmtop with its title-bar close button.
tx=$(field "$out/moved.txt" 1); ty=$(field "$out/moved.txt" 2); tw=$(field "$out/moved.txt" 3)
cy=$(field "$out/moved.txt" 6)
xdotool mousemove "$((tx + tw - 12))" "$(((ty + cy) / 2))"; sleep 0.3
xdotool click 1
ks_wine_wait "$job"; code=$?
[[ $code -eq 0 ]] || fail "the program did not end cleanly after closing frmtop (exit $code)"
echo "PASS: frame at $dpi DPI (screens in $out)"
ks_harness_stop
}

for dpi in ${KS_E2E_DPIS:-96 144}; do run_at "$dpi"; done
