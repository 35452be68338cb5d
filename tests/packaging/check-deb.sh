#!/usr/bin/env bash
# What a Debian developer runs on any package: lintian, which must find
# nothing to say at all, even pedantically, and hardening-check on the game
# as unpacked from it.
#   check-deb.sh <.deb> <the .deb unpacked>
set -euo pipefail
deb=$1 root=$2
fail() { echo "FAIL: $*" >&2; exit 1; }

# On stdout only tags; stderr has lintian's own remarks (such as running as root).
tags=$(lintian --pedantic --display-info --info "$deb" 2>/dev/null) || true
[ -z "$tags" ] || fail "lintian tags $(basename "$deb"):"$'\n'"$tags"

# Debian 12's C start-up files carry no CET marking, so no program linked
# against them is marked either, whatever it was compiled with.
hardening-check --nocfprotection "$root/usr/lib/games/zephrin/zephrin" ||
    fail "the game lacks a protection"
echo "$(basename "$deb"): no lintian tags, hardened"
