#!/usr/bin/env bash
# MP4 movies under Wine with real input and the npm ffmpeg.exe 4.1 (scripts/deps
# fetches it into build/tools):
#   missing   no ffmpeg anywhere: Record says where it looked and how to
#             choose one, and records nothing;
#   choose    "Choose ffmpeg.exe..." from frmtop's menu by the keyboard opens the
#             Open dialog; the typed path is kept and the program says what
#             MP4 movies will use;
#   sound     the flash-and-tone tool with the null sink's monitor as the
#             microphone: an ordinary MP4 (index in front), H.264 tagged
#             BT.709 and AAC, each tone within a frame (plus the output's
#             latency) of its flash;
#   pause     the system-assigned rate: a calibration through ffmpeg picks
#             the rate the movie then has; the time-code bars with a pause:
#             the codes follow the schedule with one jump, and headless
#             Chromium plays the movie, showing the frame due where it seeks
#             within coding error;
#   kill -9   of kestrascope, then of ffmpeg.exe, mid-recording: the movie plays
#             up to at most 2 s before the kill; no ffmpeg is left running;
#             ffmpeg's end is reported;
#   full disk a 2 MiB tmpfs: one message says the disk is full, and the movie
#             plays with what fitted.
JOURNEY_SOUND=1
source "$(dirname "${BASH_SOURCE[0]}")/lib/journey.sh" mp4
ffmpeg_exe="$KS_ROOT/build/tools/ffmpeg-win32/ffmpeg.exe"
[[ -f "$ffmpeg_exe" ]] || die "no $ffmpeg_exe: scripts/deps fetches it"
[[ -f "$flashtone" && -f "$pattern" ]] || die "build the Windows preset first (flashtone.exe, pattern.exe)"

movies="$WINEPREFIX/drive_c/movies"
mkdir -p "$movies"
setting folder 'C:\movies'
setting UserSetting True
setting SysSetting False
setting fps 30
setting Compression MP4

frames_of() { ffprobe -v error -select_streams v:0 -count_frames -show_entries stream=nb_read_frames -of csv=p=0 "$1" 2>/dev/null | tr -d '\r'; }
# Starts a recording named NAME in the running program.
record_named() {
    open_new_movie || return 1
    xdotool mousemove $((cx + 66)) $((cy + 218)) click 1; sleep 0.3
    xdotool type --delay 30 "$1"; sleep 0.3
    xdotool mousemove $((cx + 200)) $((cy + 250)) click 1
}
# The Unix pids of this session's processes running the Windows program
# NAME.exe (not the launcher, whose arguments name it too).
session_pids() {
    local p first
    for p in $(pgrep -f "$1"); do
        first="$(tr '\0' '\n' < "/proc/$p/cmdline" 2>/dev/null | head -1)"
        [[ "${first,,}" == *"${1,,}" ]] || continue
        tr '\0' '\n' < "/proc/$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && echo "$p"
    done
}
# Waits up to 30 s for the movie to be an ordinary MP4: fragments gone, the
# index in front of the pictures.
wait_finished() {
    local i
    for i in $(seq 60); do
        python3 - "$1" <<'PY' && return 0
import sys
d = open(sys.argv[1], "rb").read()
sys.exit(0 if b"moof" not in d and 0 <= d.find(b"moov") < d.find(b"mdat") else 1)
PY
        sleep 0.5
    done
    return 1
}
# The time code the screen shows in the region W:H:X:Y now, from a
# screenshot NAME.png; -1 when it does not read.
screen_code() {
    ks_screenshot "$out/$1.png"
    python3 -c "import sys; sys.path.insert(0, sys.argv[1]); import timecode; c = timecode.codes(sys.argv[2], sys.argv[3]); print(-1 if not c or c[0] is None else c[0])" \
        "$here/lib" "$out/$1.png" "$2"
}
# Starts the time-code bars over the region; sets pjob.
bars_over_region() {
    ks_wine_start --timeout 120 "$pattern" bars "$rx" "$ry" "$rw" "$rh" 60; pjob=$KS_WINE_JOB
    sleep 1.5
}

# Says how long the journey has taken, at the start of each part.
part() { echo "== $1 (at $SECONDS s)"; }

# --- missing ---------------------------------------------------------------------
part missing
start_program || die "no frame"
record_named nothing || die "no New movie dialog"
wait_message 20 || fail "missing: no message"
ks_screenshot "$out/missing.png"
echo "$said" > "$out/missing.txt"
grep -qF 'C:\movies\nothing.mp4' <<< "$said" || fail "missing: the message does not name the movie"
grep -qF 'which was not found' <<< "$said" || fail "missing: the message does not say ffmpeg was not found"
grep -qF 'Choose ffmpeg.exe' <<< "$said" || fail "missing: the message does not say how to choose one"
xdotool key Return; sleep 1
[[ ! -e "$movies/nothing.mp4" ]] || fail "missing: a movie file was left"

