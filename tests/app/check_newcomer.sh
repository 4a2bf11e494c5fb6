#!/usr/bin/env bash
# What a user meets on a machine without a display or a sound card, run with
# a scratch environment (no DISPLAY, WAYLAND_DISPLAY or SDL_VIDEODRIVER):
#  1. each program refuses at once, exit code 1, with one line on standard
#     error that names the headless ways to watch (--capture, --video);
#  2. a video driver the user names (SDL_VIDEODRIVER) is what the program
#     gets: it plays;
#  3. with no sound card, one line says the show plays without sound, and
#     nothing of the sound library's own reaches the terminal.
# Usage: check_newcomer.sh DEMO_SW DEMO_HW TRACK.mp3 WORK_DIR
set -u
demo_sw=$1
demo_hw=$2
track=$3
work=$4
fail=0
rm -rf "$work"
mkdir -p "$work/datas"

# A user's shell with nothing that points at a display.
scratch() {
  env -i PATH="$PATH" HOME="$work" LANG=C.UTF-8 "$@"
}

# 1. No display.
for program in "$demo_sw" "$demo_hw"; do
  name=$(basename "$program")
  start=$SECONDS
  (cd "$work" && scratch timeout 60 "$program" > out.txt 2> err.txt)
  rc=$?
  echo "$name with no display: exit code $rc in $((SECONDS - start)) s"
  sed 's/^/  stderr: /' "$work/err.txt"
  [ "$rc" -eq 1 ] || { echo "FAIL: expected exit code 1"; fail=1; }
  [ $((SECONDS - start)) -le 10 ] || { echo "FAIL: it did not refuse at once"; fail=1; }
  [ "$(wc -l < "$work/err.txt")" -eq 1 ] || { echo "FAIL: expected one line on standard error"; fail=1; }
  grep -q "^$name: .*--capture DIR.*--video FILE" "$work/err.txt" ||
    { echo "FAIL: the line does not name --capture DIR and --video FILE"; fail=1; }
  [ ! -s "$work/out.txt" ] || { echo "FAIL: standard output is not empty"; fail=1; }
done

# 2 and 3. The driver asked for, and a sound library that finds no card: the
# ALSA card named here does not exist on any machine. The show ends at its
# first second (--stop), a part having nothing to load but the track.
cp "$track" "$work/datas/fantom.mp3"
(cd "$work" && scratch SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=alsa ALSA_CARD=qvn_no_such_card \
  timeout 120 "$demo_sw" --stop 0:01 > out.txt 2> err.txt)
rc=$?
echo "demo_sw on the dummy video driver, no sound card: exit code $rc"
sed 's/^/  stderr: /' "$work/err.txt"
[ "$rc" -eq 0 ] || { echo "FAIL: expected exit code 0"; fail=1; }
[ "$(grep -c 'the show plays without sound' "$work/err.txt")" -eq 1 ] ||
  { echo "FAIL: expected one line saying the show plays without sound"; fail=1; }
grep -q 'ALSA lib' "$work/err.txt" && { echo "FAIL: the sound library's own lines reached the terminal"; fail=1; }
grep -q 'cannot show a window' "$work/err.txt" && { echo "FAIL: a driver the user asked for was refused"; fail=1; }

[ "$fail" = 0 ] && echo "a machine without a display or a sound card is told so in one line"
exit $fail
