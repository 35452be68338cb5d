#!/usr/bin/env bash
# Makes a release of the commit that is checked out: every artifact, each
# checked, and their checksums, in dist/.
#
#   tools/release.sh [--snapshot] [--without arm64,armhf,windows,web] [--reproduce]
#
#   zephrin-<version>.tar.gz               the sources (git archive), with COMMIT
#   zephrin_<version>_<arch>.deb           the Debian package for this machine (release)
#   zephrin_<version>_arm64.deb            ... for 64-bit ARM (release-arm64)
#   zephrin_<version>_armhf.deb            ... for 32-bit ARM (release-armhf)
#   zephrin-<version>-windows-x86.zip      the Windows program (the windows-x86 preset)
#   zephrin-<version>-web.zip              the browser version (the web preset)
#   SHA256SUMS                             the checksums of the above, and the commit
#
# A release is one state of the code: it refuses a checkout with uncommitted
# changes, a CHANGELOG.md whose Unreleased section has entries (cut the
# version first), and a Debian packaging whose newest entry is of another
# version. --snapshot makes one of any commit, its version the last
# release's with the commit's date and hash: <version>+git<date>.<hash>
# (tools/version.sh --snapshot), which dpkg orders after that release and
# before the next. The commit goes into the tarball (COMMIT) and SHA256SUMS,
# and the last line says how to tag it. Everything is stamped with
# the last commit's time (SOURCE_DATE_EPOCH), so the same commit gives the
# same bytes wherever and whenever it is released. --reproduce then makes
# the release again from a fresh clone in another directory and fails,
# naming the files, if any checksum differs; the libraries built from
# Debian's sources are shared through their cache, like the compilers.
# To check a release: `sha256sum -c SHA256SUMS` in the folder that holds it.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

WITHOUT="" REPRODUCE=0 SNAPSHOT=0 CHECKED=1
while [ $# -gt 0 ]; do
  case "$1" in
    --without) WITHOUT=",$2,"; shift ;;
    --reproduce) REPRODUCE=1 ;;
    --snapshot) SNAPSHOT=1 ;;
    # The second release of --reproduce only builds and packs: the first has
    # checked every artifact of the same commit.
    --unchecked) CHECKED=0 ;;
    -h|--help) sed -n '2,31p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) die "unknown argument '$1' (try --help)" ;;
  esac
  shift
done
wanted() { [[ "$WITHOUT" != *",$1,"* ]]; }

cd "$ROOT"
[ -z "$(git status --porcelain)" ] ||
  die "the checkout has uncommitted changes; a release is made from a commit: $(git status --porcelain | head -n 5 | tr '\n' ' ')"
COMMIT=$(git rev-parse HEAD)
# A snapshot's version names its commit; the artifacts' names carry the
# suffix the builds are given.
if [ $SNAPSHOT -eq 1 ]; then
  VERSION=$(tools/version.sh --snapshot)
else
  unreleased=$(sed -n '/^## \[Unreleased\]/,/^## \[/{/^[-*] /p}' CHANGELOG.md)
  [ -z "$unreleased" ] ||
    die "CHANGELOG.md's Unreleased section has entries ($(wc -l <<<"$unreleased")): cut a version for them first (or make a --snapshot)"
  debian=$(dpkg-parsechangelog -l packaging/debian/changelog -S Version)
  [ "${debian%-*}" = "$VERSION" ] ||
    die "packaging/debian/changelog's newest entry is $debian, not of $VERSION: add one (dch -c packaging/debian/changelog -v $VERSION-1)"
