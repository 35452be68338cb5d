#!/usr/bin/env bash
# The folder the web zip is packed from (cmake/Web.cmake runs this, then
# tools/reproducible-zip.sh): the page's files; beside each that is not a
# picture, a .gz and a .br copy at the highest level, kept only where it
# saves a tenth or more (what hosts send compressed when they can; the MP3
# inside zephrin.data hardly shrinks); the game's licence as LICENSE.txt;
# and in licenses/ those of the libraries and of emscripten's runtime (its
# JavaScript and C library, musl, libc++, compiler-rt, dlmalloc), whose terms
# are in its copyright file.
#
#   tools/web/stage.sh DIR DEPS_PREFIX EMSCRIPTEN_COPYRIGHT FILE...
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"
[ $# -ge 4 ] || die "usage: tools/web/stage.sh DIR DEPS_PREFIX EMSCRIPTEN_COPYRIGHT FILE..."
stage=$1 prefix=$2 copyright=$3
shift 3

rm -rf "$stage"
mkdir -p "$stage"
cp "$@" "$stage/"
for f in "$stage"/*; do
  case "$f" in *.png|*.jpg|*.txt) continue ;; esac
  gzip -9 -n -k "$f"
  brotli -q 11 -k "$f"
  for copy in "$f.gz" "$f.br"; do
    [ $(( $(stat -c %s "$copy") * 10 )) -le $(( $(stat -c %s "$f") * 9 )) ] || rm "$copy"
  done
done
cp "$ROOT/LICENSE" "$stage/LICENSE.txt"
gather_licences "$stage/licenses" "$prefix"
cp "$copyright" "$stage/licenses/emscripten-runtime.txt"
[ -s "$stage/licenses/emscripten-runtime.txt" ] || die "emscripten's copyright file $copyright is empty"
