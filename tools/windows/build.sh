#!/usr/bin/env bash
# Builds Zephrin for Windows with Debian's MinGW-w64 cross compilers and packs
# dist/zephrin-windows-x86.zip (32-bit x86, console program, statically linked).
#
#   tools/windows/build.sh           build the libraries (once), the game, the zip
#   tools/windows/build.sh --test    the same, then check the result:
#       - the 32-bit zephrin.exe is a PE32 i386 console program that imports
#         only DLLs every Windows has;
#       - its 64-bit twin (same sources, x86_64-w64-mingw32) runs under wine64
#         on a virtual X server from the unpacked zip: window "Zephrin",
#         800 x 800, centred, a drawn frame, music reaching the sound device,
#         no asset failing to load, and a close request ending it with status 0.
#
# Needs Debian 12 (bookworm); installs the packages it lacks with apt-get
# (through sudo when not root). SDL2, SDL2_image and SDL2_mixer are built
# from Debian's source packages into a cache that later runs reuse:
# $ZEPHRIN_WINDOWS_CACHE, by default build/windows/ in the repository.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
CACHE="${ZEPHRIN_WINDOWS_CACHE:-$ROOT/build/windows}"
DIST="$ROOT/dist"
ZIP="$DIST/zephrin-windows-x86.zip"
JOBS="${ZEPHRIN_JOBS:-2}"

RUN_TEST=0
if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  for arg in "$@"; do
    case "$arg" in
      --test) RUN_TEST=1 ;;
      -h|--help) sed -n '2,17p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; exit 0 ;;
      *) echo "build.sh: unknown argument '$arg' (try --help)" >&2; exit 2 ;;
    esac
  done
fi

log() { printf '\n== %s\n' "$*"; }
die() { printf 'build.sh: %s\n' "$*" >&2; exit 1; }
now() { date +%s; }
T_START=$(now)
TIMES_FILE=""
timed() { # timed LABEL START
  [ -n "$TIMES_FILE" ] && printf '%-34s %4ds\n' "$1" $(( $(now) - $2 )) >> "$TIMES_FILE"
  return 0
}

# ---------------------------------------------------------------- packages --
SUDO=()
[ "$(id -u)" -eq 0 ] || SUDO=(sudo)

BUILD_PKGS=(cmake ninja-build dpkg-dev xz-utils zip unzip
            g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
            binutils-mingw-w64-i686 binutils-mingw-w64-x86-64)
TEST_PKGS=(wine64 xvfb gcc libc6-dev libx11-dev libasound2)
# The Linux build of the game needs these; installing must never remove them.
LINUX_PKGS=(g++ cmake googletest libsdl2-dev libsdl2-image-dev libsdl2-mixer-dev)

installed() { dpkg-query -W -f='${db:Status-Status}\n' "$1" 2>/dev/null | grep -qx installed; }

