# Cross toolchain: Windows on 32-bit x86 (i686-w64-mingw32, posix threads).
#   cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-i686.cmake \
#         -DZEPHRIN_DEPS_PREFIX=<prefix of tools/deps/build.sh>
set(ZEPHRIN_MINGW_TRIPLE i686-w64-mingw32)
set(ZEPHRIN_MINGW_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
