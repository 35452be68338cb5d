# Shared part of the MinGW-w64 cross toolchains (Debian's g++-mingw-w64-*-posix).
# Included by mingw-i686.cmake and mingw-x86_64.cmake after they set
# ZEPHRIN_MINGW_TRIPLE and ZEPHRIN_MINGW_PROCESSOR.
#
# Libraries built for the target (cmake/deps: SDL2, SDL2_image, SDL2_mixer and
# what they use) are found in the prefix named by ZEPHRIN_DEPS_PREFIX (a cache
# variable or an environment variable of that name), which is added to the
# find root path.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 6.1)
set(CMAKE_SYSTEM_PROCESSOR ${ZEPHRIN_MINGW_PROCESSOR})

# The posix thread model: the win32 one has no std::thread / std::mutex.
set(CMAKE_C_COMPILER   ${ZEPHRIN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZEPHRIN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${ZEPHRIN_MINGW_TRIPLE}-windres)
set(CMAKE_AR           ${ZEPHRIN_MINGW_TRIPLE}-ar CACHE FILEPATH "Archiver")
set(CMAKE_RANLIB       ${ZEPHRIN_MINGW_TRIPLE}-ranlib CACHE FILEPATH "Ranlib")

if(NOT ZEPHRIN_DEPS_PREFIX AND DEFINED ENV{ZEPHRIN_DEPS_PREFIX})
  set(ZEPHRIN_DEPS_PREFIX "$ENV{ZEPHRIN_DEPS_PREFIX}")
endif()
# try_compile() projects re-read this file; hand the variable on to them.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ZEPHRIN_DEPS_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/${ZEPHRIN_MINGW_TRIPLE})
if(ZEPHRIN_DEPS_PREFIX)
  list(APPEND CMAKE_FIND_ROOT_PATH "${ZEPHRIN_DEPS_PREFIX}")
endif()

# No link time in the PE header: the same sources give the same program.
string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " -Wl,--no-insert-timestamp")

# Programs run on the build machine; headers, libraries and packages come
# from the target's roots only, never from the Linux system.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
