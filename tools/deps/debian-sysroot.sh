#!/usr/bin/env bash
# Unpacks Debian's binary packages for another processor into a sysroot: the
# SDL libraries the game links, their headers, and every library they need
# at run time, for a cross build to link against and for the emulator that
# runs its programs here; or Debian's 32-bit Wine, which the 32-bit Windows
# build is tested under, so that no foreign architecture is added to the
# machine.
#
#   tools/deps/debian-sysroot.sh DIR ARCH SUITE [sdl|wine]
#
# ARCH is Debian's name of the processor (arm64, armhf, i386, ppc64el,
# s390x, riscv64), SUITE the Debian release the packages come from, the
# last argument the set of packages (sdl unless given). Prints the sysroot,
# DIR/sysroot-ARCH (DIR/sysroot-ARCH-wine for Wine). The packages come from
# $ZEPHRIN_DEBIAN_MIRROR or the machine's own Debian mirror, checked by apt
# against the archive's signed index, through apt state of its own under the
# sysroot's directory, so the machine's own is left alone; the runtime
# packages bring what they depend on (not what they recommend), the -dev
# packages only themselves. SUITE's updates and security suites are taken
# where they answer (tools/deps/debian-sources.sh, update_indices); which
# suites a sysroot was made from is in its suites.txt, and packages.txt lists
# what it holds, name, version and file. A sysroot unpacked from the same
# list by the same script is used as it is; one unpacked from the same list
# by another version of the script is used as it stands while no index can
# be had.
#
# Beside the root, DIR/sysroot-ARCH/dpkg is a dpkg database of those
# packages, each file named by where it is here: dpkg-shlibdeps, given it
# as its admin directory, finds which package a library the game links
# comes from and the dependency that package's shlibs or symbols file asks
# for, as it would on a Debian system for ARCH.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/debian-sources.sh"  # private_apt, debian_suites, update_indices
die() { echo "debian-sysroot.sh: $*" >&2; exit 1; }
[ $# -eq 3 ] || [ $# -eq 4 ] || die "usage: debian-sysroot.sh DIR ARCH SUITE [sdl|wine]"
arch=$2 suite=$3 set=${4:-sdl}
mkdir -p "$1"
case $set in
  sdl) dir="$(cd "$1" && pwd)/sysroot-$arch"
    # The libraries the game and its tests link, with their run-time needs,
    # and the C++ runtime the cross compiler's programs use.
    runtime=(libsdl2-2.0-0 libsdl2-image-2.0-0 libsdl2-mixer-2.0-0 libstdc++6 libgcc-s1 libc6)
    headers=(libsdl2-dev libsdl2-image-dev libsdl2-mixer-dev)
    # From trixie on, the CMake packages of SDL2_image and SDL2_mixer look for
    # the packages of the libraries they use before they say they are found.
    [ "$suite" = bookworm ] ||
      headers+=(libpng-dev zlib1g-dev libjpeg62-turbo-dev libtiff-dev libwebp-dev
                libxmp-dev libvorbis-dev libogg-dev libflac-dev libmpg123-dev libopusfile-dev
                libopus-dev) ;;
  # Wine's loader and its Windows and Unix libraries; ALSA's, which writes
  # the tests' sound to a file, comes with them.
  wine) dir="$(cd "$1" && pwd)/sysroot-$arch-wine"
    runtime=(wine32)
    headers=() ;;
  *) die "no set of packages '$set' (sdl or wine)" ;;
esac

