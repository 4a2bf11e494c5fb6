# Sourced by the Wine tests: makes (once) the Wine prefix they share, with the
# virtual desktop without which Wine cannot change the display mode.
# QVN_WINE_BITS=32 runs the i686 programs (the show's own target) in a 32-bit
# prefix of their own on 32-bit Wine (wine32:i386); the default is wine64.
# Needs: $work and a skip function. Sets: WINEPREFIX and friends, $wine.
if [ "${QVN_WINE_BITS:-64}" = 32 ]; then
  wine=/usr/lib/wine/wine
  [ -x "$wine" ] || skip "32-bit Wine is not installed (the i386 architecture and wine32:i386)"
  export WINEARCH=win32 WINEPREFIX="$work/wineprefix32"
else
  wine=/usr/lib/wine/wine64
  [ -x "$wine" ] || skip "Wine (wine64) is not installed"
  export WINEPREFIX="$work/wineprefix"
fi
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "creating the Wine prefix"
  xvfb-run -a -s '-screen 0 1024x768x24' "$wine" wineboot -i >/dev/null 2>&1
  "$wine" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  "$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
  /usr/lib/wine/wineserver -w
fi

# wine_x SECONDS PROGRAM [ARGS...]: runs PROGRAM under Wine in a virtual X
# server of its own, with a wineserver of its own. A wineserver still alive
# from an earlier run keeps its desktop window on that run's X server, which
# is gone by then; a program joining it dies with it. The run's own wineserver
# is ended while its X server still stands.
# A run that Wine's own process ends with a signal (not the timeout) is tried
# once more and says so: that is Wine's crash, not the program's exit code.
wine_x() {
  local secs=$1 rc try
  shift
  for try in 1 2; do
    /usr/lib/wine/wineserver -k >/dev/null 2>&1
    /usr/lib/wine/wineserver -w >/dev/null 2>&1
    timeout -k 5 "$secs" xvfb-run -a -s '-screen 0 1024x768x24' \
      sh -c '"$0" "$@"; rc=$?; /usr/lib/wine/wineserver -k >/dev/null 2>&1; exit $rc' "$wine" "$@"
    rc=$?
    if [ "$try" = 1 ] && [ "$rc" -gt 128 ] && [ "$rc" -ne 137 ]; then
      echo "Wine ended with signal $((rc - 128)) running $1; running it once more"
      continue
    fi
    return $rc
  done
}
