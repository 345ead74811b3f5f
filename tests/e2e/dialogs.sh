#!/usr/bin/env bash
# The New movie and Settings dialogs with real input under Wine: the New
# movie dialog opens on the stored folder and lists its .avi files; OK on an
# existing name asks before overwriting (No keeps the dialog, Yes records);
# the Settings dialog shows the stored choices; a drive that arrives later is
# listed; a network folder works as the default folder, stored or as the
# program's own. Screenshots of both.
source "$(dirname "${BASH_SOURCE[0]}")/lib/journey.sh" dialogs

# First run, nothing stored: the New movie dialog opens on the program's
# own folder.
start_program || die "no frame"
open_new_movie || die "first run: the New movie dialog did not open"
controls 'Create New Movie' > "$out/first-run-controls.txt"
ks_screenshot "$out/first-run.png"
grep -q '^  item\*: *app$' "$out/first-run-controls.txt" || fail "first run: the folder list is not on the program's folder"
grep -q '^  item\*: Z:$' "$out/first-run-controls.txt" || fail "first run: the drive list is not on the program's drive"
read -r _ _ _ _ cx cy _ <<< "$(windows | grep 'Create New Movie$')"
xdotool mousemove $((cx + 256)) $((cy + 250)) click 1   # Cancel
sleep 1
windows | grep -q 'Create New Movie$' && fail "Cancel left the dialog open"
ks_wine_close kestrascope > /dev/null
ks_wine_wait "$job" > /dev/null

movies="$WINEPREFIX/drive_c/movies"
mkdir -p "$movies/Holiday"
printf 'x' > "$movies/old.avi"; printf 'x' > "$movies/Other.AVI"; printf 'x' > "$movies/notes.txt"
setting folder 'C:\movies'
setting UserSetting True
setting SysSetting False
setting fps 15

start_program || die "no frame"

# New movie dialog.
open_new_movie || die "the New movie dialog did not open"
ks_screenshot "$out/new-movie.png"
controls 'Create New Movie' > "$out/new-movie-controls.txt"
grep -q '^  item\*: C:$' "$out/new-movie-controls.txt" || fail "drive list not on C:"
grep -q '^  item\*: *movies$' "$out/new-movie-controls.txt" || fail "folder list not on C:\\movies"
grep -q '^  item: *Holiday$' "$out/new-movie-controls.txt" || fail "subfolder not listed"
# The second list box's items; each control's line ends the list before it.
files="$(awk '/^[A-Za-z]/ { list = $1 == "ListBox"; if (list) n++ } list && n == 2 && /^  item/ { sub(/^  item\*?: /, ""); print }' "$out/new-movie-controls.txt" | paste -sd' ')"
[[ "$files" == "old.avi Other.AVI" ]] || fail "file list shows '$files', expected 'old.avi Other.AVI'"

xdotool mousemove $((cx + 66)) $((cy + 218)) click 1; sleep 0.3
xdotool type --delay 30 "old"; sleep 0.3
xdotool mousemove $((cx + 200)) $((cy + 250)) click 1; sleep 1.5
[[ "$(windows | grep -c ' kestrascope$')" -eq 2 ]] || fail "no overwrite question for an existing file"
ks_screenshot "$out/overwrite-question.png"
xdotool key n; sleep 1
windows | grep -q 'Create New Movie$' || fail "No closed the New movie dialog"
[[ "$(windows | grep -c ' kestrascope$')" -eq 1 ]] || fail "the question stayed up after No"
xdotool mousemove $((cx + 200)) $((cy + 250)) click 1; sleep 1.5
[[ "$(windows | grep -c ' kestrascope$')" -eq 2 ]] || fail "no question the second time"
xdotool key y; sleep 3
windows | grep -q 'Create New Movie$' && fail "Yes left the dialog open"
xdotool mousemove $((bx + 116)) $((by + 14)) click 1   # Stop
sleep 2
probe="$(ffprobe -v error -count_frames -show_entries stream=nb_read_frames,r_frame_rate -of csv=p=0 "$movies/old.avi" 2>&1)"
echo "old.avi after Yes: $probe"
[[ "$probe" =~ ^15/1,[0-9]+$ ]] || fail "old.avi was not replaced by a 15 fps movie: $probe"

# Settings dialog shows the stored choices.
xdotool mousemove $((bx + 212)) $((by + 14)) click 1
sleep 2
windows | grep -q ' Settings$' || fail "the Settings dialog did not open"
ks_screenshot "$out/settings.png"
controls Settings > "$out/settings-controls.txt"
grep -q '^  item\*: 15$' "$out/settings-controls.txt" || fail "rate list does not show 15"
grep -q '^Button .* 1 assign a value$' "$out/settings-controls.txt" || fail "no 'assign a value' option"
ks_wine_close Settings > /dev/null 2>&1
sleep 1
windows | grep -q ' Settings$' && fail "closing did not hide the Settings dialog"

