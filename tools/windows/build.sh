#!/usr/bin/env bash
# Builds Zephrin for Windows with Debian's MinGW-w64 cross compilers and packs
# dist/zephrin-<version>-windows-x86.zip (32-bit x86, console program, statically
# linked).
#
#   tools/windows/build.sh           build the libraries (once), the game, the zip
#   tools/windows/build.sh --test    the same for both architectures, with the
#       unit suites, then every check: tools/windows/check.sh (the 64-bit
#       twin under wine64) and tools/windows/test-x86-emulated.sh (the exact
#       32-bit program under 32-bit Wine in the qemu-i386 emulator)
#
# Needs Debian 12 (bookworm); installs the packages it lacks with apt-get
# (through sudo when not root). The libraries (SDL2, SDL2_image with libpng
# and zlib, SDL2_mixer with mpg123, GoogleTest) come from Debian's source
# packages through the shared build in cmake/deps, cached in build/deps/
# ($ZEPHRIN_DEPS_CACHE); the game's builds in build/windows/
# ($ZEPHRIN_WINDOWS_CACHE).
set -euo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

RUN_TEST=0
for arg in "$@"; do
  case "$arg" in
    --test) RUN_TEST=1 ;;
    -h|--help) sed -n '2,17p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "build.sh: unknown argument '$arg' (try --help)" >&2; exit 2 ;;
  esac
done

BUILD_PKGS=(cmake ninja-build dpkg-dev xz-utils zip unzip
            g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
            binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
            # the programs that run while building: the icon drawer, the Linux replay
            g++ libsdl2-dev libsdl2-image-dev libsdl2-mixer-dev)
# The Linux replay is configured with the rest of the tests.
TEST_PKGS=(googletest libgtest-dev libbenchmark-dev libx11-dev libxtst-dev zlib1g-dev
           wine64 xvfb gcc libc6-dev libasound2 lame icoutils)

# --------------------------------------------------------------- libraries --
deps_prefix() { echo "${ZEPHRIN_DEPS_CACHE:-$ROOT/build/deps}/windows-$1/prefix"; }

build_libraries() { # build_libraries ARCH [JOBS]
  local arch=$1 t0
  t0=$(now)
  log "libraries for $arch (cmake/deps)"
  ZEPHRIN_JOBS=${2:-$JOBS} "$ROOT/tools/deps/build.sh" "windows-$arch" \
    "$ROOT/cmake/toolchains/mingw-$arch.cmake" -DZEPHRIN_DEPS_GTEST=$([ $RUN_TEST -eq 1 ] && echo ON || echo OFF) \
    > /dev/null
  timed "libraries ($arch)" "$t0"
}

# ------------------------------------------------------- tools for the build --
# Programs that run here while building: the icon drawer and, for the
# checks, the Linux builds of the replay, the game and the window tests.
build_host_tools() {
  local dir="$CACHE/host" t0 targets=(zephrin_make_icon)
  t0=$(now)
  [ $RUN_TEST -eq 1 ] && targets+=(zephrin_replay zephrin e2e_test)
  log "building ${targets[*]} for this machine"
  cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DZEPHRIN_BUILD_TESTS=$([ $RUN_TEST -eq 1 ] && echo ON || echo OFF) \
        > "$dir.configure.log" 2>&1 || { tail -40 "$dir.configure.log" >&2; die "configuring the host tools failed"; }
  cmake --build "$dir" --target "${targets[@]}" -j "$JOBS" > "$dir.build.log" 2>&1 ||
    { tail -40 "$dir.build.log" >&2; die "building the host tools failed"; }
  timed "host tools" "$t0"
}

# -------------------------------------------------------------------- game --
build_game() { # build_game ARCH: the game (and with --test its suites) in $CACHE/ARCH/game
  local arch=$1 t0 triple emulator
  local bdir="$CACHE/$arch/game"
  triple=$(triple_of "$arch")
  emulator=/usr/lib/wine/wine
  [ "$arch" = x86_64 ] && emulator=/usr/lib/wine/wine64
  t0=$(now)
  log "building zephrin.exe for $arch"
  mkdir -p "$CACHE/$arch"
  cmake -S "$ROOT" -B "$bdir" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchains/mingw-$arch.cmake" \
        -DZEPHRIN_DEPS_PREFIX="$(deps_prefix "$arch")" \
        -DZEPHRIN_MAKE_ICON="$CACHE/host/zephrin_make_icon" \
        -DCMAKE_CROSSCOMPILING_EMULATOR="$emulator" \
        -DCMAKE_BUILD_TYPE=Release -DZEPHRIN_STATIC_SDL=ON -DZEPHRIN_WERROR=ON \
        -DZEPHRIN_BUILD_TESTS=$([ $RUN_TEST -eq 1 ] && echo ON || echo OFF) \
        > "$bdir.configure.log" 2>&1 || { tail -40 "$bdir.configure.log" >&2; die "configuring the game ($arch) failed"; }
  cmake --build "$bdir" -j "$JOBS" > "$bdir.build.log" 2>&1 ||
    { tail -60 "$bdir.build.log" >&2; die "building the game ($arch) failed"; }
  # strip stamps the PE header with SOURCE_DATE_EPOCH, else with the time of day.
  SOURCE_DATE_EPOCH=$("$ROOT/tools/source-date.sh") \
    "$triple-strip" -o "$CACHE/$arch/zephrin.exe" "$bdir/zephrin.exe"
  timed "game ($arch)" "$t0"
}

