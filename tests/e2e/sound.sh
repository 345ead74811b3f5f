#!/usr/bin/env bash
# Sound under Wine with a real sound server: the microphone is the null
# sink's monitor, and a tool in the region flashes white and starts a tone
# at the same moment every second, through that sink. In the movie each
# tone's onset lies within a frame (plus the output's latency) of the first
# frame showing its flash, and the track is as long as the picture, in both
# movie formats. The lossless run has "System sound" on as well, which Wine
# cannot record: Record asks first, and Yes records the microphone alone.
JOURNEY_SOUND=1
source "$(dirname "${BASH_SOURCE[0]}")/lib/journey.sh" sound
[[ -f "$flashtone" ]] || die "build the Windows preset first (flashtone.exe)"

movies="$WINEPREFIX/drive_c/movies"
mkdir -p "$movies"
setting folder 'C:\movies'
setting UserSetting True
setting SysSetting False
setting fps 30
setting SoundInput "Monitor of Null Output"

for format in None ZMBV; do
    setting Compression "$format"
    [[ $format == ZMBV ]] && setting SoundSystem True
    name="sound-$format"
    start_program || die "$name: no frame"
    read -r rx ry rw rh <<< "$(region)"
    open_new_movie || die "$name: no New movie dialog"
    xdotool mousemove $((cx + 66)) $((cy + 218)) click 1; sleep 0.3
    xdotool type --delay 30 "$name"; sleep 0.3
    xdotool mousemove $((cx + 200)) $((cy + 250)) click 1               # OK
    xdotool mousemove 1000 10
    if [[ $format == ZMBV ]]; then
        sleep 2
        ks_screenshot "$out/$name-question.png"
        said="$(controls kestrascope)"
        echo "$said" > "$out/$name-question.txt"
        grep -qF 'System sound' <<< "$said" && grep -qF 'Record without it?' <<< "$said" ||
            fail "$name: no question about the system sound"
        xdotool key Return; sleep 0.5                                   # Yes
    fi
    # The tool covers the region once the recording runs (over the dialog
    # it would take its clicks).
    ks_wine_start --timeout 60 "$flashtone" "$rx" "$ry" "$rw" "$rh" 7 > "$out/$name-flashes.txt"
    tjob=$KS_WINE_JOB
    sleep 8
    ks_screenshot "$out/$name-recording.png"
    xdotool mousemove $((bx + 116)) $((by + 14)) click 1                # Stop
    sleep 2
    ks_wine_wait "$tjob" > /dev/null
    ks_wine_close kestrascope; ks_wine_wait "$job" > /dev/null
    movie="$movies/$name.avi"
    [[ -f "$movie" ]] || { fail "$name: no movie"; continue; }
    cp "$movie" "$out/"
    echo "$name:"
    python3 "$here/lib/sound_check.py" "$movie" 30 || fail "$name: sound check"
done

[[ $failed -eq 0 ]] && echo "PASS: sound in step with the picture"
exit $failed
