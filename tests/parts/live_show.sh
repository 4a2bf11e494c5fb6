#!/usr/bin/env bash
# Plays the whole show live, in real time (about seven and a half minutes):
# the SDL2 build in a virtual X server with SDL's dummy audio driver, from a
# freshly generated default data set. The show must end by itself with exit
# code 0, both halves must have started, and no part may fail to load.
# Prints the per-part frame statistics (--stats: frames later than 1.5
# refresh periods).
# Usage: live_show.sh DEMO_SW MKDATAS WORK_DIR. Exit 77: skipped.
set -u
demo=$(realpath "$1")
mkdatas=$(realpath "$2")
work=$(realpath -m "$3")
skip() { echo "SKIPPED: $*"; exit 77; }
command -v xvfb-run >/dev/null || skip "xvfb-run is not installed"
[ -x "$demo" ] || skip "no program at $demo"

rm -rf "$work"
mkdir -p "$work"
"$mkdatas" "$work/datas" >/dev/null || { echo "FAIL: mkdatas"; exit 1; }
cd "$work" || exit 1

# A show that hangs is a failure too: it must end well within twice its length.
SDL_AUDIODRIVER=dummy timeout 900 xvfb-run -a -s '-screen 0 1024x768x24' \
    "$demo" --window --datas "$work/datas" --log "$work/run.errorlog" --stats >"$work/stats.txt" 2>"$work/stderr.txt"
rc=$?
cat "$work/stats.txt"
fail=0
[ "$rc" -eq 0 ] || { echo "FAIL: exit code $rc (expected 0)"; cat "$work/stderr.txt"; fail=1; }
halves=$(grep -c "^TimePosition:" "$work/run.errorlog" 2>/dev/null || true)
[ "${halves:-0}" -eq 2 ] || { echo "FAIL: $halves halves started (expected 2)"; fail=1; }
if grep -q "load() :\|failed to load\|skipped" "$work/run.errorlog" 2>/dev/null; then
    echo "FAIL: the log reports a failure:"
    cat "$work/run.errorlog"
    fail=1
fi
grep -q "qvn_cPartScroller" "$work/stats.txt" || { echo "FAIL: the end scroller never played"; fail=1; }
exit $fail
