#!/usr/bin/env bash
# kestrascope's MP4 against what a user would run instead, in one Wine
# session: ffmpeg.exe's own screen grab with a peer's default command line,
#   -f gdigrab -framerate 30 ... -c:v libx264 -r 30 -preset ultrafast
#   -tune zerolatency -crf 28 -pix_fmt yuv420p -movflags +faststart
# Both record the same 1920x1080 region for SECONDS (20 by default) while
# the pattern tool paints its time code there as bars, at 10 ms a step.
#   mp4_vs_gdigrab_distinct_per_s   readable time codes a second, each once
#   mp4_vs_gdigrab_duplicates       frames that repeat the code before
#   mp4_vs_gdigrab_cpu_s            processor seconds of every process
#                                   involved: the recorder and its ffmpeg (or
#                                   ffmpeg alone) and the wine server
#   mp4_vs_gdigrab_goal             PASS when ours has at least as many
#                                   distinct codes at no more than 1.1x the
#                                   processor time
#   mp4_stop_to_playable_1gib_s     the copy that makes an ordinary MP4 of a
#                                   fragmented 1 GiB one (what Stop does last),
#                                   by ffmpeg.exe under Wine and natively
# Needs the Windows build and build/tools/ffmpeg-win32/ffmpeg.exe (scripts/deps).
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-20}"
exe="$root/build/windows/src/app/kestrascope.exe"
pattern="$root/build/windows/tests/pattern.exe"
wininfo="$root/build/windows/tests/wininfo.exe"
ffmpeg_exe="$root/build/tools/ffmpeg-win32/ffmpeg.exe"
for f in "$exe" "$pattern" "$wininfo" "$ffmpeg_exe"; do
    [[ -f "$f" ]] || { echo "mp4_gdigrab_bench: missing $f (scripts/build windows, scripts/deps)"; exit 1; }
done
work="$(mktemp -d)"
source "$root/scripts/wine-harness.sh"
# Room for the frame's edges and bar around a 1920x1080 region.
ks_harness_start --size 2200x1300 --dpi 96 --name mp4bench || exit 1
trap 'ks_harness_stop; rm -rf "$work"' EXIT
reg() { ks_wine_run --timeout 60 "$WINEPREFIX/drive_c/windows/system32/reg.exe" "$@" > /dev/null; }
setting() { reg add 'HKCU\Software\QVkestrascope\Movie' /v "$1" /t REG_SZ /d "$2" /f; }
movies="$WINEPREFIX/drive_c/movies"
mkdir -p "$movies"
setting folder 'C:\movies'
setting UserSetting True
setting SysSetting False
setting fps 30
setting Compression MP4
setting FFmpegPath "$(ks_winpath "$ffmpeg_exe")"

# Processor ticks (utime + stime) of this session's processes whose command
# (its first word) matches REGEX, and of its wine server, remembered per
# process, so that one that ends keeps its last count.
declare -A ticks=() names=()
sample() { # REGEX
    local p first stat rest
    for p in $(pgrep -f "exe|wineserver"); do
        first="$({ tr '\0' '\n' < "/proc/$p/cmdline"; } 2>/dev/null | head -1)"
        [[ "${first,,}" =~ $1 || "$first" == *wineserver* ]] || continue
        { tr '\0' '\n' < "/proc/$p/environ"; } 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" || continue
        stat="$(cat "/proc/$p/stat" 2>/dev/null)" || continue
        rest="${stat##*) }"
        read -r -a fields <<< "$rest"
        ticks[$p]=$((fields[11] + fields[12]))
        first="${first##*[\\/]}"
        names[$p]="${first,,}"
    done
}
total_ticks() { local t=0 p; for p in "${!ticks[@]}"; do t=$((t + ticks[$p])); done; echo "$t"; }
# The ticks by program, "name=seconds ...", less those at the start (BASE: a
# copy of ticks then).
by_program() {
    local p
    declare -A sum=()
    for p in "${!ticks[@]}"; do sum[${names[$p]}]=$(( ${sum[${names[$p]}]:-0} + ticks[$p] - ${base[$p]:-0} )); done
    for p in "${!sum[@]}"; do awk -v n="$p" -v t="${sum[$p]}" -v hz="$hz" 'BEGIN { printf "%s=%.1f ", n, t / hz }'; done
}
sample_for() { # REGEX SECONDS
    local end=$((SECONDS + $2))
    while ((SECONDS < end)); do sample "$1"; sleep 0.5; done
}
hz="$(getconf CLK_TCK)"
declare -A base=()

