#!/usr/bin/env bash
# Recording journeys that go wrong, under Wine with real input, for the
# three movie formats:
#   full disk  a 2 MiB tmpfs as the movie folder: the recording ends by itself
#              with one message, and the movie plays with what fitted (the
#              lossless movie over random pixels, which do not shrink);
#   kill -9    the program killed mid-recording: the movie plays with the
#              frames written up to about a second before;
#   in the way a folder with the movie's name: Record says which file could
#              not be created and why, and the controls are idle again.
# Every AVI recording has sound (the null sink's monitor as the microphone):
# on the full disk and after the kill both streams decode. A GIF on the full
# disk still ends in its trailer and decodes without an error.
JOURNEY_SOUND=1
source "$(dirname "${BASH_SOURCE[0]}")/lib/journey.sh" failures

frames_of() { ffprobe -v error -select_streams v:0 -count_frames -show_entries stream=nb_read_frames -of csv=p=0 "$1" 2>/dev/null | tr -d '\r'; }
setting UserSetting True
setting SysSetting False
setting fps 10
setting SoundInput "Monitor of Null Output"
# Seconds of sound that decode (0 without a sound stream), and ffmpeg's
# complaints about the sound.
sound_seconds() {
    ffmpeg -v error -i "$1" -map 0:a -ac 1 -f s16le - 2>/dev/null | wc -c | awk '{ printf "%.2f", $1 / 96000 }'
}
sound_errors() { ffmpeg -v error -i "$1" -map 0:a -f null - 2>&1 | head -3; }

# Starts the program and a recording named NAME; sets bx by and job.
start_recording() {
    start_program || die "no frame"
    local cx cy
    open_new_movie || die "no New movie dialog"
    xdotool mousemove $((cx + 66)) $((cy + 218)) click 1; sleep 0.3
    xdotool type --delay 30 "$1"; sleep 0.3
    xdotool mousemove $((cx + 200)) $((cy + 250)) click 1
}

