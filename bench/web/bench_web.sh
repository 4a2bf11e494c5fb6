#!/usr/bin/env bash
# The software frame cost of the web build (WebAssembly under Node, the
# browser's engine) against the native build, per part, on one core: both
# capture the whole show with --stats, and the medians are set side by side.
#   bench/web/bench_web.sh [FPS]     (after ./test.sh or ./play.sh --web)
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
fps=${1:-15}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
pin=""
command -v taskset >/dev/null && pin="taskset -c 0"
cd "$root"
$pin build/demo_sw --capture "$out/native" --fps "$fps" --frames none --stats --log "$out/native.log" | tail -20 >"$out/n.txt"
$pin node --no-experimental-fetch tests/web/run_node.js build-web/cmake/demo_sw.js --capture "$out/web" --fps "$fps" \
  --frames none --stats --log "$out/web.log" | tail -20 >"$out/w.txt"
echo "part                      native median   web median   web / native"
paste "$out/n.txt" "$out/w.txt" | awk -F'\t' '
  { split($1, a, " "); split($2, b, " ") }
  a[3] ~ /ms$/ { printf "%-26s %12s %12s %10.2fx\n", a[1], a[3], b[3], (b[3] + 0) / (a[3] + 1e-9) }
  /^total/ { print "native " $1; print "web    " $2 }'
cmp -s "$out/native/audio.wav" "$out/web/audio.wav" && echo "audio.wav: identical" || echo "audio.wav: differs"
same=$(paste <(grep -v '^#' "$out/native/frames.txt" | awk '{print $5}') <(grep -v '^#' "$out/web/frames.txt" | awk '{print $5}') | awk '$1 == $2' | wc -l)
echo "frames with the native CRC: $same of $(grep -vc '^#' "$out/native/frames.txt")"