fi
SUFFIX=${VERSION#"$(tools/version.sh)"}

purposes=(release)
{ wanted arm64 || wanted armhf; } && purposes+=(arm)
wanted windows && purposes+=(windows)
wanted web && purposes+=(web)
need_packages "${purposes[@]}"
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
export SOURCE_DATE_EPOCH
RELEASE="$DIST/release"
rm -rf "$RELEASE"
mkdir -p "$RELEASE"
SCRATCH=$(mktemp -d)
trap 'rm -rf "$SCRATCH"' EXIT

# ------------------------------------------------------------- the sources --
# The commit's files, and COMMIT: the commit they are, for whoever builds
# from the tarball without the repository.
make_source_tarball() {
  local tarball="$RELEASE/zephrin-$VERSION.tar.gz"
  log "source tarball"
  mkdir -p "$SCRATCH/add"
  echo "$COMMIT" > "$SCRATCH/add/COMMIT"
  git archive --format=tar.gz --prefix="zephrin-$VERSION/" --add-file="$SCRATCH/add/COMMIT" \
    -o "$tarball" HEAD
  # It holds every file of the commit, and nothing else.
  tar -xzf "$tarball" -C "$SCRATCH"
  diff <( (git ls-files; echo COMMIT) | LC_ALL=C sort) \
       <(cd "$SCRATCH/zephrin-$VERSION" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort) ||
    die "the source tarball does not hold exactly the commit's files and COMMIT"
  rm -rf "${SCRATCH:?}/zephrin-$VERSION" "$SCRATCH/add"
}

configure() { # configure PRESET: with the version's suffix, which the build keeps
  cmake --preset "$1" "-DZEPHRIN_VERSION_SUFFIX=$SUFFIX" >/dev/null
}

# -------------------------------------------------------- the .debs (Linux) --
make_deb() { # make_deb PRESET
  local preset=$1 deb qemu emulation=()
  log "Debian package ($preset)"
  # Built, its install and package checks passed, and packed.
  configure "$preset"
  if [ $CHECKED -eq 0 ]; then
    cmake --build --preset "$preset" && cpack --preset "$preset"
  else
    cmake --workflow --preset "$preset"
  fi
  deb=$(ls build/"$preset"/zephrin_"$VERSION"_*.deb)
  cp "$deb" "$RELEASE/"
  [ $CHECKED -eq 1 ] || return 0
  # A package for another processor plays under the emulator its build ran
  # its programs with, its libraries from that build's sysroot.
  qemu=$(cache_value "$preset" ZEPHRIN_QEMU_PROGRAM)
  [ -z "$qemu" ] || emulation=("$qemu" "$(cache_value "$preset" ZEPHRIN_SYSROOT)")
  # The very file released: installed into a scratch root, the game is all
  # there and starts; lintian has nothing to say and the game is hardened.
  dpkg-deb -x "$deb" "$SCRATCH/root"
  bash tests/packaging/check-installed.sh "$SCRATCH/root/usr" "$ROOT" "${emulation[@]}"
  bash tests/packaging/check-deb.sh "$deb" "$SCRATCH/root"
  rm -rf "$SCRATCH/root"
}

cache_value() { # cache_value PRESET VARIABLE: its value in the build's CMake cache
  sed -n "s/^$2:[A-Z]*=//p" "build/$1/CMakeCache.txt"
}

# ------------------------------------------------------------------ the zips --
# The zip holds exactly the files it should.
check_zip() { # check_zip ZIP EXPECTED-FILE...
  local zip=$1 missing="" file
  shift
  log "checking $(basename "$zip")"
  rm -rf "$SCRATCH/zip" && mkdir -p "$SCRATCH/zip"
  unzip -q "$zip" -d "$SCRATCH/zip" || die "$(basename "$zip") does not unpack"
  for file in "$@"; do
    [ -s "$SCRATCH/zip/$file" ] || missing="$missing $file"
  done
  [ -z "$missing" ] || die "$(basename "$zip") lacks:$missing"
  cmp -s "$ROOT/LICENSE" "$SCRATCH/zip/$(cd "$SCRATCH/zip" && ls LICENSE*)" ||
    die "$(basename "$zip") does not carry the game's licence"
  rm -rf "$SCRATCH/zip"
}

media_files() { (cd "$ROOT" && git ls-files Images Sounds); }

make_windows_zip() {
  local zip="zephrin-$VERSION-windows-x86.zip"
  log "Windows zip"
  configure windows-x86
  cmake --build --preset windows-x86 --target zephrin_zip
  cp "build/windows-x86/$zip" "$RELEASE/"
  # shellcheck disable=SC2046
  [ $CHECKED -eq 0 ] || check_zip "$RELEASE/$zip" zephrin.exe README.txt LICENSE.txt licenses/SDL2.txt \
    licenses/libpng.txt licenses/zlib.txt licenses/mpg123.txt $(media_files)
}

make_web_zip() {
  local zip="zephrin-$VERSION-web.zip"
  log "web zip"
  configure web
  cmake --build --preset web
  cp "build/web/$zip" "$RELEASE/"
  [ $CHECKED -eq 0 ] || check_zip "$RELEASE/$zip" index.html zephrin.js zephrin.wasm zephrin.data
}

# -------------------------------------------------------------------- main --
make_source_tarball
make_deb release
for arch in arm64 armhf; do
  if wanted $arch; then make_deb release-$arch; fi
done
if wanted windows; then make_windows_zip; fi
if wanted web; then make_web_zip; fi
{
  echo "# zephrin $VERSION, commit $COMMIT"
  (cd "$RELEASE" && sha256sum -- zephrin* | LC_ALL=C sort -k2)
} > "$SCRATCH/SHA256SUMS"
mv "$SCRATCH/SHA256SUMS" "$RELEASE/"
# The release replaces the previous one in dist/.
for file in "$RELEASE"/*; do mv -f "$file" "$DIST/"; done
rmdir "$RELEASE"
log "release $VERSION of $(git rev-parse --short HEAD) in dist/"
cat "$DIST/SHA256SUMS"

if [ $REPRODUCE -eq 1 ]; then
  second="$SCRATCH/second"
  log "again, from a fresh clone in $second"
  git clone -q "$ROOT" "$second"
  git -C "$second" checkout -q "$(git rev-parse HEAD)"
  args=()
  [ -n "$WITHOUT" ] && args=(--without "$(echo "$WITHOUT" | sed 's/^,//; s/,$//')")
  [ $SNAPSHOT -eq 0 ] || args+=(--snapshot)
  args+=(--unchecked)
  (unset SOURCE_DATE_EPOCH; "$second/tools/release.sh" "${args[@]}") > "$SCRATCH/second.log" 2>&1 ||
    { tail -n 40 "$SCRATCH/second.log" >&2; die "the second release failed"; }
  differing=$( (diff "$DIST/SHA256SUMS" "$second/dist/SHA256SUMS" || true) |
              awk '/^[<>]/{print $3}' | LC_ALL=C sort -u | tr '\n' ' ')
  [ -z "$differing" ] || die "a second release of the same commit differs in: $differing"
  echo "a second release, made in another directory, has the same checksums"
fi

log "publishing"
if [ $SNAPSHOT -eq 1 ]; then
  echo "snapshot $VERSION of commit $COMMIT: a release is made of a version, and tagged"
else
  echo "to publish release $VERSION, tag its commit: git tag -a v$VERSION $COMMIT"
fi
