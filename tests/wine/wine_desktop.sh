#!/usr/bin/env bash
# The Windows programs on a 1024 x 768 screen under Wine (x86_64 on wine64, or
# i686 on 32-bit Wine with QVN_WINE_BITS=32), with no sound device (Wine's
# audio drivers disabled), each playing the titles up to a stop point:
#  1. demo_sw --desktop on the prefix's 1024 x 768 virtual desktop;
#  2. demo_sw where the mode change fails: on Wine's own X desktop, with no
#     virtual desktop (the one thing that lets Wine change modes there),
#     SetDisplayMode is refused;
#  3. demo_hw the same, Direct3D drawing on the desktop's mode;
#  4. demo_hw --window on the virtual desktop, then Alt+Enter.
# Each must end with 0 at the stop point after playing the show's time on the
# system clock (wall time, and the frames --stats counts), say in the log that
# there is no sound and which way the screen went, and a screenshot of the X
# screen must show the frame scaled 3 times: 960 x 720 at (32, 24), every
# frame pixel an exact 3 x 3 block, black around it.
# Usage: wine_desktop.sh DEMO_SW_EXE DEMO_HW_EXE MKDATAS WORK_DIR. Exit 77: skipped.
set -u
sw=$1
hw=$2
mkdatas=$3
work=$4
skip() { echo "SKIPPED: $*"; exit 77; }
[ -f "$sw" ] || skip "no Windows build at $sw (the README's test command builds it)"
[ -f "$hw" ] || skip "no Windows build at $hw"
[ -x "$mkdatas" ] || skip "no mkdatas at $mkdatas"
command -v xvfb-run >/dev/null || skip "xvfb-run is not installed"
command -v import >/dev/null && command -v compare >/dev/null || skip "ImageMagick (import, compare) is not installed"
command -v xdotool >/dev/null || skip "xdotool is not installed"

mkdir -p "$work"
work=$(cd "$work" && pwd)  # absolute: each run changes into a folder of its own
. "$(dirname "$0")/wine_prefix.sh"
. "$(dirname "$0")/wine_compare.sh"
# No sound device: with its audio drivers disabled Wine has none to offer.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winealsa.drv,winepulse.drv,wineoss.drv="
fail=0
datas="$work/sw_datas"
make_datas "$mkdatas" "$datas"
run_dir="$work/desktop"
rm -rf "$run_dir"
mkdir -p "$run_dir"
cp "$sw" "$run_dir/demo_sw.exe"
cp "$hw" "$run_dir/demo_hw.exe"
# The copies under these names get Wine's own X desktop: a desktop named in
# no Desktops entry is not a virtual one.
cp "$sw" "$run_dir/demo_sw_root.exe"
cp "$hw" "$run_dir/demo_hw_root.exe"
for exe in demo_sw_root.exe demo_hw_root.exe; do
  "$wine" reg add "HKCU\\Software\\Wine\\AppDefaults\\$exe\\Explorer" /v Desktop /d qvnroot /f >/dev/null 2>&1
done
/usr/lib/wine/wineserver -w
stop=00:08

# shot_ok PNG: the frame fills 960 x 720 at (32, 24) in exact 3 x 3 blocks,
# with detail in it (not a black or flat screen), and black around it.
shot_ok() {
  local png=$1 band max ae cols rows frame="$run_dir/frame.png"
  for band in 1024x24+0+0 1024x24+0+744 32x720+0+24 32x720+992+24; do
    max=$(convert "$png" -crop "$band" +repage -format '%[fx:maxima]' info: 2>/dev/null)
    [ "$max" = 0 ] || return 1
  done
  convert "$png" -crop 960x720+32+24 +repage "$frame" || return 1
  # One pixel of each block, grown back: the same picture only when every
  # block is one colour and the blocks start at (32, 24).
  ae=$(convert "$frame" -sample 320x240 -sample 960x720 png:- | compare -metric AE "$frame" - null: 2>&1)
  [ "$ae" = 0 ] || return 1
  # Columns and rows that differ from their neighbour: the frame's detail.
  cols=$(convert "$frame" \( -clone 0 -crop 959x720+1+0 +repage \) \( -clone 0 -crop 959x720+0+0 +repage \) \
    -delete 0 -compose difference -composite -colorspace Gray -threshold 0 -scale '959x1!' -threshold 0 \
    -format '%[fx:round(mean*w)]' info:)
  rows=$(convert "$frame" \( -clone 0 -crop 960x719+0+1 +repage \) \( -clone 0 -crop 960x719+0+0 +repage \) \
    -delete 0 -compose difference -composite -colorspace Gray -threshold 0 -scale '1x719!' -threshold 0 \
    -format '%[fx:round(mean*h)]' info:)
  [ "$cols" -ge 100 ] && [ "$rows" -ge 60 ] || return 1
  echo "  $(basename "$png"): 3 x 3 blocks at (32, 24), black around; $cols column and $rows row edges"
}

