#!/usr/bin/env bash
# Builds Zephrin for the web with Debian's emscripten and packs
# dist/zephrin-<version>-web.zip: index.html, zephrin.js, zephrin.wasm,
# zephrin.data (with its loader zephrin.data.js), the game's licence and the
# licences of everything linked in; the same sources give the same bytes.
# Unpacked, it is a folder of static files that any web server can host;
# tools/web/serve.sh serves it here.
#
#   tools/web/build.sh           build the libraries (once), the game, the zip
#   tools/web/build.sh --test    the same, then play the unpacked zip in
#                                Debian's headless chromium (tests/web/)
#
# Needs Debian 12 (bookworm); installs the packages it lacks with apt-get
# (through sudo when not root). SDL2, SDL2_image, SDL2_mixer, libpng, zlib
# and mpg123 are built from Debian's source packages by the shared superbuild
# (tools/deps/build.sh) into build/deps/web, about ten minutes the first time.
# With --test, ZEPHRIN_WEB_SCREENSHOT=FILE saves the page's picture.
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
"$ROOT/tools/install-packages.sh" emscripten cmake ninja-build dpkg-dev xz-utils zip unzip
[ $RUN_TEST -eq 1 ] && "$ROOT/tools/install-packages.sh" chromium lame
timed packages "$t0"

t0=$(date +%s)
step "libraries (shared superbuild, emscripten)"
PREFIX=$("$ROOT/tools/deps/build.sh" web "$ROOT/cmake/toolchains/emscripten.cmake" \
           -DZEPHRIN_DEPS_GTEST=OFF)
timed libraries "$t0"

t0=$(date +%s)
step "the game"
mkdir -p "$BUILD"
# Afresh each time: a cache from another prefix would keep its libraries.
cmake --fresh -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchains/emscripten.cmake" \
      -DZEPHRIN_DEPS_PREFIX="$PREFIX" -DSDL2_DIR="$PREFIX/lib/cmake/SDL2" \
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
cp "$BUILD"/{index.html,zephrin.js,zephrin.wasm,zephrin.data,zephrin.data.js} "$stage/"
cp "$ROOT/LICENSE" "$stage/LICENSE.txt"
copy_licences "$stage/licenses"
cat > "$stage/README.txt" <<TEXT
Zephrin $VERSION for the web
$(printf '=%.0s' $(seq 1 $(( ${#VERSION} + 20 ))))

Put these files on any web server, as they are, and open index.html
through it (browsers do not run WebAssembly from a file opened directly).
To try it here: python3 -m http.server -b 127.0.0.1 8000, in this folder,
then open http://127.0.0.1:8000/

  Space   fly up
  R       start again

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
  ZEPHRIN_WEB_DIR="$served" ZEPHRIN_VERSION="$VERSION" node "${node_flags[@]}" --test "$ROOT/tests/web/" || status=$?
  timed tests "$t0"
fi

timed total "$T_START"
step "times"
printf '%s\n' "${TIMES[@]}"
exit $status
