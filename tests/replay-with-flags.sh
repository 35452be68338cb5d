#!/usr/bin/env bash
# The game as players and packagers build it from source, with the flags
# they add and with either compiler: each build's replay must match this
# build's bit for bit. Each is configured by the project's own CMake with
# build type None (as Debian's packaging configures) and the flags as
# CXXFLAGS, and builds only the rules, media and loop and the replay:
#
#   replay-with-flags.sh SOURCE-DIR WORKDIR GENERATOR THIS-COMPILER REFERENCE-REPLAY
#
# A build that needs a processor with FMA, or a compiler this machine lacks,
# is skipped and named; the test is then skipped (77) if the rest matched.
set -euo pipefail
fail() { echo "FAIL: $*" >&2; exit 1; }
[ $# -eq 5 ] ||
  fail "usage: replay-with-flags.sh SOURCE-DIR WORKDIR GENERATOR THIS-COMPILER REFERENCE-REPLAY"
source=$1 work=$2 generator=$3 this=$4 reference=$5
here=$(cd "$(dirname "$0")" && pwd)

# compiler ("this": this build's)  needs  CXXFLAGS
builds=(
  "this      -    -Ofast"
  "this      -    -O2 -freciprocal-math"
  "this      fma  -O2 -march=haswell -ffp-contract=fast"
  "g++       fma  -O2 -ffast-math -march=haswell"
  "clang++   fma  -O2 -ffast-math -march=haswell"
)

mkdir -p "$work"
failed=() skipped=() row=0
for build in "${builds[@]}"; do
  read -r compiler needs flags <<<"$build"
  row=$((row + 1))
  [ "$compiler" != this ] || compiler=$this
  name="$(basename "$compiler") $flags"
  if [ "$needs" = fma ] && ! grep -qw fma /proc/cpuinfo; then
    skipped+=("$name: this processor has no FMA")
    continue
  fi
  if ! command -v "$compiler" >/dev/null; then
    skipped+=("$name: no $compiler here")
    continue
  fi
  echo "== $name"
  dir=$work/$row
  if ! { cmake -S "$source" -B "$dir/build" -G "$generator" -DCMAKE_CXX_COMPILER="$compiler" \
           -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_FLAGS="$flags" -DZEPHRIN_BUILD_TESTS=ON &&
         cmake --build "$dir/build" --target zephrin_replay; } > "$dir.log" 2>&1; then
    tail -n 30 "$dir.log"
    failed+=("$name: did not build ($dir.log)")
    continue
  fi
  "$here/compare-replay.sh" "$dir/replay" "$reference" "$dir/build/tests/zephrin_replay" ||
    failed+=("$name")
done

for build in "${skipped[@]}"; do echo "SKIPPED: $build"; done
[ ${#failed[@]} -eq 0 ] || fail "builds that part from this one:$(printf '\n  %s' "${failed[@]}")"
[ ${#skipped[@]} -eq 0 ] || exit 77