# A drive that arrives while the program runs. Announced, it is listed at
# once by both dialogs, hidden as they are; made without a word, by each one
# the next time it is shown.
ks_wine_run --timeout 30 "$wininfo" define M: 'C:\movies' || fail "could not make drive M:"
ks_wine_run --timeout 30 "$wininfo" announce M: || fail "could not announce drive M:"
sleep 1
controls Settings > "$out/settings-announced-drive.txt"
grep -q '^  item: M:$' "$out/settings-announced-drive.txt" || fail "Settings does not list the announced drive"
grep -q '^  item\*: C:$' "$out/settings-announced-drive.txt" || fail "Settings lost its drive on reading the drives again"
controls 'Create New Movie' > "$out/new-movie-announced-drive.txt"
grep -q '^  item: M:$' "$out/new-movie-announced-drive.txt" || fail "the New movie dialog does not list the announced drive"
grep -q '^  item\*: *movies$' "$out/new-movie-announced-drive.txt" || fail "the New movie dialog left its folder on reading the drives"
ks_wine_run --timeout 30 "$wininfo" define L: 'C:\movies\Holiday' || fail "could not make drive L:"
xdotool mousemove $((bx + 212)) $((by + 14)) click 1
sleep 2
controls Settings > "$out/settings-new-drive.txt"
grep -q '^  item: L:$' "$out/settings-new-drive.txt" || fail "Settings does not list the drive that came later"
ks_wine_close Settings > /dev/null 2>&1
sleep 1
open_new_movie || fail "the New movie dialog did not open again"
controls 'Create New Movie' > "$out/new-movie-new-drive.txt"
grep -q '^  item: L:$' "$out/new-movie-new-drive.txt" || fail "the New movie dialog does not list the drive that came later"
grep -q '^  item\*: *movies$' "$out/new-movie-new-drive.txt" || fail "the New movie dialog left its folder on reading the drives"
read -r _ _ _ _ cx cy _ <<< "$(windows | grep 'Create New Movie$')"
xdotool mousemove $((cx + 256)) $((cy + 250)) click 1   # Cancel
sleep 1
ks_wine_close kestrascope > /dev/null
ks_wine_wait "$job" > /dev/null

# A network folder: Wine serves \\localhost\ks from dosdevices/unc.
share="$WINEPREFIX/dosdevices/unc/localhost/ks"
mkdir -p "$share/movies" "$share/tools"
setting folder '\\localhost\ks\movies'
start_program || die "no frame"
open_new_movie || die "the New movie dialog did not open on the network folder"
ks_screenshot "$out/network-folder.png"
controls 'Create New Movie' > "$out/network-folder-controls.txt"
grep -q '^  item\*: \\\\localhost\\ks$' "$out/network-folder-controls.txt" || fail "drive list not on the share"
grep -q '^  item: \\\\localhost\\ks\\$' "$out/network-folder-controls.txt" || fail "folder list without the share's root"
grep -q '^  item\*: *movies$' "$out/network-folder-controls.txt" || fail "folder list not on \\\\localhost\\ks\\movies"
xdotool mousemove $((cx + 66)) $((cy + 218)) click 1; sleep 0.3
xdotool type --delay 30 "net"; sleep 0.3
xdotool mousemove $((cx + 200)) $((cy + 250)) click 1; sleep 3
windows | grep -q 'Create New Movie$' && fail "OK left the dialog open on the network folder"
xdotool mousemove $((bx + 116)) $((by + 14)) click 1   # Stop
sleep 2
probe="$(ffprobe -v error -count_frames -show_entries stream=nb_read_frames,r_frame_rate -of csv=p=0 "$share/movies/net.avi" 2>&1)"
echo "net.avi: $probe"
[[ "$probe" =~ ^15/1,[0-9]+$ ]] || fail "no 15 fps movie in the network folder: $probe"
ks_wine_close kestrascope > /dev/null
ks_wine_wait "$job" > /dev/null

# Run from a network folder with nothing stored: that folder is the default.
reg delete 'HKCU\Software\QVkestrascope\Movie' /v folder /f
cp "$exe" "$share/tools/kestrascope.exe"
start_program '\\localhost\ks\tools\kestrascope.exe' || die "no frame when run from the share"
xdotool mousemove $((bx + 212)) $((by + 14)) click 1
sleep 2
controls Settings > "$out/run-from-share-controls.txt"
ks_screenshot "$out/run-from-share.png"
grep -q '^  item\*: \\\\localhost\\ks$' "$out/run-from-share-controls.txt" || fail "run from the share: drive list not on it"
grep -q '^  item\*: *tools$' "$out/run-from-share-controls.txt" || fail "run from the share: folder list not on the program's folder"
[[ "$(stored folder)" == '\\localhost\ks\tools' ]] || fail "run from the share: stored folder is '$(stored folder)'"
ks_wine_close Settings > /dev/null 2>&1
ks_wine_close kestrascope > /dev/null
ks_wine_wait "$job" > /dev/null
[[ $failed -eq 0 ]] && echo "PASS: dialogs (screens in $out)"
exit $failed
