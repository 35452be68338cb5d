# What a build for another system or processor (Windows, the web, Linux on
# arm64, armhf, i386, ppc64el, s390x or riscv64) takes from outside it:
#
# - The libraries it links (SDL2, SDL2_image, SDL2_mixer and what they use;
#   GoogleTest for the tests), built from Debian's sources by the one
#   superbuild in cmake/deps into a cache shared by every checkout and kept
#   outside it: $ZEPHRIN_DEPS_CACHE, else ~/.cache/zephrin/deps. The first
#   configure builds them (minutes); later ones find them there.
#   -DZEPHRIN_DEPS_PREFIX=<prefix> names a prefix built elsewhere instead.
#   A Linux build links Debian's own SDL packages for its processor instead,
#   unpacked into a sysroot in the same cache by tools/deps/debian-sysroot.sh
#   (-DZEPHRIN_SYSROOT=<root> names another), and runs its programs under
#   qemu with that root; only its GoogleTest comes from the superbuild.
# - Programs of ours that run here while it builds or is tested (the icon
#   and first-picture drawers, the replay, game and window tests):
#   the same sources built for this machine in <build>/host, as a step of the
#   build. ZEPHRIN_HOST_DIR names that directory for the rest of the build.
#
# Any other cross build, a distribution's (CMAKE_SYSTEM_NAME and a cross
# compiler, as Debian's dh_auto_configure gives them), links the libraries
# its compiler and find_package find, the system's own, and builds only the
# icon maker for this machine, with this machine's SDL2 and SDL2_image.

# The superbuild's name for this target and the arguments it is built with.
# Its GoogleTest is only for the Windows test suites.
if(EMSCRIPTEN)
  set(zephrin_deps_name web)
  set(zephrin_deps_args -DZEPHRIN_DEPS_GTEST=OFF)
elseif(WIN32 AND ZEPHRIN_MINGW_TRIPLE)
  string(REGEX REPLACE "-.*" "" zephrin_deps_arch "${ZEPHRIN_MINGW_TRIPLE}")
  set(zephrin_deps_name windows-${zephrin_deps_arch})
  set(zephrin_deps_args -DZEPHRIN_DEPS_GTEST=ON)
elseif(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND ZEPHRIN_DEBIAN_ARCH)
  set(zephrin_deps_name linux-${ZEPHRIN_DEBIAN_ARCH})
  set(zephrin_deps_args -DZEPHRIN_DEPS_SDL=OFF -DZEPHRIN_DEPS_GTEST=ON)
  if(NOT ZEPHRIN_BUILD_TESTS)
    set(zephrin_deps_name "")  # Debian's packages are all it links
  endif()
else()
  set(zephrin_deps_name "")
  set(zephrin_packagers_cross ON)
endif()

if(DEFINED ENV{ZEPHRIN_DEPS_CACHE})
  set(zephrin_deps_cache "$ENV{ZEPHRIN_DEPS_CACHE}")
elseif(DEFINED ENV{XDG_CACHE_HOME})
  set(zephrin_deps_cache "$ENV{XDG_CACHE_HOME}/zephrin/deps")
else()
  set(zephrin_deps_cache "$ENV{HOME}/.cache/zephrin/deps")
endif()
if(NOT ZEPHRIN_DEPS_PREFIX AND zephrin_deps_name)
  message(STATUS "Libraries for ${zephrin_deps_name}: ${zephrin_deps_cache} (built there the first time)")
  execute_process(
    COMMAND "${CMAKE_COMMAND}" -E env "ZEPHRIN_DEPS_CACHE=${zephrin_deps_cache}"
            "${PROJECT_SOURCE_DIR}/tools/deps/build.sh" ${zephrin_deps_name}
            "${CMAKE_TOOLCHAIN_FILE}" ${zephrin_deps_args}
    OUTPUT_VARIABLE zephrin_deps_prefix OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE zephrin_deps_status)
  if(NOT zephrin_deps_status EQUAL 0)
    message(FATAL_ERROR "building the libraries for ${zephrin_deps_name} failed")
  endif()
  set(ZEPHRIN_DEPS_PREFIX "${zephrin_deps_prefix}" CACHE PATH
      "Prefix of the libraries built for this target by cmake/deps" FORCE)
endif()
# The toolchain files add a prefix they were given before the project began;
# one found here is added now, ahead of the system's own packages.
if(ZEPHRIN_DEPS_PREFIX)
  list(PREPEND CMAKE_FIND_ROOT_PATH "${ZEPHRIN_DEPS_PREFIX}")
endif()

