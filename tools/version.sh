#!/usr/bin/env bash
# Prints the project's version, which CMakeLists.txt sets once for every
# artifact: tools/version.sh -> 1.2.0
#
# With --snapshot, the version of a snapshot of the commit checked out:
# the last release's version, then +git, the commit's date (UTC) and its
# abbreviated hash: 1.2.0+git20261210.0123abc. Debian's and dpkg's order
# puts it after that release and before the next, whichever it is, as the
# version in CMakeLists.txt stays the last release's until the next is cut.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
version=$(sed -n 's/^project(Zephrin VERSION \([0-9][0-9.]*\)[ )].*/\1/p' "$root/CMakeLists.txt")
[ -n "$version" ] || { echo "version.sh: no version in CMakeLists.txt" >&2; exit 1; }
case "${1:-}" in
  "") echo "$version" ;;
  --snapshot)
    date=$(TZ=UTC git -C "$root" log -1 --format=%cd --date=format-local:%Y%m%d)
    echo "$version+git$date.$(git -C "$root" rev-parse --short=7 HEAD)" ;;
  *) echo "version.sh: unknown argument '$1'" >&2; exit 1 ;;
esac
