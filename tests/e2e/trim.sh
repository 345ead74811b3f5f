#!/usr/bin/env bash
# Trimming under Wine, by the keyboard:
#   trim      a ZMBV recording of the time-code bars, opened with "Trim a
#             movie..." (Alt+Space, T) and the Open dialog; Page Down twice,
#             I, Page Down three times, Left, O, Ctrl+S and Enter in the Save
#             dialog: the new movie's codes are exactly the source's frames
#             from 2 s to 5 s, and the source's bytes are unchanged;
#   cancel    a 1 GiB uncompressed movie: the progress bar shows while it is
#             saved, Esc cancels, and no file is left;
#   refused   a file that is not a movie gets a message saying so;
#   mp4       the recording made an H.264 MP4, trimmed the same way through
#             the Windows ffmpeg.exe: its codes are the MP4's from 2 s to 5 s;
#   144 dpi   the trim window in a session at 144 DPI (screenshots).
source "$(dirname "${BASH_SOURCE[0]}")/lib/journey.sh" trim
[[ -f "$pattern" ]] || die "build the Windows preset first (pattern.exe)"
big_movie="$KS_BUILD_LINUX/bench/big_movie"
ffmpeg_exe="$KS_ROOT/build/tools/ffmpeg-win32/ffmpeg.exe"
[[ -f "$ffmpeg_exe" ]] || die "no $ffmpeg_exe: scripts/deps fetches it"

movies="$WINEPREFIX/drive_c/movies"
mkdir -p "$movies"
setting folder 'C:\movies'
setting UserSetting True
setting SysSetting False
setting fps 30
setting Compression ZMBV

part() { echo "== $1 (at $SECONDS s)"; }
# Waits up to S seconds for a window whose caption starts with TEXT.
wait_window() {
    local i
    for i in $(seq $((2 * $2))); do
        windows | awk -v c="$1" 'index(substr($0, index($0, $11)), c) == 1' | grep -q . && return 0
        sleep 0.5
    done
    return 1
}
# Opens "Trim a movie..." from frmtop's menu and types PATH (Windows form)
# into the Open dialog.
open_trim() {
    open_frame_menu
    ks_screenshot "$out/menu-$2.png"
    xdotool key t
    wait_window 'Trim a movie' 10 || { fail "$2: no Open dialog"; return 1; }
    sleep 0.3
    xdotool type --delay 20 "$1"; sleep 0.5
    xdotool key Return; sleep 0.5
}

# --- trim ----------------------------------------------------------------------
part trim
start_program || die "no frame"
read -r rx ry rw rh <<< "$(region)"
ks_wine_start --timeout 120 "$pattern" bars "$rx" "$ry" "$rw" "$rh" 60; pjob=$KS_WINE_JOB
wait_pattern || die "trim: no pattern window"
open_new_movie || die "no New movie dialog"
xdotool mousemove $((cx + 66)) $((cy + 218)) click 1; sleep 0.3
xdotool type --delay 30 source; sleep 0.3
xdotool mousemove $((cx + 200)) $((cy + 250)) click 1
sleep 8
xdotool mousemove $((bx + 116)) $((by + 14)) click 1                  # Stop
sleep 3
ks_wine_close pattern > /dev/null
source_avi="$movies/source.avi"
[[ -s "$source_avi" ]] || die "trim: no recording"
before="$(sha256sum < "$source_avi")"
open_trim 'C:\movies\source.avi' trim || die "trim: no Open dialog"
wait_window "Trim source.avi" 20 || die "trim: no trim window"
ks_screenshot "$out/trim-window-96.png"
for k in Next Next i Next Next Next Left o; do xdotool key "$k"; sleep 0.4; done
ks_screenshot "$out/trim-span-96.png"
# (Its labels are drawn by the window itself; the screenshot shows the span.)
xdotool key ctrl+s
wait_window 'Save the trimmed movie' 10 || fail "trim: no Save dialog"
sleep 0.3
ks_screenshot "$out/save-dialog.png"
xdotool key Return
wait_message 60 || fail "trim: no message after saving"
echo "$said" > "$out/saved.txt"
grep -qF 'source-trim.avi is saved: 90 frames, 3.00 s.' <<< "$said" || fail "trim: no word of the saved movie ($said)"
xdotool key Return; sleep 1
trimmed="$movies/source-trim.avi"
[[ -s "$trimmed" ]] || fail "trim: no source-trim.avi"
[[ "$(sha256sum < "$source_avi")" == "$before" ]] || fail "trim: the source changed"
python3 - "$here/lib" "$source_avi" "$trimmed" <<'PY' || fail "trim: the codes are not the source's from 2 s to 5 s"
import sys
sys.path.insert(0, sys.argv[1])
import timecode
src, cut = timecode.codes(sys.argv[2]), timecode.codes(sys.argv[3])
print(f"trim: {len(cut)} frames, source frames 60-149 have codes {src[60]}..{src[149]}, the trimmed movie {cut[0]}..{cut[-1]}")
sys.exit(0 if cut == src[60:150] and len(cut) == 90 else 1)
PY
ffmpeg -nostdin -v error -i "$trimmed" -f null - 2>&1 | grep -q . && fail "trim: ffmpeg finds errors in the trimmed movie"