# --- choose ----------------------------------------------------------------------
part choose
open_frame_menu
# Region size, the region, the two keys, Show clicks, Show keys, Record the
# pointer, Sound, Choose ffmpeg.exe...
for i in 1 2 3 4 5 6 7 8 9; do xdotool key Down; sleep 0.2; done
ks_screenshot "$out/menu-choose-ffmpeg.png"
xdotool key Return; sleep 3
ks_screenshot "$out/open-dialog.png"
windows | line_of 'Choose ffmpeg.exe' | grep -q . || fail "choose: no Open dialog"
xdotool type --delay 20 "$(ks_winpath "$ffmpeg_exe")"; sleep 0.5
xdotool key Return
t0=$SECONDS
wait_message 60 || fail "choose: no word about the chosen ffmpeg"
echo "choose: told after $((SECONDS - t0)) s"
ks_screenshot "$out/ffmpeg-chosen.png"
echo "$said" > "$out/ffmpeg-chosen.txt"
grep -qF 'MP4 movies will be made by' <<< "$said" && grep -qF 'libx264' <<< "$said" ||
    fail "choose: the program does not say it will use libx264"
xdotool key Return; sleep 1
[[ "$(stored FFmpegPath)" == "$(ks_winpath "$ffmpeg_exe")" ]] || fail "choose: FFmpegPath is '$(stored FFmpegPath)'"
ks_wine_close kestrascope > /dev/null; ks_wine_wait "$job" > /dev/null

# --- sound -----------------------------------------------------------------------
part sound
setting SoundInput "Monitor of Null Output"
start_program || die "sound: no frame"
read -r rx ry rw rh <<< "$(region)"
record_named talk || die "sound: no New movie dialog"
xdotool mousemove 1000 10
ks_wine_start --timeout 60 "$flashtone" "$rx" "$ry" "$rw" "$rh" 7 > "$out/flashes.txt"; tjob=$KS_WINE_JOB
sleep 8
xdotool mousemove $((bx + 116)) $((by + 14)) click 1                   # Stop
ks_wine_wait "$tjob" > /dev/null
talk="$movies/talk.mp4"
wait_finished "$talk" || fail "sound: the movie did not become an ordinary MP4"
ks_wine_close kestrascope > /dev/null; ks_wine_wait "$job" > /dev/null
cp "$talk" "$out/" 2>/dev/null
echo "sound: $(ffprobe -v error -show_entries stream=codec_name,profile,pix_fmt,color_space,color_primaries,color_transfer,color_range,sample_rate,channels -of compact "$talk" | tr '\n' ' ')"
ffprobe -v error -select_streams v:0 -show_entries stream=codec_name,pix_fmt,color_space,color_primaries,color_transfer -of csv=p=0 "$talk" |
    grep -qx 'h264,yuv420p,bt709,bt709,bt709' || fail "sound: the picture is not H.264 yuv420p tagged BT.709"
python3 "$here/lib/sound_check.py" "$talk" 30 --codec aac || fail "sound: the sound is not in step"
setting SoundInput ""

# --- pause, and the browser -------------------------------------------------------------
part pause
setting UserSetting False
setting SysSetting True
# The calibration stores the rate it chose when the recording starts: from
# "1", which it does not choose here (the check below asks for 10 or more).
setting fps 1
start_program || die "pause: no frame"
read -r rx ry rw rh <<< "$(region)"
record_named paused || die "pause: no New movie dialog"
bars_over_region
xdotool mousemove 1000 740
t0=$SECONDS
while [[ "$(stored fps)" == 1 && $((SECONDS - t0)) -lt 30 ]]; do sleep 0.5; done
echo "pause: the recording started $((SECONDS - t0)) s after OK"
sleep 2.5
xdotool mousemove $((bx + 64)) $((by + 14)) click 1; sleep 2               # Pause
xdotool mousemove $((bx + 64)) $((by + 14)) click 1; sleep 2.5             # Resume
xdotool mousemove $((bx + 116)) $((by + 14)) click 1                      # Stop
paused="$movies/paused.mp4"
wait_finished "$paused" || fail "pause: the movie did not become an ordinary MP4"
ks_wine_close kestrascope > /dev/null; ks_wine_wait "$job" > /dev/null
ks_wine_close pattern > /dev/null 2>&1; ks_wine_wait "$pjob" > /dev/null
cp "$paused" "$out/" 2>/dev/null
rate="$(stored fps)"
movie_rate="$(ffprobe -v error -select_streams v:0 -show_entries stream=r_frame_rate -of csv=p=0 "$paused" | tr -d '\r')"
echo "pause: the calibration chose $rate fps; the movie has $movie_rate"
[[ "$movie_rate" == "$rate/1" && "$rate" -ge 10 ]] || fail "pause: the movie's rate ($movie_rate) is not the calibrated $rate"
setting UserSetting True
setting SysSetting False
python3 - "$paused" "$here/lib" "$rate" <<'PY' || fail "pause: the time codes do not follow the schedule"
import sys
sys.path.insert(0, sys.argv[2])
rate = int(sys.argv[3])
import timecode
codes = timecode.codes(sys.argv[1])
read = [c for c in codes if c is not None]
steps = [b - a for a, b in zip(read, read[1:])]
jumps = [s for s in steps if s > 50]  # 0.5 s in 10 ms steps
print(f"pause: {len(codes)} frames, {len(read)} read, {len(set(read))} distinct codes, jumps of {jumps} x 10 ms")
ok = len(read) >= 0.95 * len(codes) and all(s >= 0 for s in steps) and len(jumps) == 1 and 150 <= jumps[0] <= 260
# About 5 s recorded at the rate, the pause left out.
ok = ok and abs(len(codes) - rate * (read[-1] - read[0] - jumps[0]) / 100) <= rate / 5
sys.exit(0 if ok else 1)
PY
python3 "$here/lib/browser_check.py" "$paused" "$out/browser" || fail "pause: the browser does not show the movie"