# ----------------------------------------------------------------- package --
license_tail() { # license_tail FILE FIRST-LINE-PATTERN: from the line with the pattern to the end
  awk -v pat="$2" 'index($0, pat) { on = 1 } on' "$1"
}

pack_zip() {
  local exe=$1 stage="$CACHE/package" t0
  t0=$(now)
  log "packing $ZIP"
  rm -rf "$stage"; mkdir -p "$stage/licenses" "$DIST"
  local d
  for d in Images Sounds; do
    [ -d "$ROOT/$d" ] || die "$d/ is missing: the game cannot run without it"
    cp -r "$ROOT/$d" "$stage/$d"
  done
  cp "$exe" "$stage/zephrin.exe"
  cp "$ROOT/LICENSE" "$stage/LICENSE.txt"
  cat > "$stage/README.txt" <<EOF
Zephrin $VERSION for Windows
$(printf '=%.0s' $(seq 1 $(( ${#VERSION} + 20 ))))

Unpack the zip into a folder of its own and double-click zephrin.exe.
It finds its pictures and sounds in the Images and Sounds folders beside
it, so keep the three together.

  Space   fly up
  R       start again
  Close the window to quit.

zephrin.exe is a 32-bit program for Windows 7 or later (32- or 64-bit) on
a processor with SSE2, which every x86 processor since 2003 has (and
Windows 8 and later require); it needs nothing installed.

Zephrin is free software under the zlib licence (LICENSE.txt), its
pictures and sounds included. It is built with SDL2, SDL2_image and SDL2_mixer (zlib licence), libpng
(libpng licence) and zlib (zlib licence) for the pictures, and mpg123
(GNU LGPL 2.1) for the music; their licences are in the licenses folder,
with those of the MinGW-w64 runtime it is linked with. mpg123 is linked
into zephrin.exe: the game's own sources and the scripts that build it
(tools/windows/build.sh) are published with it, so you may rebuild it
against a changed mpg123.
EOF
  local -A src
  local line name dir
  while IFS='=' read -r name dir; do src[$name]=$dir; done < "$(deps_prefix i686)/sources.txt"
  cp "${src[libsdl2]}/LICENSE.txt"          "$stage/licenses/SDL2.txt"
  cp "${src[libsdl2-image]}/LICENSE.txt"    "$stage/licenses/SDL2_image.txt"
  cp "${src[libsdl2-mixer]}/LICENSE.txt"    "$stage/licenses/SDL2_mixer.txt"
  cp "${src[libpng1.6]}/LICENSE"            "$stage/licenses/libpng.txt"
  license_tail "${src[zlib]}/README" "Copyright notice:" > "$stage/licenses/zlib.txt"
  cp "${src[mpg123]}/COPYING"               "$stage/licenses/mpg123.txt"
  for line in libsdl2:SDL2 libsdl2-image:SDL2_image libsdl2-mixer:SDL2_mixer \
              libpng1.6:libpng zlib:zlib mpg123:mpg123; do
    cp "${src[${line%%:*}]}/debian/copyright" "$stage/licenses/${line#*:}-copyright.txt"
  done
  cp /usr/share/doc/mingw-w64-common/copyright "$stage/licenses/mingw-w64-runtime.txt"
  cp /usr/share/doc/gcc-mingw-w64-base/copyright "$stage/licenses/gcc-runtime.txt"
  local f
  for f in "$stage"/licenses/*.txt; do
    [ -s "$f" ] || die "licence text $(basename "$f") came out empty"
  done
  grep -q "Jean-loup Gailly" "$stage/licenses/zlib.txt" || die "zlib licence not found"
  grep -q "LESSER GENERAL PUBLIC LICENSE" "$stage/licenses/mpg123.txt" || die "mpg123 licence not found"
  "$ROOT/tools/reproducible-zip.sh" "$ZIP" "$stage"
  timed "zip" "$t0"
}

# -------------------------------------------------------------------- main --
main() {
  local t0 t_start
  t_start=$(now)
  mkdir -p "$CACHE"
  TIMES_FILE="$CACHE/times.txt"; : > "$TIMES_FILE"
  trap print_times EXIT
  t0=$(now)
  ensure_packages "${BUILD_PKGS[@]}"
  [ $RUN_TEST -eq 1 ] && ensure_packages "${TEST_PKGS[@]}"
  timed "packages" "$t0"

  if [ $RUN_TEST -eq 1 ] && [ "$JOBS" -ge 2 ]; then
    # Both architectures' libraries at once, half the jobs each: their long,
    # serial configure steps then overlap instead of leaving a core idle.
    local pids=() pid
    build_libraries i686 $(( JOBS / 2 )) & pids+=($!)
    build_libraries x86_64 $(( JOBS - JOBS / 2 )) & pids+=($!)
    for pid in "${pids[@]}"; do wait "$pid" || die "building the libraries failed"; done
  else
    build_libraries i686
  fi
  build_host_tools
  build_game i686
  pack_zip "$CACHE/i686/zephrin.exe"
  echo "built $ZIP ($(stat -c %s "$ZIP") bytes; zephrin.exe $(stat -c %s "$CACHE/i686/zephrin.exe") bytes)"
  timed "build" "$t_start"

  if [ $RUN_TEST -eq 1 ]; then
    build_libraries x86_64
    build_game x86_64
    trap - EXIT
    print_times
    local status=0
    "$ROOT/tools/windows/check.sh" || status=1
    "$ROOT/tools/windows/test-x86-emulated.sh" || status=1
    return $status
  fi
}

main
