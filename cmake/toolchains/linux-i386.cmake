# Cross toolchain: Linux on 32-bit x86 (Debian's i386), run here under
# qemu-i386-static.
#   cmake --preset linux-i386
set(ZEPHRIN_LINUX_TRIPLE i686-linux-gnu)
set(ZEPHRIN_MULTIARCH i386-linux-gnu)
set(ZEPHRIN_DEBIAN_ARCH i386)
set(ZEPHRIN_DEBIAN_SUITE bookworm)
set(ZEPHRIN_QEMU qemu-i386-static)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/linux-common.cmake)
