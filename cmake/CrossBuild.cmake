# What a build for another system (Windows, the web) takes from outside it:
#
# - The libraries it links (SDL2, SDL2_image, SDL2_mixer and what they use),
#   built from Debian's sources by the one superbuild in cmake/deps into a
#   cache shared by every checkout and kept outside it: $ZEPHRIN_DEPS_CACHE,
#   else ~/.cache/zephrin/deps. The first configure builds them (minutes);
#   later ones find them there. -DZEPHRIN_DEPS_PREFIX=<prefix> names a
#   prefix built elsewhere instead.
# - Programs of ours that run here while it builds or is tested (the icon
#   and first-picture drawers, the Linux replay, game and window tests):
#   the same sources built for this machine in <build>/host, as a step of the
#   build. ZEPHRIN_HOST_DIR names that directory for the rest of the build.

# The superbuild's name for this target and the arguments it is built with.
# Its GoogleTest is only for the Windows test suites.
if(EMSCRIPTEN)
  set(zephrin_deps_name web)
  set(zephrin_deps_args -DZEPHRIN_DEPS_GTEST=OFF)
elseif(WIN32 AND ZEPHRIN_MINGW_TRIPLE)
  string(REGEX REPLACE "-.*" "" zephrin_deps_arch "${ZEPHRIN_MINGW_TRIPLE}")
  set(zephrin_deps_name windows-${zephrin_deps_arch})
  set(zephrin_deps_args -DZEPHRIN_DEPS_GTEST=ON)
else()
  message(FATAL_ERROR "no libraries are built for ${CMAKE_SYSTEM_NAME}: use a toolchain of cmake/toolchains")
endif()

if(NOT ZEPHRIN_DEPS_PREFIX)
  if(DEFINED ENV{ZEPHRIN_DEPS_CACHE})
    set(zephrin_deps_cache "$ENV{ZEPHRIN_DEPS_CACHE}")
  elseif(DEFINED ENV{XDG_CACHE_HOME})
    set(zephrin_deps_cache "$ENV{XDG_CACHE_HOME}/zephrin/deps")
  else()
    set(zephrin_deps_cache "$ENV{HOME}/.cache/zephrin/deps")
  endif()
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
list(PREPEND CMAKE_FIND_ROOT_PATH "${ZEPHRIN_DEPS_PREFIX}")
if(EMSCRIPTEN)
  # Emscripten's prebuilt cache carries a stand-in SDL2 package of its own.
  set(SDL2_DIR "${ZEPHRIN_DEPS_PREFIX}/lib/cmake/SDL2" CACHE PATH "SDL2 built for the web" FORCE)
endif()

# The programs for this machine: the drawers always, and with the Windows
# tests the Linux builds they are checked against.
set(ZEPHRIN_HOST_DIR "${PROJECT_BINARY_DIR}/host")
set(ZEPHRIN_MAKE_ICON "${ZEPHRIN_HOST_DIR}/zephrin_make_icon")
set(ZEPHRIN_FIRST_FRAME "${ZEPHRIN_HOST_DIR}/zephrin_first_frame")
set(zephrin_host_targets zephrin_make_icon zephrin_first_frame)
set(zephrin_host_files "${ZEPHRIN_MAKE_ICON}" "${ZEPHRIN_FIRST_FRAME}")
set(zephrin_host_tests OFF)
if(ZEPHRIN_BUILD_TESTS AND WIN32)
  set(zephrin_host_tests ON)
  list(APPEND zephrin_host_targets zephrin zephrin_replay e2e_test)
  list(APPEND zephrin_host_files "${ZEPHRIN_HOST_DIR}/zephrin"
       "${ZEPHRIN_HOST_DIR}/tests/zephrin_replay" "${ZEPHRIN_HOST_DIR}/tests/e2e/e2e_test")
endif()
include(ExternalProject)
ExternalProject_Add(zephrin_host
  SOURCE_DIR "${PROJECT_SOURCE_DIR}"
  BINARY_DIR "${ZEPHRIN_HOST_DIR}"
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DZEPHRIN_WERROR=${ZEPHRIN_WERROR}
             -DZEPHRIN_BUILD_TESTS=${zephrin_host_tests}
  BUILD_COMMAND "${CMAKE_COMMAND}" --build <BINARY_DIR> --target ${zephrin_host_targets}
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${zephrin_host_files}
  INSTALL_COMMAND "")
