#!/usr/bin/env bash
# A bounded load test of selvo-server on loopback (not part of the test suite):
# 200 clients reading timelines and posting comments and 50 ingest streams at
# one piece per second, for 30 seconds, against a release build.
#   scripts/bench/server_load.sh [--clients N] [--streams N] [--seconds N]
# Prints requests per second, p50/p99 latencies, failed requests, lost pieces.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cd "$root"
scripts/build release --target selvo-server selvo-server-load >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/selvo-load-XXXXXX")
server_pid=""
cleanup() {
  if [ -n "$server_pid" ]; then kill -TERM "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# One-second transport-stream pieces like the recorder's (320x240, 10 fps, AAC).
ffmpeg -v error -nostdin -f lavfi -i testsrc=size=480x360:rate=10 \
  -f lavfi -i sine=frequency=440:sample_rate=22050 -t 30 \
  -c:v libx264 -preset ultrafast -g 10 -keyint_min 10 -sc_threshold 0 -pix_fmt yuv420p \
  -c:a aac -ac 1 -b:a 32k -f segment -segment_time 1 -segment_format mpegts "$work/piece%04d.ts"
mkdir "$work/pieces" && mv "$work"/piece*.ts "$work/pieces/"

build/bin/selvo-server --listen 127.0.0.1:0 --data "$work/data" --threads 320 \
  >"$work/server.out" 2>"$work/server.err" &
server_pid=$!
for _ in $(seq 100); do [ -s "$work/server.out" ] && break; sleep 0.1; done
url=$(sed -n '1s/^listening on //p' "$work/server.out")
[ -n "$url" ] || { echo "server_load: selvo-server did not start" >&2; cat "$work/server.err" >&2; exit 1; }

status=0
build/bin/selvo-server-load --url "$url" --pieces-dir "$work/pieces" "$@" || status=$?
echo "server peak memory: $(grep VmHWM /proc/$server_pid/status | awk '{print $2, $3}')"
exit $status