ensure_packages() {
  local missing=() p
  for p in "$@"; do installed "$p" || missing+=("$p"); done
  [ ${#missing[@]} -eq 0 ] && return 0
  log "installing: ${missing[*]}"
  local keep=()
  for p in "${LINUX_PKGS[@]}"; do installed "$p" && keep+=("$p"); done
  export DEBIAN_FRONTEND=noninteractive
  "${SUDO[@]}" apt-get update -qq
  # Refuse anything that would take packages away (e.g. a multiarch Wine
  # pulling out the Linux SDL -dev packages).
  local removals
  removals=$("${SUDO[@]}" apt-get install -s -y --no-install-recommends "${missing[@]}" |
             awk '/^Remv /{print $2}')
  [ -z "$removals" ] || die "installing ${missing[*]} would remove: $removals"
  "${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  for p in "${keep[@]}"; do installed "$p" || die "package $p went missing while installing"; done
  for p in "${missing[@]}"; do installed "$p" || die "package $p did not install"; done
}

# ----------------------------------------------------------------- sources --
SRC="$CACHE/src"
APT_DIR="$CACHE/apt"
SDL2_SRC="" SDL2_IMAGE_SRC="" SDL2_MIXER_SRC=""

# The machine's own mirror for a Debian archive ("debian" or
# "debian-security"), as its apt sources name it, so the script reaches the
# packages the way the rest of the machine does.
debian_mirror() {
  local archive=$1 uri
  uri=$(cat /etc/apt/sources.list.d/*.sources /etc/apt/sources.list 2>/dev/null | grep -v "^ *#" |
        grep -o -E "(https?|file)://[^ ]*/$archive/?( |$)" | head -n 1 | tr -d ' ')
  [ -n "$uri" ] || die "no apt source for the '$archive' archive in /etc/apt"
  echo "${uri%/}"
}

# apt-get with the sources in DIR/sources.list.d and its own lists and cache
# under DIR, leaving the machine's apt state alone.
private_apt() {
  local dir=$1
  shift
  apt-get -o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$dir/sources.list.d" \
          -o Dir::State::Lists="$dir/lists" -o Dir::Cache="$dir/cache" \
          -o APT::Sandbox::User=root "$@"
}

fetch_sources() {
  mkdir -p "$SRC" "$APT_DIR/sources.list.d" "$APT_DIR/lists/partial" \
           "$APT_DIR/cache/archives/partial"
  local pkg
  if ! ls -d "$SRC"/libsdl2-[0-9]*/ "$SRC"/libsdl2-image-[0-9]*/ "$SRC"/libsdl2-mixer-[0-9]*/ \
       >/dev/null 2>&1; then
    log "fetching Debian's SDL2, SDL2_image and SDL2_mixer sources"
    cat > "$APT_DIR/sources.list.d/debian-src.sources" <<EOF
Types: deb-src
URIs: $(debian_mirror debian)
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: $(debian_mirror debian-security)
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
    private_apt "$APT_DIR" update -qq
    rm -rf "${SRC:?}"/*
    (cd "$SRC" && private_apt "$APT_DIR" source -qq libsdl2 libsdl2-image libsdl2-mixer) \
      > "$CACHE/apt-source.log" 2>&1 || { cat "$CACHE/apt-source.log" >&2; die "apt-get source failed"; }
  fi
  for pkg in libsdl2 libsdl2-image libsdl2-mixer; do
    local d
    d=$(ls -d "$SRC/$pkg"-[0-9]*/ | head -n1)
    [ -f "$d/CMakeLists.txt" ] || die "no CMakeLists.txt in $d"
    case $pkg in
      libsdl2) SDL2_SRC=${d%/} ;;
      libsdl2-image) SDL2_IMAGE_SRC=${d%/} ;;
      libsdl2-mixer) SDL2_MIXER_SRC=${d%/} ;;
    esac
  done
}

# --------------------------------------------------------------- libraries --
# Only what the game uses: PNG through the built-in stb_image, MP3 through the
# built-in dr_mp3, WAV (always built in). Nothing is loaded at run time.
SDL2_OPTS=(-DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF -DSDL2_DISABLE_SDL2MAIN=OFF
           -DSDL_STATIC_PIC=OFF)
IMAGE_OPTS=(-DBUILD_SHARED_LIBS=OFF -DSDL2IMAGE_VENDORED=ON -DSDL2IMAGE_BACKEND_STB=ON
            -DSDL2IMAGE_BACKEND_WIC=OFF -DSDL2IMAGE_DEPS_SHARED=OFF
            -DSDL2IMAGE_SAMPLES=OFF -DSDL2IMAGE_TESTS=OFF
            -DSDL2IMAGE_PNG=ON -DSDL2IMAGE_PNG_SAVE=OFF
            -DSDL2IMAGE_AVIF=OFF -DSDL2IMAGE_BMP=OFF -DSDL2IMAGE_GIF=OFF -DSDL2IMAGE_JPG=OFF
            -DSDL2IMAGE_JXL=OFF -DSDL2IMAGE_LBM=OFF -DSDL2IMAGE_PCX=OFF -DSDL2IMAGE_PNM=OFF
            -DSDL2IMAGE_QOI=OFF -DSDL2IMAGE_SVG=OFF -DSDL2IMAGE_TGA=OFF -DSDL2IMAGE_TIF=OFF
            -DSDL2IMAGE_WEBP=OFF -DSDL2IMAGE_XCF=OFF -DSDL2IMAGE_XPM=OFF -DSDL2IMAGE_XV=OFF)
