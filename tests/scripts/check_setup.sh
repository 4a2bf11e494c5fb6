#!/usr/bin/env bash
# The set-up that play.sh and test.sh share, run in a scratch tree with the
# package installer and the build stubbed out:
#  1. play builds only what it runs (the two programs and the generator),
#     even in a build folder configured with the tests;
#  2. a generator that fails stops the set-up with its message and a non-zero
#     status, and leaves neither datas/ nor the scratch folder;
#  3. a generator that works leaves datas/ whole and no scratch folder, and a
#     second set-up keeps it;
#  4. play.sh itself stops on the failed generator: the program never starts;
#  5. the test command's closing report lists every skipped test and why.
# Usage: check_setup.sh SOURCE_DIR WORK_DIR
set -u
src=$1
work=$2
fail=0
rm -rf "$work"
mkdir -p "$work"

# scratch_root DIR GENERATOR_BODY: a tree with a fake generator and a fake
# program that says it ran.
scratch_root() {
  local root=$1 body=$2
  mkdir -p "$root/scripts/web" "$root/build/tools/mkdatas"
  cp "$src/scripts/setup.sh" "$root/scripts/setup.sh"
  cp "$src/scripts/web/build.sh" "$root/scripts/web/build.sh"
  cp "$src/play.sh" "$root/play.sh"
  printf '#!/usr/bin/env bash\n%s\n' "$body" > "$root/build/tools/mkdatas/mkdatas"
  printf '#!/usr/bin/env bash\necho "the show started"\n' > "$root/build/demo_sw"
  chmod +x "$root/build/tools/mkdatas/mkdatas" "$root/build/demo_sw" "$root/play.sh"
}

# run_setup ROOT MODE: sources the set-up, stubs installing and building
# (the targets asked for go to ROOT/targets.txt), runs qvn_setup MODE.
run_setup() {
  local root=$1 mode=$2
  (
    . "$root/scripts/setup.sh"
    QVN_ROOT=$root
    qvn_install_packages() { :; }
    qvn_build() { echo "$1 $2" >> "$QVN_ROOT/targets.txt"; }
    qvn_web_build() { echo "build-web demo_sw" >> "$QVN_ROOT/targets.txt"; }
    qvn_web_test_tools() { :; }
    qvn_setup "$mode"
  )
}

# 1. What play builds.
root="$work/targets"
scratch_root "$root" 'mkdir -p "$1" && echo made > "$1/fantom.mp3"'
run_setup "$root" play > "$root/out.txt" 2>&1
targets=$(cat "$root/targets.txt" 2>/dev/null)
if [ "$targets" = "build demo_sw,demo_hw,mkdatas" ]; then
  echo "play builds: $targets"
else
  echo "FAIL: play builds '$targets', not only demo_sw, demo_hw and mkdatas"
  fail=1
fi

# 2. A failing generator, after writing part of its output.
root="$work/failing"
scratch_root "$root" 'mkdir -p "$1" && echo half > "$1/fantom.mp3" && echo "mkdatas: cannot write $1/tarnelle.mp3: No space left on device" >&2 && exit 1'
run_setup "$root" play > "$root/out.txt" 2>&1
rc=$?
echo "failing generator: status $rc"
[ "$rc" -ne 0 ] || { echo "FAIL: the set-up went on after the generator failed"; fail=1; }
grep -q 'No space left on device' "$root/out.txt" || { echo "FAIL: the generator's message is not shown"; fail=1; }
grep -q 'could not be made' "$root/out.txt" || { echo "FAIL: the set-up does not say it stopped"; fail=1; }
[ ! -e "$root/datas" ] || { echo "FAIL: a datas/ was left behind"; fail=1; }
[ ! -e "$root/datas.tmp" ] || { echo "FAIL: datas.tmp/ was left behind"; fail=1; }
cat "$root/out.txt"

# 3. A working generator; a second set-up keeps what it made.
root="$work/working"
scratch_root "$root" 'mkdir -p "$1" && echo made > "$1/fantom.mp3"'
run_setup "$root" play > "$root/out.txt" 2>&1 || { echo "FAIL: the set-up failed with a working generator"; fail=1; }
[ -f "$root/datas/fantom.mp3" ] || { echo "FAIL: no datas/ after a working generator"; fail=1; }
[ ! -e "$root/datas.tmp" ] || { echo "FAIL: datas.tmp/ was left behind"; fail=1; }
echo kept > "$root/datas/mine.jpg"
run_setup "$root" play > "$root/out2.txt" 2>&1 || { echo "FAIL: the second set-up failed"; fail=1; }
[ -f "$root/datas/mine.jpg" ] || { echo "FAIL: the second set-up replaced datas/"; fail=1; }
grep -q 'generating' "$root/out2.txt" && { echo "FAIL: the second set-up generated again"; fail=1; }

# 4. play.sh as a user runs it: the failed generator ends it, non-zero, and
# the show does not start.
root="$work/play"
scratch_root "$root" 'echo "mkdatas: broken" >&2; exit 1'
# The real installer and build are replaced in the copy: only the data step
# is under test here.
sed -i 's/^qvn_install_packages() {$/qvn_install_packages() { return 0; }\nqvn_install_packages_real() {/; s/^qvn_build() {$/qvn_build() { return 0; }\nqvn_build_real() {/' \
  "$root/scripts/setup.sh"
(cd "$root" && ./play.sh > out.txt 2>&1)
rc=$?
echo "play.sh with a failing generator: exit code $rc"
[ "$rc" -ne 0 ] || { echo "FAIL: play.sh ended with 0"; fail=1; }
grep -q 'the show started' "$root/out.txt" && { echo "FAIL: play.sh started the show without datas/"; fail=1; }
[ ! -e "$root/datas" ] && [ ! -e "$root/datas.tmp" ] || { echo "FAIL: play.sh left a data folder"; fail=1; }

# 5. The skip report: every skipped test with its reason, GoogleTest's and
# the scripts' alike, and the vector skips counted.
root="$work/skips"
mkdir -p "$root/scripts" "$root/build/Testing/Temporary"
cp "$src/scripts/setup.sh" "$root/scripts/setup.sh"
echo "QVN_VECTORS_DIR:PATH=/nowhere/vectors" > "$root/build/CMakeCache.txt"
cat > "$root/build/Testing/Temporary/LastTest.log" <<'LOG'
1/3 Test: Mp3Iso.Layer3
Output:
/src/tests/sound/test_mp3_conformance.cpp:40: Skipped
test vectors not found at /nowhere/vectors
[  SKIPPED ] Mp3Iso.Layer3 (0 ms)
<end of output>
Test Pass Reason:
2/3 Test: wine32.smoke
Output:
SKIPPED: 32-bit Wine is not installed (the i386 architecture and wine32:i386)
<end of output>
Test Passed.
3/3 Test: Program.Help
Output:
[       OK ] Program.Help (3 ms)
<end of output>
Test Passed.
LOG
report=$( . "$root/scripts/setup.sh"; QVN_ROOT=$root; qvn_report_skips build )
expected='== build: 2 tests skipped
   Mp3Iso.Layer3: test vectors not found at /nowhere/vectors
   wine32.smoke: 32-bit Wine is not installed (the i386 architecture and wine32:i386)
== 1 vector tests skipped: no test vectors in /nowhere/vectors (put them there to run them)'
if [ "$report" = "$expected" ]; then
  echo "the skip report names both skips"
else
  echo "FAIL: the skip report reads:"
  echo "$report"
  fail=1
fi

[ "$fail" = 0 ] && echo "the set-up stops where it must"
exit $fail
