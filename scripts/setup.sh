#!/usr/bin/env bash
# Shared set-up for play.sh and test.sh: installs the Debian packages that are
# missing, then builds. Sourced, not run.
#   qvn_setup play|test
set -u

QVN_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
QVN_JOBS=${QVN_JOBS:-$(nproc 2>/dev/null || echo 2)}
# shellcheck source=web/build.sh
. "$QVN_ROOT/scripts/web/build.sh"

# What the native programs and their tools need (demo_hw draws through
# OpenGL: libepoxy for the functions, EGL and Mesa for the headless context;
# the FFmpeg libraries for --video).
QVN_PACKAGES_PLAY="build-essential cmake pkg-config zlib1g-dev libsdl2-dev libjpeg62-turbo-dev libmp3lame-dev
  libfreetype-dev fonts-dejavu-core libepoxy-dev libegl-dev libgles-dev libegl-mesa0 libgl1-mesa-dri
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev libswresample-dev"
# What the tests add: test frameworks, the oracle libraries, the Windows
# cross-compilers and Wine to run the Windows build, fuzzing with clang.
QVN_PACKAGES_TEST="libgtest-dev libbenchmark-dev libpng-dev libturbojpeg0-dev libmpg123-dev clang libclang-rt-14-dev
  g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 mingw-w64-i686-dev mingw-w64-x86-64-dev libz-mingw-w64-dev
  wine wine64 xvfb xauth xdotool pulseaudio imagemagick mpg123 weston
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev libswresample-dev"
# 32-bit Wine for the i686 programs, the show's own target, with the 32-bit
# OpenGL stack its Direct3D draws through (demo_hw.exe).
QVN_PACKAGES_TEST_I386="wine32:i386 libgl1:i386 libglx-mesa0:i386 libgl1-mesa-dri:i386"

qvn_install_packages() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "== installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq || return 1
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" || return 1
}

# The i386 architecture, so that 32-bit Wine can be installed beside wine64;
# the package lists are read anew by the install that follows.
qvn_add_i386() {
  dpkg --print-foreign-architectures | grep -qx i386 && return 0
  echo "== adding the i386 architecture (32-bit Wine)"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo dpkg --add-architecture i386
}

# qvn_build DIR TARGETS CMAKE_ARGS...: TARGETS "all" or a comma-separated list.
qvn_build() {
  local dir=$1 targets=$2; shift 2
  mkdir -p "$QVN_ROOT/$dir"
  cmake -S "$QVN_ROOT" -B "$QVN_ROOT/$dir" "$@" >"$QVN_ROOT/$dir/configure.log" 2>&1 ||
    { cat "$QVN_ROOT/$dir/configure.log"; return 1; }
  if [ "$targets" = all ]; then
    cmake --build "$QVN_ROOT/$dir" -j "$QVN_JOBS" || return 1
  else
    cmake --build "$QVN_ROOT/$dir" -j "$QVN_JOBS" --target ${targets//,/ } || return 1
  fi
}

# The programs of the Windows builds (tools and tests are native only).
QVN_WIN_TARGETS=demo_sw,demo_hw,qvn_bitmap,qvn_datafiles

qvn_setup() {
  local mode=$1
  if [ "$mode" = test ]; then
    # shellcheck disable=SC2086
    qvn_add_i386 || return 1
    qvn_install_packages $QVN_PACKAGES_PLAY $QVN_PACKAGES_TEST $QVN_PACKAGES_TEST_I386 || return 1
    qvn_build build all -DQVN_TESTS=ON || return 1
    # The same tests once more under AddressSanitizer and UndefinedBehaviorSanitizer
    # (clang): a reader that reads one byte too far fails here.
    qvn_build build-asan all -DQVN_TESTS=ON -DQVN_SANITIZE=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ || return 1
    # The Windows programs: i686 is the show's own target, x86_64 the one
    # Wine runs on a 64-bit-only host.
    qvn_build build-win32 "$QVN_WIN_TARGETS" -DCMAKE_TOOLCHAIN_FILE="$QVN_ROOT/cmake/mingw-i686.cmake" || return 1
    qvn_build build-win64 "$QVN_WIN_TARGETS,player_probe,display_probe" -DCMAKE_TOOLCHAIN_FILE="$QVN_ROOT/cmake/mingw-x86_64.cmake" || return 1
  else
    # shellcheck disable=SC2086
    qvn_install_packages $QVN_PACKAGES_PLAY || return 1
    # Only what playing needs: a build folder that test.sh configured with
    # the tests would otherwise build every test program first.
    qvn_build build "$QVN_PLAY_TARGETS" || return 1
  fi
  qvn_make_datas || return 1
  if [ "$mode" = test ]; then
    # The browser build and what its test drives it with.
    qvn_web_build || return 1
    qvn_web_test_tools || return 1
  fi
  return 0
}

# The programs play.sh runs, and the generator of their data.
QVN_PLAY_TARGETS=demo_sw,demo_hw,mkdatas

# The default data set, generated once; later runs reuse it. It is made in a
# scratch folder and moved into place whole, so a generator that fails
# leaves neither a datas/ the show would take for complete nor the scratch.
qvn_make_datas() {
  local datas="$QVN_ROOT/datas" scratch="$QVN_ROOT/datas.tmp" mkdatas="$QVN_ROOT/build/tools/mkdatas/mkdatas"
  [ -d "$datas" ] && return 0
  if [ ! -x "$mkdatas" ]; then
    echo "== cannot make datas/: the generator $mkdatas was not built" >&2
    return 1
  fi
  echo "== generating datas/"
  rm -rf "$scratch"
  if ! "$mkdatas" "$scratch"; then
    rm -rf "$scratch"
    echo "== the default data set could not be made (mkdatas failed, see above); nothing was played or tested" >&2
    return 1
  fi
  mv "$scratch" "$datas" || { rm -rf "$scratch"; return 1; }
}

# qvn_report_skips BUILD: every test of the last run that skipped, with the
# reason it gave (a GoogleTest skip's message, or a script's "SKIPPED: ..."
# line), then how many of them skipped for want of the third-party test
# vectors and where those were looked for.
qvn_report_skips() {
  local log="$QVN_ROOT/$1/Testing/Temporary/LastTest.log" dir skips count
  dir=$(sed -n 's/^QVN_VECTORS_DIR:PATH=//p' "$QVN_ROOT/$1/CMakeCache.txt" 2>/dev/null)
  skips=""
  [ -f "$log" ] && skips=$(awk '
    /^[0-9]+\/[0-9]+ Test: / { sub(/^[0-9]+\/[0-9]+ Test: /, ""); name = $0; said = 0; next }
    said == 0 && take { print "   " name ": " $0; said = 1; take = 0; next }
    said == 0 && /: Skipped$/ { take = 1; next }
    said == 0 && /^SKIPPED: / { sub(/^SKIPPED: /, ""); print "   " name ": " $0; said = 1 }
  ' "$log")
  count=0
  [ -n "$skips" ] && count=$(printf '%s\n' "$skips" | wc -l)
  echo "== $1: $count tests skipped"
  [ -n "$skips" ] && printf '%s\n' "$skips"
  count=0
  [ -n "$skips" ] && count=$(printf '%s\n' "$skips" | grep -ci 'vectors')
  if [ "$count" -gt 0 ]; then
    echo "== $count vector tests skipped: no test vectors in ${dir:-../shared/vectors} (put them there to run them)"
  else
    echo "== 0 vector tests skipped"
  fi
}
