#!/usr/bin/env bash
# Builds the Debian package from a release's source tarball as Debian's
# builders would, and checks it as a Debian developer would:
#
#   tools/debian/check.sh dist/zephrin-<version>.tar.gz
#   tools/debian/check.sh --prepare   only make the chroots, from this
#       checkout's packaging, so that a run for a tarball of the same commit
#       finds them made (CI makes them while it builds the rest)
#
#   build      packaging/debian copied in as debian/, dpkg-buildpackage with
#              its tests, as a user of its own without network, in a clean
#              bookworm chroot (mmdebstrap's buildd variant with the build
#              dependencies and nothing else)
#   lintian    --pedantic on the source and the binary packages: no tag but
#              the first upload's ITP bug, the uploader's to close
#   autopkgtest  debian/tests against the built package, in a chroot with
#              only the package and what the tests name
#   reprotest  two builds (nocheck) in another path, at another time, in
#              another locale, under another umask and with another order of
#              files: the same .debs
#   arm64      dpkg-buildpackage -a arm64 -Pcross,nocheck, with Debian's
#              cross compiler and arm64 build dependencies
#
# The chroots come from bookworm and bookworm-updates; each is made once
# with mmdebstrap and kept as a tarball under ~/.cache/zephrin/debian
# ($ZEPHRIN_DEBIAN_CACHE), named by what went into it, so a later run only
# unpacks it. The work happens in build/debian; the packages end in
# build/debian/out.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"
source "$ROOT/tools/deps/debian-sources.sh"  # debian_mirror