# --- kestrascope ----------------------------------------------------------------
ks_wine_start --timeout 300 "$exe"; job=$KS_WINE_JOB
ks_wine_run --timeout 60 "$wininfo" wait kestrascope 60 || { echo "mp4_gdigrab_bench: no frame"; exit 1; }
# The look for ffmpeg runs at the start when MP4 is chosen: it must have
# ended before anything is counted (it runs ffmpeg.exe several times).
seen=0 quiet=0
for i in $(seq 120); do
    sleep 0.25
    if pgrep -f 'ffmpeg\.exe' > /dev/null; then seen=1 quiet=0; else quiet=$((quiet + 1)); fi
    ((seen && quiet >= 8)) && break
done
list="$(ks_wine_run --timeout 30 "$wininfo" list kestrascope | tr -d '\r')"
read -r tx ty _ <<< "$(awk 'substr($0, index($0, $11)) == "kestrascope"' <<< "$list")"
read -r bx by _ <<< "$(awk '$11 == "-" && $3 > $4' <<< "$list")"
# Region size 1920 x 1080 from frmtop's menu: its submenu's last item.
xdotool mousemove $((tx + 150)) $((ty + 10)) click 1; sleep 1
xdotool key alt+space; sleep 1
xdotool key Down Right; sleep 0.5
for i in 1 2 3 4; do xdotool key Down; sleep 0.2; done
xdotool key Return; sleep 1.5
list="$(ks_wine_run --timeout 30 "$wininfo" list kestrascope | tr -d '\r')"
read -r bx by _ <<< "$(awk '$11 == "-" && $3 > $4' <<< "$list")"
top="$(awk 'substr($0, index($0, $11)) == "kestrascope"' <<< "$list")"
left="$(awk '$11 == "-" && $4 > $3' <<< "$list" | sort -n | head -1)"
right="$(awk '$11 == "-" && $4 > $3' <<< "$list" | sort -n | tail -1)"
rx=$(( $(cut -d' ' -f1 <<< "$left") + $(cut -d' ' -f3 <<< "$left") ))
ry=$(( $(cut -d' ' -f2 <<< "$top") + $(cut -d' ' -f4 <<< "$top") ))
rw=$(( $(cut -d' ' -f1 <<< "$right") - rx )); rh=$(( by - ry ))
echo "mp4_gdigrab_bench: region $rx $ry ${rw}x$rh"
[[ $rw -eq 1920 && $rh -eq 1080 ]] || { echo "mp4_gdigrab_bench: the region is not 1920x1080"; exit 1; }
ks_wine_start --timeout 600 "$pattern" bars "$rx" "$ry" 1920 1080 $((4 * seconds + 60)); pjob=$KS_WINE_JOB
sleep 2
xdotool mousemove $((bx + 64)) $((by + 14)) click 1; sleep 2                 # Record
dialog="$(ks_wine_run --timeout 30 "$wininfo" list kestrascope | tr -d '\r' | awk 'substr($0, index($0, $11)) == "Create New Movie"')"
read -r _ _ _ _ cx cy _ <<< "$dialog"
[[ -n "${cy:-}" ]] || { echo "mp4_gdigrab_bench: no New movie dialog"; exit 1; }
xdotool mousemove $((cx + 66)) $((cy + 218)) click 1; sleep 0.3
xdotool type --delay 30 ours; sleep 0.3
xdotool mousemove $((cx + 200)) $((cy + 250)) click 1
xdotool mousemove 2150 1250
ticks=()
# Counted from the click on OK: ffmpeg's start is in both counts.
sample '(kestrascope|ffmpeg)\.exe$'
start_ticks=$(total_ticks)
base=(); for p in "${!ticks[@]}"; do base[$p]=${ticks[$p]}; done
sample_for '(kestrascope|ffmpeg)\.exe$' "$seconds"
xdotool mousemove $((bx + 116)) $((by + 14)) click 1                          # Stop
sample_for '(kestrascope|ffmpeg)\.exe$' 6
ours_cpu=$(( $(total_ticks) - start_ticks ))
echo "mp4_bench_cpu_by_program: ours $(by_program)"
ks_wine_close kestrascope > /dev/null; ks_wine_wait "$job" > /dev/null

# --- ffmpeg's own grab ----------------------------------------------------------
ticks=()
sample 'ffmpeg\.exe$'
start_ticks=$(total_ticks)
base=(); for p in "${!ticks[@]}"; do base[$p]=${ticks[$p]}; done
ks_wine_start --timeout 300 "$ffmpeg_exe" -hide_banner -loglevel error -f gdigrab -framerate 30 -offset_x "$rx" \
    -offset_y "$ry" -video_size 1920x1080 -draw_mouse 1 -i desktop -c:v libx264 -r 30 -preset ultrafast \
    -tune zerolatency -crf 28 -pix_fmt yuv420p -movflags +faststart -t "$seconds" -y 'C:\movies\gdigrab.mp4'
