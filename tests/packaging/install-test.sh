#!/usr/bin/env bash
# cmake --install into a DESTDIR with a prefix of its own, then the uninstall
# script, which must take away every file of the game and nothing else.
#   install-test.sh <build dir> <source dir> <scratch dir> [<emulator> <sysroot>]
# (for a game built for another processor, as check-installed.sh takes them).
set -euo pipefail
build=$1 source=$2 work=$3
emulation=("${@:4}")
here=$(dirname "$0")
fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$work"
root=$work/root
DESTDIR=$root cmake --install "$build" --prefix /opt/arcade >/dev/null
bash "$here/check-installed.sh" "$root/opt/arcade" "$source" "${emulation[@]}"

# Another program's menu entry shares the directory and must stay.
other=$root/opt/arcade/share/applications/other.desktop
touch "$other"
DESTDIR=$root cmake -P "$build/packaging/uninstall.cmake" >/dev/null
[ -f "$other" ] || fail "uninstalling removed a file of another program"
rm "$other"
left=$(find "$root" -type f -o -type l -o -name '*zephrin*')
[ -z "$left" ] || fail "left after uninstalling: $left"
rm -rf "$work"
