# Sourced by the Wine tests: a Windows program's capture of a span against
# the Linux program's capture of the same frames. Needs: wine_prefix.sh
# sourced, $work, ImageMagick's compare.
#
# compare_capture NAME EXE NATIVE DATAS MIN_PSNR: runs EXE (demo_sw.exe or
# demo_hw.exe) under Wine and NATIVE on DATAS, capturing frames FIRST..LAST
# of the pillars part at 30 fps; every frame must be the pillars part's and
# reach MIN_PSNR dB against the Linux frame. Sets fail=1 on a failure.
first=780
last=840
quit_ms=28100
compare_capture() {
  local name=$1 exe=$2 native=$3 datas=$4 min_psnr=$5
  local win="$work/${name}_win" lin="$work/${name}_linux" start rc i f a b part psnr identical=0
  rm -rf "$win" "$lin"
  mkdir -p "$win"
  cp "$exe" "$win/$(basename "$exe")"
  start=$SECONDS
  (cd "$win" && wine_x 600 "$(basename "$exe")" \
    --capture cap --frames $first:$last --fps 30 --quit-at $quit_ms --datas "Z:$datas" \
    --log win.log --stats > stats.txt 2>/dev/null)
  rc=$?
  echo "$name: Windows capture: exit code $rc ($((SECONDS - start)) s)"
  [ "$rc" -eq 0 ] || { echo "FAIL: expected exit code 0"; fail=1; }
  tr -d '\r' < "$win/stats.txt" 2>/dev/null | grep -E 'Pillars|total' || true
  "$native" --capture "$lin" --frames $first:$last --fps 30 --quit-at $quit_ms --datas "$datas" \
    --log "$work/${name}_linux.log" >/dev/null 2>&1 || { echo "FAIL: the Linux capture"; fail=1; }
  for ((i = first; i <= last; ++i)); do
    f=$(printf 'frame_%06d.png' $i)
    a="$win/cap/$f"
    b="$lin/$f"
    if [ ! -f "$a" ] || [ ! -f "$b" ]; then echo "FAIL: $f missing"; fail=1; continue; fi
    part=$(tr -d '\r' < "$win/cap/frames.txt" | awk -v n=$i '$1 == n { print $6 }')
    psnr=$(compare -metric PSNR "$a" "$b" null: 2>&1)
    echo "$f ($part): PSNR $psnr dB"
    [ "$psnr" = inf ] && identical=$((identical + 1))
    [ "$part" = qvn_cPartPillars ] || { echo "FAIL: $f is not a frame of the pillars part"; fail=1; }
    awk -v p="$psnr" -v m="$min_psnr" 'BEGIN { exit !(p == "inf" || p + 0 >= m) }' ||
      { echo "FAIL: $f below $min_psnr dB"; fail=1; }
  done
  echo "$name: $identical of $((last - first + 1)) frames identical to the Linux ones"
}

# make_datas MKDATAS DIR: the default data set, made once per work folder.
make_datas() {
  [ -f "$2/pilliers.qvn" ] && return 0
  "$1" "$2" --no-verify >/dev/null || { echo "FAIL: mkdatas"; exit 1; }
}
