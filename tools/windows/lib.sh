# Shared by the Windows build and its checks (build.sh, check.sh,
# test-x86-emulated.sh): where things are, packages, the checks' tally, and
# running a Windows program under Wine on a virtual X server.
# shellcheck shell=bash

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
CACHE="${ZEPHRIN_WINDOWS_CACHE:-$ROOT/build/windows}"
DIST="$ROOT/dist"
VERSION="$("$ROOT/tools/version.sh")"
ZIP="$DIST/zephrin-$VERSION-windows-x86.zip"
JOBS="${ZEPHRIN_JOBS:-$(nproc)}"
# Both architectures' games, with their tests: $CACHE/<arch>/game.
ARCHES=(i686 x86_64)

# A command that stops a script under set -e says which it was.
set -E
trap 'echo "$(basename "$0"): line $LINENO: \"$BASH_COMMAND\" failed" >&2' ERR

log() { printf '\n== %s\n' "$*"; }
die() { printf '%s: %s\n' "$(basename "$0")" "$*" >&2; exit 1; }
now() { date +%s; }
TIMES_FILE=""
timed() { # timed LABEL START
  [ -n "$TIMES_FILE" ] && printf '%-34s %4ds\n' "$1" $(( $(now) - $2 )) >> "$TIMES_FILE"
  return 0
}
print_times() {
  if [ -n "$TIMES_FILE" ] && [ -s "$TIMES_FILE" ]; then
    log "times"; cat "$TIMES_FILE"
  fi
}

# ---------------------------------------------------------------- packages --
SUDO=()
[ "$(id -u)" -eq 0 ] || SUDO=(sudo)
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
  local apt=("${SUDO[@]}" apt-get -o DPkg::Lock::Timeout=600)
  "${apt[@]}" update -qq
  # Refuse anything that would take packages away (e.g. a multiarch Wine
  # pulling out the Linux SDL -dev packages).
  local removals
  removals=$("${apt[@]}" install -s -y --no-install-recommends "${missing[@]}" |
             awk '/^Remv /{print $2}')
  [ -z "$removals" ] || die "installing ${missing[*]} would remove: $removals"
  "${apt[@]}" install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  for p in "${keep[@]}"; do installed "$p" || die "package $p went missing while installing"; done
  for p in "${missing[@]}"; do installed "$p" || die "package $p did not install"; done
}

triple_of() { [ "$1" = x86_64 ] && echo x86_64-w64-mingw32 || echo i686-w64-mingw32; }

# ------------------------------------------------------------------ checks --
PASSED=0 FAILED=0
check() { # check DESCRIPTION COMMAND...
  if "${@:2}"; then echo "ok   $1"; PASSED=$((PASSED + 1)); else echo "FAIL $1"; FAILED=$((FAILED + 1)); fi
}

# Debian's wine64 package keeps its programs in /usr/lib/wine (the "wine"
# package only adds links in /usr/bin). Looked up after the packages are in.
WINE64="" WINESERVER=""
find_wine64() {
  WINE64=/usr/lib/wine/wine64
  WINESERVER=/usr/lib/wine/wineserver
  [ -x "$WINE64" ] || WINE64=$(command -v wine64) || die "wine64 is not installed"
  [ -x "$WINESERVER" ] || WINESERVER=$(command -v wineserver) || die "wineserver is not installed"
}

WINCHECK="$CACHE/wincheck"
build_wincheck() {
  mkdir -p "$CACHE"
  gcc -std=c99 -D_POSIX_C_SOURCE=200809L -O2 -Wall -Wextra -o "$WINCHECK" \
      "$ROOT/tools/windows/wincheck.c" -lX11 -lm || die "compiling wincheck failed"
}