if(ZEPHRIN_DEBIAN_ARCH)
  # A root of ours is asked for again at every configure: the script answers
  # at once while it is current, and unpacks it anew after it has changed.
  if(NOT ZEPHRIN_SYSROOT OR ZEPHRIN_SYSROOT_UNPACKED)
    message(STATUS "Debian's ${ZEPHRIN_DEBIAN_ARCH} packages (${ZEPHRIN_DEBIAN_SUITE}): "
                   "${zephrin_deps_cache} (unpacked there the first time)")
    execute_process(
      COMMAND "${PROJECT_SOURCE_DIR}/tools/deps/debian-sysroot.sh" "${zephrin_deps_cache}"
              ${ZEPHRIN_DEBIAN_ARCH} ${ZEPHRIN_DEBIAN_SUITE}
      OUTPUT_VARIABLE zephrin_sysroot OUTPUT_STRIP_TRAILING_WHITESPACE
      RESULT_VARIABLE zephrin_sysroot_status)
    if(NOT zephrin_sysroot_status EQUAL 0)
      message(FATAL_ERROR "unpacking Debian's ${ZEPHRIN_DEBIAN_ARCH} packages failed")
    endif()
    set(ZEPHRIN_SYSROOT "${zephrin_sysroot}" CACHE PATH
        "Debian's ${ZEPHRIN_DEBIAN_ARCH} packages, unpacked (tools/deps/debian-sysroot.sh)" FORCE)
    set(ZEPHRIN_SYSROOT_UNPACKED ON CACHE INTERNAL "ZEPHRIN_SYSROOT is tools/deps' own")
  endif()
  list(APPEND CMAKE_FIND_ROOT_PATH "${ZEPHRIN_SYSROOT}")
  # The compiler looks for headers and libraries in its own directories;
  # the packages' go on the line of whatever links SDL (CMakeLists.txt).
  set(ZEPHRIN_SYSROOT_INCLUDE_DIRS "${ZEPHRIN_SYSROOT}/usr/include/${ZEPHRIN_MULTIARCH}")
  # What the libraries link in turn is found there too (PulseAudio keeps
  # its common library in a directory of its own).
  set(ZEPHRIN_SYSROOT_LIBRARY_DIRS "")
  foreach(dir usr/lib/${ZEPHRIN_MULTIARCH} lib/${ZEPHRIN_MULTIARCH}
          usr/lib/${ZEPHRIN_MULTIARCH}/pulseaudio)
    list(APPEND ZEPHRIN_SYSROOT_LIBRARY_DIRS "${ZEPHRIN_SYSROOT}/${dir}")
  endforeach()
  string(REPLACE ";" ":" zephrin_libdirs "${ZEPHRIN_SYSROOT_LIBRARY_DIRS}")
  set(ZEPHRIN_SYSROOT_LINK_OPTIONS "-Wl,-rpath-link,${zephrin_libdirs}")
  # The packages' dpkg database, beside the root, gives the .deb its
  # Depends (cmake/Packaging.cmake).
  get_filename_component(zephrin_sysroot_dir "${ZEPHRIN_SYSROOT}" DIRECTORY)
  set(ZEPHRIN_SYSROOT_DPKG "${zephrin_sysroot_dir}/dpkg")
  # Programs of the build run under the emulator, with the sysroot as the
  # root their dynamic linker and libraries are found in.
  find_program(ZEPHRIN_QEMU_PROGRAM ${ZEPHRIN_QEMU} REQUIRED)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${ZEPHRIN_QEMU_PROGRAM};-L;${ZEPHRIN_SYSROOT}")
endif()
if(EMSCRIPTEN)
  # Emscripten's prebuilt cache carries a stand-in SDL2 package of its own.
  set(SDL2_DIR "${ZEPHRIN_DEPS_PREFIX}/lib/cmake/SDL2" CACHE PATH "SDL2 built for the web" FORCE)
endif()

# The programs for this machine: the drawers always, and with a build's
# tests what they are checked against: for Windows the game, its replay and
# the window tests, for Linux on another processor and for the web the replay.
set(ZEPHRIN_HOST_DIR "${PROJECT_BINARY_DIR}/host")
set(ZEPHRIN_MAKE_ICON "${ZEPHRIN_HOST_DIR}/zephrin_make_icon")
set(ZEPHRIN_FIRST_FRAME "${ZEPHRIN_HOST_DIR}/zephrin_first_frame")
set(zephrin_host_targets zephrin_make_icon zephrin_first_frame)
set(zephrin_host_files "${ZEPHRIN_MAKE_ICON}" "${ZEPHRIN_FIRST_FRAME}")
set(zephrin_host_tests OFF)
if(zephrin_packagers_cross)
  set(zephrin_host_targets zephrin_make_icon)
  set(zephrin_host_files "${ZEPHRIN_MAKE_ICON}")
elseif(ZEPHRIN_BUILD_TESTS AND WIN32)
  set(zephrin_host_tests ON)
  list(APPEND zephrin_host_targets zephrin zephrin_replay e2e_test)
  list(APPEND zephrin_host_files "${ZEPHRIN_HOST_DIR}/zephrin"
       "${ZEPHRIN_HOST_DIR}/tests/zephrin_replay" "${ZEPHRIN_HOST_DIR}/tests/e2e/e2e_test")
elseif(ZEPHRIN_BUILD_TESTS AND (ZEPHRIN_DEBIAN_ARCH OR EMSCRIPTEN))
  set(zephrin_host_tests ON)
  list(APPEND zephrin_host_targets zephrin_replay)
  list(APPEND zephrin_host_files "${ZEPHRIN_HOST_DIR}/tests/zephrin_replay")
endif()
if(zephrin_packagers_cross)
  set(zephrin_host_args -DZEPHRIN_ICON_MAKER_ONLY=ON)
else()
  set(zephrin_host_args -DZEPHRIN_BUILD_TESTS=${zephrin_host_tests})
endif()
# The compiler and flags the environment names are the target's (a package
# build's CXX, CXXFLAGS and LDFLAGS): this machine's build takes its own.
include(ExternalProject)
ExternalProject_Add(zephrin_host
  SOURCE_DIR "${PROJECT_SOURCE_DIR}"
  BINARY_DIR "${ZEPHRIN_HOST_DIR}"
  CMAKE_COMMAND "${CMAKE_COMMAND}" -E env --unset=CC --unset=CXX --unset=CFLAGS --unset=CXXFLAGS
                --unset=CPPFLAGS --unset=LDFLAGS "${CMAKE_COMMAND}"
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DZEPHRIN_WERROR=${ZEPHRIN_WERROR} ${zephrin_host_args}
  BUILD_COMMAND "${CMAKE_COMMAND}" --build <BINARY_DIR> --target ${zephrin_host_targets}
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${zephrin_host_files}
  INSTALL_COMMAND "")
