# Cross toolchain: Linux on 64-bit POWER, little-endian (Debian's ppc64el),
# run here under qemu-ppc64le-static.
#   cmake --preset linux-ppc64el
set(ZEPHRIN_LINUX_TRIPLE powerpc64le-linux-gnu)
set(ZEPHRIN_MULTIARCH powerpc64le-linux-gnu)
set(ZEPHRIN_DEBIAN_ARCH ppc64el)
set(ZEPHRIN_DEBIAN_SUITE bookworm)
set(ZEPHRIN_QEMU qemu-ppc64le-static)
set(CMAKE_SYSTEM_PROCESSOR ppc64le)
include(${CMAKE_CURRENT_LIST_DIR}/linux-common.cmake)
