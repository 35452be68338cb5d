#!/usr/bin/env bash
# From a fresh clone to a green test run: installs the Debian packages that
# are missing, then builds with warnings as errors and runs every Linux test
# (the dev workflow preset), then all but the package's again with
# AddressSanitizer and UndefinedBehaviorSanitizer (asan).
#
#   ./test.sh               dev, then asan
#   ./test.sh PRESET...     those workflow presets instead, e.g. windows-x64 web fuzz
#                           (cmake --list-presets=workflow lists them)
set -euo pipefail
source "$(dirname "$0")/tools/lib.sh"
cd "$ROOT"

presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(dev asan)
purposes=()
for preset in "${presets[@]}"; do
  case "$preset" in
    dev|asan) purposes+=(test) ;;
    release|fuzz|web|windows-x86) purposes+=("$preset") ;;
    windows-x64) purposes+=(windows) ;;
    *) die "no workflow preset '$preset' (cmake --list-presets=workflow)" ;;
  esac
done
need_packages "${purposes[@]}"

export CTEST_PARALLEL_LEVEL="${CTEST_PARALLEL_LEVEL:-$JOBS}"
for preset in "${presets[@]}"; do
  t0=$(now)
  log "$preset"
  cmake --workflow --preset "$preset"
  timed "$preset" "$t0"
done
print_times
