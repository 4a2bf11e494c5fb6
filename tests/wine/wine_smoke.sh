#!/usr/bin/env bash
# Runs a Windows build of demo_sw under Wine in a virtual X server (the 64-bit
# one, or with QVN_WINE_BITS=32 the 32-bit one on 32-bit Wine): with an empty
# datas/ it must start, write its error log on drive C: and end with 0; asked
# for a display device that does not exist it must end with 1; with an MPEG-2
# track it must end with 1 and say in the log which file and why.
# Usage: wine_smoke.sh DEMO_SW_EXE WORK_DIR. Exit 77: skipped.
set -u
exe=$1
work=$2
skip() { echo "SKIPPED: $*"; exit 77; }
[ -f "$exe" ] || skip "no Windows build at $exe (the README's test command builds it)"
command -v xvfb-run >/dev/null || skip "xvfb-run is not installed"

mkdir -p "$work"
. "$(dirname "$0")/wine_prefix.sh"

run_dir="$work/run"
rm -rf "$run_dir"
mkdir -p "$run_dir/datas"
cp "$exe" "$run_dir/demo_sw.exe"
cd "$run_dir" || exit 1
log="$WINEPREFIX/drive_c/qvn_engine.errorlog"
fail=0

rm -f "$log"
wine_x 120 demo_sw.exe
rc=$?
echo "empty datas: exit code $rc"
[ "$rc" -eq 0 ] || { echo "FAIL: expected exit code 0"; fail=1; }
if [ -f "$log" ] && head -n 1 "$log" | tr -d '\r' | grep -qx -- '----- Quorvane error log -----' && grep -q '^Date : ' "$log"; then
  echo "error log header found at c:/qvn_engine.errorlog"
  tr -d '\r' < "$log"
else
  echo "FAIL: no error log header at $log"
  fail=1
fi

wine_x 120 demo_sw.exe --display-device NoSuchDriver
rc=$?
echo "unknown display device: exit code $rc"
[ "$rc" -eq 1 ] || { echo "FAIL: expected exit code 1"; fail=1; }
# An MPEG-2 track is refused with a fatal error. A Windows program has no
# standard error, so the reason must be in the error log.
mpeg2="$(cd "$(dirname "$0")/../fuzz/corpus/fuzz_mp3" && pwd)/mpeg2_mono.mp3"
if [ -f "$mpeg2" ]; then
  cp "$mpeg2" datas/fantom.mp3
  rm -f "$log"
  wine_x 120 demo_sw.exe
  rc=$?
  rm -f datas/fantom.mp3
  echo "MPEG-2 track: exit code $rc"
  [ "$rc" -eq 1 ] || { echo "FAIL: expected exit code 1"; fail=1; }
  if [ -f "$log" ] && tr -d '\r' < "$log" | tail -n 2 | tr '\n' '|' |
       grep -qxF 'In the file "datas/fantom.mp3":|Error:MPEG2.0 unsupported|'; then
    echo "the file and the reason are the log's last lines"
  else
    echo "FAIL: the log does not end with the file's line and 'Error:MPEG2.0 unsupported'"
    tr -d '\r' < "$log" 2>/dev/null | tail -n 3
    fail=1
  fi
else
  echo "FAIL: no MPEG-2 sample at $mpeg2"
  fail=1
fi

/usr/lib/wine/wineserver -k >/dev/null 2>&1
exit $fail
