#!/usr/bin/env bash
# Builds Zephrin for the web with Debian's emscripten and packs
# dist/zephrin-<version>-web.zip: index.html, zephrin.js, zephrin.wasm,
# zephrin.data (with its loader zephrin.data.js), the first picture, the app
# manifest, icons and service worker, a .gz and a .br copy beside each file
# that compresses, the game's licence and the licences of everything linked
# in; the same sources give the same bytes. Unpacked, it is a folder of
# static files that any web server can host; tools/web/serve.sh serves it
# here, compressed.
#
#   tools/web/build.sh           build the libraries (once), the game, the zip
#   tools/web/build.sh --test    the same, then play the unpacked zip in
#                                Debian's headless chromium (tests/web/)
#
# Needs Debian 12 (bookworm); installs the packages it lacks with apt-get
# (through sudo when not root). SDL2, SDL2_image, SDL2_mixer, libpng, zlib
# and mpg123 are built from Debian's source packages by the shared superbuild
# (tools/deps/build.sh) into build/deps/web, about ten minutes the first time.
# With --test, ZEPHRIN_WEB_SCREENSHOT=FILE saves the page's picture, and
# ZEPHRIN_WEB_SCREENSHOTS=DIR the page on a phone and on a wide screen
# (web-phone.png, web-wide.png). The tests run Lighthouse (npm, pinned) on
# Debian's chromium; it is installed once into ZEPHRIN_LIGHTHOUSE_DIR
# (default ~/.cache/zephrin/lighthouse-<version>).
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD="$ROOT/build/web"
DIST="$ROOT/dist"
VERSION=$("$ROOT/tools/version.sh")
ZIP="$DIST/zephrin-$VERSION-web.zip"
export ZEPHRIN_JOBS="${ZEPHRIN_JOBS:-2}"

usage() { awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "${BASH_SOURCE[0]}"; }
case "$*" in
  "") RUN_TEST=0 ;;
  --test) RUN_TEST=1 ;;
  -h|--help) usage; exit 0 ;;
  *) usage >&2; exit 2 ;;
esac

step() { printf '\n== %s\n' "$*"; }
fail() { printf 'tools/web/build.sh: %s\n' "$*" >&2; exit 1; }
TIMES=()
timed() { TIMES+=("$(printf '%-10s %4d s' "$1" $(( $(date +%s) - $2 )))"); }
T_START=$(date +%s)

# emcc's JavaScript optimizer imports Debian's node modules, which a node
# installed from elsewhere does not look in. Each emcc run is a Python
# program: Debian's python3 starts at once, a version manager's wrapper on
# the PATH may take a third of a second (minutes over SDL's checks). The
# frozen prebuilt cache of Debian's emscripten is used as it is.
export NODE_PATH=/usr/share/nodejs
[ -x /usr/bin/python3 ] && export EMSDK_PYTHON=/usr/bin/python3
unset EM_CACHE

t0=$(date +%s)
# The icons and the first picture are drawn by programs built for this
# machine, with its own SDL; brotli and gzip make the compressed copies.
"$ROOT/tools/install-packages.sh" emscripten cmake ninja-build dpkg-dev xz-utils zip unzip \
  g++ libsdl2-dev libsdl2-image-dev libsdl2-mixer-dev brotli gzip
if [ $RUN_TEST -eq 1 ]; then
  "$ROOT/tools/install-packages.sh" chromium lame
  # Lighthouse comes from npm: Debian's, unless node came with its own.
  command -v npm >/dev/null || "$ROOT/tools/install-packages.sh" npm
fi
timed packages "$t0"

t0=$(date +%s)
step "libraries (shared superbuild, emscripten)"
PREFIX=$("$ROOT/tools/deps/build.sh" web "$ROOT/cmake/toolchains/emscripten.cmake" \
           -DZEPHRIN_DEPS_GTEST=OFF)
timed libraries "$t0"

