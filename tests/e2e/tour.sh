#!/usr/bin/env bash
# A new user's first session, with the keyboard only, under Wine at 96 and at
# 144 DPI: the bar's tab order, Record, naming the movie, the first run's
# calibration, the recording, Stop, the overwrite question, the About box,
# the Settings dialog, and Exit (Alt+F4 at 144 DPI). Each state is
# photographed, the focus is read back from the real program after every
# key, and every window's controls must lie inside its client area without
# covering each other.
#   KS_E2E_DPIS="96 144" (default) chooses the densities.
source "$(dirname "${BASH_SOURCE[0]}")/lib/journey.sh" tour
ks_harness_stop
base="$out"
layout_check="$here/lib/layout_check.py"

focus() { ks_wine_run --timeout 30 "$wininfo" focus kestrascope | tr -d '\r'; }
key() { xdotool key "$1"; sleep 0.6; }
# Tabs until the focus matches PATTERN ("ACTIVE|CLASS|TEXT"); fails after
# more than a full round.
tab_until() {
    local i f
    for i in 1 2 3 4 5 6 7 8 9; do
        f="$(focus)"
        # shellcheck disable=SC2053
        [[ "$f" == $1 ]] && return 0
        key Tab
    done
    fail "$dpi DPI: Tab never reached '$1' (focus: $f)"
    return 1
}
# The bar's button captioned TEXT ("" for the About button).
tab_to() { tab_until "*|Button|$1"; }
expect_focus() { # WHAT PATTERN
    local f; f="$(focus)"
    # shellcheck disable=SC2053
    [[ "$f" == $2 ]] || fail "$dpi DPI: $1: focus is '$f'"
}
# Controls of the window titled TITLE must fit its client area and not
# overlap one another.
check_layout() { # TITLE NAME
    local list
    list="$(windows)"
    controls "$1" > "$out/$2-controls.txt"
    line_of "$1" <<< "$list" > "$out/$2-window.txt"
    python3 "$layout_check" "$out/$2-window.txt" "$out/$2-controls.txt" ||
        fail "$dpi DPI: $1: controls cut off or overlapping (see $out/$2-controls.txt)"
}

# The recorded movie is exactly the region inside the red frame: its size is
# the region's, read from the real windows, and a frame in the middle of it
# holds no pixel of the frame's red.
check_movie_region() { # MOVIE
    local rx ry rw rh size red
    read -r rx ry rw rh <<< "$(region)"
    size="$(ffprobe -v error -show_entries stream=width,height -of csv=p=0:s=x "$1" | tr -d '\r')"
    echo "$dpi DPI: region ${rw}x$rh at $rx,$ry; movie ${size}"
    [[ "$size" == "${rw}x$rh" ]] || fail "$dpi DPI: the movie is $size, the region ${rw}x$rh"
    ffmpeg -v error -y -i "$1" -vf 'select=eq(n\,20)' -frames:v 1 "$out/movie-frame.png" ||
        { fail "$dpi DPI: cannot decode the movie"; return; }
    red="$(convert "$out/movie-frame.png" -fill black +opaque 'rgb(255,0,0)' -fill white -opaque 'rgb(255,0,0)' \
        -format '%[fx:round(mean*w*h)]' info:)"
    [[ "$red" == 0 ]] || fail "$dpi DPI: $red pixels of the frame's red are in the movie"
}

