#!/usr/bin/env bash
# Runs Windows programs under Wine in a build's own Wine instance: the
# cross-compiling emulator of the Windows builds (CMAKE_CROSSCOMPILING_EMULATOR)
# and, as the tests' fixture, the start and end of that instance.
#
#   tools/windows/wine.sh ARCH BUILD PROGRAM [ARG...]   run a Windows program
#   tools/windows/wine.sh ARCH BUILD --env COMMAND [ARG...]
#       run a program of this machine in the instance's environment (DISPLAY,
#       ZEPHRIN_E2E_DISPLAY and Wine's own variables), such as the window tests
#   tools/windows/wine.sh ARCH BUILD --start   create the Wine prefix if there
#       is none; start an X server, a wineserver that stays up and Wine's
#       services; for i686 first hand 32-bit x86 programs to qemu-i386
#   tools/windows/wine.sh ARCH BUILD --stop    end all of that again
#
# ARCH is x86_64 (the machine's wine64) or i686: 32-bit Wine, which this
# machine runs inside the qemu-i386 emulator from Debian's i386 packages
# unpacked into the sysroot that $ZEPHRIN_WINE_ROOT names
# (tools/deps/debian-sysroot.sh DIR i386 bookworm wine), so that no foreign
# architecture is added to the machine. Everything else lives in BUILD/wine:
# the prefix, HOME, the logs, and the display its programs play on.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"

[ $# -ge 3 ] || die "usage: wine.sh ARCH BUILD PROGRAM [ARG...] | --env COMMAND... | --start | --stop"
ARCH=$1
WINE_DIR=$(realpath -m "$2/wine")
shift 2
# The machine's wineserver serves 32-bit Wine as well; Wine starts it by this
# variable when none runs.
export WINESERVER=/usr/lib/wine/wineserver
export WINEPREFIX="$WINE_DIR/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
       HOME="$WINE_DIR/home"
case "$ARCH" in
  x86_64) WINE=/usr/lib/wine/wine64 ;;
  i686)
    [ -d "${ZEPHRIN_WINE_ROOT:-}" ] ||
      die "ZEPHRIN_WINE_ROOT names no sysroot of 32-bit Wine (tools/deps/debian-sysroot.sh DIR i386 bookworm wine)"
    WINE="$ZEPHRIN_WINE_ROOT/usr/lib/wine/wine"
    # The emulator looks for every file a program opens in the sysroot
    # first, and every process Wine starts inherits it.
    export WINEARCH=win32 QEMU_LD_PREFIX="$ZEPHRIN_WINE_ROOT" ;;
  *) die "unknown architecture '$ARCH' (x86_64 or i686)" ;;
esac

# No sound card here: ALSA's default device (which Wine plays to) becomes a
# WAV file, converted to 16-bit samples so that its header tells the truth
# (the file plugin labels float samples as integer ones).
write_asoundrc() {
  mkdir -p "$HOME"
  cat > "$HOME/.asoundrc" <<EOF
pcm.!default {
  type plug
  slave { pcm "zephrin_wav"; format S16_LE }
}
pcm.zephrin_wav {
  type file
  slave.pcm "null"
  file "$HOME/audio.wav"
  format "wav"
}
EOF
}

# ------------------------------------------------------ qemu-i386 (i686) --
# This machine cannot execute 32-bit x86 code: 32-bit Wine runs inside
# qemu-i386, a user-mode emulator taken from the next Debian release's
# qemu-user package (unpacked here, not installed). Wine starts more
# processes of its own by executing its loader again, so the kernel itself
# must hand 32-bit x86 programs to the emulator: a binfmt_misc entry, which
# --stop removes again. It comes before whatever else runs such programs
# here, which would not look in Wine's sysroot.
QEMU="$WINE_DIR/emu/qemu-i386"
BINFMT_NAME=zephrin-qemu-i386
I386_MAGIC='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
I386_MASK='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

