#!/usr/bin/env bash
# Makes recordings the way the platform writer does, with the ffmpeg tool:
#   video: QuickTime, H.264 480x360, 10 fps, 200 kbit/s, a key frame every 10 frames,
#          no B-frames, no audio;
#   audio: QuickTime, AAC LC, mono, 22050 Hz, 32 kbit/s, no perceptual noise substitution.
#
# usage: make_recordings.sh OUT_DIR NAME...
#        make_recordings.sh --live OUT_DIR SECONDS
# Each NAME writes OUT_DIR/NAME.mov; see the recipes below. Existing files are kept, so the
# test processes of a build share what the first one made (files appear whole, by rename).
# --live writes OUT_DIR/live-video.mov and OUT_DIR/live-audio.mov in real time, as a
# recorder does: the files grow while the test reads them.
set -euo pipefail

x264=(-c:v libx264 -preset veryfast -b:v 200k -g 10 -keyint_min 10 -sc_threshold 0 -bf 0
      -pix_fmt yuv420p)
aac=(-c:a aac -ac 1 -aac_pns 0)

if [ "${1:-}" = "--live" ]; then
  out=$2 seconds=$3
  mkdir -p "$out"
  exec ffmpeg -nostdin -v error -y \
    -re -t "$seconds" -f lavfi -i "testsrc2=size=480x360:rate=10" \
    -re -t "$seconds" -f lavfi -i "sine=frequency=440:sample_rate=48000" \
    -map 0:v "${x264[@]}" -flush_packets 1 -f mov "$out/live-video.mov" \
    -map 1:a "${aac[@]}" -b:a 32k -ar 22050 -flush_packets 1 -f mov "$out/live-audio.mov"
fi

out=$1
shift
mkdir -p "$out"

video() {  # video NAME SECONDS [extra x264 params]
  local name=$1 seconds=$2 params=${3:-}
  ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=480x360:rate=10" -t "$seconds" \
    "${x264[@]}" ${params:+-x264-params "$params"} -an -f mov "$out/$name.mov.$$"
  mv "$out/$name.mov.$$" "$out/$name.mov"
}

audio() {  # audio NAME SECONDS RATE SOURCE [BITRATE]
  local name=$1 seconds=$2 rate=$3 source=$4 bitrate=${5:-32k}
  ffmpeg -nostdin -v error -y -f lavfi -i "$source" -t "$seconds" \
    "${aac[@]}" -b:a "$bitrate" -ar "$rate" -vn -f mov "$out/$name.mov.$$"
  mv "$out/$name.mov.$$" "$out/$name.mov"
}

tone="sine=frequency=440:sample_rate=48000"
# Bursts of noise every 0.2 s over a tone: transients (short windows) and dense spectra.
transients="aevalsrc='0.3*sin(2*PI*440*t)+0.9*(random(0)-0.5)*lt(mod(t\\,0.2)\\,0.01)':s=48000"
for name in "$@"; do
  [ -f "$out/$name.mov" ] && continue
  case "$name" in
    video-3s)         video "$name" 3 ;;
    audio-3s)         audio "$name" 3 22050 "$tone" ;;
    video-short)      video "$name" 0.5 ;;
    audio-short)      audio "$name" 0.5 22050 "$tone" ;;
    video-12s)        video "$name" 12 ;;
    audio-12s)        audio "$name" 12 22050 "$tone" ;;
    video-slices)     video "$name" 3 "slices=2" ;;
    audio-44100)      audio "$name" 3 44100 "$tone" ;;
    audio-16000)      audio "$name" 3 16000 "$tone" ;;
    audio-48000)      audio "$name" 3 48000 "$tone" ;;
    audio-8000)       audio "$name" 3 8000 "$tone" ;;
    audio-transients) audio "$name" 3 22050 "$transients" ;;
    # For the frame walker's benchmark: a minute of dense spectra at a higher rate.
    audio-dense)      audio "$name" 60 44100 "$transients" 96k ;;
    *) echo "make_recordings.sh: unknown recording $name" >&2; exit 2 ;;
  esac
done
