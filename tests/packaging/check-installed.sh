#!/usr/bin/env bash
# Checks an installed Zephrin tree as a player's desktop would use it: the
# files, the menu entry, the metainfo and the icons, then starts the launcher
# from another directory in a virtual X server and looks for the game window
# and the game drawn in it.
#   check-installed.sh <install prefix> <source dir> [<emulator> <sysroot>]
# A game built for another processor runs here under its qemu-user
# emulator, started by the kernel when the launcher execs it, with its
# libraries from the sysroot.
set -euo pipefail
source "$(dirname "$0")/../../tools/lib.sh"
prefix=$(readlink -f "$1")
source=$2
emulator=${3:+$(readlink -f "$3")} sysroot=${4:-}
id=io.github.zephrin.Zephrin
fail() { echo "FAIL: $*" >&2; exit 1; }

launcher=$prefix/games/zephrin
game=$prefix/libexec/zephrin/zephrin
data=$prefix/share/games/zephrin
[ -x "$launcher" ] || fail "no launcher $launcher"
[ -x "$game" ] || fail "no game binary $game"
for dir in Images Sounds; do
    diff -r "$source/$dir" "$data/$dir" || fail "installed $dir/ differs from the source tree"
done
# Debian's own build compresses the larger documents (dh_compress).
[ -f "$prefix/share/doc/zephrin/README.md" ] || [ -f "$prefix/share/doc/zephrin/README.md.gz" ] ||
    fail "no README in share/doc/zephrin"
# The changelog in Debian's form, or CHANGELOG.md itself as Debian's own
# build installs it (dh_installchangelogs): its newest release first.
release=$(sed -n 's/^## \[\([0-9][^]]*\)\] - .*/\1/p' "$source/CHANGELOG.md" | head -n1)
newest=$(gzip -dc "$prefix/share/doc/zephrin/changelog.gz" |
         awk '!found && /^(zephrin \(|## \[[0-9])/ { print; found = 1 }')
grep -qE "^(zephrin \($release\) |## \[$release\])" <<<"$newest" ||
    fail "changelog.gz does not begin with release $release: $newest"
# The manual page names where this tree has its files, and renders cleanly.
page=$prefix/share/man/man6/zephrin.6.gz
warnings=$(gzip -dc "$page" | groff -ww -z -man 2>&1) && [ -z "$warnings" ] ||
    fail "$page renders with warnings: $warnings"
manual=$(gzip -dc "$page" | groff -man -Tutf8 -P-cbou)
for path in games/zephrin libexec/zephrin/zephrin share/games/zephrin/Images/; do
    grep -q "/$path$" <<<"$manual" || fail "$page does not name .../$path"
done
copyright=$prefix/share/doc/zephrin/copyright
grep -qx 'License: Zlib' "$copyright" || fail "no zlib licence in $copyright"
grep -q '^ 3. This notice may not be removed' "$copyright" || fail "the licence text is cut short in $copyright"
[ ! -f "$source/docs/screenshot.png" ] || cmp "$source/docs/screenshot.png" \
    "$prefix/share/doc/zephrin/screenshot.png" || fail "screenshot not installed"

desktop=$prefix/share/applications/$id.desktop
desktop-file-validate "$desktop" || fail "invalid $desktop"
grep -Eq '^Categories=(.*;)?Game;(.*;)?ArcadeGame;' "$desktop" || fail "not listed as an arcade game"
grep -qx 'Exec=zephrin' "$desktop" || fail "the menu entry does not start the launcher"
grep -qx "Icon=$id" "$desktop" || fail "the menu entry names another icon"
metainfo=$prefix/share/metainfo/$id.metainfo.xml
appstreamcli validate --no-net "$metainfo" || fail "invalid $metainfo"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
    fail "the metainfo points to another desktop entry"
grep -q '<screenshot type="default">' "$metainfo" || fail "no screenshot in the metainfo"
grep -q '<project_license>Zlib</project_license>' "$metainfo" || fail "the metainfo names no licence"
for size in 48 64 128 256; do
    icon=$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png
    file -b "$icon" | grep -q "^PNG image data, $size x $size, 8-bit/color RGBA" ||
        fail "$icon is not a $size px PNG with transparency"
done

