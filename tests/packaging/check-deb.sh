#!/usr/bin/env bash
# What a Debian developer runs on any package: lintian, which must find
# nothing to say at all, even pedantically, and hardening-check on the game
# as unpacked from it.
#   check-deb.sh <.deb> <the .deb unpacked>
set -euo pipefail
deb=$1 root=$2
fail() { echo "FAIL: $*" >&2; exit 1; }
for tool in lintian hardening-check; do
    command -v $tool >/dev/null || fail "$tool is not installed, so the package goes unchecked"
done

# On stdout only tags; stderr has lintian's own remarks (such as running as
# root). It exits with 1 for tags of errors, with 2 when it could not check.
errors=$(mktemp)
trap 'rm -f "$errors"' EXIT
status=0
tags=$(lintian --pedantic --display-info --info "$deb" 2>"$errors") || status=$?
[ "$status" -le 1 ] || fail "lintian could not check $(basename "$deb"): $(cat "$errors")"
[ -z "$tags" ] || fail "lintian tags $(basename "$deb"):"$'\n'"$tags"

# Debian 12's C start-up files carry no CET marking, so no program linked
# against them is marked either, whatever it was compiled with.
hardening-check --nocfprotection "$root/usr/libexec/zephrin/zephrin" ||
    fail "the game lacks a protection"
echo "$(basename "$deb"): no lintian tags, hardened"
