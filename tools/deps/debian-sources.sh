#!/usr/bin/env bash
# Fetches Debian's source packages with apt-get source and unpacks them into
# one shared directory, once; later calls only print where they are.
#
#   tools/deps/debian-sources.sh DIR PACKAGE...
#
# Prints "PACKAGE=DIR/PACKAGE-VERSION" for each package. Takes the newest
# version in the machine's Debian archives whose files can all be fetched;
# some mirrors lack a security update's sources or an upstream signature,
# and an older version of the same release then serves. Uses its own apt
# lists and cache under DIR/apt, so the machine's apt state is left alone.
# Sourced, it only defines debian_mirror, private_apt, debian_suites and
# update_indices for other scripts.
set -euo pipefail

# The mirror of a Debian archive ("debian" or "debian-security"):
# $ZEPHRIN_DEBIAN_MIRROR or $ZEPHRIN_DEBIAN_SECURITY_MIRROR where set, else
# the machine's own, as its apt sources name it.
debian_mirror() {
  local archive=$1 uri file files=() variable=ZEPHRIN_DEBIAN_MIRROR
  [ "$archive" != debian-security ] || variable=ZEPHRIN_DEBIAN_SECURITY_MIRROR
  if [ -n "${!variable:-}" ]; then
    echo "${!variable%/}"
    return 0
  fi
  # Only the lists that exist: many machines have no /etc/apt/sources.list.
  for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] && files+=("$file")
  done
  # sed reads to the end, so nothing upstream dies of a closed pipe.
  uri=$( ( [ ${#files[@]} -eq 0 ] || cat "${files[@]}" ) | grep -v "^ *#" |
        grep -o -E "(https?|file)://[^ ]*/$archive/?( |$)" | sed -n '1{s/ //g;p;}') || true
  [ -n "$uri" ] || { echo "no apt source for the '$archive' archive in /etc/apt" >&2; return 1; }
  echo "${uri%/}"
}

# apt-get (or apt-cache, as $APT_TOOL) with the sources in DIR/sources.list.d
# and its own lists and cache under DIR.
private_apt() {
  local dir=$1
  shift
  "${APT_TOOL:-apt-get}" -o Dir::Etc::SourceList=/dev/null \
    -o Dir::Etc::SourceParts="$dir/sources.list.d" -o Dir::State::Lists="$dir/lists" \
    -o Dir::Cache="$dir/cache" -o APT::Sandbox::User=root "$@"
}

# debian_suites FILE TYPE ARCH SUITE...: an apt sources file with each
# SUITE of Debian's archive (TYPE deb or deb-src, ARCH a processor or ""
# for any) as an entry of its own, the security suites from the security
# archive, which a machine may lack. The first SUITE is the release itself.
debian_suites() {
  local file=$1 type=$2 arch=$3 suite uri
  shift 3
  : > "$file"
  for suite in "$@"; do
    case $suite in
      *-security) uri=$(debian_mirror debian-security 2>/dev/null) || continue ;;
      *) uri=$(debian_mirror debian) || return 1 ;;
    esac
    { [ ! -s "$file" ] || echo
      echo "Types: $type"
      echo "URIs: $uri"
      echo "Suites: $suite"
      echo "Components: main"
      [ -z "$arch" ] || echo "Architectures: $arch"
      echo "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg"
    } >> "$file"
  done
}

# update_indices WHAT SOURCES APT...: `APT... update` for the suites of the
# sources file SOURCES, tried again after a pause while any fails
# ($ZEPHRIN_APT_ATTEMPTS times, $ZEPHRIN_APT_PAUSE seconds apart). A mirror
# caught mid-update serves an index that does not match its signed Release
# for hours: a suite whose index cannot be had is then left out, in one
# line on stderr, as long as the release's own (the first) answers. Prints
# "SUITE URI" for each suite it has indices for, in the order of SOURCES.
update_indices() {
  local what=$1 sources=$2 attempt log suite have why missing=()
  shift 2
  log=$(mktemp)
  for attempt in $(seq 1 "${ZEPHRIN_APT_ATTEMPTS:-3}"); do
    [ "$attempt" -eq 1 ] || sleep "${ZEPHRIN_APT_PAUSE:-10}"
    "$@" update -qq > "$log" 2>&1 && break
  done
  have=$("$@" indextargets --format '$(RELEASE) $(REPO_URI)' 2>/dev/null | sort -u)
  for suite in $(sed -n 's/^Suites: //p' "$sources"); do
    grep "^$suite " <<<"$have" | head -n 1 || missing+=("$suite")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    why=$(sed -n '/^[EW]: Failed to fetch /{s///;s/^[^ ]* *//;s/ *\[IP:.*//;p;q}' "$log")
    if [ "${missing[0]}" = "$(sed -n '/^Suites: /{s///p;q}' "$sources")" ]; then
      cat "$log" >&2
      rm -f "$log"
      return 1
    fi
    echo "$(basename "$0"): $what: going on without ${missing[*]}, whose index cannot be had now: ${why:-apt-get update failed}" >&2
  fi
  rm -f "$log"
}

