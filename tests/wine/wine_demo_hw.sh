#!/usr/bin/env bash
# demo_hw.exe under Wine in a virtual X server (x86_64 on wine64, or i686 on
# 32-bit Wine with QVN_WINE_BITS=32):
#  1. live, with the virtual desktop and an empty datas/: it takes the screen
#     with 3D surfaces, finds the HAL device and a 16-bit z-buffer (error log
#     lines) and ends with 0;
#  2. --capture: Direct3D renders the pillars part into an off-screen surface;
#     frames FIRST..LAST must match the Linux demo_hw capture of the same
#     frames within PSNR >= 30 dB (the beams are added light, the orb adds its
#     environment map: an added face drawn white fails this);
#  3. the display probe: after a task switch has lost the surfaces, the next
#     Lock finds them restored.
# Usage: wine_demo_hw.sh DEMO_HW_EXE LINUX_DEMO_HW MKDATAS WORK_DIR [DISPLAY_PROBE_EXE].
# Exit 77: skipped.
set -u
exe=$1
native=$2
mkdatas=$3
work=$4
probe=${5:-}
skip() { echo "SKIPPED: $*"; exit 77; }
[ -f "$exe" ] || skip "no Windows build at $exe (the README's test command builds it)"
[ -x "$native" ] || skip "no Linux demo_hw at $native"
command -v xvfb-run >/dev/null || skip "xvfb-run is not installed"
command -v compare >/dev/null || skip "ImageMagick (compare) is not installed"

mkdir -p "$work"
. "$(dirname "$0")/wine_prefix.sh"
. "$(dirname "$0")/wine_compare.sh"
fail=0

# 1. The live screen.
run_dir="$work/hw_live"
rm -rf "$run_dir"
mkdir -p "$run_dir/datas"
cp "$exe" "$run_dir/demo_hw.exe"
log="$WINEPREFIX/drive_c/qvn_engine.errorlog"
rm -f "$log"
(cd "$run_dir" && wine_x 120 demo_hw.exe)
rc=$?
echo "live, empty datas: exit code $rc"
[ "$rc" -eq 0 ] || { echo "FAIL: expected exit code 0"; fail=1; }
text=$(tr -d '\r' < "$log" 2>/dev/null)
for line in 'InitFullScreen : D3DHardware' 'ZBuffer has been found : 16 BitDepth' \
            'qvn_cEngDisplay::InitDirect3d : HAL device on the back buffer'; do
  if grep -qxF -- "$line" <<<"$text"; then echo "log: $line"; else echo "FAIL: no '$line' in the error log"; fail=1; fi
done

# 2. Direct3D capture against the Linux capture.
datas="$work/hw_datas"
make_datas "$mkdatas" "$datas"
compare_capture hw "$exe" "$native" "$datas" 30

# 3. A task switch. The output goes to a file: Wine's helpers may keep a
# pipe open after the probe has ended.
if [ -n "$probe" ] && [ -f "$probe" ]; then
  mkdir -p "$work/hw_probe"
  cp "$probe" "$work/hw_probe/display_probe.exe"
  (cd "$work/hw_probe" && wine_x 120 display_probe.exe \
    > probe.txt 2>&1 < /dev/null)
  rc=$?
  tr -d '\r' < "$work/hw_probe/probe.txt" | grep -E '^(back buffer|after Lock|qvn_cEngDisplay3D)'
  case $rc in
    0) echo "task switch: the surfaces were restored before the next lock" ;;
    77) echo "task switch: Wine did not lose the surfaces; not checked" ;;
    *) echo "FAIL: display probe exit code $rc"; fail=1 ;;
  esac
else
  echo "task switch: no display probe (build-win64 target display_probe); not checked"
fi

/usr/lib/wine/wineserver -k >/dev/null 2>&1
exit $fail
