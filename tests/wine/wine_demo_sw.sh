#!/usr/bin/env bash
# demo_sw.exe's capture under Wine (x86_64 on wine64, or i686 on 32-bit Wine
# with QVN_WINE_BITS=32) against the Linux demo_sw's capture of the same
# frames: the pillars part at 30 fps, every frame within MIN_PSNR dB (the
# builds round their floating point apart; a wrong filler or a part out of
# step fails by far).
# Usage: wine_demo_sw.sh DEMO_SW_EXE LINUX_DEMO_SW MKDATAS WORK_DIR [MIN_PSNR].
# Exit 77: skipped.
set -u
exe=$1
native=$2
mkdatas=$3
work=$4
min_psnr=${5:-40}
skip() { echo "SKIPPED: $*"; exit 77; }
[ -f "$exe" ] || skip "no Windows build at $exe (the README's test command builds it)"
[ -x "$native" ] || skip "no Linux demo_sw at $native"
command -v xvfb-run >/dev/null || skip "xvfb-run is not installed"
command -v compare >/dev/null || skip "ImageMagick (compare) is not installed"

mkdir -p "$work"
. "$(dirname "$0")/wine_prefix.sh"
. "$(dirname "$0")/wine_compare.sh"
fail=0
datas="$work/sw_datas"
make_datas "$mkdatas" "$datas"
compare_capture sw "$exe" "$native" "$datas" "$min_psnr"
/usr/lib/wine/wineserver -k >/dev/null 2>&1
exit $fail
