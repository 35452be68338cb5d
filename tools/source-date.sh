#!/usr/bin/env bash
# Prints the time the sources were last changed, in seconds since 1970: what
# builds stamp into what they make (SOURCE_DATE_EPOCH), so the same sources
# give the same bytes. SOURCE_DATE_EPOCH itself when set; else the last
# commit's time; else, in an unpacked source tarball, that of CMakeLists.txt
# (git archive dates every file with the commit).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
  echo "$SOURCE_DATE_EPOCH"
elif git -C "$root" rev-parse --git-dir >/dev/null 2>&1; then
  git -C "$root" log -1 --format=%ct
else
  stat -c %Y "$root/CMakeLists.txt"
fi
