# Cross toolchain: Linux on 32-bit ARM with hardware floating point (Debian's
# armhf, ARMv7: a Raspberry Pi 2 or later with a 32-bit system), run here
# under qemu-arm-static.
#   cmake --preset linux-armhf
set(ZEPHRIN_LINUX_TRIPLE arm-linux-gnueabihf)
set(ZEPHRIN_MULTIARCH arm-linux-gnueabihf)
set(ZEPHRIN_DEBIAN_ARCH armhf)
set(ZEPHRIN_DEBIAN_SUITE bookworm)
set(ZEPHRIN_QEMU qemu-arm-static)
set(CMAKE_SYSTEM_PROCESSOR armv7l)
include(${CMAKE_CURRENT_LIST_DIR}/linux-common.cmake)
