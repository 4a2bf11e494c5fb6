#!/usr/bin/env bash
# Runs a program beside a Wayland compositor whose desktop is scaled by 2:
# weston's X11 backend in a virtual X server (its headless backend has no
# seat, and SDL 2.26's Wayland driver needs one). Exit 77: skipped.
#   with_weston.sh PROGRAM [ARGS...]
set -u
command -v weston >/dev/null || { echo "SKIPPED: weston is not installed (the README's test command installs it)"; exit 77; }
command -v xvfb-run >/dev/null || { echo "SKIPPED: xvfb-run is not installed"; exit 77; }
runtime=$(mktemp -d)
chmod 700 "$runtime"
export XDG_RUNTIME_DIR=$runtime
xvfb-run -a -s "-screen 0 2048x1600x24" bash -c '
  weston --backend=x11-backend.so --socket=qvn-test --width=1920 --height=1440 --scale=2 --use-pixman \
    --idle-time=0 --no-config >"$XDG_RUNTIME_DIR/weston.log" 2>&1 &
  compositor=$!
  for i in $(seq 100); do [ -S "$XDG_RUNTIME_DIR/qvn-test" ] && break; sleep 0.1; done
  [ -S "$XDG_RUNTIME_DIR/qvn-test" ] || { echo "weston did not start:"; cat "$XDG_RUNTIME_DIR/weston.log"; exit 1; }
  WAYLAND_DISPLAY=qvn-test "$@"
  rc=$?
  kill $compositor
  wait $compositor 2>/dev/null
  exit $rc' bash "$@"
rc=$?
rm -rf "$runtime"
exit $rc