# The environment every Wine program here runs in: prefix PREFIX, quiet, no
# Mono or Gecko prompts, and ALSA's default device writing to a WAV file.
# Creates the prefix the first time (slow: tens of seconds, minutes emulated).
WINE_ENV=() WINE_HOME=""
prepare_wine() { # prepare_wine WINE PREFIX HOME
  local wine=$1 prefix=$2 home=$3 t0
  mkdir -p "$home"
  WINE_HOME=$home
  WINE_ENV=(env WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
            HOME="$home")
  # No sound card here: ALSA's default device (which Wine plays to) becomes a
  # WAV file, converted to 16-bit samples so that its header tells the truth
  # (the file plugin labels float samples as integer ones).
  cat > "$home/.asoundrc" <<EOF
pcm.!default {
  type plug
  slave { pcm "zephrin_wav"; format S16_LE }
}
pcm.zephrin_wav {
  type file
  slave.pcm "null"
  file "$home/audio.wav"
  format "wav"
}
EOF
  if [ ! -f "$prefix/system.reg" ]; then
    t0=$(now)
    log "creating the Wine prefix $prefix"
    mkdir -p "$prefix"
    "${WINE_ENV[@]}" DISPLAY= "$wine" wineboot.exe --init > "$home/wineboot.log" 2>&1 ||
      { cat "$home/wineboot.log" >&2; die "wineboot failed"; }
    "${WINE_ENV[@]}" "$WINESERVER" -w
    timed "Wine prefix ($(basename "$prefix"))" "$t0"
  fi
  # A wineserver that stays up saves every later start its own. Wine's
  # background services start with the first program and keep whatever it
  # was given as output, so they start here, writing to a log: a test runner
  # would otherwise wait for ever on their end of its pipe.
  "${WINE_ENV[@]}" "$WINESERVER" -p
  "${WINE_ENV[@]}" "$wine" cmd.exe /c exit < /dev/null > "$home/services.log" 2>&1 || true
}

stop_wineserver() { # stop_wineserver PREFIX
  [ -n "$WINESERVER" ] && [ -d "$1" ] && WINEPREFIX="$1" "$WINESERVER" -k 2>/dev/null || true
}

