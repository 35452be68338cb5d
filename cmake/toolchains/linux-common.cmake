# Shared part of the cross toolchains for Linux on other processors, with
# Debian's cross compilers (g++-<triple>). Included by linux-<arch>.cmake
# after it sets ZEPHRIN_DEBIAN_ARCH, Debian's name of the processor; this
# file knows the rest of each:
#
#   ZEPHRIN_LINUX_TRIPLE   the compiler's prefix (aarch64-linux-gnu, ...)
#   ZEPHRIN_MULTIARCH      Debian's directory for the processor's libraries
#   ZEPHRIN_DEBIAN_SUITE   the Debian release its SDL packages come from
#   ZEPHRIN_QEMU           the emulator that runs its programs here
#   CMAKE_SYSTEM_PROCESSOR
#
# The target's SDL2, SDL2_image and SDL2_mixer are Debian's own packages
# for that processor, unpacked with everything they need at run time into a
# sysroot named by ZEPHRIN_SYSROOT (a cache variable or an environment
# variable of that name; cmake/CrossBuild.cmake makes one when unset).

#          Debian   compiler               multiarch             qemu     processor
set(zephrin_linux_targets
  "arm64   aarch64-linux-gnu      aarch64-linux-gnu     aarch64  aarch64"
  "armhf   arm-linux-gnueabihf    arm-linux-gnueabihf   arm      armv7l"
  "i386    i686-linux-gnu         i386-linux-gnu        i386     i686"
  "ppc64el powerpc64le-linux-gnu  powerpc64le-linux-gnu ppc64le  ppc64le"
  "s390x   s390x-linux-gnu        s390x-linux-gnu       s390x    s390x"
  "riscv64 riscv64-linux-gnu      riscv64-linux-gnu     riscv64  riscv64")
foreach(zephrin_row IN LISTS zephrin_linux_targets)
  string(REGEX MATCHALL "[^ ]+" zephrin_fields "${zephrin_row}")
  list(GET zephrin_fields 0 zephrin_arch)
  if(zephrin_arch STREQUAL ZEPHRIN_DEBIAN_ARCH)
    list(GET zephrin_fields 1 ZEPHRIN_LINUX_TRIPLE)
    list(GET zephrin_fields 2 ZEPHRIN_MULTIARCH)
    list(GET zephrin_fields 3 zephrin_qemu)
    set(ZEPHRIN_QEMU qemu-${zephrin_qemu}-static)
    list(GET zephrin_fields 4 CMAKE_SYSTEM_PROCESSOR)
  endif()
endforeach()
if(NOT ZEPHRIN_LINUX_TRIPLE)
  message(FATAL_ERROR "no Linux cross toolchain for '${ZEPHRIN_DEBIAN_ARCH}'")
endif()
set(ZEPHRIN_DEBIAN_SUITE bookworm)
if(ZEPHRIN_DEBIAN_ARCH STREQUAL "riscv64")
  # A Debian release architecture from Debian 13 on: its SDL packages are
  # trixie's. They are newer than the cross compiler's C library, so the
  # libraries may use symbols that only the target's own C library has,
  # which it has at run time.
  set(ZEPHRIN_DEBIAN_SUITE trixie)
  string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " -Wl,--allow-shlib-undefined")
endif()

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