[ $# -eq 1 ] || die "usage: tools/debian/check.sh dist/zephrin-<version>.tar.gz | --prepare"
PREPARE=0
if [ "$1" = --prepare ]; then
  PREPARE=1
else
  TARBALL=$(readlink -f "$1")
  [ -f "$TARBALL" ] || die "no source tarball $1"
fi
[ "$(id -u)" -eq 0 ] || die "the chroots are made and entered as root (mmdebstrap, unshare)"
need_packages debian

SUITE=bookworm
MIRROR=$(debian_mirror debian) || die "cannot tell where Debian's packages come from"
CACHE=${ZEPHRIN_DEBIAN_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/zephrin/debian}
WORK=$ROOT/build/debian
OUT=$WORK/out
BUILDER=1000  # the user the builds run as, uid and gid
export LC_ALL=C.UTF-8

# ------------------------------------------------------------- the sources --
# zephrin-<version>/ with debian/, and zephrin_<version>.orig.tar.gz beside it.
unpack_source() { # unpack_source DIR
  local dir=$1 name upstream top
  name=$(basename "$TARBALL" .tar.gz)
  upstream=${name#zephrin-}
  rm -rf "$dir" && mkdir -p "$dir"
  cp "$TARBALL" "$dir/zephrin_$upstream.orig.tar.gz"
  tar -xzf "$TARBALL" -C "$dir"
  [ -d "$dir/$name/packaging/debian" ] || die "$(basename "$TARBALL") has no packaging/debian"
  cp -r "$dir/$name/packaging/debian" "$dir/$name/debian"
  # A snapshot is a version of its own: an entry on top of the packaging's
  # newest names it, dated with the commit.
  top=$(dpkg-parsechangelog -l "$dir/$name/debian/changelog" -S Version)
  if [ "${top%-*}" != "$upstream" ]; then
    local entry commit
    commit=$(cat "$dir/$name/COMMIT" 2>/dev/null || echo "an unknown commit")
    entry=$(printf 'zephrin (%s-1) UNRELEASED; urgency=medium\n\n  * Snapshot of commit %s.\n\n -- %s  %s\n\n' \
      "$upstream" "$commit" "$(dpkg-parsechangelog -l "$dir/$name/debian/changelog" -S Maintainer)" \
      "$(date -u -R -d "@$(stat -c %Y "$dir/$name/CMakeLists.txt")")")
    printf '%s\n\n%s\n' "$entry" "$(cat "$dir/$name/debian/changelog")" > "$dir/$name/debian/changelog"
  fi
  echo "$dir/$name"
}

# ------------------------------------------------------------- the chroots --
# chroot_tarball NAME VARIANT ARCHES PACKAGES [HOOK...]: the cached tarball
# of a bookworm chroot for the processors ARCHES (this machine's first), with
# the packages of mmdebstrap's VARIANT, PACKAGES (comma-separated) and
# whatever its customize hooks HOOK install; made when missing. The packages
# downloaded are kept for the next chroot. A suite whose index cannot be had
# is left out rather than stopping the build: bookworm-updates only brings
# newer versions of what bookworm has.
chroot_tarball() {
  local name=$1 variant=$2 arches=$3 packages=$4 hooks=("${@:5}") key tarball suites
  key=$(printf '%s\n' "$SUITE" "$MIRROR" "$variant" "$arches" "$packages" "${hooks[@]}" |
        sha256sum | cut -c1-16)
  tarball=$CACHE/$name-$key.tar
  if [ ! -f "$tarball" ]; then
    mkdir -p "$CACHE/archives"
    (
      flock 9
      [ -f "$tarball" ] && exit 0
      for suites in "$SUITE $SUITE-updates" "$SUITE"; do
        local sources=()
        for suite in $suites; do sources+=("deb $MIRROR $suite main"); done
        # The hooks come before eatmydata's, which takes it away again:
        # dpkg installs without waiting for the disk, a chroot being
        # thrown away if anything fails.
        if mmdebstrap --format=tar --variant="$variant" --architectures="$arches" \
             ${packages:+--include="$packages"} --skip=essential/unlink \
             --setup-hook='mkdir -p "$1/var/cache/apt/archives"' \
             --setup-hook="sync-in $CACHE/archives /var/cache/apt/archives" \
             --customize-hook="$(add_builder_hook)" "${hooks[@]/#/--customize-hook=}" \
             --customize-hook="sync-out /var/cache/apt/archives $CACHE/archives" \
             --hook-dir=/usr/share/mmdebstrap/hooks/eatmydata \
             "$SUITE" "$tarball.new" "${sources[@]}" > "$CACHE/$name.log" 2>&1; then
          mv "$tarball.new" "$tarball"
          exit 0
        fi
        echo "the $name chroot could not be made from $suites; $(tail -n 3 "$CACHE/$name.log")" >&2
        rm -f "$tarball.new"
      done
      exit 1
    ) 9> "$CACHE/.lock-$name" || die "no $name chroot: see $CACHE/$name.log"
    # Older chroots of the same name are of an older debian/control.
    find "$CACHE" -maxdepth 1 -name "$name-*.tar" ! -name "$(basename "$tarball")" -delete
  fi
  echo "$tarball"
}

# derived_tarball NAME BASE PACKAGES: the cached tarball of the chroot of
# the tarball BASE with PACKAGES (space-separated) added; made when missing.
derived_tarball() {
  local name=$1 base=$2 packages=$3 key tarball root
  key=$(printf '%s\n' "$(basename "$base")" "$packages" | sha256sum | cut -c1-16)
  tarball=$CACHE/$name-$key.tar
  if [ ! -f "$tarball" ]; then
    root=$WORK/chroot-$name
    unpack_chroot "$base" "$root"
    mkdir -p "$root/var/cache/apt/archives"
    cp "$CACHE"/archives/*.deb "$root/var/cache/apt/archives/" 2> /dev/null || true
    # An index that cannot be had leaves apt with the others'.
    in_chroot "$root" root network sh -c "apt-get update -q || true; apt-get install -y -q \
        --no-install-recommends $packages && apt-get clean && rm -rf /var/lib/apt/lists/*" \
      > "$CACHE/$name.log" 2>&1 || die "no $name chroot: see $CACHE/$name.log"
    tar -C "$root" --numeric-owner -cf "$tarball.new" . && mv "$tarball.new" "$tarball"
    rm -rf "$root"
    find "$CACHE" -maxdepth 1 -name "$name-*.tar" ! -name "$(basename "$tarball")" -delete
  fi
  echo "$tarball"
}

# The user the builds run as, with a home that does not exist, as on Debian's
# builders, so that nothing of the build depends on one.
add_builder_hook() {
  echo "echo 'builder:x:$BUILDER:$BUILDER:builder:/nonexistent:/bin/sh' >> \"\$1/etc/passwd\";" \
       "echo 'builder:x:$BUILDER:' >> \"\$1/etc/group\""
}

# A hook that installs the build dependencies debian/control names, for the
# processor and build profiles given as apt-get build-dep options.
build_deps_hook() { # build_deps_hook SOURCE-DIR [APT-OPTION...]
  local control
  control=$(sed 's/'\''/'\''\\'\'''\''/g' "$1/debian/control")
  shift
  printf '%s' "mkdir -p \"\$1/tmp/deps/debian\" && printf '%s\n' '$control' > \"\$1/tmp/deps/debian/control\" &&" \
    " chroot \"\$1\" sh -c 'cd /tmp/deps && apt-get build-dep -y --no-install-recommends $* ./' &&" \
    " rm -rf \"\$1/tmp/deps\""
}

# unpack_chroot TARBALL DIR: a fresh copy of a chroot.
unpack_chroot() {
  rm -rf "$2" && mkdir -p "$2"
  tar -xf "$1" -C "$2"
}

# in_chroot DIR USER NETWORK COMMAND...: runs COMMAND in the chroot as USER
# (a uid, or root), in namespaces of its own: its own mounts (the kernel's
# file systems, a few devices, an empty /tmp), its own processes (all ended
# with it), and with NETWORK "none" no network but its own loopback.
in_chroot() {
  local dir=$1 user=$2 network=$3
  shift 3
  local namespaces=(--mount --pid --fork --uts --ipc --kill-child)
  [ "$network" = none ] && namespaces+=(--net)
  unshare "${namespaces[@]}" bash -euc '
    dir=$1 user=$2
    shift 2
    ip link set lo up 2> /dev/null || true
    mount -t proc proc "$dir/proc"
    mount -t sysfs sysfs "$dir/sys" 2> /dev/null || true
    mount -t tmpfs -o mode=755 dev "$dir/dev"
    for node in null zero full random urandom tty fuse; do
      [ -e "/dev/$node" ] || continue
      touch "$dir/dev/$node"
      mount --bind "/dev/$node" "$dir/dev/$node"
    done
    mkdir -p "$dir/dev/shm" "$dir/dev/pts"
    mount -t tmpfs -o mode=1777 shm "$dir/dev/shm"
    mount -t devpts -o newinstance,ptmxmode=0666 devpts "$dir/dev/pts"
    ln -s pts/ptmx "$dir/dev/ptmx"
    ln -s /proc/self/fd "$dir/dev/fd"
    mount -t tmpfs -o mode=1777 tmp "$dir/tmp"
    cp /etc/resolv.conf "$dir/etc/resolv.conf" 2> /dev/null || true
    spec=() name=root
    [ "$user" = root ] || { spec=(--userspec="$user:$user" --groups="$user"); name=builder; }
    exec chroot "${spec[@]}" "$dir" /usr/bin/env -i \
      PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
      HOME=/nonexistent LC_ALL=C.UTF-8 USER=$name LOGNAME=$name \
      DEB_BUILD_OPTIONS="parallel=$(nproc)" "$@"
  ' - "$dir" "$user" "$@"
}

# --------------------------------------------------------------- the steps --
# in_fresh_chroot NAME TARBALL USER COMMAND: a fresh copy of the chroot in
# $WORK/chroot-NAME with the sources in /build, where COMMAND runs in the
# source directory as USER without network, its output in $WORK/NAME.log.
in_fresh_chroot() {
  local name=$1 tarball=$2 user=$3 command=$4 root=$WORK/chroot-$1 src
  unpack_chroot "$tarball" "$root"
  mkdir -p "$root/build"
  src=$(unpack_source "$root/build")
  [ "$user" = root ] || chown -R "$user:$user" "$root/build"
  in_chroot "$root" "$user" none sh -c "cd /build/$(basename "$src") && $command" \
    > "$WORK/$name.log" 2>&1 || { tail -n 60 "$WORK/$name.log" >&2; die "$name failed: $WORK/$name.log"; }
}

# The build with its tests, and lintian on what it made.
build_and_lint() { # build_and_lint CHROOT-TARBALL
  local made=$WORK/chroot-build/build tags
  log "dpkg-buildpackage in a clean $SUITE chroot, without network"
  in_fresh_chroot build "$1" "$BUILDER" "dpkg-buildpackage -us -uc"
  grep -E '^[0-9]+% tests passed|tests failed out of' "$WORK/build.log" | tail -n 1
  rm -rf "$OUT" && mkdir -p "$OUT"
  cp "$made"/*.deb "$made"/*.dsc "$made"/*.debian.tar.* "$made"/*.orig.tar.* "$made"/*.changes \
     "$made"/*.buildinfo "$OUT/"
  rm -rf "$WORK/chroot-build"

  log "lintian --pedantic"
  tags=$(lintian --pedantic --display-info --display-experimental "$OUT"/*.changes 2> "$WORK/lintian.err") ||
    [ $? -eq 1 ] || die "lintian did not run: $(cat "$WORK/lintian.err")"
  echo "${tags:-no tags}"
  # Experimental tags (X:) are lintian's trials, shown for what they say. A
  # package's first upload closes the bug that announced it (ITP), which the
  # Debian maintainer who uploads it files: no packaging of ours can name it.
  ! grep -v -e '^X: ' -e ': initial-upload-closes-no-bugs ' <<<"$tags" | grep -q . ||
    die "lintian has tags for the packages"
}

# The tests of debian/tests against the built package, in a chroot of apt
# and autopkgtest alone: autopkgtest installs the package and what the tests
# name from the archive, and runs them there.
run_autopkgtest() { # run_autopkgtest TESTBED-TARBALL
  local root=$WORK/chroot-autopkgtest
  log "autopkgtest"
  unpack_chroot "$1" "$root"
  mkdir -p "$root/build"
  cp "$OUT"/* "$root/build/"
  # An index that cannot be had leaves apt with the others'.
  in_chroot "$root" root network sh -c \
    "apt-get update -q || true; autopkgtest --no-built-binaries /build/*.changes -- null" \
    > "$WORK/autopkgtest.log" 2>&1 ||
    { tail -n 60 "$WORK/autopkgtest.log" >&2; die "autopkgtest failed: $WORK/autopkgtest.log"; }
  sed -n '/@@@@ summary/,$p' "$WORK/autopkgtest.log" | sed -n '2,/^autopkgtest/p' | grep -v '^autopkgtest'
  rm -rf "$root"
}

# Two builds without the tests, the second in another path, a year later, in
# another locale, under another umask and with its files listed in another
# order. As root: disorderfs mounts the second one's sources.
run_reprotest() { # run_reprotest CHROOT-TARBALL
  log "reprotest"
  in_fresh_chroot reprotest "$1" root "reprotest --min-cpus=$(nproc) \
      --vary=-all,+build_path,+time,+locales,+umask,+fileordering \
      -c 'DEB_BUILD_OPTIONS=\"nocheck parallel=$(nproc)\" dpkg-buildpackage --no-sign -b -Pnocheck' \
      . '../*.deb'"
  grep -E -i "reproducible|differ|identical" "$WORK/reprotest.log" | tail -n 5
  rm -rf "$WORK/chroot-reprotest"
}

build_arm64() { # build_arm64 CHROOT-TARBALL
  local deb
  log "dpkg-buildpackage -a arm64 -Pcross,nocheck"
  in_fresh_chroot arm64 "$1" "$BUILDER" \
    "DEB_BUILD_OPTIONS=\"nocheck parallel=$(nproc)\" dpkg-buildpackage -us -uc -B -a arm64 -Pcross,nocheck"
  deb=$(ls "$WORK"/chroot-arm64/build/zephrin_*_arm64.deb)
  [ "$(dpkg-deb -f "$deb" Architecture)" = arm64 ] || die "$(basename "$deb") is not for arm64"
  dpkg-deb --fsys-tarfile "$deb" | tar -xO --wildcards '*/zephrin/zephrin' | file - | grep -q 'ARM aarch64' ||
    die "the game in $(basename "$deb") is not an arm64 program"
  cp "$deb" "$OUT/"
  echo "$(basename "$deb"): $(dpkg-deb -f "$deb" Depends)"
  rm -rf "$WORK/chroot-arm64"
}

# -------------------------------------------------------------------- main --
# The chroots but the build's: for the cross build, the tests against the
# package, and reprotest (the build's and its tools).
other_chroots() { # other_chroots BUILD-CHROOT-TARBALL SOURCE-DIR
  chroot_tarball cross-arm64 buildd amd64,arm64 crossbuild-essential-arm64 \
    "$(build_deps_hook "$2" -a arm64 -P cross,nocheck)" > "$WORK/cross-chroot"
  chroot_tarball testbed-amd64 apt amd64 autopkgtest > "$WORK/testbed-chroot"
  derived_tarball reprotest-amd64 "$1" "reprotest faketime disorderfs locales-all" \
    > "$WORK/reprotest-chroot"
}

mkdir -p "$WORK" "$CACHE"
if [ $PREPARE -eq 1 ]; then
  src=$WORK/control/checkout
  rm -rf "$src" && mkdir -p "$src"
  cp -r "$ROOT/packaging/debian" "$src/debian"
else
  src=$(unpack_source "$WORK/control")
fi

t0=$(now)
build_chroot=$(chroot_tarball build-amd64 buildd amd64 "" "$(build_deps_hook "$src")")
timed "chroot for the build" "$t0"
if [ $PREPARE -eq 1 ]; then
  other_chroots "$build_chroot" "$src"
  timed "the other chroots" "$t0"
  print_times
  exit 0
fi
# The others are made while the package builds, in a process group of
# their own that a run which stops takes with it.
set -m
other_chroots "$build_chroot" "$src" > "$WORK/chroots.log" 2>&1 &
chroots=$!
set +m
trap 'kill -- -$chroots 2> /dev/null || true' EXIT

t0=$(now)
build_and_lint "$build_chroot"
timed "build with tests, lintian" "$t0"
wait "$chroots" || { cat "$WORK/chroots.log" >&2; die "the other chroots could not be made"; }

# autopkgtest mostly waits for apt and the game's window: the builds of
# reprotest and for arm64 go on beside it.
t0=$(now)
set -m
run_autopkgtest "$(cat "$WORK/testbed-chroot")" > "$WORK/autopkgtest.out" 2>&1 &
tested=$!
set +m
trap 'kill -- -$tested 2> /dev/null || true' EXIT
run_reprotest "$(cat "$WORK/reprotest-chroot")"
timed "reprotest" "$t0"
build_arm64 "$(cat "$WORK/cross-chroot")"
timed "reprotest, arm64 cross build" "$t0"
wait "$tested" || { cat "$WORK/autopkgtest.out" >&2; die "autopkgtest failed"; }
cat "$WORK/autopkgtest.out"
timed "... and autopkgtest beside them" "$t0"
print_times
