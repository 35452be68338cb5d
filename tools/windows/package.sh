#!/usr/bin/env bash
# The Windows program as players get it (cmake/WindowsPackage.cmake runs this
# while building):
#
#   tools/windows/package.sh strip STRIP EXE OUT.exe
#       EXE without its symbols, its PE header stamped with the time the
#       sources last changed, so the same commit gives the same bytes
#   tools/windows/package.sh zip OUT.zip EXE DEPS_PREFIX
#       the zip: EXE as zephrin.exe, Images, Sounds, LICENSE.txt, README.txt
#       and the licences of everything linked into it
#
# A shell script because CMake cannot make a zip that is the same to the
# byte from the same files: tools/reproducible-zip.sh fixes their order,
# dates and permissions.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"

strip_exe() { # strip_exe STRIP EXE OUT
  # strip stamps the PE header with SOURCE_DATE_EPOCH, else with the time of day.
  SOURCE_DATE_EPOCH=$("$ROOT/tools/source-date.sh") "$1" -o "$3" "$2"
}

readme() {
  cat <<EOF
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
into zephrin.exe: the game's own sources and the build that makes it
(the windows-x86 preset of CMakePresets.json) are published with it, so
you may rebuild it against a changed mpg123.
EOF
}

pack_zip() { # pack_zip OUT.zip EXE DEPS_PREFIX
  local zip=$1 stage="$1.stage" d
  rm -rf "$stage"
  mkdir -p "$stage"
  for d in Images Sounds; do
    [ -d "$ROOT/$d" ] || die "$d/ is missing: the game cannot run without it"
    cp -r "$ROOT/$d" "$stage/$d"
  done
  cp "$2" "$stage/zephrin.exe"
  cp "$ROOT/LICENSE" "$stage/LICENSE.txt"
  readme > "$stage/README.txt"
  gather_licences "$stage/licenses" "$3"
  cp /usr/share/doc/mingw-w64-common/copyright "$stage/licenses/mingw-w64-runtime.txt"
  cp /usr/share/doc/gcc-mingw-w64-base/copyright "$stage/licenses/gcc-runtime.txt"
  "$ROOT/tools/reproducible-zip.sh" "$zip" "$stage"
  rm -rf "$stage"
  echo "packed $zip ($(stat -c %s "$zip") bytes)"
}

case "${1:-}" in
  strip) [ $# -eq 4 ] || die "usage: package.sh strip STRIP EXE OUT.exe"; strip_exe "${@:2}" ;;
  zip) [ $# -eq 4 ] || die "usage: package.sh zip OUT.zip EXE DEPS_PREFIX"; pack_zip "${@:2}" ;;
  *) die "usage: package.sh strip STRIP EXE OUT.exe | zip OUT.zip EXE DEPS_PREFIX" ;;
esac