# A virtual screen that is not 800 x 800, so that "centred" means something:
# 1280 x 1024 unless SIZE says otherwise.
XVFB_PID=""
start_xvfb() { # start_xvfb WORKDIR [SIZE]: exports DISPLAY
  local work=$1 size=${2:-1280x1024} disp="" i
  Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp 3> "$work/display" \
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

# The lines of a Windows program's stderr that are its own, not Wine's or ALSA's.
own_lines() { # own_lines FILE
  tr -d '\r' < "$1" |
    grep -Ev '^(wine:|ALSA lib |[0-9a-f]{4}:(fixme|err|warn|trace):|(fixme|err|warn):)' || true
}

# The unit suites of one architecture's build, each binary whole under WINE
# (CMAKE_CROSSCOMPILING_EMULATOR), from the repository root; a failing test
# prints its own message.
run_unit_suites() { # run_unit_suites LABEL ARCH
  local label=$1 arch=$2 t0
  t0=$(now)
  log "unit suites of $label"
  if (cd "$CACHE/$arch/game" && "${WINE_ENV[@]}" ctest --output-on-failure --timeout 900); then
    check "$label: the unit suites pass" true
  else
    check "$label: the unit suites pass" false
  fi
  timed "unit suites ($label)" "$t0"
}

# The same script of games, played by this architecture's build under WINE,
# must give the Linux build's trace line for line.
compare_replay() { # compare_replay LABEL ARCH WINE
  local label=$1 arch=$2 wine=$3 out="$CACHE/replay" t0
  t0=$(now)
  mkdir -p "$out"
  local linux="$out/linux-x86_64.txt" theirs="$out/windows-$arch.txt"
  [ -s "$linux" ] || "$CACHE/host/tests/zephrin_replay" "$linux" || die "the Linux replay failed"
  rm -f "$theirs"
  (cd "$out" && "${WINE_ENV[@]}" "$wine" "$CACHE/$arch/game/tests/zephrin_replay.exe" \
     "$(basename "$theirs")" < /dev/null > "$out/$arch.log" 2>&1) ||
    { cat "$out/$arch.log"; check "$label: the replay runs" false; return; }
  local first
  first=$(cmp "$linux" "$theirs" 2>&1 | grep -o 'line [0-9]*' | grep -o '[0-9]*' || true)
  if [ -z "$first" ] && cmp -s "$linux" "$theirs"; then
    check "$label: the replay's $(wc -l < "$linux") ticks match the Linux build's bit for bit" true
  else
    [ -n "$first" ] || first=$(( $(wc -l < "$theirs") + 1 ))
    echo "     first difference at line $first:"
    echo "       linux:   $(sed -n "${first}p" "$linux")"
    echo "       windows: $(sed -n "${first}p" "$theirs")"
    check "$label: the replay matches the Linux build" false
  fi
  timed "replay ($label)" "$t0"
}

# The zip unpacked into WORKDIR/game, with EXE as its zephrin.exe.
unpack_game() { # unpack_game EXE WORKDIR
  rm -rf "$2"; mkdir -p "$2"
  unzip -q "$ZIP" -d "$2/game"
  cp "$1" "$2/game/zephrin.exe"
}

# Runs the Windows program EXE (from a copy of the unpacked zip) under WINE on
# the X server of start_xvfb and checks what a player would see, hear and do:
# a centred 800 x 800 window "Zephrin" with the bird as its icon, a drawn
# frame, music reaching the sound device, no asset failing to load, and a
# close request ending it with status 0.
GAME_PID=""
SOUND_WAIT=${SOUND_WAIT:-30}   # seconds for two seconds of music to arrive
CLOSE_WAIT=${CLOSE_WAIT:-20}   # seconds for the game to end after the close request
run_wine_checks() { # run_wine_checks LABEL EXE WORKDIR WINE START_TIMEOUT
  local label=$1 exe=$2 work=$3 wine=$4 start_timeout=$5 t0
  unpack_game "$exe" "$work"
  local audio="$WINE_HOME/audio.wav"
  rm -f "$audio"

  log "running $label under Wine"
  t0=$(now)
  (cd "$work/game" && exec "${WINE_ENV[@]}" "$wine" zephrin.exe \
     > "$work/stdout.txt" 2> "$work/stderr.txt" < /dev/null) &
  GAME_PID=$!

  local found
  if found=$("$WINCHECK" find Zephrin "$start_timeout" 2> "$work/find.err"); then
    check "$label: a window titled \"Zephrin\" appears ($(( $(now) - t0 )) s)" true
  else
    check "$label: a window titled \"Zephrin\" appears: $(cat "$work/find.err")" false
    stop_game
    echo "     stderr of the game:"; sed 's/^/     | /' "$work/stderr.txt" | tail -20
    return
  fi
  # Let it run while the music streams: until two seconds of sound have
  # reached the device (a slow, busy machine gets up to SOUND_WAIT seconds).
  local wav="" peak=0 seconds=0 rms=0 loud_fraction=0 rate=0 channels=0 bits=0 float=0 i
  for i in $(seq 1 $(( SOUND_WAIT * 2 ))); do
    sleep 0.5
    wav=$("$WINCHECK" wav "$audio" 2> "$work/wav.err") || continue
    eval "$(echo "$wav" | grep -E '^[a-z_]+=[0-9.]+$')"
    awk -v s="$seconds" 'BEGIN { exit !(s >= 2) }' && break
  done

  # Looked up again: while it picks a renderer, SDL may replace the window
  # it first showed with a new one.
  local window="" x=0 y=0 width=0 height=0 screen_width=0 screen_height=0
  found=$("$WINCHECK" find Zephrin "$start_timeout" 2> "$work/find.err") || true
  eval "$(echo "$found" | grep -E '^[a-z_]+=[0-9a-fx]+$')"
  echo "     window $window at $x,$y size ${width}x$height on a ${screen_width}x$screen_height screen"
  check "$label: window is 800 x 800" test "$width-$height" = "800-800"
  # Centred: the window's middle within a title bar's height of the screen's.
  local dx=$(( x + width / 2 - screen_width / 2 )) dy=$(( y + height / 2 - screen_height / 2 ))
  check "$label: window is centred (off by $dx,$dy)" test "${dx#-}" -le 16 -a "${dy#-}" -le 40

  local shot pixels nonblack colours
  if shot=$("$WINCHECK" shot "$window" "$work/frame.ppm"); then
    eval "$(echo "$shot" | grep -E '^[a-z_]+=[0-9]+$')"
    echo "     frame: $nonblack of $pixels pixels not black, $colours colours ($work/frame.ppm)"
    check "$label: the frame is drawn (mostly not black, many colours)" \
      test $(( nonblack * 100 / pixels )) -ge 50 -a "$colours" -ge 64
  else
    check "$label: a frame can be read" false
  fi

  local published="" matching=0
  eval "$("$WINCHECK" icon "$window" "$CACHE/i686/game/zephrin.ico" |
         sed -n 's/^\(published\|matching\)=\(.*\)$/\1="\2"/p')"
  echo "     window icons: $published"
  check "$label: the window carries the bird as its icon" test "$matching" -ge 1

  if [ -n "$wav" ]; then
    echo "     sound: ${seconds}s at $rate Hz, $channels ch, $bits bit, peak $peak, rms $rms"
    check "$label: music reaches the sound device and is not silent" \
      awk -v s="$seconds" -v p="$peak" -v r="$rms" 'BEGIN { exit !(s >= 2 && p >= 0.05 && r >= 0.005) }'
  else
    check "$label: music reaches the sound device ($(cat "$work/wav.err"))" false
  fi

  # The game writes to stderr only when something fails (a picture or sound
  # that does not load, no audio device, ...).
  own_lines "$work/stderr.txt" > "$work/game-stderr.txt"
  check "$label: the game reports no failure (Images/*.png, BackgroundMusic.mp3, Ding.wav load)" \
    test ! -s "$work/game-stderr.txt"

  close_and_check_exit "$label" "$window"
  if [ -s "$work/stderr.txt" ]; then
    echo "     stderr of the game:"; sed 's/^/     | /' "$work/stderr.txt" | tail -20
  fi
  stop_game
  timed "Wine run ($label)" "$t0"
}

