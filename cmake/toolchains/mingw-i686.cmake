# Cross toolchain: Windows on 32-bit x86 (i686-w64-mingw32, posix threads).
#   cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-i686.cmake \
#         -DZEPHRIN_DEPS_PREFIX=<prefix of tools/deps/build.sh>
set(ZEPHRIN_MINGW_TRIPLE i686-w64-mingw32)
set(ZEPHRIN_MINGW_PROCESSOR x86)
# Floating point in SSE2 registers, not on the x87 stack: the x87 keeps
# 64-bit mantissas between steps, so the bird's double-precision motion
# would round differently from every other build (-40 x 0.4 is exactly -16
# in double, a hair more on the x87). Makes SSE2 the least CPU: every x86
# since 2003, and one that Windows 8 and later require anyway.
string(APPEND CMAKE_C_FLAGS_INIT " -msse2 -mfpmath=sse")
string(APPEND CMAKE_CXX_FLAGS_INIT " -msse2 -mfpmath=sse")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