# --- cancel ------------------------------------------------------------------------
part cancel
"$big_movie" "$movies/big.avi" 170 > /dev/null || die "cancel: big_movie failed"
xdotool key Escape; sleep 1                                             # the trim window goes
open_trim 'C:\movies\big.avi' cancel || die "cancel: no Open dialog"
wait_window "Trim big.avi" 20 || die "cancel: no trim window"
xdotool key ctrl+s
wait_window 'Save the trimmed movie' 10 || fail "cancel: no Save dialog"
sleep 0.3
xdotool key Return; sleep 0.4
ks_screenshot "$out/saving-progress.png"
xdotool key Escape
wait_message 60 || fail "cancel: no message after the cancel"
echo "$said" > "$out/cancelled.txt"
grep -qF 'The trim was cancelled; no file was left' <<< "$said" || fail "cancel: no word of the cancel ($said)"
xdotool key Return; sleep 1
ls "$movies" | grep -q '^big-trim' && fail "cancel: a file was left: $(ls "$movies")"
xdotool key Escape; sleep 1

# --- refused -----------------------------------------------------------------------
part refused
echo "not a movie" > "$movies/notes.avi"
open_trim 'C:\movies\notes.avi' refused || die "refused: no Open dialog"
wait_message 30 || fail "refused: no message"
echo "$said" > "$out/refused.txt"
grep -qF 'notes.avi cannot be trimmed' <<< "$said" || fail "refused: no message ($said)"
ks_screenshot "$out/refused.png"
xdotool key Return; sleep 1

# --- mp4 ---------------------------------------------------------------------------
part mp4
ffmpeg -nostdin -v error -y -i "$source_avi" -c:v libx264 -preset ultrafast -crf 16 -g 60 -pix_fmt yuv420p \
    "$movies/source.mp4" || die "mp4: no MP4 made of the recording"
setting FFmpegPath "$(ks_winpath "$ffmpeg_exe")"
open_trim 'C:\movies\source.mp4' mp4 || die "mp4: no Open dialog"
wait_window "Trim source.mp4" 60 || die "mp4: no trim window"
for k in Next Next i Next Next Next Left o; do xdotool key "$k"; sleep 0.6; done
ks_screenshot "$out/trim-mp4-96.png"
xdotool key ctrl+s
wait_window 'Save the trimmed movie' 10 || fail "mp4: no Save dialog"
sleep 0.3
xdotool key Return
wait_message 120 || fail "mp4: no message after saving"
echo "$said" > "$out/saved-mp4.txt"
grep -qF 'source-trim.mp4 is saved: 90 frames, 3.00 s.' <<< "$said" || fail "mp4: no word of the saved movie ($said)"
xdotool key Return; sleep 1
python3 - "$here/lib" "$movies/source.mp4" "$movies/source-trim.mp4" <<'PY' || fail "mp4: the codes are not the MP4's from 2 s to 5 s"
import sys
sys.path.insert(0, sys.argv[1])
import timecode
src, cut = timecode.codes(sys.argv[2]), timecode.codes(sys.argv[3])
print(f"mp4: {len(cut)} frames, source frames 60-149 have codes {src[60]}..{src[149]}, the trimmed movie {cut[0]}..{cut[-1]}")
sys.exit(0 if cut == src[60:150] and len(cut) == 90 and None not in cut else 1)
PY
xdotool key Escape; sleep 1
ks_wine_close kestrascope > /dev/null; ks_wine_wait "$job" > /dev/null

# --- 144 dpi -----------------------------------------------------------------------
part "144 dpi"
cp "$source_avi" "$out/source.avi"
ks_harness_stop
ks_harness_start --size 1600x1200 --dpi 144 --name trim144 || die "harness at 144 DPI"
mkdir -p "$WINEPREFIX/drive_c/movies"
cp "$out/source.avi" "$WINEPREFIX/drive_c/movies/"
setting folder 'C:\movies'
start_program || die "144: no frame"
open_trim 'C:\movies\source.avi' 144 || die "144: no Open dialog"
wait_window "Trim source.avi" 20 || fail "144: no trim window"
for k in Next Next i; do xdotool key "$k"; sleep 0.4; done
ks_screenshot "$out/trim-window-144.png"
ks_wine_close kestrascope > /dev/null; ks_wine_wait "$job" > /dev/null
rm -f "$out/source.avi"

[[ $failed -eq 0 ]] && echo "PASS: trim, cancel, refused, MP4 and 144 DPI journeys"
exit $failed
