#!/usr/bin/env bash
# Sets up (missing Debian packages, build, default data set) and plays the show.
# Extra arguments go to the program: ./play.sh --window
# A first argument --hw plays demo_hw (the 3D scenes through OpenGL) instead
# of demo_sw: ./play.sh --hw --window
# A first argument --web builds the show for the browser and serves it on
# 127.0.0.1 (a port may follow: ./play.sh --web 8080).
set -eu
. "$(dirname "$0")/scripts/setup.sh"
program=demo_sw
if [ "${1:-}" = "--web" ]; then
  qvn_setup play
  qvn_web_build
  qvn_web_serve "${2:-8320}"
fi
if [ "${1:-}" = "--hw" ]; then
  program=demo_hw
  shift
fi
qvn_setup play
cd "$QVN_ROOT"
exec "./build/$program" "$@"
