# What the project's shell scripts share: where things are, saying what is
# happening, installing the Debian packages a purpose needs, a virtual X
# server, emulators for the kernel to start, and the licences of the
# libraries a Windows or web build links in.
# Sourced, never run: `source "$(dirname "$0")/tools/lib.sh"` or the like.
# shellcheck shell=bash

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
VERSION="$("$ROOT/tools/version.sh")"
DIST="$ROOT/dist"
JOBS="${ZEPHRIN_JOBS:-$(nproc)}"

# A command that stops a script under set -e says which it was.
set -E
trap 'echo "$(basename "$0"): line $LINENO: \"$BASH_COMMAND\" failed" >&2' ERR

log() { printf '\n== %s\n' "$*"; }
die() { printf '%s: %s\n' "$(basename "$0")" "$*" >&2; exit 1; }
now() { date +%s; }

# timed LABEL START: notes how long a step took since START (from `now`);
# print_times lists them.
TIMES=()
timed() { TIMES+=("$(printf '%-34s %4ds' "$1" $(( $(now) - $2 )))"); }
print_times() {
  [ ${#TIMES[@]} -eq 0 ] || { log "times"; printf '%s\n' "${TIMES[@]}"; }
}

# ---------------------------------------------------------------- packages --
# The Debian packages each purpose needs, by the name the scripts ask for.
packages_for() { # packages_for PURPOSE
  local build=(g++ cmake ninja-build libsdl2-dev libsdl2-image-dev libsdl2-mixer-dev)
  # The library sources come from Debian's archive (tools/deps).
  local sources=(dpkg-dev xz-utils)
  case "$1" in
    play) echo "${build[@]}" ;;
    # The suites, the benchmarks, the window tests (their own X client with
    # XTEST keys, an MP3 encoder for their music, Mesa's GL renderer, zlib for
    # the PNGs they write) and the package's checks (menu entry, metainfo,
    # manual page, lintian, hardening-check, a grab of the game's window), the
    # sysroots' (Debian's archive keys, a failing mirror in Python), and Clang,
    # which the replay with outside flags builds the game with too.
    test) echo "${build[@]}" libgtest-dev libbenchmark-dev xvfb libx11-dev libxtst-dev lame \
               libgl1-mesa-dri zlib1g-dev desktop-file-utils appstream dpkg-dev file x11-utils \
               x11-apps groff-base lintian devscripts debian-archive-keyring python3 clang ;;
    # The game natively on Wayland: headless compositors (cage starts only
    # with XWayland at hand), screenshots and keys.
    wayland) echo sway cage xwayland grim wtype ;;
    release) echo "$(packages_for test)" git zip unzip ;;
    # The ARM packages: Debian's cross compilers, the target's SDL packages
    # from Debian's archive (tools/deps/debian-sysroot.sh), and the emulator
    # their game is checked under.
    arm) echo "$(packages_for release)" "${sources[@]}" debian-archive-keyring \
              g++-aarch64-linux-gnu g++-arm-linux-gnueabihf qemu-user-static ;;
    fuzz) echo "${build[@]}" clang-14 libclang-rt-14-dev zlib1g-dev ;;
    # The cross compilers, the host programs and window tests the builds are
    # checked with, Wine, and the tools that read a program's resources.
    windows) echo "$(packages_for test)" "${sources[@]}" zip unzip \
                  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix \
                  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 \
                  wine64 gcc libc6-dev libasound2 icoutils ;;
    # 32-bit Wine runs here inside the qemu-i386 emulator, unpacked from
    # Debian's i386 packages into a sysroot of its own (tools/windows/wine.sh).
    windows-x86) echo "$(packages_for windows)" debian-archive-keyring ;;
    # The replay it is checked against is this machine's build with its
    # tests. Lighthouse comes from npm: Debian's, unless node came with its own.
    web) echo "$(packages_for test)" "${sources[@]}" emscripten zip unzip brotli gzip chromium \
              "$(command -v npm >/dev/null || echo npm)" ;;
    # A Linux build for another processor: its cross compiler and emulator;
    # its SDL comes from Debian's packages for it (tools/deps), its
    # GoogleTest from Debian's sources, and the host build has the tests.
    linux-arm64|linux-armhf|linux-i386|linux-ppc64el|linux-s390x|linux-riscv64)
      local triple
      case "$1" in
        linux-arm64) triple=aarch64-linux-gnu ;;
        linux-armhf) triple=arm-linux-gnueabihf ;;
        linux-i386) triple=i686-linux-gnu ;;
        linux-ppc64el) triple=powerpc64le-linux-gnu ;;
        linux-s390x) triple=s390x-linux-gnu ;;
        linux-riscv64) triple=riscv64-linux-gnu ;;
      esac
      echo "$(packages_for test)" "${sources[@]}" debian-archive-keyring "g++-$triple" \
           qemu-user-static ;;
    bench) echo "${build[@]}" libgtest-dev libbenchmark-dev xvfb libgl1-mesa-dri ;;
    screenshot) echo "${build[@]}" xvfb xdotool imagemagick libx11-dev libxtst-dev ;;
    assets) echo "${build[@]}" lame ;;
    serve) echo nodejs unzip ;;
    # The Debian package built and checked as Debian does (tools/debian):
    # the chroots, the tests against the package, and lintian.
    debian) echo mmdebstrap autopkgtest lintian dpkg-dev debian-archive-keyring file iproute2 ;;
    *) die "no list of packages for '$1'" ;;
  esac
}

