# Cross toolchain: Windows on x86-64 (x86_64-w64-mingw32, posix threads).
#   cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-x86_64.cmake \
#         -DZEPHRIN_DEPS_PREFIX=<prefix of tools/deps/build.sh>
set(ZEPHRIN_MINGW_TRIPLE x86_64-w64-mingw32)
set(ZEPHRIN_MINGW_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
