# Sourced by the Wine tests: makes (once) the Wine prefix they share, with the
# virtual desktop without which Wine cannot change the display mode.
# Needs: $work. Sets: WINEPREFIX and friends, $wine.
wine=/usr/lib/wine/wine64
export WINEPREFIX="$work/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "creating the Wine prefix"
  xvfb-run -a -s '-screen 0 1024x768x24' "$wine" wineboot -i >/dev/null 2>&1
  "$wine" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  "$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
  /usr/lib/wine/wineserver -w
fi