gjob=$KS_WINE_JOB
sample_for 'ffmpeg\.exe$' $((seconds + 8))
ks_wine_wait "$gjob" > /dev/null
grab_cpu=$(( $(total_ticks) - start_ticks ))
echo "mp4_bench_cpu_by_program: gdigrab $(by_program)"
ks_wine_close pattern > /dev/null 2>&1; ks_wine_wait "$pjob" > /dev/null

python3 - "$movies/ours.mp4" "$movies/gdigrab.mp4" "$root/tests/e2e/lib" "$ours_cpu" "$grab_cpu" "$hz" <<'PY'
import sys
sys.path.insert(0, sys.argv[3])
import timecode
ours_cpu, grab_cpu, hz = int(sys.argv[4]) / int(sys.argv[6]), int(sys.argv[5]) / int(sys.argv[6]), 1
figures = {}
for name, movie in (("ours", sys.argv[1]), ("gdigrab", sys.argv[2])):
    frames = timecode.read(movie)
    codes = [c for c, _ in frames]
    read = [c for c in codes if c is not None]
    torn = sum(t for _, t in frames)
    span = (read[-1] - read[0]) / 100 if len(read) > 1 else 0
    duplicates = sum(1 for a, b in zip(codes, codes[1:]) if a is not None and a == b)
    figures[name] = (len(set(read)) / span if span else 0, duplicates, len(codes), len(read), span, torn)
o, g = figures["ours"], figures["gdigrab"]
print("mp4_vs_gdigrab_distinct_per_s: %.1f vs gdigrab %.1f = %.3fx (ours %d frames, %d read, over %.1f s; gdigrab %d,"
      " %d, %.1f s)" % (o[0], g[0], o[0] / g[0] if g[0] else 0, o[2], o[3], o[4], g[2], g[3], g[4]))
print("mp4_vs_gdigrab_duplicates: %d vs gdigrab %d (torn frames, taken in bands across a repaint: %d vs %d)"
      % (o[1], g[1], o[5], g[5]))
print("mp4_vs_gdigrab_cpu_s: %.1f vs gdigrab %.1f = %.3fx (kestrascope, its ffmpeg and the wine server; ffmpeg and"
      " the wine server)" % (ours_cpu, grab_cpu, ours_cpu / grab_cpu if grab_cpu else 0))
ok = o[0] >= g[0] and grab_cpu > 0 and ours_cpu <= 1.1 * grab_cpu
print("mp4_vs_gdigrab_goal: %s (distinct %.1f vs %.1f a second, processor %.3fx, limit 1.1x)"
      % ("PASS" if ok else "FAIL", o[0], g[0], ours_cpu / grab_cpu if grab_cpu else 0))
PY

# --- Stop to playable: the finishing copy of a 1 GiB fragmented movie ----------
frag="$WINEPREFIX/drive_c/movies/big-fragmented.mp4"
ffmpeg -v error -f lavfi -i "testsrc2=s=1920x1080:r=30:d=10" -vf noise=alls=40:allf=t -c:v libx264 -preset ultrafast \
    -b:v 100M -f mp4 -y "$work/clip.mp4"
ffmpeg -v error -stream_loop -1 -i "$work/clip.mp4" -c copy -fs 1073741824 -f mp4 \
    -movflags +frag_keyframe+empty_moov+default_base_moof -y "$frag"
size=$(stat -c %s "$frag")
t0=$(date +%s.%N)
ks_wine_run --timeout 600 "$ffmpeg_exe" -hide_banner -nostdin -loglevel error -i 'C:\movies\big-fragmented.mp4' -map 0 \
    -c copy -f mp4 -movflags +faststart -y 'C:\movies\big-finished.mp4' > /dev/null
t1=$(date +%s.%N)
ffmpeg -v error -i "$frag" -map 0 -c copy -f mp4 -movflags +faststart -y "$work/big-native.mp4"
t2=$(date +%s.%N)
awk -v a="$t0" -v b="$t1" -v c="$t2" -v s="$size" 'BEGIN {
    printf "mp4_stop_to_playable_1gib_s: %.1f s under Wine (ffmpeg.exe 4.1) vs native ffmpeg %.1f s = %.2fx, for %.0f MB\n",
        b - a, c - b, (b - a) / (c - b), s / 1e6 }'
