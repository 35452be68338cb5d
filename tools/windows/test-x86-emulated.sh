#!/usr/bin/env bash
# Runs the exact 32-bit build that tools/windows/build.sh --test made: its
# unit suites, its replay of the fixed script of games (which must match the
# Linux build's tick for tick), and the zip's zephrin.exe through the same
# checks as the 64-bit twin gets in check.sh: window "Zephrin", 800 x 800,
# centred, the bird as its icon, a drawn frame, the music reaching the sound
# device, no asset failing to load, a close request ending it with 0.
#
# This machine cannot execute 32-bit x86 code, so Debian's 32-bit Wine
# (wine32:i386) runs inside qemu-i386, a user-mode emulator taken from the
# next Debian release's qemu-user package (unpacked into the build cache, not
# installed). Everything runs several times slower than natively.
#
# Changes to the machine: adds the i386 architecture to dpkg and installs
# wine32:i386 without recommends (refusing if that would remove anything);
# while it runs, a binfmt_misc entry hands 32-bit x86 programs to qemu-i386.
set -euo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
source "$ROOT/tools/deps/debian-sources.sh"  # debian_mirror, private_apt

[ $# -eq 0 ] || { sed -n '2,16p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; exit 2; }

EMU="$CACHE/emu"
QEMU="$EMU/qemu-i386"
WINE32=/usr/lib/wine/wine
WINE32_PREFIX="$CACHE/wine32-prefix"
# Waits, in seconds: everything runs a good deal slower under the emulator.
WINDOW_WAIT=900
SOUND_WAIT=180
CLOSE_WAIT=180

fetch_qemu() {
  [ -x "$QEMU" ] && return 0
  log "fetching qemu-i386 from Debian 13's qemu-user package"
  local mirror
  mirror=$(debian_mirror debian)
  mkdir -p "$EMU/apt/sources.list.d" "$EMU/apt/lists/partial" "$EMU/apt/cache/archives/partial" \
           "$EMU/deb"
  cat > "$EMU/apt/sources.list.d/trixie.sources" <<EOF
Types: deb
URIs: $mirror
Suites: trixie
Components: main
Architectures: amd64
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  private_apt "$EMU/apt" update -qq
  rm -f "$EMU"/deb/*.deb
  (cd "$EMU/deb" && private_apt "$EMU/apt" download -qq qemu-user)
  dpkg-deb --fsys-tarfile "$EMU"/deb/qemu-user_*.deb | tar -x -O ./usr/bin/qemu-i386 > "$QEMU.part"
  chmod +x "$QEMU.part" && mv "$QEMU.part" "$QEMU"
  rm -f "$EMU"/deb/*.deb
  "$QEMU" --version | head -n1
}

# Wine starts more processes of its own (wineboot, services, the desktop) by
# executing its 32-bit loader again, so the kernel itself must hand 32-bit
# x86 programs to the emulator: a binfmt_misc entry, removed again at exit.
BINFMT=/proc/sys/fs/binfmt_misc
BINFMT_NAME=zephrin-qemu-i386
BINFMT_MOUNTED=0 BINFMT_ADDED=0
I386_MAGIC='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
I386_MASK='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

register_emulator() {
  if [ ! -e "$BINFMT/register" ]; then
    "${SUDO[@]}" mount -t binfmt_misc binfmt_misc "$BINFMT"
    BINFMT_MOUNTED=1
  fi
  if "$WINE32" --version >/dev/null 2>&1; then
    return 0 # something already runs 32-bit x86 programs here
  fi
  [ ! -e "$BINFMT/$BINFMT_NAME" ] ||
    printf -- '-1' | "${SUDO[@]}" tee "$BINFMT/$BINFMT_NAME" >/dev/null
  # F: the kernel opens the emulator now, so it works from any directory.
  printf ':%s:M::%b:%b:%s:F' "$BINFMT_NAME" "$I386_MAGIC" "$I386_MASK" "$QEMU" |
    "${SUDO[@]}" tee "$BINFMT/register" >/dev/null
  BINFMT_ADDED=1
  "$WINE32" --version >/dev/null || die "32-bit Wine does not start under qemu-i386"
}

unregister_emulator() {
  if [ $BINFMT_ADDED -eq 1 ] && [ -e "$BINFMT/$BINFMT_NAME" ]; then
    printf -- '-1' | "${SUDO[@]}" tee "$BINFMT/$BINFMT_NAME" >/dev/null || true
  fi
  BINFMT_ADDED=0
  if [ $BINFMT_MOUNTED -eq 1 ]; then
    "${SUDO[@]}" umount "$BINFMT" || true
  fi
  BINFMT_MOUNTED=0
}

main() {
  local t0
  TIMES_FILE="$CACHE/times-emulated.txt"; : > "$TIMES_FILE"
  trap 'stop_game; stop_wineserver "$WINE32_PREFIX"; stop_xvfb; unregister_emulator; print_times' EXIT
  [ -f "$ZIP" ] && [ -f "$CACHE/i686/game/tests/zephrin_replay.exe" ] ||
    die "run tools/windows/build.sh --test first"
  t0=$(now)
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    log "adding the i386 architecture to dpkg"
    "${SUDO[@]}" dpkg --add-architecture i386
  fi
  # wine64 brings the native wineserver64, which the 32-bit Wine talks to.
  ensure_packages wine32:i386 wine64 xvfb gcc libc6-dev libx11-dev libasound2 unzip
  fetch_qemu
  timed "packages and emulator" "$t0"

  find_wine64
  build_wincheck
  register_emulator
  export WINEARCH=win32
  mkdir -p "$CACHE/xvfb-i686"
  start_xvfb "$CACHE/xvfb-i686"
  prepare_wine "$WINE32" "$WINE32_PREFIX" "$CACHE/wine32-home"
  local label="x86 (wine32 in qemu-i386)"
  run_unit_suites "$label" i686
  compare_replay "$label" i686 "$WINE32"
  run_wine_checks "$label: the zip's zephrin.exe" "$CACHE/i686/zephrin.exe" \
    "$CACHE/test-i686-emulated" "$WINE32" "$WINDOW_WAIT"
  echo
  echo "windows-x86-emulated: $PASSED passed, $FAILED failed"
  [ $FAILED -eq 0 ]
}

main
