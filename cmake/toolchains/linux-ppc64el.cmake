# Cross toolchain: Linux on 64-bit POWER, little-endian (Debian's ppc64el),
# run here under qemu-ppc64le-static.
#   cmake --preset linux-ppc64el
set(ZEPHRIN_DEBIAN_ARCH ppc64el)
include(${CMAKE_CURRENT_LIST_DIR}/linux-common.cmake)
