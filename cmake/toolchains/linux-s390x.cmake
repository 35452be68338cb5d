# Cross toolchain: Linux on IBM Z (Debian's s390x), big-endian, run here under
# qemu-s390x-static.
#   cmake --preset linux-s390x
set(ZEPHRIN_LINUX_TRIPLE s390x-linux-gnu)
set(ZEPHRIN_MULTIARCH s390x-linux-gnu)
set(ZEPHRIN_DEBIAN_ARCH s390x)
set(ZEPHRIN_DEBIAN_SUITE bookworm)
set(ZEPHRIN_QEMU qemu-s390x-static)
set(CMAKE_SYSTEM_PROCESSOR s390x)
include(${CMAKE_CURRENT_LIST_DIR}/linux-common.cmake)
