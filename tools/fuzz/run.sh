#!/usr/bin/env bash
# Builds the fuzz targets in tests/fuzz/ (clang's libFuzzer with ASan and
# UBSan, linked against the system's SDL2, SDL2_image and SDL2_mixer) into
# build/fuzz and runs each for FUZZ_SECONDS (60) seconds, as many at once as
# there are cores. A crash, a leak, a timeout or a runaway allocation fails the
# run, naming the input that caused it, kept in build/fuzz/findings/<target>/.
#   tools/fuzz/run.sh [target...]      (default: every target)
#   build/fuzz/<target> build/fuzz/findings/<target>/<file>   replays one input
set -euo pipefail
cd "$(dirname "$0")/../.."

tools/install-packages.sh clang-14 libclang-rt-14-dev cmake make \
    libsdl2-dev libsdl2-image-dev libsdl2-mixer-dev zlib1g-dev

seconds="${FUZZ_SECONDS:-60}"
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(png_header_fuzz image_fuzz wav_fuzz mp3_fuzz)
fi
out=build/fuzz

cmake -S tests/fuzz -B "$out" -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$out" -j"$(nproc)" --target "${targets[@]}"

# The seeds: the small broken files kept with the targets, and the game's own
# media of the kind a target reads, where small enough to mutate quickly.
seed() {
    local target="$1" pattern="$2"
    local corpus="$out/corpus/$target"
    rm -rf "$out/findings/$target"
    mkdir -p "$corpus" "$out/findings/$target"
    cp tests/fuzz/corpus/"$target"/* "$corpus"/
    find Images Sounds -name "$pattern" -size -64k -exec cp {} "$corpus"/ \;
}
seed png_header_fuzz '*.png'
seed image_fuzz '*.png'
seed wav_fuzz '*.wav'
seed mp3_fuzz '*.mp3'

# One run of one target; its log in build/fuzz/<target>.log. Memory held past
# 2 GiB fails it. No single allocation passes 256 MiB (the largest the game
# needs is an image at its pixel budget, 64 MiB): SDL's WAV loader asks for
# whatever a header claims, up to 4 GiB, and must cope when refused, as on a
# 32-bit system. Granting it would only make every such input slow. Every
# allocation's stack is unwound in full: the libraries keep no frame pointers,
# and a leak's stack must reach our code or a library's entry point to tell
# whose it is (tests/fuzz/library-leaks.supp names the library's own).
fuzz() {
    local target="$1"
    ASAN_OPTIONS=detect_leaks=1:fast_unwind_on_malloc=0:allocator_may_return_null=1:max_allocation_size_mb=256 \
    LSAN_OPTIONS="suppressions=$PWD/tests/fuzz/library-leaks.supp:print_suppressions=0" \
    UBSAN_OPTIONS=print_stacktrace=1 \
        "$out/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
        -print_final_stats=1 -artifact_prefix="$out/findings/$target/" "$out/corpus/$target" \
        >"$out/$target.log" 2>&1
}
export -f fuzz
export out seconds

echo "fuzz: ${#targets[@]} targets for ${seconds} s each"
failed=0
printf '%s\n' "${targets[@]}" | xargs -P "$(nproc)" -I{} bash -c 'fuzz {}' || failed=1
for target in "${targets[@]}"; do
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$out/$target.log" | grep -o '[0-9]*$' || echo "?")
    found=$(find "$out/findings/$target" -type f | sort)
    if [ -n "$found" ]; then
        echo "fuzz: $target FOUND A FAULT; the input is kept in:" >&2
        echo "$found" >&2
        grep -E '^(==[0-9]+==ERROR|SUMMARY|.*runtime error)' "$out/$target.log" | head -5 >&2 || true
        failed=1
    else
        echo "fuzz: $target ran $runs inputs, nothing found"
    fi
done
if [ "$failed" -ne 0 ]; then
    echo "fuzz: failed; each target's log is in $out/<target>.log" >&2
    exit 1
fi
