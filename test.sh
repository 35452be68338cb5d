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
    dev|asan) purposes+=(test wayland) ;;
    dev-clang) purposes+=(test) ;;
    release|fuzz|web|windows-x86) purposes+=("$preset") ;;
    windows-x64) purposes+=(windows) ;;
    linux-*) purposes+=("$preset") ;;
    release-arm64|release-armhf) purposes+=(arm) ;;
    *) die "no workflow preset '$preset' (cmake --list-presets=workflow)" ;;
  esac
done
need_packages "${purposes[@]}"

# Configured side by side first: a cross preset's first configure builds its
# libraries from Debian's sources, and their long serial steps then overlap.
if [ ${#presets[@]} -gt 1 ]; then
  t0=$(now)
  mkdir -p build
  pids=()
  for preset in "${presets[@]}"; do
    cmake --preset "$preset" > "build/$preset.configure.log" 2>&1 & pids+=($!)
  done
  for i in "${!pids[@]}"; do
    wait "${pids[i]}" ||
      { tail -n 40 "build/${presets[i]}.configure.log" >&2; die "configuring ${presets[i]} failed"; }
  done
  timed "configure ${presets[*]}" "$t0"
fi

export CTEST_PARALLEL_LEVEL="${CTEST_PARALLEL_LEVEL:-$JOBS}"
for preset in "${presets[@]}"; do
  t0=$(now)
  log "$preset"
  cmake --workflow --preset "$preset"
  timed "$preset" "$t0"
done
print_times