installed() { dpkg-query -W -f='${db:Status-Status}\n' "$1" 2>/dev/null | grep -qx installed; }

# need_packages PURPOSE...: installs what those purposes need and this
# machine lacks, through sudo when not root; quiet when nothing is missing.
# It refuses anything that would take packages away (a multiarch Wine
# pulling out the Linux SDL -dev packages, say), and it never adds a
# foreign architecture: what runs for another processor is unpacked into a
# sysroot of its own (tools/deps/debian-sysroot.sh).
need_packages() {
  local wanted=() missing=() p purpose
  for purpose in "$@"; do
    read -r -a wanted <<<"${wanted[*]} $(packages_for "$purpose")"
  done
  for p in "${wanted[@]}"; do installed "$p" || missing+=("$p"); done
  [ ${#missing[@]} -eq 0 ] && return 0
  command -v apt-get >/dev/null ||
    die "please install these packages with your system's package manager: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  log "installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  local apt=("${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600)
  # A mirror caught mid-update serves an index that fails apt's checks for
  # hours; the indices that did come, and those of earlier updates, serve.
  "${apt[@]}" update -qq ||
    echo "need_packages: apt-get update failed for some index; installing from the indices there are" >&2
  local removals
  removals=$("${apt[@]}" install -s -y --no-install-recommends "${missing[@]}" |
             awk '/^Remv /{print $2}')
  [ -z "$removals" ] || die "installing ${missing[*]} would remove: $removals"
  # A package fetched mid-update may not match its index: once more, later.
  "${apt[@]}" install -y -qq --no-install-recommends "${missing[@]}" >/dev/null || {
    echo "need_packages: installing failed; trying once more in ${ZEPHRIN_APT_PAUSE:-10} s" >&2
    sleep "${ZEPHRIN_APT_PAUSE:-10}"
    "${apt[@]}" update -qq || true
    "${apt[@]}" install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  }
  for p in "${missing[@]}"; do installed "$p" || die "package $p did not install"; done
}

# ---------------------------------------------------------------- X server --
# start_xvfb WORKDIR [SIZE]: a virtual screen (1280x1024 unless SIZE says
# otherwise) on a display number the server picks itself; exports DISPLAY.
# -noreset: a client that leaves must not reset the server under the next.
XVFB_PID=""
start_xvfb() {
  local work=$1 size=${2:-1280x1024} disp="" i
  mkdir -p "$work"
  : > "$work/display"  # read below before the server in the background may have opened it
  Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp -noreset 3> "$work/display" \
    > "$work/xvfb.log" 2>&1 &
  XVFB_PID=$!
  for i in $(seq 1 100); do
    disp=$(tr -dc 0-9 < "$work/display")
    [ -n "$disp" ] && break
    sleep 0.1
  done
  [ -n "$disp" ] || die "Xvfb did not start: $(cat "$work/xvfb.log")"
  export DISPLAY=":$disp"
}

stop_xvfb() {
  if [ -n "$XVFB_PID" ]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
  fi
  XVFB_PID=""
}

# ------------------------------------------------------------ binfmt_misc --
# A program for another processor that is not started through its emulator
# (the game a launcher script execs, the processes Wine starts of its own)
# reaches the emulator only if the kernel hands it over: a binfmt_misc entry.
# binfmt_add NAME MAGIC MASK EMULATOR STATE adds one for programs whose first
# bytes are MAGIC under MASK (both with \xHH escapes, as in
# /usr/share/binfmts), mounting binfmt_misc where it is not; STATE is a
# directory of the caller's where it notes what binfmt_remove NAME STATE must
# undo. The newest entry that matches a program is the one the kernel uses.
BINFMT=/proc/sys/fs/binfmt_misc
as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

binfmt_add() {
  local name=$1 magic=$2 mask=$3 emulator=$4 state=$5
  mkdir -p "$state"
  if [ ! -e "$BINFMT/register" ]; then
    as_root mount -t binfmt_misc binfmt_misc "$BINFMT"
    touch "$state/binfmt-mounted"
  fi
  # One that a run cut short left behind.
  [ ! -e "$BINFMT/$name" ] || printf -- '-1' | as_root tee "$BINFMT/$name" > /dev/null
  # F: the kernel opens the emulator now, so it works from any directory.
  printf ':%s:M::%s:%s:%s:F' "$name" "$magic" "$mask" "$emulator" |
    as_root tee "$BINFMT/register" > /dev/null
  touch "$state/binfmt-added"
}

# It unmounts binfmt_misc only if it mounted it and no other entry is left.
binfmt_remove() {
  local name=$1 state=$2
  if [ -e "$state/binfmt-added" ] && [ -e "$BINFMT/$name" ]; then
    printf -- '-1' | as_root tee "$BINFMT/$name" > /dev/null || true
  fi
  if [ -e "$state/binfmt-mounted" ] &&
     [ -z "$(find "$BINFMT" -mindepth 1 -maxdepth 1 ! -name register ! -name status)" ]; then
    as_root umount "$BINFMT" || true
  fi
  rm -f "$state/binfmt-added" "$state/binfmt-mounted"
}

# ---------------------------------------------------------------- licences --
# gather_licences DEST PREFIX: the licence texts and Debian copyright files
# of the libraries built into PREFIX by tools/deps (SDL2, SDL2_image,
# SDL2_mixer, libpng, zlib, mpg123), from the sources they were built from.
gather_licences() {
  local to=$1 prefix=$2 name dir
  local -A src
  while IFS='=' read -r name dir; do src[$name]=$dir; done < "$prefix/sources.txt"
  mkdir -p "$to"
  cp "${src[libsdl2]}/LICENSE.txt" "$to/SDL2.txt"
  cp "${src[libsdl2-image]}/LICENSE.txt" "$to/SDL2_image.txt"
  cp "${src[libsdl2-mixer]}/LICENSE.txt" "$to/SDL2_mixer.txt"
  cp "${src[libpng1.6]}/LICENSE" "$to/libpng.txt"
  cp "${src[mpg123]}/COPYING" "$to/mpg123.txt"
  # zlib's licence is the notice at the head of zlib.h.
  sed -n '/Copyright (C)/,/\*\//p' "${src[zlib]}/zlib.h" > "$to/zlib.txt"
  for name in libsdl2 libsdl2-image libsdl2-mixer libpng1.6 mpg123 zlib; do
    cp "${src[$name]}/debian/copyright" "$to/$name-copyright.txt"
  done
  local f
  for f in "$to"/*.txt; do
    [ -s "$f" ] || die "licence text $(basename "$f") came out empty"
  done
  grep -q "Jean-loup Gailly" "$to/zlib.txt" || die "zlib's licence not found in zlib.h"
  grep -q "LESSER GENERAL PUBLIC LICENSE" "$to/mpg123.txt" || die "mpg123's licence not found"
}
