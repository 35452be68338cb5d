#!/usr/bin/env bash
# The checks that only a Windows build has, one per call, each failure saying
# what it found (tests/windows/CMakeLists.txt makes each a test):
#
#   checks.sh CHECK ARG...
#
# The program's PE facts and resources, and the zip's program. The replay
# against the Linux build's is tests/compare-replay.sh; the ways a player
# starts it are window tests.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../tools/lib.sh"

fail() { echo "FAIL: $*" >&2; exit 1; }

# pe_header EXE OBJDUMP FORMAT MAGIC: PE32 (010b) or PE32+ (020b) for the right processor.
pe_header() {
  local format p
  format=$("$2" -f "$1" | awk '/file format/{print $NF}')
  [ "$format" = "$3" ] || fail "file format $format, not $3"
  p=$("$2" -p "$1")
  grep -Eq "^Magic[[:space:]]+$4" <<<"$p" ||
    fail "optional header magic $(awk '/^Magic/{print $2}' <<<"$p"), not $4"
  echo "$format, magic $4"
}

# console_subsystem EXE OBJDUMP: a console program, so that a shell sees its output.
console_subsystem() {
  local subsystem
  subsystem=$("$2" -p "$1" | grep '^Subsystem')
  grep -Eq '^Subsystem[[:space:]]+0+3[[:space:]]+\(Windows CUI\)' <<<"$subsystem" ||
    fail "not a console program: $subsystem"
  echo "$subsystem"
}

# system_imports EXE OBJDUMP: it imports only DLLs every Windows (7 and later) has.
SYSTEM_DLLS="kernel32.dll user32.dll gdi32.dll winmm.dll imm32.dll ole32.dll oleaut32.dll
 version.dll setupapi.dll shell32.dll shlwapi.dll advapi32.dll msvcrt.dll cfgmgr32.dll"
system_imports() {
  local dlls bad="" d
  dlls=$("$2" -p "$1" | awk '/DLL Name:/{print tolower($3)}' | sort -u)
  [ -n "$dlls" ] || fail "no imports found"
  for d in $dlls; do
    grep -qw -- "$d" <<<"$SYSTEM_DLLS" || bad="$bad $d"
  done
  [ -z "$bad" ] || fail "imports DLLs that are not Windows' own:$bad"
  echo "imports: $(xargs <<<"$dlls")"
}

# pe_flags EXE OBJDUMP FLAG...: ASLR (with high entropy on x86-64) and DEP.
pe_flags() {
  local p missing="" flag
  p=$("$2" -p "$1")
  for flag in "${@:3}"; do
    grep -Eq "^[[:space:]]+$flag\$" <<<"$p" || missing="$missing $flag"
  done
  [ -z "$missing" ] || fail "DllCharacteristics lack$missing"
  echo "DllCharacteristics:" "${@:3}"
}

# stack_protector UNSTRIPPED-EXE OBJDUMP: functions call the stack protector's
# handler when their guard is overwritten. libssp is linked in statically, so
# the handler is no import: the calls show in the build before stripping,
# where it still has its name. Counted outside libssp's own functions.
stack_protector() {
  local calls
  calls=$("$2" -d "$1" | awk '/^[0-9a-f]+ <.*>:$/ { inside = $2 }
    /call .*<_?__stack_chk_fail>/ && inside !~ /stack_chk/ { n++ } END { print n + 0 }')
  [ "$calls" -gt 0 ] || fail "no function calls __stack_chk_fail"
  echo "calls to __stack_chk_fail: $calls"
}

# icon_sizes EXE SIZE...: the icon resource holds the bird at every size Windows asks for.
icon_sizes() {
  local got want ico
  ico=$(mktemp)
  wrestool -x -t 14 "$1" > "$ico" 2> /dev/null || true
  got=$(icotool -l "$ico" 2> /dev/null | sed -n 's/.*--width=\([0-9]*\).*/\1/p' | sort -n | xargs)
  rm -f "$ico"
  want=$(printf '%s\n' "${@:2}" | sort -n | xargs)
  [ "$got" = "$want" ] || fail "icon sizes '$got', not '$want'"
  echo "icon sizes: $got"
}

# version_info EXE VERSION: product name, description and the project's version.
version_info() {
  local strings
  strings="|$(wrestool -x --raw -t 16 "$1" 2> /dev/null | iconv -f UTF-16LE -t UTF-8 2> /dev/null |
              tr -c '[:print:]' '\n' | grep -v '^$' | tr '\n' '|')"
  local field
  for field in "ProductName|Zephrin|" "FileDescription|Zephrin, " "ProductVersion|$2|" \
               "FileVersion|$2|"; do
    grep -qF "|$field" <<<"$strings" || fail "no '$field' in the version information: $strings"
  done
  echo "version information: $strings"
}

# zip_holds ZIP EXE: the zip holds EXE as its zephrin.exe, byte for byte.
zip_holds() {
  local packed want
  packed=$(unzip -p "$1" zephrin.exe | sha256sum | cut -d' ' -f1)
  want=$(sha256sum < "$2" | cut -d' ' -f1)
  [ "$packed" = "$want" ] || fail "the zip's zephrin.exe ($packed) is not $2 ($want)"
  echo "$(basename "$1") holds $2 ($want)"
}

[ $# -ge 1 ] || die "usage: checks.sh CHECK ARG..."
"$@"
