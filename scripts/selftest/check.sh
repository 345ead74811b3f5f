#!/usr/bin/env bash
# End-to-end check of scripts/wine-harness.sh with a tiny Win32 program of its
# own (harness_check.cpp: a red window titled "harness-check").
#
#   scripts/selftest/check.sh [OUTDIR]
#
# Builds the program, then in fresh sessions: finds its window, takes
# screenshots, closes it by real input and by window messages, checks exit
# codes, the DPI setting, the hard timeout, and that no process of the
# session outlives it. Screenshots go to OUTDIR (default build/selftest).
set -uo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
out="${1:-$root/build/selftest}"
mkdir -p "$out"
exe="$out/harness_check.exe"

x86_64-w64-mingw32-g++-posix -std=c++20 -O2 -Wall -Wextra -municode -static \
    -o "$exe" "$root/scripts/selftest/harness_check.cpp" -lgdi32 || exit 1

# Sessions run in subshells: results are collected in a file.
results="$out/results"
: >"$results"
check() { # NAME CONDITION-EXIT-CODE
    local verdict=FAIL
    [[ "$2" -eq 0 ]] && verdict=PASS
    echo "$verdict $1" | tee -a "$results"
}

# Number of pure red pixels in a PNG.
red_pixels() {
    /usr/bin/convert "$1" -alpha off -fill black +opaque 'rgb(255,0,0)' -fill white \
        -opaque 'rgb(255,0,0)' -format '%[fx:round(mean*w*h)]' info:
}

# Session 1, 96 DPI: window, screenshot, Alt+F4, exit code.
session_96() {
    source "$root/scripts/wine-harness.sh"
    ks_harness_start --size 800x600 --dpi 96 --name selftest || return 1
    local log="$out/run96.log" wid geo red rc pids
    ks_wine_start --timeout 60 "$exe" --exit-code 7 >"$log" 2>&1
    wid="$(ks_wait_window --timeout 30 '^harness-check$' | head -n1)"
    check "window appears" "$([[ -n "$wid" ]]; echo $?)"
    geo="$(ks_window_geometry "$wid")"
    echo "  window $wid at $geo"
    check "window geometry 320x200 at 40,40" "$([[ "$geo" == "40 40 320 200" ]]; echo $?)"
    sleep 0.5
    ks_screenshot "$out/harness-96.png"
    ks_screenshot "$out/harness-96-window.png" "$wid"
    red="$(red_pixels "$out/harness-96-window.png")"
    echo "  red pixels in window: $red"
    check "window is painted red" "$([[ "$red" -gt 40000 ]]; echo $?)"
    grep -q 'logpixels=96 screen=800x600' "$log"
    check "program sees 96 dpi and an 800x600 desktop" $?
    ks_close_window "$wid"
    ks_wine_wait
    rc=$?
    check "Alt+F4 ends it with its exit code 7 (got $rc)" "$([[ $rc -eq 7 ]]; echo $?)"
    grep -q 'WM_CLOSE received' "$log"
    check "program saw WM_CLOSE" $?
    ks_wait_window_gone --timeout 10 '^harness-check$'
    check "window is gone" $?

    # Window messages from another program on the same desktop.
    ks_wine_start --timeout 60 "$exe" --exit-code 3 >>"$log" 2>&1
    ks_wait_window --timeout 30 '^harness-check$' >/dev/null
    ks_wine_close 'harness-check'
    check "ks_wine_close finds the window" $?
    ks_wine_wait
    rc=$?
    check "WM_CLOSE by message gives exit code 3 (got $rc)" "$([[ $rc -eq 3 ]]; echo $?)"
    ks_wine_close 'no-such-window'
    check "ks_wine_close fails when no window has the title" "$([[ $? -ne 0 ]]; echo $?)"

    # Hard timeout: a program that never closes.
    local t0=$SECONDS
    ks_wine_run --timeout 3 "$exe" >>"$log" 2>&1
    rc=$?
    check "hung program is ended by the timeout (rc $rc after $((SECONDS - t0)) s)" \
        "$([[ $rc -eq 124 ]]; echo $?)"
    ks_wait_window_gone --timeout 10 '^harness-check$'
    check "timed-out program's window is gone" $?

    # No program runs now: the desktop stays for the next one.
    sleep 3
    ks_wait_window --timeout 1 --any '^selftest - Wine desktop$' >/dev/null
    check "the desktop outlives its last program" $?

    pids="$(ks_wine_pids | tr '\n' ' ')"
    echo "  session processes before stop: $pids"
    echo "$WINEPREFIX" >"$out/last-prefix"
    echo "$KS_XVFB_PID" >"$out/last-xvfb"
    ks_harness_stop
}

# Session 2, 144 DPI.
session_144() {
    source "$root/scripts/wine-harness.sh"
    ks_harness_start --size 1024x768 --dpi 144 --name selftest144 || return 1
    local log="$out/run144.log" rc
    ks_wine_start --timeout 60 "$exe" --close-after-ms 2500 >"$log" 2>&1
    ks_wait_window --timeout 30 '^harness-check$' >/dev/null
    sleep 0.5
    ks_screenshot "$out/harness-144.png"
    ks_wine_wait
    rc=$?
    check "self-closing program exits 0 at 144 dpi (got $rc)" "$([[ $rc -eq 0 ]]; echo $?)"
    grep -q 'logpixels=144 screen=1024x768' "$log"
    check "program sees 144 dpi and a 1024x768 desktop" $?
    echo "$WINEPREFIX" >>"$out/last-prefix"
    echo "$KS_XVFB_PID" >>"$out/last-xvfb"
}

t0=$SECONDS
(session_96)
check "96-dpi session ran" $?
(session_144) # ends through the EXIT trap, not ks_harness_stop
check "144-dpi session ran" $?

leftover=""
while read -r prefix; do
    for f in /proc/[0-9]*/environ; do
        if tr '\0' '\n' 2>/dev/null <"$f" | grep -qxF "WINEPREFIX=$prefix"; then
            leftover+=" ${f//[!0-9]/}"
        fi
    done
    [[ ! -e "$prefix" ]]
    check "session folder removed: $prefix" $?
done <"$out/last-prefix"
while read -r pid; do
    kill -0 "$pid" 2>/dev/null
    check "Xvfb $pid ended" "$([[ $? -ne 0 ]]; echo $?)"
done <"$out/last-xvfb"
check "no Wine process of the sessions is left${leftover}" "$([[ -z "$leftover" ]]; echo $?)"

echo "screenshots: $out/harness-96.png $out/harness-96-window.png $out/harness-144.png"
echo "took $((SECONDS - t0)) s"
passed=$(grep -c '^PASS' "$results")
failed=$(grep -c '^FAIL' "$results")
echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
