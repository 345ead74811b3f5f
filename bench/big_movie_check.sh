#!/usr/bin/env bash
# Writes a real movie past 4 GiB (full-HD frames, OpenDML extension RIFFs),
# asks ffprobe how many frames it finds, and deletes the file.
# Usage: bench/big_movie_check.sh PATH_TO_big_movie [DIR]
set -euo pipefail
prog=${1:?path to the big_movie program}
dir=${2:-.}
need_kb=$((6 * 1024 * 1024))  # 4.5 GiB movie plus room
free_kb=$(df -Pk "$dir" | awk 'NR == 2 { print $4 }')
if (( free_kb < need_kb )); then
  echo "big_movie_check: only $((free_kb / 1024)) MiB free in $dir, need $((need_kb / 1024)) MiB" >&2
  exit 1
fi
movie="$dir/big_movie_check_$$.avi"
trap 'rm -f "$movie"' EXIT
"$prog" "$movie"
echo "big_movie_file_size: $(stat -c %s "$movie") bytes"
echo "big_movie_ffprobe_packets: $(ffprobe -v error -select_streams v:0 -count_packets \
  -show_entries stream=nb_read_packets -of csv=p=0 "$movie") frames"
echo "big_movie_ffprobe_frames: $(ffprobe -v error -select_streams v:0 -count_frames \
  -show_entries stream=nb_read_frames -of csv=p=0 "$movie") frames"
echo "big_movie_ffprobe_duration: $(ffprobe -v error -show_entries format=duration -of csv=p=0 "$movie") s"
