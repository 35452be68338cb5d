# Cross toolchain: Linux on 64-bit RISC-V (Debian's riscv64), run here under
# qemu-riscv64-static.
#   cmake --preset linux-riscv64
set(ZEPHRIN_LINUX_TRIPLE riscv64-linux-gnu)
set(ZEPHRIN_MULTIARCH riscv64-linux-gnu)
set(ZEPHRIN_DEBIAN_ARCH riscv64)
# A Debian release architecture from Debian 13 on: its SDL packages are
# trixie's. They are newer than the cross compiler's C library, so libraries
# are allowed symbols that only the target's own C library has at run time.
set(ZEPHRIN_DEBIAN_SUITE trixie)
string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " -Wl,--allow-shlib-undefined")
set(ZEPHRIN_QEMU qemu-riscv64-static)
set(CMAKE_SYSTEM_PROCESSOR riscv64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-common.cmake)
