# Cross toolchain: Linux on 64-bit ARM (Debian's arm64: the Raspberry Pi 3
# to 5 with a 64-bit system, ARM laptops and servers), run here under
# qemu-aarch64-static.
#   cmake --preset linux-arm64
set(ZEPHRIN_DEBIAN_ARCH arm64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-common.cmake)