work=$(mktemp -d)
player="" binfmt=""
cleanup() {
    if [ -n "$player" ]; then kill "$player" 2>/dev/null || true; fi
    stop_xvfb
    wait || true
    if [ -n "$binfmt" ]; then binfmt_remove "$binfmt" "$work"; fi
    rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
unset DISPLAY WAYLAND_DISPLAY
# Mesa keeps its shader cache under the home the password database names,
# whatever HOME says: this check's own folder keeps it instead.
export MESA_SHADER_CACHE_DIR=$work/.cache XDG_CACHE_HOME=$work/.cache

# Emulated, the game takes many times as long to show itself. An entry
# of this run's own hands it to the emulator: the newest entry wins over any
# this machine has already, and a check running beside this one has its own.
patience=30  # seconds
if [ -n "$emulator" ]; then
    binfmts=/usr/share/binfmts/$(basename "${emulator%-static}")
    [ -f "$binfmts" ] || fail "no $binfmts to tell which programs $emulator runs"
    binfmt=zephrin-check-$(basename "$emulator")-$$
    binfmt_add "$binfmt" "$(sed -n 's/^magic //p' "$binfmts")" "$(sed -n 's/^mask //p' "$binfmts")" \
        "$emulator" "$work"
    export QEMU_LD_PREFIX=$sysroot
    patience=300
fi

# The game's exit status comes through the launcher.
status=0
SDL_VIDEODRIVER=no-such-driver "$launcher" 2>"$work/novideo.err" || status=$?
[ "$status" -eq 1 ] || fail "launcher exited with $status when the game could not start"
grep -q "zephrin: cannot start SDL" "$work/novideo.err" || fail "the game's error is lost"

# A machine without an X server (a package builder without Xvfb) checks the
# files only: the check skips, as CTest's SKIP_RETURN_CODE counts it.
if ! command -v Xvfb >/dev/null; then
    echo "SKIP: no Xvfb to start the installed game in; its files are complete"
    exit 77
fi
start_xvfb "$work" 1024x1024

SDL_AUDIODRIVER=dummy "$launcher" --ignored arguments 2>"$work/game.err" &
player=$!
# The game is drawn: its window shows more than one colour. Its first frames
# may be black, and SDL may replace the window while it looks for a renderer
# that works, so each look finds the window anew; $seen says how far it got.
seen=""
drawn() {
    local window pixels
    seen="no window titled Zephrin"
    window=$(xwininfo -name Zephrin 2>/dev/null | awk '/Window id:/{print $4}') || return 1
    [ -n "$window" ] || return 1
    seen="the game's window shows one colour, not the game"
    pixels=$(xwininfo -id "$window" 2>/dev/null | awk '/Width:/{w=$2} /Height:/{h=$2} END{print w*h}') ||
        return 1
    xwd -silent -id "$window" >"$work/window.xwd" 2>/dev/null || return 1
    # The pixels end the file, four bytes each: blue, green, red and a pad.
    ! tail -c "$((pixels * 4))" "$work/window.xwd" | od -An -v -tx1 -w4 | cut -c1-9 |
        awk 'NR == 1 {first = $0} $0 != first {exit 1}'
}
shown=0 deadline=$(($(now) + patience))
while [ "$(now)" -lt "$deadline" ]; do
    if drawn; then shown=1; break; fi
    kill -0 "$player" 2>/dev/null || { cat "$work/game.err"; fail "the game quit before it was drawn: $seen"; }
    sleep 0.2
done
[ "$shown" -eq 1 ] || { cat "$work/game.err"; fail "$seen"; }

# The launcher's process is the installed game now, its arguments left
# behind; emulated, it is the emulator, with the game's path the first of
# its own.
mapfile -d '' words <"/proc/$player/cmdline"
if [ -n "$emulator" ]; then
    [ "$(readlink "/proc/$player/exe")" = "$emulator" ] || fail "the game does not run under $emulator"
    ran=$(readlink -f "${words[1]}")
    words=("${words[@]:1}")
else
    ran=$(readlink "/proc/$player/exe")
fi
[ "$ran" = "$game" ] || fail "the launcher did not exec the installed game"
[ "$(readlink "/proc/$player/cwd")" = "$data" ] || fail "the game does not run in $data"
[ "${#words[@]}" -eq 1 ] || fail "arguments reached the game"
kill -TERM "$player"  # SDL turns it into a quit event, as closing the window does
status=0
wait "$player" || status=$?
player=""
[ "$status" -eq 0 ] || fail "the game exited with $status after a quit"
for asset in "$data"/Images/* "$data"/Sounds/*; do
    if grep -F "cannot load ${asset#"$data/"}" "$work/game.err"; then
        fail "the installed game did not find its assets"
    fi
done
grep -q "cannot open audio" "$work/game.err" && fail "no audio, so the sounds went unchecked"
echo "installed tree under $prefix is complete and starts"
