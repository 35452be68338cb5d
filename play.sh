#!/usr/bin/env bash
# From a fresh clone to playing: installs what is missing, builds, starts the game.
set -euo pipefail
cd "$(dirname "$0")"

tools/install-packages.sh g++ cmake make libsdl2-dev libsdl2-image-dev libsdl2-mixer-dev
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DZEPHRIN_BUILD_TESTS=OFF >/dev/null
cmake --build build/release -j"$(nproc)" >/dev/null
exec build/release/zephrin  # from the repository root, where Images/ and Sounds/ are