t0=$(date +%s)
step "the icon and picture drawers, for this machine"
HOST="$ROOT/build/web-host"
mkdir -p "$HOST"
cmake -S "$ROOT" -B "$HOST" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZEPHRIN_BUILD_TESTS=OFF \
      -DZEPHRIN_WERROR=ON > "$HOST.configure.log" 2>&1 ||
  { tail -40 "$HOST.configure.log" >&2; fail "configuring the drawers failed"; }
cmake --build "$HOST" --target zephrin_make_icon zephrin_first_frame -j "$ZEPHRIN_JOBS" \
      > "$HOST.build.log" 2>&1 ||
  { tail -40 "$HOST.build.log" >&2; fail "building the drawers failed"; }
timed drawers "$t0"

t0=$(date +%s)
step "the game"
mkdir -p "$BUILD"
# Afresh each time: a cache from another prefix would keep its libraries.
cmake --fresh -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchains/emscripten.cmake" \
      -DZEPHRIN_DEPS_PREFIX="$PREFIX" -DSDL2_DIR="$PREFIX/lib/cmake/SDL2" \
      -DZEPHRIN_MAKE_ICON="$HOST/zephrin_make_icon" -DZEPHRIN_FIRST_FRAME="$HOST/zephrin_first_frame" \
      -DCMAKE_BUILD_TYPE=Release -DZEPHRIN_STATIC_SDL=ON -DZEPHRIN_BUILD_TESTS=OFF \
      -DZEPHRIN_WERROR=ON > "$BUILD.configure.log" 2>&1 ||
  { tail -40 "$BUILD.configure.log" >&2; fail "configuring the game failed"; }
cmake --build "$BUILD" -j "$ZEPHRIN_JOBS" > "$BUILD.build.log" 2>&1 ||
  { tail -40 "$BUILD.build.log" >&2; fail "building the game failed"; }
timed game "$t0"

# ----------------------------------------------------------------- licences --
source_of() { grep "^$1=" "$PREFIX/sources.txt" | cut -d= -f2-; }

