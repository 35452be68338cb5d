# Cross toolchain: Linux on 64-bit RISC-V (Debian's riscv64), run here under
# qemu-riscv64-static.
#   cmake --preset linux-riscv64
set(ZEPHRIN_DEBIAN_ARCH riscv64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-common.cmake)