fetch_qemu() {
  [ -x "$QEMU" ] && return 0
  log "fetching qemu-i386 from Debian 13's qemu-user package"
  source "$ROOT/tools/deps/debian-sources.sh"  # private_apt, debian_suites, update_indices
  local emu sources
  emu=$(dirname "$QEMU")
  sources="$emu/apt/sources.list.d/trixie.sources"
  mkdir -p "$emu/apt/sources.list.d" "$emu/apt/lists/partial" "$emu/apt/cache/archives/partial" \
           "$emu/deb"
  debian_suites "$sources" deb amd64 trixie
  update_indices "Debian 13's packages" "$sources" private_apt "$emu/apt" > /dev/null
  rm -f "$emu"/deb/*.deb
  (cd "$emu/deb" && private_apt "$emu/apt" download -qq qemu-user)
  dpkg-deb --fsys-tarfile "$emu"/deb/qemu-user_*.deb | tar -x -O ./usr/bin/qemu-i386 > "$QEMU.part"
  chmod +x "$QEMU.part" && mv "$QEMU.part" "$QEMU"
  rm -f "$emu"/deb/*.deb
  "$QEMU" --version | head -n1
}

register_emulator() {
  binfmt_add "$BINFMT_NAME" "$I386_MAGIC" "$I386_MASK" "$QEMU" "$WINE_DIR"
  "$WINE" --version > /dev/null || die "32-bit Wine does not start under qemu-i386"
}

unregister_emulator() { binfmt_remove "$BINFMT_NAME" "$WINE_DIR"; }

# ---------------------------------------------------------- the instance --
start_wine() {
  stop_wine  # whatever a run that was cut short left behind
  mkdir -p "$WINE_DIR"
  write_asoundrc
  if [ "$ARCH" = i686 ]; then
    fetch_qemu
    register_emulator
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    local t0
    t0=$(now)
    log "creating the Wine prefix $WINEPREFIX (minutes under qemu-i386)"
    DISPLAY="" "$WINE" wineboot.exe --init < /dev/null > "$WINE_DIR/wineboot.log" 2>&1 ||
      { cat "$WINE_DIR/wineboot.log" >&2; die "wineboot failed"; }
    "$WINESERVER" -w
    timed "Wine prefix" "$t0"
    print_times
  fi
  # Wine's desktop keeps the screen it first meets for as long as its server
  # lives: one X server for the whole run. Everything started here
  # writes to files and reads nothing, or a test runner would wait for ever
  # on its end of their pipes.
  start_xvfb "$WINE_DIR/xvfb" < /dev/null
  echo "$XVFB_PID" > "$WINE_DIR/xvfb.pid"
  # A wineserver that stays up saves every later start its own. Wine's
  # background services start with the first program and keep whatever it
  # was given as output, so they start here, writing to a log.
  "$WINESERVER" -p < /dev/null > "$WINE_DIR/wineserver.log" 2>&1
  "$WINE" cmd.exe /c exit < /dev/null > "$WINE_DIR/services.log" 2>&1 || true
  echo "$DISPLAY" > "$WINE_DIR/display"
  echo "Wine ($ARCH) runs on display $DISPLAY"
}

stop_wine() {
  if [ -d "$WINEPREFIX" ]; then "$WINESERVER" -k 2> /dev/null || true; fi
  local pid
  pid=$(cat "$WINE_DIR/xvfb.pid" 2> /dev/null || true)
  if [ -n "$pid" ] && [ "$(cat "/proc/$pid/comm" 2> /dev/null)" = Xvfb ]; then
    kill "$pid"
  fi
  rm -f "$WINE_DIR/xvfb.pid" "$WINE_DIR/display"
  [ "$ARCH" != i686 ] || unregister_emulator
}

wine_display() {
  [ -s "$WINE_DIR/display" ] ||
    die "no Wine runs for $WINE_DIR: its tests need the fixture test wine_start"
  export DISPLAY ZEPHRIN_E2E_DISPLAY
  DISPLAY=$(cat "$WINE_DIR/display")
  ZEPHRIN_E2E_DISPLAY=$DISPLAY
}

case "$1" in
  --start) start_wine ;;
  --stop) stop_wine ;;
  --env) wine_display; shift; exec "$@" ;;
  *) wine_display; exec "$WINE" "$@" ;;
esac