# desk_run NAME KEY_AT EXE ARGS...: runs EXE in a virtual X server of its own
# to the stop point, a screenshot of the X screen each second from the third
# on (Alt+Enter pressed at second KEY_AT, 0: never), then checks the run.
# The remaining arguments after "--" are lines the log must hold.
desk_run() {
  local name=$1 key_at=$2 exe=$3 args=() lines=() start rc shots="$run_dir/$1" log text png ok=0
  shift 3
  while [ $# -gt 0 ] && [ "$1" != -- ]; do args+=("$1"); shift; done
  [ $# -gt 0 ] && shift
  lines=("$@")
  mkdir -p "$shots"
  log="$run_dir/$name.log"
  /usr/lib/wine/wineserver -k >/dev/null 2>&1
  /usr/lib/wine/wineserver -w >/dev/null 2>&1
  start=$SECONDS
  (cd "$run_dir" && timeout -k 5 100 xvfb-run -a -s '-screen 0 1024x768x24' bash -c '
    wine=$1 shots=$2 key_at=$3
    shift 3
    "$wine" "$@" > "$shots/stats.txt" 2>/dev/null < /dev/null &
    pid=$!
    i=0
    while kill -0 $pid 2>/dev/null; do
      sleep 1
      i=$((i + 1))
      [ "$i" = "$key_at" ] && xdotool key --clearmodifiers alt+Return
      [ "$i" -ge 3 ] && import -window root "$shots/shot_$(printf %02d $i).png" 2>/dev/null
    done
    wait $pid
    rc=$?
    /usr/lib/wine/wineserver -k >/dev/null 2>&1
    exit $rc' bash "$wine" "$shots" "$key_at" "$exe" "${args[@]}" --log "$name.log" --stats --stop $stop)
  rc=$?
  echo "$name: exit code $rc ($((SECONDS - start)) s)"
  [ "$rc" -eq 0 ] || { echo "FAIL: expected exit code 0"; fail=1; }
  # The stop point is at 8 s of show time: a show that skipped its halves
  # ends in a second.
  [ $((SECONDS - start)) -ge 8 ] || { echo "FAIL: the run ended before 8 s of show time"; fail=1; }
  tr -d '\r' < "$shots/stats.txt" 2>/dev/null | grep -E '[Tt]itles|total' || true
  if ! tr -d '\r' < "$shots/stats.txt" 2>/dev/null |
       awk '$1 ~ /[Tt]itles$/ && $2 >= 60 { found = 1 } END { exit !found }'; then
    echo "FAIL: --stats counts fewer than 60 frames of the titles"
    fail=1
  fi
  text=$(tr -d '\r' < "$log" 2>/dev/null)
  lines+=('No sound device: the show plays without sound.')
  for line in "${lines[@]}"; do
    if grep -qxF -- "$line" <<<"$text"; then echo "log: $line"; else echo "FAIL: no '$line' in the log"; fail=1; fi
  done
  if grep -q 'is skipped' <<<"$text"; then echo "FAIL: a half was skipped"; fail=1; fi
  for png in "$shots"/shot_*.png; do
    [ -f "$png" ] || continue
    if shot_ok "$png"; then ok=1; break; fi
  done
  [ "$ok" = 1 ] || { echo "FAIL: no screenshot of $name shows the frame 3 times over, centred, black around"; fail=1; }
}

scaled="the desktop's 1024 x 768 mode is kept, the frame scaled 3 times (960 x 720)"
desk_run sw_desktop 0 demo_sw.exe --desktop --datas "Z:$datas" -- "qvn_cEngDisplay::Init : --desktop: $scaled"
desk_run sw_no_mode 0 demo_sw_root.exe --datas "Z:$datas" -- \
  "qvn_cEngDisplay::Init : the 320 x 240 x 16 mode cannot be set: $scaled"
desk_run hw_no_mode 0 demo_hw_root.exe --datas "Z:$datas" -- \
  "qvn_cEngDisplay::Init : the 320 x 240 x 16 mode cannot be set: $scaled" \
  'qvn_cEngDisplay::InitDirect3d : HAL device on the back buffer'
desk_run hw_alt_enter 6 demo_hw.exe --window --datas "Z:$datas" -- \
  'qvn_cEngDisplay::Init : the show in a window of 640 x 480' "qvn_cEngDisplay : Alt+Enter: $scaled"

/usr/lib/wine/wineserver -k >/dev/null 2>&1
exit $fail
