#!/usr/bin/env bash
# The same script of games (tests/replay.cpp), played by this machine's
# build and by another build of the game (another compiler, processor or
# system, run under its emulator), must give the same trace, tick for tick:
#
#   compare-replay.sh WORKDIR REFERENCE-REPLAY OTHER-REPLAY-COMMAND...
#
# Each replay writes its trace into the file it is given as last argument.
# A difference names the first tick at which the two builds part.
set -euo pipefail
fail() { echo "FAIL: $*" >&2; exit 1; }
[ $# -ge 3 ] || fail "usage: compare-replay.sh WORKDIR REFERENCE-REPLAY OTHER-REPLAY-COMMAND..."
work=$1 reference=$2
shift 2
rm -rf "$work" && mkdir -p "$work" && cd "$work"
"$reference" reference.txt > reference.log 2>&1 ||
  { cat reference.log; fail "the reference replay failed"; }
"$@" other.txt < /dev/null > other.log 2>&1 || { cat other.log; fail "the other build's replay failed"; }
if ! cmp -s reference.txt other.txt; then
  first=$(cmp reference.txt other.txt 2>&1 | grep -o 'line [0-9]*' | grep -o '[0-9]*' || true)
  [ -n "$first" ] || first=$(( $(wc -l < other.txt) + 1 ))
  echo "  this machine: $(sed -n "${first}p" reference.txt)"
  echo "  other build:  $(sed -n "${first}p" other.txt)"
  at=$(sed -n "${first}p" reference.txt | grep -o '^game [0-9]* tick [0-9]*' || true)
  fail "the traces part at line $first${at:+ ($at)}: $work"
fi
echo "the replay's $(wc -l < reference.txt) lines match this machine's bit for bit"