# The packages a sysroot holds, and the script that unpacked them.
list=$(echo "$arch $suite ${runtime[*]} / ${headers[*]}" | sha256sum | cut -c1-16)
key=$( { cat "${BASH_SOURCE[0]}" "$here/debian-sources.sh"; echo "$list"; } |
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
# Without an index, the same packages unpacked by an earlier script serve.
same_list() { [ -f "$root/.zephrin-sysroot-list" ] && [ "$(cat "$root/.zephrin-sysroot-list")" = "$list" ]; }
as_it_stands() {
  same_list || die "$1"
  echo "debian-sysroot.sh: $1; the $arch sysroot made from $(cut -d' ' -f1 "$root/suites.txt" | tr '\n' ' ')stays as it stands" >&2
  echo "$root"
  exit 0
}
apt_dir="$dir/apt"
rm -rf "$apt_dir"
mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" \
         "$apt_dir/state"
: > "$apt_dir/status"
sources="$apt_dir/sources.list.d/debian.sources"
debian_suites "$sources" deb "$arch" "$suite" "$suite-updates" "$suite-security" ||
  die "cannot tell where Debian's packages come from"

# apt for ARCH alone, with no package installed, downloading only.
target_apt() {
  private_apt "$apt_dir" -o APT::Architecture="$arch" -o APT::Architectures::="$arch" \
    -o Dir::State="$apt_dir/state" -o Dir::State::status="$apt_dir/status" \
    -o Dir::Cache::archives="$apt_dir/cache/archives" -o Debug::NoLocking=true "$@"
}
suites=$(update_indices "the $arch packages" "$sources" target_apt) ||
  as_it_stands "apt-get update for $arch ($suite) failed"
target_apt install --download-only --no-install-recommends -y -qq "${runtime[@]}" >&2 ||
  as_it_stands "the $arch packages ${runtime[*]} could not be fetched"
[ ${#headers[@]} -eq 0 ] || (cd "$apt_dir/cache/archives" && target_apt download -qq "${headers[@]}") >&2 ||
  as_it_stands "the $arch packages ${headers[*]} could not be fetched"

rm -rf "$root" "$dir/dpkg"
mkdir -p "$root"
admin="$dir/dpkg"
mkdir -p "$admin/info" "$admin/updates"
echo 1 > "$admin/info/format"  # file names of Multi-Arch: same packages carry their processor
: > "$admin/status"
: > "$root/packages.txt"
for deb in "$apt_dir"/cache/archives/*.deb; do
  name=$(dpkg-deb -f "$deb" Package)
  printf '%s %s %s\n' "$name" "$(dpkg-deb -f "$deb" Version)" "$(basename "$deb")" >> "$root/packages.txt"
  [ "$(dpkg-deb -f "$deb" Multi-Arch)" != same ] || name="$name:$(dpkg-deb -f "$deb" Architecture)"
  # Unpacked and listed in one pass over the package's files.
  dpkg-deb -X "$deb" "$root" | sed "s|^\./|$root/|; s|/\$||" > "$admin/info/$name.list"
  rm -rf "$dir/control"
  dpkg-deb -e "$deb" "$dir/control"
  for file in shlibs symbols; do
    [ ! -f "$dir/control/$file" ] || mv "$dir/control/$file" "$admin/info/$name.$file"
  done
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
# What installing Wine's packages does beyond unpacking them: libwine's
# maintainer script makes Wine's own zlib DLLs of the MinGW ones, and the
# loader's cache lists where the sysroot's libraries are, which Wine opens
# by name (FreeType) and which would otherwise be looked up in the
# machine's own cache.
configure_wine() {
  local mingw wine_arch dll
  for mingw in i686 x86_64; do
    wine_arch=$mingw
    [ "$mingw" != i686 ] || wine_arch=i386
    for dll in "$root/usr/$mingw-w64-mingw32/lib"/zlib*.dll; do
      { head -c 64 "$dll"; printf 'Wine builtin DLL'; head -c 16 /dev/zero; tail -c +97 "$dll"; } \
        > "$root/usr/lib/i386-linux-gnu/wine/$wine_arch-windows/$(basename "$dll")"
    done
  done
  sed -n "s|^/|$root/|p" "$root"/etc/ld.so.conf.d/*.conf > "$dir/ld.so.conf"
  ldconfig -X -f "$dir/ld.so.conf" -C "$root/etc/ld.so.cache"
}
[ "$set" != wine ] || configure_wine
rm -rf "$apt_dir/cache"
echo "$suites" > "$root/suites.txt"
echo "$list" > "$root/.zephrin-sysroot-list"
echo "$key" > "$stamp"
echo "$root"
