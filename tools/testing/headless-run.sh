#!/usr/bin/env bash
# Runs a zephrin binary for a few seconds without a display or a sound card,
# then stops it the way a desktop does (SIGTERM). Passes when it ran until
# stopped, exited with 0 and printed nothing but its own "zephrin: ..." lines:
# a sanitizer report, a crash or a hang fails it.
#   tools/testing/headless-run.sh path/to/zephrin [seconds]
set -euo pipefail

binary="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
seconds="${2:-2}"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# The artwork when it is there; the game runs on without whatever is missing.
for dir in Images Sounds; do
    if [ -d "$root/$dir" ]; then
        cp -r "$root/$dir" "$work/"
    fi
done
cd "$work"

started=$(date +%s%N)
status=0
# The game keeps its media until the process ends, on purpose, so the leak
# check would only list them; every other sanitizer check stays on.
ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy \
    timeout --preserve-status --signal=TERM --kill-after=5 "$seconds" "$binary" 2>stderr.txt ||
    status=$?
ran_ms=$(( ($(date +%s%N) - started) / 1000000 ))

if [ "$status" -ne 0 ] || [ "$ran_ms" -lt $((seconds * 1000)) ] || grep -qv '^zephrin: ' stderr.txt; then
    echo "headless-run: $binary exited with status $status after $ran_ms ms; its stderr:" >&2
    cat stderr.txt >&2
    exit 1
fi
echo "headless-run: $(basename "$binary") ran ${seconds} s, then quit cleanly on SIGTERM"
