#!/usr/bin/env bash
# Sets up (missing Debian packages, native and Windows builds, default data
# set) and runs every test.
set -eu
. "$(dirname "$0")/scripts/setup.sh"
qvn_setup test
cd "$QVN_ROOT"
ctest --test-dir build --output-on-failure -j "$QVN_JOBS" "$@"
echo "== the same tests under ASan + UBSan"
ctest --test-dir build-asan --output-on-failure -j "$QVN_JOBS" -E '^(wine|win32)\.' "$@"
