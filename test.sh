#!/usr/bin/env bash
# From a fresh clone to a green test run: installs what is missing, builds
# everything with warnings as errors, and runs every test.
set -euo pipefail
cd "$(dirname "$0")"

packages=(g++ cmake make libsdl2-dev libsdl2-image-dev libsdl2-mixer-dev libgtest-dev libbenchmark-dev)
# The real game in a virtual X server: the window tests' own X client (XTEST
# keys), an MP3 encoder for their music, Mesa's GL renderer, whose largest
# texture size they rely on, and zlib for the hostile PNGs they write.
packages+=(xvfb libx11-dev libxtst-dev lame libgl1-mesa-dri zlib1g-dev)
# Installing and packaging: menu entry and metainfo checks, the .deb and its
# dependencies, the manual page's rendering, lintian and hardening-check.
packages+=(desktop-file-utils appstream dpkg-dev file xvfb x11-utils groff-base lintian devscripts)
tools/install-packages.sh "${packages[@]}"

jobs=$(nproc)
cmake -S . -B build/test -DCMAKE_BUILD_TYPE=Debug -DZEPHRIN_WERROR=ON
cmake --build build/test -j"$jobs"
(cd build/test && ctest --output-on-failure -j"$jobs")

# The tests again with AddressSanitizer and UndefinedBehaviorSanitizer, the
# window tests included, then a short headless run of the sanitized game.
# The packaging checks test the install, not the code: they ran above.
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DZEPHRIN_WERROR=ON -DZEPHRIN_SANITIZE=ON
cmake --build build/asan -j"$jobs"
(cd build/asan && ctest --output-on-failure -j"$jobs" -E '^packaging_')
tools/testing/headless-run.sh build/asan/zephrin 2
