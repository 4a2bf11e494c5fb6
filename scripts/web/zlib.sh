#!/usr/bin/env bash
# zlib for the browser build: Debian's own source package, compiled with
# Emscripten into a static library (Emscripten's ports would download theirs,
# which these machines cannot). The system's package lists are left alone:
# apt reads a deb-src entry of its own from a scratch folder.
#   scripts/web/zlib.sh PREFIX    (PREFIX/include/zlib.h, PREFIX/lib/libz.a)
set -eu
prefix=$1
[ -f "$prefix/lib/libz.a" ] && [ -f "$prefix/include/zlib.h" ] && exit 0
work="$prefix/src"
rm -rf "$work"
mkdir -p "$work/lists/partial" "$work/parts" "$prefix/include" "$prefix/lib"
# The same archive the system installs from, as a source entry.
uri=$(sed -n 's/^URIs: *//p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -1)
[ -n "$uri" ] || uri=$(awk '$1 == "deb" { print $2; exit }' /etc/apt/sources.list 2>/dev/null)
[ -n "$uri" ] || { echo "== no Debian archive found in the apt sources" >&2; exit 1; }
suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
cat > "$work/parts/source.sources" <<SRC
Types: deb-src
URIs: $uri
Suites: $suite
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
apt_src=(-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$work/parts" -o Dir::State::Lists="$work/lists")
echo "== fetching Debian's zlib source for the web build"
apt-get -qq "${apt_src[@]}" update
(cd "$work" && apt-get -qq "${apt_src[@]}" source --download-only zlib >/dev/null)
dsc=$(ls "$work"/zlib_*.dsc | head -1)
# apt checked the files against the archive's signed index as it fetched them.
(cd "$work" && dpkg-source -x --no-check --skip-patches "$dsc" zlib >/dev/null)
src="$work/zlib"
objs=()
for f in adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast inflate inftrees trees uncompr zutil; do
  emcc -O2 -DZ_HAVE_UNISTD_H -c "$src/$f.c" -o "$work/$f.o"
  objs+=("$work/$f.o")
done
emar rcs "$prefix/lib/libz.a" "${objs[@]}"
cp "$src/zlib.h" "$src/zconf.h" "$prefix/include/"
rm -rf "$work"
echo "== zlib $(sed -n 's/^#define ZLIB_VERSION "\(.*\)"/\1/p' "$prefix/include/zlib.h") built for the web in $prefix"
