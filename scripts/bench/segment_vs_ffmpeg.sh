#!/usr/bin/env bash
# Speed of `selvo segment` against ffmpeg's stream copy into MPEG-TS and against plain
# copying of the two recordings into one file (the physical limit), side by side on the
# same 10-minute 720p pair (about 300 MB, made once with the ffmpeg tool).
#
# usage: scripts/bench/segment_vs_ffmpeg.sh [WORK_DIR]     (default: build/bench)
# Inputs and outputs live in WORK_DIR; on a tmpfs (/dev/shm/...) the numbers show the
# programs' own cost without the file system's.
# SELVO_BENCH_MINUTES (default 10) and SELVO_BENCH_RUNS (default 5) change the size and
# the number of timed runs; the median of the runs is reported.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=${1:-$root/build/bench}
minutes=${SELVO_BENCH_MINUTES:-10}
runs=${SELVO_BENCH_RUNS:-5}
seconds=$((minutes * 60))
mkdir -p "$work"

echo "== building selvo (release)" >&2
"$root/scripts/build" release selvo >/dev/null
selvo=$root/build/bin/selvo

video=$work/video-720p-${minutes}min.mov
audio=$work/audio-22050hz-${minutes}min.mov
if [ ! -f "$video" ]; then
  echo "== making $video (H.264 1280x720 30 fps 4 Mbit/s, a key frame a second, no B-frames)" >&2
  ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=1280x720:rate=30" \
    -vf "noise=alls=12:allf=t" -t "$seconds" -c:v libx264 -preset ultrafast -b:v 4M \
    -maxrate 4M -bufsize 4M -g 30 -bf 0 -pix_fmt yuv420p -an -f mov "$video.tmp"
  mv "$video.tmp" "$video"
fi
if [ ! -f "$audio" ]; then
  echo "== making $audio (the recorder's audio: AAC LC mono 22050 Hz 32 kbit/s)" >&2
  ffmpeg -nostdin -v error -y -f lavfi \
    -i "aevalsrc='0.3*sin(2*PI*440*t)+0.5*(random(0)-0.5)*lt(mod(t\,0.5)\,0.05)':s=44100" \
    -t "$seconds" -c:a aac -b:a 32k -ac 1 -ar 22050 -aac_pns 0 -f mov "$audio.tmp"
  mv "$audio.tmp" "$audio"
fi
input_bytes=$(( $(stat -c %s "$video") + $(stat -c %s "$audio") ))

out=$work/out
run_segment() { mkdir -p "$out"; rm -rf "$out/pieces"; "$selvo" segment --video "$video" --audio "$audio" --frame-rate 30 --out "$out/pieces" >/dev/null; }
run_ffmpeg() { mkdir -p "$out"; ffmpeg -nostdin -v error -y -i "$video" -i "$audio" -map 0 -map 1 -c copy -f mpegts "$out/ffmpeg.ts"; }
run_copy() { mkdir -p "$out"; cat "$video" "$audio" > "$out/copy.bin"; }

# Wall time in seconds of one run of a function, after the previous output is gone.
wall() {
  local start end
  rm -rf "$out" && mkdir -p "$out" && sync
  start=$(date +%s.%N)
  "$1"
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}

median() { sort -n | awk '{ a[NR] = $1 } END { print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2 }'; }

declare -A result
for name in segment ffmpeg copy; do
  "run_$name"  # warm the page cache and the program
  times=()
  for ((i = 0; i < runs; i++)); do times+=("$(wall "run_$name")"); done
  result[$name]=$(printf '%s\n' "${times[@]}" | median)
  echo "$name: ${times[*]}" >&2
done

run_segment
pieces=$(ls "$out/pieces" | wc -l)
piece_bytes=$(cat "$out/pieces"/*.ts | wc -c)
run_ffmpeg
ffmpeg_bytes=$(stat -c %s "$out/ffmpeg.ts")
rm -rf "$out"

printf '\ninput: %s + %s = %.1f MB (%d minutes)\n' "$(basename "$video")" "$(basename "$audio")" \
  "$(echo "$input_bytes / 1000000" | bc -l)" "$minutes"
printf '%-40s %8s %10s\n' "" "wall s" "MB/s in"
for name in segment ffmpeg copy; do
  case $name in
    segment) label="selvo segment ($pieces pieces, $((piece_bytes / 1000000)) MB)" ;;
    ffmpeg) label="ffmpeg -c copy -f mpegts ($((ffmpeg_bytes / 1000000)) MB)" ;;
    copy) label="cat of both inputs" ;;
  esac
  printf '%-40s %8.3f %10.0f\n' "$label" "${result[$name]}" \
    "$(echo "$input_bytes / ${result[$name]} / 1000000" | bc -l)"
done
printf '\nselvo segment / ffmpeg: %.3f (goal <= 0.45)\n' "$(echo "${result[segment]} / ${result[ffmpeg]}" | bc -l)"
printf 'selvo segment / copy:   %.3f (goal <= 1.5)\n' "$(echo "${result[segment]} / ${result[copy]}" | bc -l)"
