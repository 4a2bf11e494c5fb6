#!/usr/bin/env bash
# Sets up (missing Debian packages, build, default data set) and plays the show.
# Extra arguments go to the program: ./play.sh --window
set -eu
. "$(dirname "$0")/scripts/setup.sh"
qvn_setup play
cd "$QVN_ROOT"
exec ./build/demo_sw "$@"
