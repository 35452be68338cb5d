#!/usr/bin/env bash
# From a fresh clone to playing: installs what is missing, builds, starts the game.
set -euo pipefail
source "$(dirname "$0")/tools/lib.sh"
cd "$ROOT"

need_packages play
cmake --preset release >/dev/null
cmake --build --preset release >/dev/null
exec build/release/zephrin  # from the repository root, where Images/ and Sounds/ are