# The licence texts of everything the page runs: the libraries, and the
# runtime emscripten links in (its own JavaScript and C library, musl,
# libc++, compiler-rt, dlmalloc), whose terms are in its copyright file.
copy_licences() {
  local to=$1
  mkdir -p "$to"
  cp "$(source_of libsdl2)/LICENSE.txt" "$to/SDL2.txt"
  cp "$(source_of libsdl2-image)/LICENSE.txt" "$to/SDL2_image.txt"
  cp "$(source_of libsdl2-mixer)/LICENSE.txt" "$to/SDL2_mixer.txt"
  cp "$(source_of libpng1.6)/LICENSE" "$to/libpng.txt"
  cp "$(source_of mpg123)/COPYING" "$to/mpg123.txt"
  # zlib's licence is the notice at the head of zlib.h.
  sed -n '/Copyright (C)/,/\*\//p' "$(source_of zlib)/zlib.h" > "$to/zlib.txt"
  local package
  for package in libsdl2 libsdl2-image libsdl2-mixer libpng1.6 mpg123 zlib; do
    cp "$(source_of "$package")/debian/copyright" "$to/$package-copyright.txt"
  done
  cp /usr/share/doc/emscripten/copyright "$to/emscripten-runtime.txt"
  local f
  for f in "$to"/*.txt; do
    [ -s "$f" ] || fail "licence text $(basename "$f") came out empty"
  done
  grep -q "Jean-loup Gailly" "$to/zlib.txt" || fail "zlib's licence not found in zlib.h"
}

t0=$(date +%s)
step "packing $ZIP"
stage="$BUILD/package"
rm -rf "$stage"
mkdir -p "$stage" "$DIST"
cp "$BUILD"/{index.html,zephrin.js,zephrin.wasm,zephrin.data,zephrin.data.js,sw.js} \
   "$BUILD"/{first-frame.jpg,manifest.webmanifest,icon-192.png,icon-512.png} \
   "$BUILD"/{icon-maskable-192.png,icon-maskable-512.png} "$stage/"
# What hosts send compressed when they can: a copy of each at the highest
# level, kept only where it saves a tenth or more (not the PNG and JPEG
# pictures, nor the MP3 inside zephrin.data).
for f in "$stage"/{index.html,zephrin.js,zephrin.wasm,zephrin.data,zephrin.data.js,sw.js,manifest.webmanifest}; do
  gzip -9 -n -k "$f"
  brotli -q 11 -k "$f"
  for copy in "$f.gz" "$f.br"; do
    [ $(( $(stat -c %s "$copy") * 10 )) -le $(( $(stat -c %s "$f") * 9 )) ] || rm "$copy"
  done
done
cp "$ROOT/LICENSE" "$stage/LICENSE.txt"
copy_licences "$stage/licenses"
cat > "$stage/README.txt" <<TEXT
Zephrin $VERSION for the web
$(printf '=%.0s' $(seq 1 $(( ${#VERSION} + 20 ))))

Put these files on any web server, as they are, and open index.html
through it (browsers do not run WebAssembly from a file opened directly).
Serve zephrin.wasm as application/wasm. The .br and .gz files are the same
files compressed: a server set to send them with Content-Encoding (br or
gzip) for the browsers that take them makes the first visit much faster.
To try it here: python3 -m http.server -b 127.0.0.1 8000, in this folder,
then open http://127.0.0.1:8000/

  tap the game, Space   fly up
  Restart, R            start again

The game starts at the first tap, click or key. It can be installed as an
app, and after the first visit it plays offline.

It needs a browser with WebAssembly; without WebGL it draws in software.
Zephrin is free software under the zlib licence (LICENSE.txt). It is
built with SDL2, SDL2_image and SDL2_mixer (zlib licence), libpng and zlib
for the pictures and mpg123 (GNU LGPL 2.1) for the music, and runs on
emscripten's runtime; their licences are in the licenses folder.
TEXT
"$ROOT/tools/reproducible-zip.sh" "$ZIP" "$stage"
timed zip "$t0"
echo "built $ZIP ($(stat -c %s "$ZIP") bytes)"

status=0
if [ $RUN_TEST -eq 1 ]; then
  t0=$(date +%s)
  step "playing the page in headless chromium"
  served="$BUILD/served"
  rm -rf "$served"
  mkdir -p "$served"
  unzip -q "$ZIP" -d "$served"
  # Node's WebSocket: built in from node 22, behind a flag in node 20.
  node_flags=()
  node -e 'process.exit(typeof WebSocket === "function" ? 0 : 1)' ||
    node_flags=(--experimental-websocket)
  node -e 'process.exit(Number(process.versions.node.split(".")[0]) >= 20 ? 0 : 1)' ||
    fail "the page tests need node 20 or later (node $(node --version) found)"
  # Lighthouse from npm, pinned, outside the clone; it drives Debian's chromium.
  LIGHTHOUSE_VERSION=12.2.3
  lighthouse_dir="${ZEPHRIN_LIGHTHOUSE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/zephrin/lighthouse-$LIGHTHOUSE_VERSION}"
  if [ ! -x "$lighthouse_dir/node_modules/.bin/lighthouse" ]; then
    mkdir -p "$lighthouse_dir"
    npm install --prefix "$lighthouse_dir" --no-audit --no-fund --loglevel=error \
        "lighthouse@$LIGHTHOUSE_VERSION" >&2 || fail "installing lighthouse $LIGHTHOUSE_VERSION failed"
  fi
  ZEPHRIN_WEB_DIR="$served" ZEPHRIN_VERSION="$VERSION" \
    ZEPHRIN_LIGHTHOUSE="$lighthouse_dir/node_modules/.bin/lighthouse" \
    node "${node_flags[@]}" --test "$ROOT/tests/web/" || status=$?
  timed tests "$t0"
fi

timed total "$T_START"
step "times"
printf '%s\n' "${TIMES[@]}"
exit $status