# Asks WINDOW to close as a window manager's close button does, and checks
# that the game ($GAME_PID) then ends with status 0.
close_and_check_exit() { # close_and_check_exit LABEL WINDOW
  local label=$1 window=$2 status="" i
  check "$label: close request sent" "$WINCHECK" close "$window"
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
}

# The music as the game mixes it, played until it has looped, against one
# gapless pass of the file decoded on Linux: the second pass must start one
# file length after the first, and the sound must not drop out around the
# seam. SDL's disk audio driver writes the mixer's output to a file, every
# sample of it and faster than real time, so a busy machine cannot add gaps
# of its own.
check_music_loop() { # check_music_loop LABEL WORKDIR COMMAND...: COMMAND runs the game in WORKDIR
  local label=$1 work=$2 t0 i
  shift 2
  t0=$(now)
  log "music loop: $label"
  # The file's name doubles as the driver's pause between writes, in ms: on
  # Windows, SDL hands out every environment variable in one shared buffer,
  # and the driver reads the pause after the name, over it.
  local capture="$work/5.raw" reference="$work/music-reference.wav"
  lame --quiet --decode "$ROOT/Sounds/BackgroundMusic.mp3" "$reference" ||
    { check "$label: the music decodes on Linux" false; return; }
  local seconds length_bytes
  seconds=$("$WINCHECK" wav "$reference" | sed -n 's/^seconds=//p')
  # Enough of the game's output (16-bit stereo at 22,050 Hz) to pass the loop point by 3 s.
  length_bytes=$(awk -v s="$seconds" 'BEGIN { printf "%d", (s + 3) * 22050 * 4 }')
  rm -f "$capture"
  (cd "$work" && exec env SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=5.raw SDL_DISKAUDIODELAY=5.raw \
     "$@" > "$work/music-stdout.txt" 2> "$work/music-stderr.txt" < /dev/null) &
  GAME_PID=$!
  local found window=""
  found=$("$WINCHECK" find Zephrin 90 2>&1) || { check "$label: the game starts: $found" false; stop_game; return; }
  window=$(sed -n 's/^window=//p' <<<"$found")
  for i in $(seq 1 600); do
    [ "$(stat -c %s "$capture" 2>/dev/null || echo 0)" -ge "$length_bytes" ] && break
    sleep 0.1
  done
  close_and_check_exit "$label" "$window"
  stop_game
  local loop_seconds=0 start_seconds=0 start_likeness=0 loop_error_ms=999 loop_likeness=0 \
        lowest_level_ratio=0 seam
  seam=$("$WINCHECK" seam "$capture" "$reference") || { check "$label: the music loops" false; return; }
  eval "$(echo "$seam" | grep -E '^[a-z_]+=[-0-9.]+$')"
  echo "     music: ${loop_seconds}s long, starts ${start_seconds}s into the capture" \
       "(likeness $start_likeness); the second pass is off by ${loop_error_ms} ms" \
       "(likeness $loop_likeness); lowest level at the seam ${lowest_level_ratio} of the file's"
  check "$label: the music loops on the beat (second pass within 1 ms of one length)" \
    awk -v e="$loop_error_ms" -v l="$loop_likeness" 'BEGIN { exit !(e <= 1 && e >= -1 && l >= 0.9) }'
  check "$label: the music loops without a gap (level at the seam at least half the file's)" \
    awk -v r="$lowest_level_ratio" 'BEGIN { exit !(r >= 0.5) }'
  timed "music loop ($label)" "$t0"
}

stop_game() {
  if [ -n "$GAME_PID" ] && kill -0 "$GAME_PID" 2>/dev/null; then
    kill "$GAME_PID" 2>/dev/null || true
  fi
  GAME_PID=""
}
