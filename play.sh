#!/usr/bin/env bash
# Sets up (missing Debian packages, build, default data set) and plays the show.
# Extra arguments go to the program: ./play.sh --window
# A first argument --hw plays demo_hw (the 3D scenes through OpenGL) instead
# of demo_sw: ./play.sh --hw --window
set -eu
. "$(dirname "$0")/scripts/setup.sh"
program=demo_sw
if [ "${1:-}" = "--hw" ]; then
  program=demo_hw
  shift
fi
qvn_setup play
cd "$QVN_ROOT"
exec "./build/$program" "$@"
