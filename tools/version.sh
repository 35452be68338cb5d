#!/usr/bin/env bash
# Prints the project's version, which CMakeLists.txt sets once for every
# artifact: tools/version.sh -> 1.1.0
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
version=$(sed -n 's/^project(Zephrin VERSION \([0-9][0-9.]*\)[ )].*/\1/p' "$root/CMakeLists.txt")
[ -n "$version" ] || { echo "version.sh: no version in CMakeLists.txt" >&2; exit 1; }
echo "$version"
