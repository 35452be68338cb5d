#!/usr/bin/env bash
# Builds the libraries the game links for one target, through the shared
# superbuild in cmake/deps, and prints the prefix they are installed in.
#
#   tools/deps/build.sh NAME TOOLCHAIN_FILE [CMAKE_ARGS...]
#
# NAME names the target's directory in the cache: $ZEPHRIN_DEPS_CACHE, by
# default build/deps/ in the repository; Debian's sources are fetched once
# into its src/ and shared by every target. A prefix built from the same
# superbuild, toolchains and arguments is used as it is, also by another
# checkout sharing the cache. ZEPHRIN_JOBS limits the parallel jobs. The
# build's output goes to NAME.log in the cache.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
[ $# -ge 2 ] || { echo "usage: tools/deps/build.sh NAME TOOLCHAIN_FILE [CMAKE_ARGS...]" >&2; exit 2; }
name=$1 toolchain=$2
shift 2
cache="${ZEPHRIN_DEPS_CACHE:-$ROOT/build/deps}"
mkdir -p "$cache"
cache=$(cd "$cache" && pwd)
dir="$cache/$name"
log="$cache/$name.log"

# What the libraries are made from, but for where the checkout is: the
# superbuild, the toolchain file and the files of its directory it names.
toolchain_files() {
  local dir file
  dir=$(dirname "$toolchain")
  echo "$toolchain"
  for file in "$dir"/*; do
    [ "$file" = "$toolchain" ] || ! grep -qF "$(basename "$file")" "$toolchain" || echo "$file"
  done
}
key=$( { cd "$ROOT" && cat cmake/deps/* tools/deps/debian-sources.sh;
         toolchain_files | xargs cat;
         printf '%s\n' "$(basename "$toolchain")" "$@"; } | sha256sum | cut -c1-16)
stamp="$dir/prefix/.zephrin-deps-key"
# One build of a prefix at a time, whichever checkout asks.
exec 9> "$dir.lock"
flock 9
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$key" ]; then
  echo "$dir/prefix"
  exit 0
fi

# Another checkout's build tree cannot be taken over; its sources can.
if [ -f "$dir/CMakeCache.txt" ] &&
   ! grep -qxF "CMAKE_HOME_DIRECTORY:INTERNAL=$ROOT/cmake/deps" "$dir/CMakeCache.txt"; then
  rm -rf "$dir"
fi
{
  cmake -S "$ROOT/cmake/deps" -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DZEPHRIN_DEPS_SOURCES="$cache/src" "$@" &&
  CMAKE_BUILD_PARALLEL_LEVEL="${ZEPHRIN_JOBS:-$(nproc)}" \
    cmake --build "$dir" -j "${ZEPHRIN_JOBS:-$(nproc)}"
} > "$log" 2>&1 || {
  tail -n 60 "$log" >&2
  echo "tools/deps/build.sh: building the libraries for $name failed; the whole log is $log" >&2
  exit 1
}
echo "$key" > "$stamp"
echo "$dir/prefix"
