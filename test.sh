#!/usr/bin/env bash
# Sets up (missing Debian packages, native and Windows builds, default data
# set) and runs every test.
set -u
. "$(dirname "$0")/scripts/setup.sh"
qvn_setup test || exit 1
cd "$QVN_ROOT"
# --no-tests=error: a build that found no test framework has no tests, and
# must not pass for it.
status=0
ctest --test-dir build --no-tests=error --output-on-failure -j "$QVN_JOBS" "$@" || status=1
# Under the sanitizers the whole show plays once, at 15 frames per second:
# the 60 frames per second runs are the slowest tests and add nothing there,
# and the Windows and browser builds' tests ran once already.
echo "== the same tests under ASan + UBSan"
ctest --test-dir build-asan --no-tests=error --output-on-failure -j "$QVN_JOBS" -E '^(wine|wine32|win32|web)\.|^parts\.show_(60fps|start)$' "$@" ||
  status=1
qvn_report_skips build
qvn_report_skips build-asan
exit $status
