#!/usr/bin/env bash
# An exact region size from frmtop's system menu, with real input under Wine
# at 96 and at 144 DPI: a click on frmtop's icon, "Region size", "1280 x 720";
# the frame then holds exactly 1280 x 720 pixels, and so does the movie
# recorded from it. On the way, a screenshot of the Sound submenu.
#   KS_E2E_DPIS="96 144" (default) chooses the densities.
source "$(dirname "${BASH_SOURCE[0]}")/lib/journey.sh" regions
ks_harness_stop
base="$out"

run_at() {
    dpi="$1"
    out="$base/dpi$dpi"
    mkdir -p "$out"
    # Room for a 1280 x 720 region where the frame first stands.
    local w=1700 h=1200
    # With a sound server, so that the Sound submenu lists its devices.
    ks_harness_start --size "${w}x$h" --dpi "$dpi" --name "regions$dpi" --sound || { fail "$dpi DPI: harness"; return; }
    local movies="$WINEPREFIX/drive_c/movies"
    mkdir -p "$movies"
    setting folder 'C:\movies'
    setting UserSetting True
    setting SysSetting False
    setting fps 10

    local job bx by
    start_program || { fail "$dpi DPI: no frame"; ks_harness_stop; return; }
    local top tx ty cx cy
    top="$(windows | line_of kestrascope)"
    read -r tx ty _ _ cx cy _ <<< "$top"
    echo "$dpi DPI: region before: $(region)"
    # The icon sits at the left end of the title bar, as high as it is wide.
    # Clicked, it opens the system menu; Down reaches "Region size", Right
    # its sizes.
    xdotool mousemove $((cx + (cy - ty) / 2)) $(((ty + cy) / 2)) click 1; sleep 1
    ks_screenshot "$out/01-system-menu.png"
    # First the Sound submenu, the eighth item, after Show clicks, Show keys
    # and Record the pointer (greyed ones are stepped on too): Right opens
    # it, Left closes it again; seven up is Region size.
    local i
    for i in 1 2 3 4 5 6 7 8; do xdotool key Down; sleep 0.2; done
    xdotool key Right; sleep 0.6
    ks_screenshot "$out/00-sound-menu.png"
    xdotool key Left; sleep 0.3
    for i in 1 2 3 4 5 6 7; do xdotool key Up; sleep 0.2; done
    xdotool key Right; sleep 0.6
    ks_screenshot "$out/02-region-sizes.png"
    for i in 1 2 3; do xdotool key Down; sleep 0.3; done
    xdotool key Return; sleep 1.5
    ks_screenshot "$out/03-1280x720.png"
    local r rx ry rw rh
    r="$(region)"; read -r rx ry rw rh <<< "$r"
    echo "$dpi DPI: region after: $r"
    [[ "${rw}x$rh" == 1280x720 ]] || fail "$dpi DPI: the region is ${rw}x$rh, not 1280x720"

    # Record two seconds of it.
    wait_bar || { fail "$dpi DPI: no bar after the resize"; ks_harness_stop; return; }
    open_new_movie "$dpi" || { fail "$dpi DPI: no New movie dialog"; ks_harness_stop; return; }
    xdotool mousemove $((cx + 66 * dpi / 96)) $((cy + 218 * dpi / 96)) click 1; sleep 0.3
    xdotool type --delay 30 preset; sleep 0.3
    xdotool mousemove $((cx + 200 * dpi / 96)) $((cy + 250 * dpi / 96)) click 1         # OK
    sleep 2.5
    xdotool mousemove $((bx + 116 * dpi / 96)) $((by + 14 * dpi / 96)) click 1; sleep 1.5  # Stop
    local size
    size="$(ffprobe -v error -show_entries stream=width,height -of csv=p=0:s=x "$movies/preset.avi" 2>&1 | tr -d '\r')"
    echo "$dpi DPI: the movie is $size"
    [[ "$size" == 1280x720 ]] || fail "$dpi DPI: the movie is '$size', not 1280x720"
    ks_wine_close kestrascope > /dev/null
    ks_wine_wait "$job" > /dev/null
    ks_harness_stop
}

for dpi in ${KS_E2E_DPIS:-96 144}; do run_at "$dpi"; done
[[ $failed -eq 0 ]] && echo "PASS: exact region sizes from the system menu at ${KS_E2E_DPIS:-96 144} DPI"
exit $failed
