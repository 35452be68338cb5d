# Cross toolchain: Linux on 64-bit ARM (Debian's arm64: the Raspberry Pi 3
# to 5 with a 64-bit system, ARM laptops and servers), run here under
# qemu-aarch64-static.
#   cmake --preset linux-arm64
set(ZEPHRIN_LINUX_TRIPLE aarch64-linux-gnu)
set(ZEPHRIN_MULTIARCH aarch64-linux-gnu)
set(ZEPHRIN_DEBIAN_ARCH arm64)
set(ZEPHRIN_DEBIAN_SUITE bookworm)
set(ZEPHRIN_QEMU qemu-aarch64-static)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-common.cmake)
