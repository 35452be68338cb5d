#!/usr/bin/env bash
# Unpacks Debian's binary packages for another processor into a sysroot: the
# SDL libraries the game links, their headers, and every library they need
# at run time, for a cross build to link against and for the emulator that
# runs its programs here.
#
#   tools/deps/debian-sysroot.sh DIR ARCH SUITE
#
# ARCH is Debian's name of the processor (arm64, armhf, i386, ppc64el,
# s390x, riscv64), SUITE the Debian release the packages come from. Prints
# the sysroot, DIR/sysroot-ARCH. The packages come from the machine's own
# Debian mirror, checked by apt against the archive's signed index, through
# apt state of its own under the sysroot's directory, so the machine's own
# is left alone; the runtime packages bring what they depend on (not what
# they recommend), the -dev packages only themselves. A sysroot unpacked
# from the same list by the same script is used as it is. packages.txt in
# the sysroot lists what it holds, name, version and file.
#
# Beside the root, DIR/sysroot-ARCH/dpkg is a dpkg database of those
# packages, each file named by where it is here: dpkg-shlibdeps, given it
# as its admin directory, finds which package a library the game links
# comes from and the dependency that package's shlibs or symbols file asks
# for, as it would on a Debian system for ARCH.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/debian-sources.sh"  # debian_mirror, private_apt
die() { echo "debian-sysroot.sh: $*" >&2; exit 1; }
[ $# -eq 3 ] || die "usage: debian-sysroot.sh DIR ARCH SUITE"
arch=$2 suite=$3
mkdir -p "$1"
dir="$(cd "$1" && pwd)/sysroot-$arch"

# The libraries the game and its tests link, with their run-time needs, and
# the C++ runtime the cross compiler's programs use.
runtime=(libsdl2-2.0-0 libsdl2-image-2.0-0 libsdl2-mixer-2.0-0 libstdc++6 libgcc-s1 libc6)
headers=(libsdl2-dev libsdl2-image-dev libsdl2-mixer-dev)
# From trixie on, the CMake packages of SDL2_image and SDL2_mixer look for
# the packages of the libraries they use before they say they are found.
[ "$suite" = bookworm ] ||
  headers+=(libpng-dev zlib1g-dev libjpeg62-turbo-dev libtiff-dev libwebp-dev
            libxmp-dev libvorbis-dev libogg-dev libflac-dev libmpg123-dev libopusfile-dev
            libopus-dev)

key=$( { cat "${BASH_SOURCE[0]}" "$here/debian-sources.sh"; echo "$arch $suite"; } |
       sha256sum | cut -c1-16)
root="$dir/root"
stamp="$root/.zephrin-sysroot-key"
mkdir -p "$dir"
exec 9> "$dir.lock"
flock 9
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$key" ]; then
  echo "$root"
  exit 0
fi
rm -rf "$dir"
apt_dir="$dir/apt"
mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" \
         "$apt_dir/state" "$root"
: > "$apt_dir/status"

main=$(debian_mirror debian) || die "cannot tell where Debian's packages come from"
cat > "$apt_dir/sources.list.d/debian.sources" <<SOURCES
Types: deb
URIs: $main
Suites: $suite $suite-updates
Components: main
Architectures: $arch
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
if security=$(debian_mirror debian-security 2>/dev/null); then
  cat >> "$apt_dir/sources.list.d/debian.sources" <<SOURCES

Types: deb
URIs: $security
Suites: $suite-security
Components: main
Architectures: $arch
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
fi

# apt for ARCH alone, with no package installed, downloading only.
target_apt() {
  private_apt "$apt_dir" -o APT::Architecture="$arch" -o APT::Architectures::="$arch" \
    -o Dir::State="$apt_dir/state" -o Dir::State::status="$apt_dir/status" \
    -o Dir::Cache::archives="$apt_dir/cache/archives" -o Debug::NoLocking=true "$@"
}
target_apt update -qq >&2 || die "apt-get update for $arch ($suite) failed"
target_apt install --download-only --no-install-recommends -y -qq "${runtime[@]}" >&2 ||
  die "the $arch packages ${runtime[*]} could not be fetched"
(cd "$apt_dir/cache/archives" && target_apt download -qq "${headers[@]}") >&2 ||
  die "the $arch packages ${headers[*]} could not be fetched"

admin="$dir/dpkg"
mkdir -p "$admin/info" "$admin/updates"
echo 1 > "$admin/info/format"  # file names of Multi-Arch: same packages carry their processor
: > "$admin/status"
: > "$root/packages.txt"
for deb in "$apt_dir"/cache/archives/*.deb; do
  dpkg-deb -x "$deb" "$root"
  name=$(dpkg-deb -f "$deb" Package)
  printf '%s %s %s\n' "$name" "$(dpkg-deb -f "$deb" Version)" "$(basename "$deb")" >> "$root/packages.txt"
  [ "$(dpkg-deb -f "$deb" Multi-Arch)" != same ] || name="$name:$(dpkg-deb -f "$deb" Architecture)"
  rm -rf "$dir/control"
  dpkg-deb -e "$deb" "$dir/control"
  for file in shlibs symbols; do
    [ ! -f "$dir/control/$file" ] || mv "$dir/control/$file" "$admin/info/$name.$file"
  done
  dpkg-deb --fsys-tarfile "$deb" | tar -t | sed "s|^\./|$root/|; s|/\$||" > "$admin/info/$name.list"
  { sed '/^$/d' "$dir/control/control"; echo "Status: install ok installed"; echo; } >> "$admin/status"
done
rm -rf "$dir/control"
# Links that name a path from the root of the target's file system point
# into the sysroot instead, so that they resolve here.
find "$root" -type l -lname '/*' | while read -r link; do
  target=$(readlink "$link")
  ln -sfn "$(realpath -m --relative-to="$(dirname "$link")" "$root$target")" "$link"
done
# A release whose /lib is merged into /usr ships its files there alone.
[ -e "$root/lib" ] || ln -s usr/lib "$root/lib"
rm -rf "$apt_dir/cache"
echo "$key" > "$stamp"
echo "$root"
