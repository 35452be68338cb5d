#!/usr/bin/env bash
# Builds the libraries the game links for one target, through the shared
# superbuild in cmake/deps, and prints the prefix they are installed in.
#
#   tools/deps/build.sh NAME TOOLCHAIN_FILE [CMAKE_ARGS...]
#
# NAME names the target's directory in the cache: $ZEPHRIN_DEPS_CACHE, by
# default build/deps/ in the repository; Debian's sources are fetched once
# into its src/ and shared by every target. A second call with nothing
# changed only checks that everything is up to date. ZEPHRIN_JOBS limits
# the parallel jobs. The build's output goes to NAME.log in the cache.
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
echo "$dir/prefix"