for format in None ZMBV GIF; do
    setting Compression "$format"
    ext=avi; [[ $format == GIF ]] && ext=gif
    # --- full disk ---------------------------------------------------------------
    small="$WINEPREFIX/drive_c/small"
    mkdir -p "$small"
    if [[ $(id -u) -eq 0 ]] && mount -t tmpfs -o size=2m tmpfs "$small"; then
        setting folder 'C:\small'
        if [[ $format != None ]]; then
            ks_wine_start --timeout 120 "$pattern" noise 0 0 600 500 60; noise=$KS_WINE_JOB
            wait_pattern || fail "no pattern window"
        fi
        start_recording full
        wait_message 20 || fail "no message about the full disk"
        ks_screenshot "$out/disk-full-$format.png"
        xdotool key Return; sleep 1
        [[ "$(windows | grep -c ' kestrascope$')" -eq 1 ]] || fail "the message did not go away"
        full="$small/full.$ext"
        n="$(frames_of "$full")"
        echo "full disk, $format: the movie plays with $n frames ($(stat -c %s "$full") bytes on a 2 MiB disk)"
        [[ "$n" =~ ^[0-9]+$ && "$n" -ge 3 ]] || fail "the movie on the full disk does not play ($n)"
        if [[ $format == GIF ]]; then
            [[ "$(tail -c 1 "$full" | od -An -tx1 | tr -d ' ')" == 3b ]] || fail "the GIF on the full disk has no trailer"
            errors="$(ffmpeg -v error -i "$full" -f null - 2>&1 | head -3)"
            [[ -z "$errors" ]] || { echo "$errors"; fail "the GIF on the full disk does not decode cleanly"; }
        else
            heard="$(sound_seconds "$full")"
            echo "full disk, $format: $heard s of sound decode"
            # The disk may fill before the first sound is due (0.55 s): the
            # stream is there and what it holds decodes.
            ffprobe -v error -show_entries stream=codec_name -of csv=p=0 "$full" | grep -q pcm_s16le ||
                fail "the movie on the full disk has no sound stream"
            errors="$(sound_errors "$full")"
            [[ -z "$errors" ]] || { echo "$errors"; fail "the sound of the movie on the full disk has errors"; }
        fi
        cp "$full" "$out/full-$format.$ext" 2>/dev/null
        # The controls are idle again: another Record opens the dialog.
        open_new_movie || fail "Record does not work after the full disk"
        ks_wine_close kestrascope > /dev/null; ks_wine_wait "$job" > /dev/null
        [[ $format != None ]] && { ks_wine_close pattern > /dev/null 2>&1; ks_wine_wait "$noise" > /dev/null; }
        umount "$small" || umount -l "$small"
    else
        echo "SKIP: full disk needs root to mount a small tmpfs"
    fi

    # --- kill -9 -------------------------------------------------------------------
    mkdir -p "$WINEPREFIX/drive_c/movies"
    setting folder 'C:\movies'
    # A GIF stores only pictures that change: the time pattern changes them all.
    if [[ $format == GIF ]]; then
        ks_wine_start --timeout 120 "$pattern" 0 0 1024 768 60; clock=$KS_WINE_JOB
        wait_pattern || fail "no pattern window"
    fi
    start_recording killed
    sleep 5
    pid=""
    for p in $(pgrep -f 'kestrascope.exe'); do
        if tr '\0' '\n' < "/proc/$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX"; then pid=$p; fi
    done
    [[ -n "$pid" ]] || die "cannot find the program's process"
    kill -9 "$pid"
    sleep 1
    movie="$WINEPREFIX/drive_c/movies/killed.$ext"
    cp "$movie" "$out/killed-$format.$ext" 2>/dev/null
    n="$(frames_of "$movie")"
    echo "kill -9 after about 5 s at 10 fps, $format: the movie plays with $n frames"
    [[ "$n" =~ ^[0-9]+$ && "$n" -ge 30 ]] || fail "the killed recording's movie has $n playable frames, expected 30 or more"
    if [[ $format == GIF ]]; then
        ks_wine_close pattern > /dev/null 2>&1; ks_wine_wait "$clock" > /dev/null
    else
        heard="$(sound_seconds "$movie")"
        echo "kill -9, $format: $heard s of sound decode"
        awk -v s="$heard" 'BEGIN { exit !(s >= 3) }' || fail "the killed recording's sound has $heard s, expected 3 or more"
        errors="$(sound_errors "$movie")"
        [[ -z "$errors" ]] || { echo "$errors"; fail "the killed recording's sound does not decode cleanly"; }
        errors="$(ffmpeg -v error -i "$movie" -f null - 2>&1 | head -3)"
        [[ -z "$errors" ]] || { echo "$errors"; [[ $format == ZMBV ]] && fail "the killed lossless movie does not decode cleanly"; }
    fi
    ks_wine_wait "$job" > /dev/null 2>&1
done

# --- a folder in the way --------------------------------------------------------
# An AVI again: the loop left the last format chosen.
setting Compression None
mkdir -p "$WINEPREFIX/drive_c/movies/blocked.avi"
setting folder 'C:\movies'
start_recording blocked
wait_message 15 || fail "no message about the folder in the way"
ks_screenshot "$out/folder-in-the-way.png"
echo "$said" > "$out/folder-in-the-way.txt"
grep -qF 'C:\movies\blocked.avi' <<< "$said" || fail "the message does not name the file"
grep -qF 'A folder of that name is in the way' <<< "$said" || fail "the message does not say why"
xdotool key Return; sleep 1
[[ -d "$WINEPREFIX/drive_c/movies/blocked.avi" ]] || fail "the folder in the way was touched"
open_new_movie || fail "Record does not work after the refused movie"
ks_wine_close kestrascope > /dev/null; ks_wine_wait "$job" > /dev/null

[[ $failed -eq 0 ]] && echo "PASS: full disk, kill -9 and folder-in-the-way journeys"
exit $failed
