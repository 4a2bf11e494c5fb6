#!/usr/bin/env bash
# The Windows programs must be i686 and x86_64 PE files that import only system
# DLLs: no runtime DLL of the compiler and no zlib DLL to ship beside them.
set -u
fail=0
check() {
  local exe=$1 arch=$2 objdump=$3
  [ -f "$exe" ] || { echo "SKIPPED: no $exe"; exit 77; }
  command -v "$objdump" >/dev/null || { echo "SKIPPED: $objdump missing"; exit 77; }
  "$objdump" -f "$exe" | grep -q "file format $arch" || { echo "FAIL: $exe is not $arch"; fail=1; }
  local dlls
  dlls=$("$objdump" -p "$exe" | awk '/DLL Name:/ {print tolower($3)}' | sort -u | tr '\n' ' ')
  echo "$exe imports: $dlls"
  for dll in $dlls; do
    case $dll in
      kernel32.dll|user32.dll|gdi32.dll|msvcrt.dll|ddraw.dll|dinput.dll|dsound.dll|winmm.dll|advapi32.dll|ole32.dll|msacm32.dll) ;;
      *) echo "FAIL: $exe needs $dll"; fail=1 ;;
    esac
  done
}
check "$1" pei-i386 i686-w64-mingw32-objdump
check "$2" pei-x86-64 x86_64-w64-mingw32-objdump
exit $fail