[ "${BASH_SOURCE[0]}" = "$0" ] || return 0

die() { echo "debian-sources.sh: $*" >&2; exit 1; }
[ $# -ge 2 ] || die "usage: debian-sources.sh DIR PACKAGE..."
DIR=$1
shift
mkdir -p "$DIR"
DIR=$(cd "$DIR" && pwd)
APT="$DIR/apt"

# Several builds may ask at once (both Windows architectures build side by side).
exec 9> "$DIR/.lock"
flock 9

unpacked() { ls -d "$DIR/$1"-[0-9]*/ 2>/dev/null | head -n 1; }

update_lists() {
  [ -d "$APT/lists" ] && [ -n "$(ls "$APT/lists"/*Sources* 2>/dev/null)" ] && return 0
  mkdir -p "$APT/sources.list.d" "$APT/lists/partial" "$APT/cache/archives/partial"
  # Security updates where the machine has them; the release's own sources serve otherwise.
  local sources="$APT/sources.list.d/debian-src.sources"
  debian_suites "$sources" deb-src "" bookworm bookworm-updates bookworm-security ||
    die "cannot tell where Debian's sources come from"
  update_indices "Debian's sources" "$sources" private_apt "$APT" > /dev/null || die "apt-get update failed"
}

# The versions of a source package the archives know, newest first.
versions_of() {
  APT_TOOL=apt-cache private_apt "$APT" showsrc "$1" 2>/dev/null | awk '/^Version: /{print $2}' |
    sort -u | sort -r -V
}

# Fetches PACKAGE=VERSION and unpacks it. apt has checked every file it
# fetched against the signed index; an upstream signature (.asc) that the
# mirror lacks is left out of what dpkg-source looks for.
fetch() {
  local package=$1 version=$2 work="$DIR/.fetch"
  rm -rf "$work"; mkdir -p "$work"
  (cd "$work" && private_apt "$APT" source --download-only -qq "$package=$version") \
    > "$work/log" 2>&1 || true
  local dsc
  dsc=$(ls "$work"/*.dsc 2>/dev/null | head -n 1)
  [ -n "$dsc" ] || return 1
  local file
  for file in $(awk '/^Files:/{on=1; next} /^[^ ]/{on=0} on{print $3}' "$dsc"); do
    case $file in
      *.asc) [ -f "$work/$file" ] || sed -i "/ ${file//./\\.}\$/d" "$dsc" ;;
      *) [ -f "$work/$file" ] || return 1 ;;
    esac
  done
  (cd "$work" && dpkg-source --no-check -x "$(basename "$dsc")" >> log 2>&1) || return 1
  local tree
  tree=$(find "$work" -mindepth 1 -maxdepth 1 -type d | head -n 1)
  [ -n "$tree" ] || return 1
  mv "$tree" "$DIR/"
  mv "$work/log" "$DIR/$(basename "$tree").fetch.log"
  rm -rf "$work"
}

for package in "$@"; do
  if [ -z "$(unpacked "$package")" ]; then
    update_lists
    fetched=0
    for version in $(versions_of "$package"); do
      if fetch "$package" "$version"; then
        fetched=1
        break
      fi
      echo "debian-sources.sh: $package $version could not be fetched whole; trying an older one" >&2
    done
    [ $fetched -eq 1 ] || die "no version of $package could be fetched (see $DIR/.fetch/log)"
  fi
  tree=$(unpacked "$package")
  echo "$package=${tree%/}"
done
