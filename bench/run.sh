#!/usr/bin/env bash
# Builds the game and its benchmarks in Release and runs every benchmark:
# the game's steps one by one; the main loop's pass rate and allocations next
# to a bare SDL loop, and its texture formats; the world-tick cadence; the
# start-up time and the peak memory next to a bare SDL program. Runs headless
# and in a virtual X server (Xvfb); takes four to five minutes. The figures go
# to the terminal and to build/bench/results.md.
set -euo pipefail
source "$(dirname "$0")/../tools/lib.sh"
cd "$ROOT"

build=build/bench
bin=$build/bench
out=$build/results.md
need_packages bench
cmake --preset bench >/dev/null
cmake --build --preset bench --target zephrin zephrin_micro zephrin_passes zephrin_startup \
  zephrin_bare_start zephrin_first_frame_shim >/dev/null

# A virtual X server, stopped on the way out.
trap stop_xvfb EXIT
start_xvfb "$build/xvfb" 1024x1024
x_display=$DISPLAY

headless() { env -u DISPLAY SDL_VIDEODRIVER=dummy "$@"; }
in_xvfb() { env SDL_VIDEODRIVER=x11 DISPLAY="$x_display" "$@"; }

{
  echo "# Zephrin benchmark results"
  echo
  echo "- date: $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo "- commit: $(git rev-parse --short HEAD 2>/dev/null || echo unknown)"
  echo "- CPU: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) cores"
  echo "- OS: $(. /etc/os-release && echo "$PRETTY_NAME"), kernel $(uname -r)"
  echo "- SDL $(sdl2-config --version 2>/dev/null || echo '?'); load average at start:$(cut -d' ' -f1-3 /proc/loadavg | sed 's/^/ /')"
  echo
  echo "## The game's steps, software renderer on a surface"
  echo
  micro=$(headless "$bin/zephrin_micro" --benchmark_repetitions=12 --benchmark_min_time=0.05 \
    --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true \
    --benchmark_color=false 2>/dev/null)
  echo "Medians of 12 repetitions, run in random order; allocs: heap allocations per iteration."
  echo
  echo '```'
  grep -m1 '^Benchmark' <<<"$micro"
  grep '_median' <<<"$micro" | sort
  echo '```'
  grep '^|' <<<"$micro" | awk '/^\| one copy/ { print "" } { print }'
  echo
  echo "## Pass rate, headless"
  echo
  headless "$bin/zephrin_passes" rate 10
  echo "## Pass rate, under Xvfb"
  echo
  in_xvfb "$bin/zephrin_passes" rate 10
  echo "## Texture formats, headless"
  echo
  headless "$bin/zephrin_passes" formats 10
  echo "## Heap allocations"
  echo
  headless "$bin/zephrin_passes" allocs 1000
  echo "## Tick cadence, 20 s each (ideal interval: 31 ms)"
  echo
  echo "| renderer (video driver) | seconds | passes | ticks | median ms | p99 ms | max ms |"
  echo "|---|---:|---:|---:|---:|---:|---:|"
  headless "$bin/zephrin_passes" cadence 20
  in_xvfb "$bin/zephrin_passes" cadence 20
  in_xvfb env ZEPHRIN_RENDERER=default "$bin/zephrin_passes" cadence 20
  echo
  echo "## Start-up, under Xvfb, SDL's dummy audio driver"
  echo
  in_xvfb "$bin/zephrin_startup" first-frame 10 "$build/zephrin" "$bin/zephrin_bare_start" \
    "$PWD/$bin/libzephrin_first_frame_shim.so"
  echo "## Memory, under Xvfb"
  echo
  in_xvfb "$bin/zephrin_startup" memory 10 "$build/zephrin" "$bin/zephrin_bare_start" \
    "$PWD/$bin/libzephrin_first_frame_shim.so"
} | tee "$out"
echo "Written to $out"
