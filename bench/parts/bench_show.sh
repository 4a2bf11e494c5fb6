#!/usr/bin/env bash
# Per-part frame cost and whole-show capture speed: plays the show in capture
# mode at 60 frames per second with no PNG output, pinned to one core, and
# prints the program's own statistics (median, 99th percentile and worst
# frame time per part, and how many times faster than real time it ran).
#   bench/parts/bench_show.sh [BUILD_DIR] [extra demo_sw options]
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
shift || true
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
pin=""
command -v taskset >/dev/null && pin="taskset -c 0"
cd "$root"
$pin "$build/demo_sw" --capture "$out/cap" --frames none --stats --log "$out/run.errorlog" "$@"
