#!/usr/bin/env bash
# Video export speed: one span of the show captured at 60 frames per second
# with no PNG output, first with no video (the capture alone), then written
# as .mkv (FFV1 + FLAC) and as .mp4 (H.264 + AAC) at a video scale of 4
# (1280 x 960). Prints each run's speed as a multiple of real time and the
# file sizes; the export's cost is the ratio to the capture alone.
#   bench/video/bench_video.sh [BUILD_DIR] [--start WHERE] [--stop WHERE] [--video-scale N]
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
shift || true
span=(--start tube --stop glon)
scale=4
while [ $# -gt 0 ]; do
  case $1 in
    --start|--stop) span+=("$1" "$2"); shift 2 ;;
    --video-scale) scale=$2; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cd "$root"

# run NAME ARGS...: one capture of the span; prints its speed.
run() {
  local name=$1; shift
  local t0 t1 ms runms
  t0=$(date +%s%N)
  "$build/demo_sw" --capture "$out/$name" --frames none --log "$out/$name.errorlog" "${span[@]}" "$@" 2>/dev/null
  t1=$(date +%s%N)
  ms=$(( (t1 - t0) / 1000000 ))
  # The run's length: the last frame's run time plus one frame period.
  runms=$(awk '!/^#/ { last = $2 } END { print last + 17 }' "$out/$name/frames.txt")
  local size=""
  for f in "$out/$name".mkv "$out/$name".mp4; do
    [ -f "$f" ] && size=" $(( $(stat -c %s "$f") / 1048576 )) MiB"
  done
  awk -v n="$name" -v r="$runms" -v w="$ms" -v s="$size" \
    'BEGIN { printf "%-14s %7.1f s of show in %6.1f s: %6.2fx real time%s\n", n, r / 1000, w / 1000, r / w, s }'
}

echo "span: ${span[*]}, 60 fps, video scale $scale"
run capture
run mkv --video "$out/mkv.mkv" --video-scale "$scale"
run mp4 --video "$out/mp4.mp4" --video-scale "$scale"
