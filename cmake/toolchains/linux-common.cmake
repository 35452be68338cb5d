# Shared part of the cross toolchains for Linux on other processors, with
# Debian's cross compilers (g++-<triple>). Included by linux-<arch>.cmake
# after they set:
#
#   ZEPHRIN_LINUX_TRIPLE   the compiler's prefix (aarch64-linux-gnu, ...)
#   ZEPHRIN_MULTIARCH      Debian's directory for the processor's libraries
#   ZEPHRIN_DEBIAN_ARCH    Debian's name of the processor (arm64, ...)
#   ZEPHRIN_DEBIAN_SUITE   the Debian release its SDL packages come from
#   ZEPHRIN_QEMU           the emulator that runs its programs here
#   CMAKE_SYSTEM_PROCESSOR
#
# The target's SDL2, SDL2_image and SDL2_mixer are Debian's own packages
# for that processor, unpacked with everything they need at run time into a
# sysroot named by ZEPHRIN_SYSROOT (a cache variable or an environment
# variable of that name; cmake/CrossBuild.cmake makes one when unset).

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${ZEPHRIN_LINUX_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${ZEPHRIN_LINUX_TRIPLE}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${ZEPHRIN_MULTIARCH})

foreach(variable ZEPHRIN_SYSROOT ZEPHRIN_DEPS_PREFIX)
  if(NOT ${variable} AND DEFINED ENV{${variable}})
    set(${variable} "$ENV{${variable}}")
  endif()
endforeach()
# try_compile() projects re-read this file; hand the variables on to them.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ZEPHRIN_SYSROOT ZEPHRIN_DEPS_PREFIX)

# The compiler's own C library and runtime, then Debian's packages.
set(CMAKE_FIND_ROOT_PATH /usr/${ZEPHRIN_LINUX_TRIPLE})
foreach(root ZEPHRIN_SYSROOT ZEPHRIN_DEPS_PREFIX)
  if(${root})
    list(APPEND CMAKE_FIND_ROOT_PATH "${${root}}")
  endif()
endforeach()

# Programs run on the build machine; headers, libraries and packages come
# from the target's roots only, never from this machine's own.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
