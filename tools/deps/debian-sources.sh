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
# Sourced, it only defines debian_mirror and private_apt for other scripts.
set -euo pipefail

# The machine's own mirror for a Debian archive ("debian" or
# "debian-security"), as its apt sources name it.
debian_mirror() {
  local archive=$1 uri file files=()
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
  local main security
  main=$(debian_mirror debian) || die "cannot tell where Debian's sources come from"
  mkdir -p "$APT/sources.list.d" "$APT/lists/partial" "$APT/cache/archives/partial"
  cat > "$APT/sources.list.d/debian-src.sources" <<SOURCES
Types: deb-src
URIs: $main
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
  # Security updates where the machine has them; the release's own sources serve otherwise.
  if security=$(debian_mirror debian-security 2>/dev/null); then
    cat >> "$APT/sources.list.d/debian-src.sources" <<SOURCES

Types: deb-src
URIs: $security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
  fi
  private_apt "$APT" update -qq >&2 || die "apt-get update failed"
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
