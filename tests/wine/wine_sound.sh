#!/usr/bin/env bash
# The player on DirectSound under Wine, with a private PulseAudio server on a
# null sink (a real-time clock; an ALSA null device would run too fast).
# Usage: wine_sound.sh PLAYER_PROBE_EXE TRACK.mp3 WORK_DIR. Exit 77: skipped.
set -u
exe=$1
track=$2
work=$3
skip() { echo "SKIPPED: $*"; exit 77; }
[ -f "$exe" ] || skip "no Windows build at $exe"
[ -f "$track" ] || skip "no track at $track"
command -v pulseaudio >/dev/null || skip "pulseaudio is not installed"
command -v xvfb-run >/dev/null || skip "xvfb-run is not installed"

mkdir -p "$work"
. "$(dirname "$0")/wine_prefix.sh"
# A short folder of its own: the server's socket path must fit in 108 bytes.
XDG_RUNTIME_DIR=$(mktemp -d /tmp/qvn-pulse.XXXXXX) || exit 1
export XDG_RUNTIME_DIR
chmod 700 "$XDG_RUNTIME_DIR"
pulseaudio -n --load="module-null-sink sink_name=nullsink" --load=module-native-protocol-unix \
  --exit-idle-time=-1 --daemonize=no >"$work/pulse.log" 2>&1 &
pulse=$!
trap 'kill $pulse 2>/dev/null; /usr/lib/wine/wineserver -k >/dev/null 2>&1; rm -rf "$XDG_RUNTIME_DIR"' EXIT
for _ in $(seq 50); do [ -S "$XDG_RUNTIME_DIR/pulse/native" ] && break; sleep 0.1; done
[ -S "$XDG_RUNTIME_DIR/pulse/native" ] || skip "the private PulseAudio server did not start"

mkdir -p "$work/sound"
cp "$exe" "$work/sound/player_probe.exe"
cp "$track" "$work/sound/track.mp3"
cd "$work/sound" || exit 1
out=$(wine_x 120 player_probe.exe track.mp3 4 2>&1)
rc=$?
echo "$out"
# Without a card the player still keeps time on a silent ring; here it must
# be DirectSound's that plays.
if grep -q 'No sound device' <<<"$out"; then
  echo "FAIL: DirectSound was not opened; the ring played in silence"
  exit 1
fi
exit $rc
