# Cross toolchain: Linux on 32-bit x86 (Debian's i386), run here under
# qemu-i386-static.
#   cmake --preset linux-i386
set(ZEPHRIN_DEBIAN_ARCH i386)
include(${CMAKE_CURRENT_LIST_DIR}/linux-common.cmake)
