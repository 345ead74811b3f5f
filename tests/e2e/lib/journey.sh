# shellcheck shell=bash
# Shared by the journeys that drive the real program: paths, failure
# reporting, the harness and the program's settings and windows.
#   source lib/journey.sh NAME   (NAME: the output folder under build/e2e)
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
exe="$KS_EXE"
out="${KS_E2E_OUT:-$KS_ROOT/build/e2e/$1}"
rm -rf "$out"; mkdir -p "$out"
source "$KS_HARNESS"

failed=0
failures=()
fail() { echo "FAIL: $*"; failed=1; failures+=("$*"); }
die() { echo "FAIL: $*"; failures+=("$*"); exit 1; }
# The failures again at the end, where a log cut to its tail still shows them.
journey_failures() { local f; for f in "${failures[@]}"; do echo "failed: $f"; done; }
trap journey_failures EXIT
[[ -f "$exe" && -f "$wininfo" ]] || die "build the Windows preset first"
# JOURNEY_SOUND=1: with a private sound server whose null sink's monitor is
# the capture device "Monitor of Null Output".
ks_harness_start --size 1024x768 --dpi 96 --name "$1" ${JOURNEY_SOUND:+--sound} || die "harness"

reg() { ks_wine_run --timeout 60 "$WINEPREFIX/drive_c/windows/system32/reg.exe" "$@" > /dev/null; }
setting() { reg add 'HKCU\Software\QVkestrascope\Movie' /v "$1" /t REG_SZ /d "$2" /f || die "reg add $1"; }
stored() {
    ks_wine_run --timeout 60 "$WINEPREFIX/drive_c/windows/system32/reg.exe" query \
        'HKCU\Software\QVkestrascope\Movie' /v "$1" | tr -d '\r' | awk -v k="$1" '$1 == k { print $3 }'
}
# Movies into C:\movies (sets movies) at a steady 10 frames a second,
# uncompressed.
plain_movies() {
    movies="$WINEPREFIX/drive_c/movies"
    mkdir -p "$movies"
    setting folder 'C:\movies'
    setting UserSetting True
    setting SysSetting False
    setting fps 10
    setting Compression None
}
# Opens frmtop's menu from the keyboard: a click on frmtop's title (its
# Activate lifts the other windows, and the bar ends up with the keyboard),
# then Alt+Space.
open_frame_menu() {
    local tx ty
    read -r tx ty _ <<< "$(windows | line_of kestrascope)"
    xdotool mousemove $((tx + 150)) $((ty + 10)) click 1; sleep 1
    xdotool key alt+space; sleep 1
}
# Waits up to 20 s for the pattern window (tools/pattern.cpp) to be there.
wait_pattern() { ks_wine_run --timeout 30 "$wininfo" wait pattern 20; }
# The program's visible windows, one line each (see tools/wininfo.cpp).
windows() { ks_wine_run --timeout 30 "$wininfo" list kestrascope | tr -d '\r'; }
controls() { ks_wine_run --timeout 90 "$wininfo" controls "$1" | tr -d '\r'; }
# Filters of those lines: a window by its caption; the control bar.
line_of() { awk -v c="$1" 'substr($0, index($0, $11)) == c'; }
bar_line() { awk '$11 == "-" && $3 > $4'; }
# Waits up to 20 s for the control bar to be on screen; sets bx by (its
# corner). The frame's windows exist a while before they show, the more so
# on a busy machine.
wait_bar() {
    local try
    for try in $(seq 40); do
        read -r bx by _ <<< "$(windows | bar_line)"
        [[ -n "${by:-}" ]] && return 0
        sleep 0.5
    done
    return 1
}
# Starts the program (EXE, the built one by default) and waits for its frame;
# sets job and bx by. Fails without a frame.
start_program() {
    ks_wine_start --timeout 300 "${1:-$exe}"; job=$KS_WINE_JOB
    # The first start after the harness ended a stuck Wine session waits for
    # a new Wine server too: the frame gets a second half minute then.
    ks_wine_run --timeout 30 "$wininfo" wait kestrascope 30 || {
        echo "start_program: no frame after 30 s, waiting once more"
        ks_wine_run --timeout 30 "$wininfo" wait kestrascope 30
    } || return 1
    sleep 1
    wait_bar
}
# Clicks Record (at DPI, 96 by default) until the New movie dialog opens,
# up to three times: xdotool gives up on a click when an X window it asks
# about goes away meanwhile (Wine makes and drops some of its own). Sets cx
# cy, the dialog's client corner. Without a dialog it prints the windows,
# keeps a screenshot and fails.
open_new_movie() {
    local dpi="${1:-96}" dlg="" try
    for try in 1 2 3; do
        xdotool mousemove $((bx + 64 * dpi / 96)) $((by + 14 * dpi / 96)) click 1
        # About 3 s for the dialog to show after each click (a listing takes
        # half a second or more itself).
        local look
        for look in 1 2 3 4; do
            sleep 0.5
            dlg="$(windows | line_of 'Create New Movie')" && [[ -n "$dlg" ]] && break 2
        done
    done
    if [[ -z "$dlg" ]]; then
        windows
        ks_screenshot "$out/no-new-movie-dialog.png"
        return 1
    fi
    read -r _ _ _ _ cx cy _ <<< "$dlg"
    sleep 0.3   # shown; its controls take their first input a moment later
}
# The capture region, in pixels, from the real windows: "X Y W H".
region() {
    local list bar top left right rx ry
    list="$(windows)"
    bar="$(bar_line <<< "$list")"
    top="$(line_of kestrascope <<< "$list")"
    left="$(awk '$11 == "-" && $4 > $3' <<< "$list" | sort -n | head -1)"
    right="$(awk '$11 == "-" && $4 > $3' <<< "$list" | sort -n | tail -1)"
    rx=$(( $(cut -d' ' -f1 <<< "$left") + $(cut -d' ' -f3 <<< "$left") ))
    ry=$(( $(cut -d' ' -f2 <<< "$top") + $(cut -d' ' -f4 <<< "$top") ))
    echo "$rx $ry $(( $(cut -d' ' -f1 <<< "$right") - rx )) $(( $(cut -d' ' -f2 <<< "$bar") - ry ))"
}
# Waits up to S seconds for a message box of the program (a second window
# titled kestrascope), and sets said to its text (which takes a moment to
# be there).
wait_message() {
    local i
    said=""
    for i in $(seq $((2 * $1))); do
        if [[ "$(windows | grep -c ' kestrascope$')" -ge 2 ]]; then
            for i in 1 2 3 4 5 6; do
                said="$(controls kestrascope)"
                [[ -n "$said" ]] && return 0
                sleep 0.5
            done
            return 0
        fi
        sleep 0.5
    done
    return 1
}
