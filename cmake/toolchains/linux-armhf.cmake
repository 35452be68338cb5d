# Cross toolchain: Linux on 32-bit ARM with hardware floating point (Debian's
# armhf, ARMv7: a Raspberry Pi 2 or later with a 32-bit system), run here
# under qemu-arm-static.
#   cmake --preset linux-armhf
set(ZEPHRIN_DEBIAN_ARCH armhf)
include(${CMAKE_CURRENT_LIST_DIR}/linux-common.cmake)
