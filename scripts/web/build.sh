#!/usr/bin/env bash
# The browser build, sourced by setup.sh: Emscripten and zlib (from Debian's
# source package), the programs, and the folder a static server serves:
#   build-web/dist/  index.html, the page's scripts, demo_sw and demo_hw (.js + .wasm), datas/
set -u

QVN_PACKAGES_WEB="emscripten dpkg-dev node-acorn python3"

# qvn_web_build: builds the web programs and lays out build-web/dist (the
# native data set must exist: it is copied in with a manifest of its files).
qvn_web_build() {
  local web="$QVN_ROOT/build-web" dist="$QVN_ROOT/build-web/dist"
  # shellcheck disable=SC2086
  qvn_install_packages $QVN_PACKAGES_WEB || return 1
  # Emscripten's own tools are Node scripts that need Debian's Node modules,
  # which a Node installed from elsewhere does not look for.
  export NODE_PATH="/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}"
  "$QVN_ROOT/scripts/web/zlib.sh" "$web/deps" || return 1
  mkdir -p "$web/cmake"
  cmake -S "$QVN_ROOT" -B "$web/cmake" -DCMAKE_TOOLCHAIN_FILE="$QVN_ROOT/cmake/web.cmake" \
    -DZLIB_ROOT="$web/deps" -DCMAKE_BUILD_TYPE=Release >"$web/configure.log" 2>&1 ||
    { cat "$web/configure.log"; return 1; }
  cmake --build "$web/cmake" -j "$QVN_JOBS" --target demo_sw demo_hw || return 1
  rm -rf "$dist.tmp"
  mkdir -p "$dist.tmp/datas"
  cp "$QVN_ROOT"/web/index.html "$QVN_ROOT"/web/qvn_page.js "$QVN_ROOT"/web/qvn_zip.js \
    "$QVN_ROOT"/platform/qvn_PictureFilter.vert "$QVN_ROOT"/platform/qvn_PictureFilter.frag "$dist.tmp/" || return 1
  cp "$web"/cmake/demo_sw.js "$web"/cmake/demo_sw.wasm "$web"/cmake/demo_hw.js "$web"/cmake/demo_hw.wasm "$dist.tmp/" ||
    return 1
  cp -r "$QVN_ROOT"/datas/. "$dist.tmp/datas/" || return 1
  python3 - "$dist.tmp/datas" <<'PY' || return 1
import json, os, sys
root = sys.argv[1]
files = sorted(n for n in os.listdir(root) if os.path.isfile(os.path.join(root, n)) and n != "manifest.json")
with open(os.path.join(root, "manifest.json"), "w") as f:
    json.dump({"files": [{"name": n, "bytes": os.path.getsize(os.path.join(root, n))} for n in files]}, f, indent=0)
PY
  rm -rf "$dist"
  mv "$dist.tmp" "$dist"
  echo "== the web build is in $dist (any static host serves it as it is)"
}

# What the page's test needs: headless Chromium from Debian, and
# puppeteer-core from npm (which downloads no browser) in build-web/node.
qvn_web_test_tools() {
  qvn_install_packages chromium-headless-shell || return 1
  # npm comes with some Node installations and is a package of its own in others.
  command -v npm >/dev/null || qvn_install_packages npm || return 1
  local dir="$QVN_ROOT/build-web/node"
  [ -d "$dir/node_modules/puppeteer-core" ] && return 0
  mkdir -p "$dir"
  echo "== installing puppeteer-core for the page's test"
  (cd "$dir" && npm install --no-audit --no-fund --loglevel=error puppeteer-core@24 >/dev/null) || return 1
}

# qvn_web_serve [PORT]: serves build-web/dist on 127.0.0.1 until interrupted.
qvn_web_serve() {
  local port=${1:-8320}
  echo "== the show in your browser: http://127.0.0.1:$port/   (Ctrl+C stops the server)"
  exec python3 -m http.server --bind 127.0.0.1 --directory "$QVN_ROOT/build-web/dist" "$port"
}