# --- kill -9 ----------------------------------------------------------------------------
for victim in kestrascope ffmpeg; do
    part "kill -9 $victim"
    start_program || die "kill $victim: no frame"
    read -r rx ry rw rh <<< "$(region)"
    record_named "killed-$victim" || die "kill $victim: no New movie dialog"
    bars_over_region
    xdotool mousemove 1000 740
    # A calibration may come first: the kill waits until ffmpeg has begun
    # the movie, then for 5 s of it.
    for _ in $(seq 60); do [[ -s "$movies/killed-$victim.mp4" ]] && break; sleep 0.5; done
    sleep 5
    code="$(screen_code "before-kill-$victim" "$rw:$rh:$rx:$ry")"
    pids="$(session_pids "$victim".exe)"
    [[ -n "$pids" ]] || die "kill $victim: cannot find its process"
    kill -9 $pids
    movie="$movies/killed-$victim.mp4"
    if [[ $victim == ffmpeg ]]; then
        wait_message 30 || fail "kill ffmpeg: no message"
        echo "$said" > "$out/killed-ffmpeg.txt"
        grep -qF 'ffmpeg stopped making the movie' <<< "$said" && grep -qF 'C:\movies\killed-ffmpeg.mp4' <<< "$said" ||
            fail "kill ffmpeg: the message does not say ffmpeg stopped, or does not name the movie"
        ks_screenshot "$out/killed-ffmpeg.png"
        xdotool key Return; sleep 1
        ks_wine_close kestrascope > /dev/null; ks_wine_wait "$job" > /dev/null
    else
        sleep 5
        [[ -z "$(session_pids ffmpeg.exe)" ]] || fail "kill kestrascope: ffmpeg.exe still runs 5 s after"
        ks_wine_wait "$job" > /dev/null 2>&1
    fi
    ks_wine_close pattern > /dev/null 2>&1; ks_wine_wait "$pjob" > /dev/null
    cp "$movie" "$out/" 2>/dev/null
    python3 - "$movie" "$here/lib" "$code" "$victim" <<'PY' || fail "kill $victim: the movie does not play to 2 s before the kill"
import sys
sys.path.insert(0, sys.argv[2])
import timecode
codes = [c for c in timecode.codes(sys.argv[1]) if c is not None]
at = int(sys.argv[3])
last = codes[-1] if codes else -1
print(f"kill -9 {sys.argv[4]}: the screen showed {at / 100:.2f} s at the kill, the movie plays to {last / 100:.2f} s"
      f" ({len(codes)} frames read): {(at - last) / 100:.2f} s lost")
sys.exit(0 if at > 0 and last >= at - 200 else 1)
PY
done

# --- full disk ----------------------------------------------------------------------------
part "full disk"
small="$WINEPREFIX/drive_c/small"
mkdir -p "$small"
if [[ $(id -u) -eq 0 ]] && mount -t tmpfs -o size=2m tmpfs "$small"; then
    setting folder 'C:\small'
    ks_wine_start --timeout 120 "$pattern" noise 0 0 600 500 60; noise=$KS_WINE_JOB
    sleep 1.5
    start_program || die "full: no frame"
    record_named full || die "full: no New movie dialog"
    wait_message 40 || fail "full: no message about the full disk"
    ks_screenshot "$out/disk-full.png"
    echo "$said" > "$out/disk-full.txt"
    grep -qF 'the disk is full' <<< "$said" || fail "full: the message does not say the disk is full"
    xdotool key Return; sleep 1
    n="$(frames_of "$small/full.mp4")"
    echo "full disk: the movie plays with $n frames ($(stat -c %s "$small/full.mp4") bytes on a 2 MiB disk)"
    [[ "$n" =~ ^[0-9]+$ && "$n" -ge 3 ]] || fail "full: the movie on the full disk does not play ($n)"
    cp "$small/full.mp4" "$out/" 2>/dev/null
    ks_wine_close kestrascope > /dev/null; ks_wine_wait "$job" > /dev/null
    ks_wine_close pattern > /dev/null 2>&1; ks_wine_wait "$noise" > /dev/null
    umount "$small" || umount -l "$small"
else
    echo "SKIP: full disk needs root to mount a small tmpfs"
fi

part end
[[ $failed -eq 0 ]] && echo "PASS: MP4 journeys (missing, choose, sound, pause and browser, kill -9 of each, full disk)"
exit $failed
