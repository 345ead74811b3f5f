#!/usr/bin/env bash
# The New movie and Settings dialogs with real input under Wine: the New
# movie dialog opens on the stored folder and lists its .avi files; OK on an
# existing name asks before overwriting (No keeps the dialog, Yes records);
# the Settings dialog shows the stored choices. Screenshots of both.
source "$(dirname "${BASH_SOURCE[0]}")/lib/journey.sh" dialogs

# First run, nothing stored: the New movie dialog opens on the program's
# own folder.
ks_wine_start --timeout 300 "$exe"; job=$KS_WINE_JOB
ks_wine_run --timeout 30 "$wininfo" wait kestrascope 30 || die "no frame"
sleep 1
read -r bx by _ <<< "$(windows | awk '$11 == "-" && $3 > $4')"
xdotool mousemove $((bx + 64)) $((by + 14)) click 1
sleep 2
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

ks_wine_start --timeout 300 "$exe"; job=$KS_WINE_JOB
ks_wine_run --timeout 30 "$wininfo" wait kestrascope 30 || die "no frame"
sleep 1
read -r bx by _ <<< "$(windows | awk '$11 == "-" && $3 > $4')"

# New movie dialog.
xdotool mousemove $((bx + 64)) $((by + 14)) click 1
sleep 2
dlg="$(windows | grep 'Create New Movie$')"
[[ -n "$dlg" ]] || die "the New movie dialog did not open"
read -r _ _ _ _ cx cy _ <<< "$dlg"
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
ks_wine_close kestrascope > /dev/null
ks_wine_wait "$job" > /dev/null
[[ $failed -eq 0 ]] && echo "PASS: dialogs (screens in $out)"
exit $failed
