# Cross toolchain: Linux on IBM Z (Debian's s390x), big-endian, run here under
# qemu-s390x-static.
#   cmake --preset linux-s390x
set(ZEPHRIN_DEBIAN_ARCH s390x)
include(${CMAKE_CURRENT_LIST_DIR}/linux-common.cmake)
