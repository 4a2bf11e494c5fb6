#!/usr/bin/env bash
# Runs a Windows program under Wine in a virtual X server, in the current
# folder, for the tests that hold its files against the Linux program's
# (QVN_WINE_BITS=32: the i686 build on 32-bit Wine).
# Usage: wine_run.sh WORK_DIR PROGRAM.exe [ARGS...]. Exit code: the
# program's; 77 when Wine or the virtual X server is not there.
set -u
work=$1
shift
skip() { echo "SKIPPED: $*"; exit 77; }
command -v xvfb-run >/dev/null || skip "xvfb-run is not installed"
mkdir -p "$work"
. "$(dirname "$0")/wine_prefix.sh"
wine_x 600 "$@"