MIXER_OPTS=(-DBUILD_SHARED_LIBS=OFF -DSDL2MIXER_VENDORED=OFF -DSDL2MIXER_DEPS_SHARED=OFF
            -DSDL2MIXER_SAMPLES=OFF -DSDL2MIXER_CMD=OFF
            -DSDL2MIXER_WAVE=ON -DSDL2MIXER_MP3=ON
            -DSDL2MIXER_MP3_DRMP3=ON -DSDL2MIXER_MP3_MPG123=OFF
            -DSDL2MIXER_FLAC=OFF -DSDL2MIXER_MOD=OFF -DSDL2MIXER_MIDI=OFF
            -DSDL2MIXER_OPUS=OFF -DSDL2MIXER_VORBIS=OFF)

build_lib() { # build_lib ARCH NAME SOURCE_DIR OPTIONS...
  local arch=$1 name=$2 src=$3; shift 3
  local bdir="$CACHE/$arch/lib-build/$name" prefix="$CACHE/$arch/deps"
  cmake -S "$src" -B "$bdir" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchains/mingw-$arch.cmake" \
        -DZEPHRIN_DEPS_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release "$@" \
        > "$bdir.configure.log" 2>&1 || { tail -40 "$bdir.configure.log" >&2; die "configuring $name ($arch) failed"; }
  cmake --build "$bdir" -j "$JOBS" > "$bdir.build.log" 2>&1 ||
    { tail -40 "$bdir.build.log" >&2; die "building $name ($arch) failed"; }
  cmake --install "$bdir" > "$bdir.install.log" 2>&1 ||
    { tail -40 "$bdir.install.log" >&2; die "installing $name ($arch) failed"; }
}

build_libraries() { # build_libraries ARCH [JOBS]
  local arch=$1 t0
  local JOBS=${2:-$JOBS}
  local stamp="$CACHE/$arch/deps/.zephrin-stamp"
  # Rebuilt when the sources, the options or the toolchain file change.
  local key
  key=$(printf '%s\n' "$SDL2_SRC" "$SDL2_IMAGE_SRC" "$SDL2_MIXER_SRC" \
          "${SDL2_OPTS[*]}" "${IMAGE_OPTS[*]}" "${MIXER_OPTS[*]}" \
          "$(cat "$ROOT/cmake/toolchains/mingw-$arch.cmake" "$ROOT/cmake/toolchains/mingw-common.cmake")" \
          "$(x86_64-w64-mingw32-gcc-posix --version 2>/dev/null | head -n1)" | sha256sum | cut -c1-16)
  if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$key" ]; then
    echo "libraries for $arch: cached in $CACHE/$arch/deps"
    return 0
  fi
  log "building SDL2, SDL2_image, SDL2_mixer for $arch"
  rm -rf "$CACHE/$arch/deps" "$CACHE/$arch/lib-build"
  mkdir -p "$CACHE/$arch/lib-build"
  t0=$(now); build_lib "$arch" SDL2 "$SDL2_SRC" "${SDL2_OPTS[@]}"; timed "SDL2 ($arch)" "$t0"
  t0=$(now); build_lib "$arch" SDL2_image "$SDL2_IMAGE_SRC" "${IMAGE_OPTS[@]}"; timed "SDL2_image ($arch)" "$t0"
  t0=$(now); build_lib "$arch" SDL2_mixer "$SDL2_MIXER_SRC" "${MIXER_OPTS[@]}"; timed "SDL2_mixer ($arch)" "$t0"
  echo "$key" > "$stamp"
}

# -------------------------------------------------------------------- game --
build_game() { # build_game ARCH -> prints nothing; exe at $CACHE/$arch/game/zephrin.exe
  local arch=$1 t0
  local bdir="$CACHE/$arch/game"
  t0=$(now)
  log "building zephrin.exe for $arch"
  cmake -S "$ROOT" -B "$bdir" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchains/mingw-$arch.cmake" \
        -DZEPHRIN_DEPS_PREFIX="$CACHE/$arch/deps" \
        -DCMAKE_BUILD_TYPE=Release \
        -DZEPHRIN_STATIC_SDL=ON -DZEPHRIN_BUILD_TESTS=OFF -DZEPHRIN_WERROR=ON \
        > "$bdir.configure.log" 2>&1 || { tail -40 "$bdir.configure.log" >&2; die "configuring the game ($arch) failed"; }
  cmake --build "$bdir" --target zephrin -j "$JOBS" > "$bdir.build.log" 2>&1 ||
    { tail -60 "$bdir.build.log" >&2; die "building the game ($arch) failed"; }
  local exe
  exe=$(find "$bdir" -name zephrin.exe -type f | head -n1)
  [ -n "$exe" ] || die "the build made no zephrin.exe"
  local triple=i686-w64-mingw32
  [ "$arch" = x86_64 ] && triple=x86_64-w64-mingw32
  "$triple-strip" -o "$CACHE/$arch/zephrin.exe" "$exe"
  timed "game ($arch)" "$t0"
}

