#!/usr/bin/env bash
# Builds the Debian package from a release build of its own, checks its
# metadata, unpacks it into a scratch root and checks the installed game.
#   deb-test.sh <source dir> <scratch dir> <version> <cmake generator> <compiler option>
#               [<Debian arch> <emulator> <sysroot>]
# The compiler option is -DCMAKE_CXX_COMPILER=... for this machine, or
# -DCMAKE_TOOLCHAIN_FILE=... for another processor, whose game runs under
# the emulator with the sysroot's libraries.
set -euo pipefail
source=$1 work=$2 version=$3 generator=$4 compiler=$5
arch=${6:-$(dpkg --print-architecture)}
emulation=("${@:7}")
here=$(dirname "$0")
fail() { echo "FAIL: $*" >&2; exit 1; }

sysroot=()
[ ${#emulation[@]} -eq 0 ] || sysroot=("-DZEPHRIN_SYSROOT=${emulation[1]}")
rm -rf "$work"
# The install directories untyped, as dh_auto_configure -- passes them:
# they must stay relative to the prefix (the files under /usr, below).
cmake -S "$source" -B "$work/build" -G "$generator" "$compiler" "${sysroot[@]}" \
    -DCMAKE_BUILD_TYPE=Release -DZEPHRIN_BUILD_TESTS=OFF -DZEPHRIN_INSTALL_GAMESLIBDIR=libexec \
    -DCMAKE_INSTALL_DOCDIR=share/doc/zephrin >/dev/null
cmake --build "$work/build" -j2 >/dev/null
(cd "$work/build" && cpack -G DEB >/dev/null)
deb=$work/build/zephrin_${version}_$arch.deb
[ -f "$deb" ] || fail "no $deb"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = zephrin ] || fail "package name $(field Package)"
[ "$(field Architecture)" = "$arch" ] || fail "architecture $(field Architecture)"
[ "$(field Version)" = "$version" ] || fail "version $(field Version)"
[ "$(field Section)" = games ] || fail "section $(field Section)"
[ -n "$(field Maintainer)" ] || fail "no maintainer"
[ "$(field Description | wc -l)" -gt 1 ] || fail "no long description"
depends=$(field Depends)
for library in libsdl2-2.0-0 libsdl2-image-2.0-0 libsdl2-mixer-2.0-0; do
    grep -Eq "(^|, )$library( |,|$)" <<<"$depends" || fail "Depends lacks $library: $depends"
done
outside=$(dpkg-deb -c "$deb" | awk '{print $6}' | grep -v '^\./usr/' || true)
[ -z "$outside" ] || fail "files outside /usr: $outside"

dpkg-deb -x "$deb" "$work/root"
release=$(grep -o '<release version="[^"]*" date="[0-9-]*"' \
          "$work/root/usr/share/metainfo/io.github.zephrin.Zephrin.metainfo.xml" || true)
[ -n "$release" ] && grep -q "version=\"$version\"" <<<"$release" ||
    fail "the metainfo's release is not $version with a date: $release"
# lintian first: the installed game's run skips where no X server can start.
bash "$here/check-deb.sh" "$deb" "$work/root"
bash "$here/check-installed.sh" "$work/root/usr" "$source" "${emulation[@]}"
rm -rf "$work"