run_at() {
    dpi="$1"
    out="$base/dpi$dpi"
    mkdir -p "$out"
    local w=$((1024 * dpi / 96)) h=$((768 * dpi / 96))
    ks_harness_start --size "${w}x$h" --dpi "$dpi" --name "tour$dpi" || { fail "$dpi DPI: harness"; return; }
    local movies="$WINEPREFIX/drive_c/movies"
    mkdir -p "$movies"
    setting folder 'C:\movies'

    # A desktop to work on: an editor's page under the frame. It starts
    # first, since Wine's virtual desktop puts a later window above
    # topmost ones.
    ks_wine_start --timeout 300 "$pattern" desktop 0 0 "$w" "$h" 280
    sleep 1.5
    ks_wine_start --timeout 300 "$exe"; local job=$KS_WINE_JOB
    ks_wine_run --timeout 30 "$wininfo" wait kestrascope 30 || { fail "$dpi DPI: no frame"; ks_harness_stop; return; }
    sleep 2
    # 01-idle.png at 96 DPI is the picture in the README (docs/kestrascope.png).
    ks_screenshot "$out/01-idle.png"
    expect_focus "start" '*|Button|Exit'
    # Tab order of the bar: Exit, (Stop is disabled), Record, About, Settings.
    local order="" i f
    for i in 1 2 3 4; do
        key Tab
        f="$(focus)"; order+="${f##*|Button|},"
    done
    [[ "$order" == "Record,,Settings,Exit," ]] || fail "$dpi DPI: Tab order of the bar is '$order'"

    # Record: the New movie dialog, focus on the drive list.
    tab_to Record && key space
    sleep 1
    expect_focus "New movie dialog" 'Create New Movie|ComboBox|*'
    check_layout 'Create New Movie' new-movie
    key Tab; key Tab
    expect_focus "name box" 'Create New Movie|Edit|*'
    xdotool type --delay 40 tour; sleep 0.3
    key Tab
    expect_focus "OK" 'Create New Movie|Button|OK'
    ks_screenshot "$out/02-new-movie.png"
    key space
    # First run: the system assigns the rate, so a calibration runs first.
    sleep 2.5
    ks_screenshot "$out/03-calibrating.png"
    sleep 5
    ks_screenshot "$out/04-recording.png"
    expect_focus "recording" '*|Button|*'
    tab_to Stop && key space
    sleep 1.5
    ks_screenshot "$out/05-stopped.png"
    local fps probe
    fps="$(stored fps)"
    probe="$(ffprobe -v error -count_frames -show_entries stream=r_frame_rate,nb_read_frames -of csv=p=0 "$movies/tour.avi" 2>&1 | tr -d '\r')"
    echo "$dpi DPI: calibration stored fps=$fps; the movie: $probe"
    [[ "$probe" =~ ^${fps}/1,[0-9]+$ ]] || fail "$dpi DPI: the movie is not a recording at the calibrated rate ($probe, fps=$fps)"
    check_movie_region "$movies/tour.avi"

    # Record again under the same name: the overwrite question, answered
    # with Escape (Cancel), keeps the dialog; Cancel then closes it. The
    # dialog comes back with the focus where it was left, on OK.
    tab_to Record && key space
    sleep 1
    expect_focus "New movie dialog again" 'Create New Movie|Button|OK'
    tab_until 'Create New Movie|Edit|*'
    xdotool type --delay 40 tour; sleep 0.3
    tab_until 'Create New Movie|Button|OK' && key space
    sleep 1
    if [[ "$(windows | grep -c ' kestrascope$')" -eq 2 ]]; then
        ks_screenshot "$out/06-overwrite-question.png"
        key Escape
        [[ "$(windows | grep -c ' kestrascope$')" -eq 1 ]] || fail "$dpi DPI: Escape did not answer the question"
        windows | grep -q 'Create New Movie$' || fail "$dpi DPI: Cancel on the question closed the dialog"
        expect_focus "after the question" 'Create New Movie|Button|OK'
        key Tab; expect_focus "Tab from OK" 'Create New Movie|Button|Cancel'
        key space
        windows | grep -q 'Create New Movie$' && fail "$dpi DPI: Cancel left the New movie dialog open"
    else
        fail "$dpi DPI: no overwrite question for the existing tour.avi"
    fi

    # About: focus on Close, Tab moves between Close and Help only.
    tab_to "" && key space
    sleep 1
    if ks_wine_run --timeout 10 "$wininfo" wait 'About kestrascope' 5; then
        ks_screenshot "$out/07-about.png"
        check_layout 'About kestrascope' about
        expect_focus "About opens" 'About kestrascope|Button|Close'
        key Tab; expect_focus "About, Tab" 'About kestrascope|Button|Help'
        key Tab; expect_focus "About, Tab twice" 'About kestrascope|Button|Close'
        key space
        windows | grep -q ' About kestrascope$' && fail "$dpi DPI: Close left the About box open"
    else
        fail "$dpi DPI: the About box did not open"
    fi

    # Settings: shows the calibrated rate; Close hides it.
    tab_to Settings && key space
    sleep 1
    if windows | grep -q ' Settings$'; then
        ks_screenshot "$out/08-settings.png"
        check_layout Settings settings
        grep -q "^  item\*: $fps\$" "$out/settings-controls.txt" || fail "$dpi DPI: Settings does not show the rate $fps"
        local k
        for k in 1 2 3 4 5 6 7 8; do
            [[ "$(focus)" == 'Settings|Button|Close' ]] && break
            key Tab
        done
        expect_focus "Settings, Tab to Close" 'Settings|Button|Close'
        key space
        windows | grep -q ' Settings$' && fail "$dpi DPI: Close left the Settings dialog open"
    else
        fail "$dpi DPI: the Settings dialog did not open"
    fi

    # Exit ends the program; so does Alt+F4 on the bar (the second run).
    local how=Exit
    if [[ $dpi -eq 96 ]]; then
        tab_to Exit && key space
    else
        how=Alt+F4; tab_to Record && key alt+F4
    fi
    ks_wine_wait "$job"; local code=$?
    [[ $code -eq 0 ]] || fail "$dpi DPI: $how ended the program with $code"
    ks_harness_stop
    echo "$dpi DPI: screens in $out"
}

for dpi in ${KS_E2E_DPIS:-96 144}; do run_at "$dpi"; done
[[ $failed -eq 0 ]] && echo "PASS: a new user's keyboard tour at ${KS_E2E_DPIS:-96 144} DPI"
exit $failed