# ----------------------------------------------------------------- package --
license_tail() { # license_tail FILE FIRST-LINE-PATTERN: from the line before the pattern to the end
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
  cat > "$stage/README.txt" <<'EOF'
Zephrin for Windows
===================

Unpack the zip into a folder of its own and double-click zephrin.exe.
It finds its pictures and sounds in the Images and Sounds folders beside
it, so keep the three together.

  Space   fly up
  R       start again
  Close the window to quit.

zephrin.exe is a 32-bit program for Windows 7 or later (32- or 64-bit);
it needs nothing installed.

It is built with SDL2, SDL2_image and SDL2_mixer (zlib licence), which carry
stb_image (PNG pictures) and dr_mp3 (MP3 music); their licences are in the
licenses folder, with those of the MinGW-w64 runtime it is linked with.
EOF
  cp "$SDL2_SRC/LICENSE.txt"        "$stage/licenses/SDL2.txt"
  cp "$SDL2_IMAGE_SRC/LICENSE.txt"  "$stage/licenses/SDL2_image.txt"
  cp "$SDL2_MIXER_SRC/LICENSE.txt"  "$stage/licenses/SDL2_mixer.txt"
  license_tail "$SDL2_IMAGE_SRC/stb_image.h" "This software is available under 2 licenses" \
    > "$stage/licenses/stb_image.txt"
  license_tail "$SDL2_MIXER_SRC/src/codecs/dr_libs/dr_mp3.h" "This software is available as a choice" \
    > "$stage/licenses/dr_mp3.txt"
  cp "$SDL2_SRC/debian/copyright"        "$stage/licenses/SDL2-copyright.txt"
  cp "$SDL2_IMAGE_SRC/debian/copyright"  "$stage/licenses/SDL2_image-copyright.txt"
  cp "$SDL2_MIXER_SRC/debian/copyright"  "$stage/licenses/SDL2_mixer-copyright.txt"
  cp /usr/share/doc/mingw-w64-common/copyright "$stage/licenses/mingw-w64-runtime.txt"
  cp /usr/share/doc/gcc-mingw-w64-base/copyright "$stage/licenses/gcc-runtime.txt"
  local f
  for f in "$stage"/licenses/*.txt; do
    [ -s "$f" ] || die "licence text $(basename "$f") came out empty"
  done
  grep -q "Sean Barrett" "$stage/licenses/stb_image.txt" || die "stb_image licence not found"
  grep -q "David Reid" "$stage/licenses/dr_mp3.txt" || die "dr_mp3 licence not found"
  rm -f "$ZIP"
  (cd "$stage" && zip -q -X -r "$ZIP" zephrin.exe README.txt Images Sounds licenses)
  timed "zip" "$t0"
}

# ------------------------------------------------------------------ checks --
# Debian's wine64 package keeps its programs in /usr/lib/wine (the "wine"
# package only adds links in /usr/bin).
# Looked up after the packages are installed.
WINE64="" WINESERVER=""
find_wine64() {
  WINE64=/usr/lib/wine/wine64
  WINESERVER=/usr/lib/wine/wineserver
  [ -x "$WINE64" ] || WINE64=$(command -v wine64) || die "wine64 is not installed"
  [ -x "$WINESERVER" ] || WINESERVER=$(command -v wineserver) || die "wineserver is not installed"
}

PASSED=0 FAILED=0
check() { # check DESCRIPTION COMMAND...
  if "${@:2}"; then echo "ok   $1"; PASSED=$((PASSED + 1)); else echo "FAIL $1"; FAILED=$((FAILED + 1)); fi
}

# DLLs that come with every Windows (7 and later) and that SDL2 may import.
SYSTEM_DLLS="kernel32.dll user32.dll gdi32.dll winmm.dll imm32.dll ole32.dll oleaut32.dll
 version.dll setupapi.dll shell32.dll advapi32.dll msvcrt.dll cfgmgr32.dll"

imports_only_system_dlls() { # FILE OBJDUMP
  local dlls bad="" d
  dlls=$("$2" -p "$1" | awk '/DLL Name:/{print tolower($3)}' | sort -u; exit "${PIPESTATUS[0]}")
  echo "     imports: $(echo $dlls)"
  [ -n "$dlls" ] || return 1
  for d in $dlls; do
    case " $(echo $SYSTEM_DLLS) " in *" $d "*) ;; *) bad="$bad $d" ;; esac
  done
  [ -z "$bad" ] || { echo "     not a Windows system DLL:$bad"; return 1; }
}

pe_header_is() { # FILE OBJDUMP FORMAT MAGIC
  local f p
  f=$("$2" -f "$1" | awk '/file format/{print $NF}')
  [ "$f" = "$3" ] || { echo "     file format: $f (want $3)"; return 1; }
  p=$("$2" -p "$1")
  grep -Eq "^Magic[[:space:]]+$4" <<<"$p" ||
    { echo "     optional header magic: $(awk '/^Magic/{print $2}' <<<"$p") (want $4)"; return 1; }
}

console_subsystem() { # FILE OBJDUMP
  local p
  p=$("$2" -p "$1")
  grep -Eq '^Subsystem[[:space:]]+0+3[[:space:]]+\(Windows CUI\)' <<<"$p" ||
    { echo "     $(grep '^Subsystem' <<<"$p")"; return 1; }
}

check_headers() {
  local exe32="$CACHE/i686/zephrin.exe" exe64="$CACHE/x86_64/zephrin.exe"
  log "checking the executables' headers"
  echo "     zephrin.exe (x86): $(stat -c %s "$exe32") bytes"
  check "x86 exe is PE32 for i386" pe_header_is "$exe32" i686-w64-mingw32-objdump pei-i386 010b
  check "x86 exe is a console program" console_subsystem "$exe32" i686-w64-mingw32-objdump
  check "x86 exe imports only Windows system DLLs" imports_only_system_dlls "$exe32" i686-w64-mingw32-objdump
  check "x64 twin is PE32+ for x86-64" pe_header_is "$exe64" x86_64-w64-mingw32-objdump pei-x86-64 020b
  check "x64 twin is a console program" console_subsystem "$exe64" x86_64-w64-mingw32-objdump
  check "x64 twin imports only Windows system DLLs" imports_only_system_dlls "$exe64" x86_64-w64-mingw32-objdump
  # The zip must hold the 32-bit program, byte for byte.
  local packed
  packed=$(unzip -p "$ZIP" zephrin.exe | sha256sum | cut -d' ' -f1)
  check "zip holds the x86 exe" test "$packed" = "$(sha256sum < "$exe32" | cut -d' ' -f1)"
}

# Runs the Windows program EXE (from a copy of the unpacked zip) under WINE
# on a fresh Xvfb and checks what a player would see, hear and do.
# Used by this script (64-bit twin, wine64) and by test-x86-emulated.sh.
XVFB_PID="" GAME_PID=""
SOUND_WAIT=${SOUND_WAIT:-30}   # seconds for two seconds of music to arrive
CLOSE_WAIT=${CLOSE_WAIT:-20}   # seconds for the game to end after the close request
run_wine_checks() { # run_wine_checks LABEL EXE WORKDIR WINE WINEPREFIX START_TIMEOUT
  local label=$1 exe=$2 work=$3 wine=$4 prefix=$5 start_timeout=$6 t0
  rm -rf "$work"; mkdir -p "$work/home"
  unzip -q "$ZIP" -d "$work/game"
  cp "$exe" "$work/game/zephrin.exe"
  # No sound card here: ALSA's default device (which Wine plays to) becomes a
  # WAV file, converted to 16-bit samples so that its header tells the truth
  # (the file plugin labels float samples as integer ones).
  cat > "$work/home/.asoundrc" <<EOF
pcm.!default {
  type plug
  slave { pcm "zephrin_wav"; format S16_LE }
}
pcm.zephrin_wav {
  type file
  slave.pcm "null"
  file "$work/audio.wav"
  format "wav"
}
EOF
  local wincheck="$CACHE/wincheck"
  gcc -std=c99 -D_POSIX_C_SOURCE=200809L -O2 -Wall -Wextra -o "$wincheck" \
      "$ROOT/tools/windows/wincheck.c" -lX11 -lm || die "compiling wincheck failed"

  # A virtual screen that is not 800 x 800 so that "centred" means something.
  local sw=1280 sh=1024
  Xvfb -displayfd 3 -screen 0 "${sw}x${sh}x24" -nolisten tcp 3> "$work/display" \
    > "$work/xvfb.log" 2>&1 &
  XVFB_PID=$!
  local disp="" i
  for i in $(seq 1 100); do
    disp=$(tr -dc 0-9 < "$work/display")
    [ -n "$disp" ] && break
    sleep 0.1
  done
  [ -n "$disp" ] || die "Xvfb did not start: $(cat "$work/xvfb.log")"
  export DISPLAY=":$disp"

  local wenv=(env WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
              HOME="$work/home" DISPLAY="$DISPLAY")
  if [ ! -f "$prefix/system.reg" ]; then
    t0=$(now)
    log "creating the Wine prefix $prefix"
    mkdir -p "$prefix"
    "${wenv[@]}" "$wine" wineboot.exe --init > "$work/wineboot.log" 2>&1 ||
      { cat "$work/wineboot.log" >&2; die "wineboot failed"; }
    "${wenv[@]}" "$WINESERVER" -w
    timed "Wine prefix ($label)" "$t0"
  fi

  log "running $label under Wine"
  t0=$(now)
  (cd "$work/game" && exec "${wenv[@]}" "$wine" zephrin.exe \
     > "$work/stdout.txt" 2> "$work/stderr.txt" < /dev/null) &
  GAME_PID=$!

  local found
  if found=$("$wincheck" find Zephrin "$start_timeout" 2> "$work/find.err"); then
    check "$label: a window titled \"Zephrin\" appears ($(( $(now) - t0 )) s)" true
  else
    check "$label: a window titled \"Zephrin\" appears: $(cat "$work/find.err")" false
    stop_wine_run
    echo "     stderr of the game:"; sed 's/^/     | /' "$work/stderr.txt" | tail -20
    return
  fi
  # Let it run while the music streams: until two seconds of sound have
  # reached the device (a slow, busy machine gets up to SOUND_WAIT seconds).
  local wav="" peak=0 seconds=0 rms=0 loud_fraction=0 rate=0 channels=0 bits=0 float=0
  for i in $(seq 1 $(( SOUND_WAIT * 2 ))); do
    sleep 0.5
    wav=$("$wincheck" wav "$work/audio.wav" 2> "$work/wav.err") || continue
    eval "$(echo "$wav" | grep -E '^[a-z_]+=[0-9.]+$')"
    awk -v s="$seconds" 'BEGIN { exit !(s >= 2) }' && break
  done

  # Looked up again: while it picks a renderer, SDL may replace the window
  # it first showed with a new one.
  local window="" x=0 y=0 width=0 height=0 screen_width=0 screen_height=0
  found=$("$wincheck" find Zephrin "$start_timeout" 2> "$work/find.err") || true
  eval "$(echo "$found" | grep -E '^[a-z_]+=[0-9a-fx]+$')"
  echo "     window $window at $x,$y size ${width}x$height on a ${screen_width}x$screen_height screen"
  check "$label: window is 800 x 800" test "$width-$height" = "800-800"
  # Centred: the window's middle within a title bar's height of the screen's.
  local dx=$(( x + width / 2 - screen_width / 2 )) dy=$(( y + height / 2 - screen_height / 2 ))
  check "$label: window is centred (off by $dx,$dy)" test "${dx#-}" -le 16 -a "${dy#-}" -le 40

  local shot pixels nonblack colours
  if shot=$("$wincheck" shot "$window" "$work/frame.ppm"); then
    eval "$(echo "$shot" | grep -E '^[a-z_]+=[0-9]+$')"
    echo "     frame: $nonblack of $pixels pixels not black, $colours colours ($work/frame.ppm)"
    check "$label: the frame is drawn (mostly not black, many colours)" \
      test $(( nonblack * 100 / pixels )) -ge 50 -a "$colours" -ge 64
  else
    check "$label: a frame can be read" false
  fi

  if [ -n "$wav" ]; then
    echo "     sound: ${seconds}s at $rate Hz, $channels ch, $bits bit, peak $peak, rms $rms"
    check "$label: music reaches the sound device and is not silent" \
      awk -v s="$seconds" -v p="$peak" -v r="$rms" 'BEGIN { exit !(s >= 2 && p >= 0.05 && r >= 0.005) }'
  else
    check "$label: music reaches the sound device ($(cat "$work/wav.err"))" false
  fi

  # The game writes to stderr only when something fails (a picture or sound
  # that does not load, no audio device, ...); Wine's and ALSA's own lines
  # are not the game's.
  grep -Ev '^(wine:|ALSA lib |[0-9a-f]{4}:(fixme|err|warn|trace):|(fixme|err|warn):)' \
    "$work/stderr.txt" > "$work/game-stderr.txt" || true
  check "$label: the game reports no failure (Images/*.png, BackgroundMusic.mp3, Ding.wav load)" \
    test ! -s "$work/game-stderr.txt"

  check "$label: close request sent" "$wincheck" close "$window"
  local status=""
  for i in $(seq 1 $(( CLOSE_WAIT * 5 ))); do
    kill -0 "$GAME_PID" 2>/dev/null || break
    sleep 0.2
  done
  if kill -0 "$GAME_PID" 2>/dev/null; then
    check "$label: the close request ends the game" false
  else
    wait "$GAME_PID" && status=0 || status=$?
    GAME_PID=""
    check "$label: the close request ends the game with status 0 (got $status)" test "$status" = 0
  fi
  if [ -s "$work/stderr.txt" ]; then
    echo "     stderr of the game:"; sed 's/^/     | /' "$work/stderr.txt" | tail -20
  fi
  stop_wine_run
  timed "Wine run ($label)" "$t0"
}

stop_wine_run() {
  if [ -n "$GAME_PID" ] && kill -0 "$GAME_PID" 2>/dev/null; then
    kill "$GAME_PID" 2>/dev/null || true
  fi
  GAME_PID=""
  if [ -n "${WINE_KILL_PREFIX:-}" ] && [ -n "$WINESERVER" ]; then
    WINEPREFIX="$WINE_KILL_PREFIX" "$WINESERVER" -k 2>/dev/null || true
  fi
  if [ -n "$XVFB_PID" ]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
  fi
  XVFB_PID=""
}
trap 'exit 130' INT TERM

# -------------------------------------------------------------------- main --
print_times() {
  if [ -n "$TIMES_FILE" ] && [ -s "$TIMES_FILE" ]; then
    log "times"; cat "$TIMES_FILE"
  fi
}

main() {
  local t0
  mkdir -p "$CACHE"
  TIMES_FILE="$CACHE/times.txt"; : > "$TIMES_FILE"
  trap 'stop_wine_run; print_times' EXIT
  t0=$(now)
  ensure_packages "${BUILD_PKGS[@]}"
  [ $RUN_TEST -eq 1 ] && ensure_packages "${TEST_PKGS[@]}"
  timed "packages" "$t0"
  fetch_sources
  echo "sources: $(basename "$SDL2_SRC") $(basename "$SDL2_IMAGE_SRC") $(basename "$SDL2_MIXER_SRC")"

  if [ $RUN_TEST -eq 1 ] && [ "$JOBS" -ge 2 ]; then
    # Both targets' libraries at once, one job each: the long, serial
    # configure steps then overlap instead of leaving a core idle.
    local pids=() pid
    build_libraries i686 $(( JOBS / 2 )) & pids+=($!)
    build_libraries x86_64 $(( JOBS - JOBS / 2 )) & pids+=($!)
    for pid in "${pids[@]}"; do wait "$pid" || die "building the libraries failed"; done
  else
    build_libraries i686
  fi
  build_game i686
  pack_zip "$CACHE/i686/zephrin.exe"
  echo "built $ZIP ($(stat -c %s "$ZIP") bytes)"

  if [ $RUN_TEST -eq 1 ]; then
    build_libraries x86_64
    build_game x86_64
    check_headers
    find_wine64
    WINE_KILL_PREFIX="$CACHE/wine64-prefix"
    run_wine_checks "x64 twin (wine64)" "$CACHE/x86_64/zephrin.exe" "$CACHE/test-x86_64" \
      "$WINE64" "$WINE_KILL_PREFIX" 90
  fi

  timed "total" "$T_START"
  if [ $RUN_TEST -eq 1 ]; then
    echo
    echo "windows: $PASSED passed, $FAILED failed"
    [ $FAILED -eq 0 ]
  fi
}

# test-x86-emulated.sh sources this file for its functions.
if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  main
fi
