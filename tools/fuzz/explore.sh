#!/usr/bin/env bash
# Searches for new faults in the media path: builds the fuzz preset and runs
# each target from a random seed for SECONDS (default 600), as many at once
# as there are cores, growing a corpus of its own in build/fuzz/explore/.
# CI runs the same targets from a fixed seed instead (ctest --preset fuzz).
#
#   tools/fuzz/explore.sh [SECONDS] [TARGET...]    (default: every target)
#
# A crash, a leak, a timeout or a runaway allocation stops the target and
# keeps the input in build/fuzz/explore/<target>/findings/. Once mended, the
# input goes into tests/fuzz/corpus/<target>/, where every later run replays it.
set -euo pipefail
source "$(dirname "$0")/../lib.sh"
cd "$ROOT"

seconds=${1:-600}
[ $# -eq 0 ] || shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(png_header_fuzz image_fuzz wav_fuzz mp3_fuzz)
need_packages fuzz
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

explore() { # explore TARGET: the fixed run's driver, with a random seed and a time instead
  local target=$1 work="$ROOT/build/fuzz/explore/$1"
  cmake -DFUZZER="$ROOT/build/fuzz/tests/fuzz/$target" -DTARGET="$target" -DSOURCE_DIR="$ROOT" \
        -DWORK="$work" -DMODE=fixed -DSEED="$((RANDOM * 32768 + RANDOM))" -DRUNS=-1 \
        -DSECONDS="$seconds" -P tests/fuzz/fuzz.cmake
}
export -f explore
export ROOT seconds
log "exploring ${targets[*]} for $seconds s each"
printf '%s\n' "${targets[@]}" | xargs -P "$JOBS" -I{} bash -c 'explore {}'
