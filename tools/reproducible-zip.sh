#!/usr/bin/env bash
# Packs the contents of a directory into a zip that is the same to the byte
# whenever and wherever it is made from the same files: entries in a fixed
# (C locale) order, every file dated when the sources last changed
# (tools/source-date.sh), plain permissions, no owners or extra timestamps.
#
#   tools/reproducible-zip.sh OUT.zip DIR
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: tools/reproducible-zip.sh OUT.zip DIR" >&2; exit 2; }
out=$(realpath -m "$1")
dir=$2
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
epoch=$("$root/tools/source-date.sh")

# zip keeps local time, so the time zone is fixed too.
export TZ=UTC LC_ALL=C
find "$dir" -type d -exec chmod 755 {} +
find "$dir" -type f -exec chmod 644 {} +
find "$dir" -type f -name '*.exe' -exec chmod 755 {} +
find "$dir" -exec touch -h -d "@$epoch" {} +
rm -f "$out"
(cd "$dir" && find . -type f | sed 's|^\./||' | sort | zip -q -X -D "$out" -@)
