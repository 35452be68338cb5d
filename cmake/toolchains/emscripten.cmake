# Cross toolchain: the web, WebAssembly through Debian's emscripten (emcc).
#   cmake -S . -B build/web -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/emscripten.cmake \
#         -DZEPHRIN_DEPS_PREFIX=<prefix with SDL2, SDL2_image, SDL2_mixer>
#
# Builds need NODE_PATH=/usr/share/nodejs: emcc's JavaScript optimizer imports
# Debian's node modules, which a node from elsewhere does not look in. They
# go much faster with EMSDK_PYTHON=/usr/bin/python3 when python3 on the PATH
# is a wrapper script (each emcc run is a Python program).
#
# Debian's emscripten works from a frozen, prebuilt cache: EM_CACHE must stay
# unset. That cache holds a stand-in SDL2 package that pulls emscripten's own
# SDL port; the prefix below comes first in the find root path, so ours wins.

if(NOT ZEPHRIN_DEPS_PREFIX AND DEFINED ENV{ZEPHRIN_DEPS_PREFIX})
  set(ZEPHRIN_DEPS_PREFIX "$ENV{ZEPHRIN_DEPS_PREFIX}")
endif()

# Every configure check is a small CMake project that reads this file again.
# Emscripten's platform file asks emcc for its versions each time, unless
# they are known: two extra emcc runs per check, minutes over SDL's checks.
if(NOT EMSCRIPTEN_VERSION)
  execute_process(COMMAND emcc -v ERROR_VARIABLE emcc_banner OUTPUT_QUIET RESULT_VARIABLE emcc_status)
  if(NOT emcc_status EQUAL 0)
    message(FATAL_ERROR "emcc -v failed: is emscripten installed?")
  endif()
  string(REGEX MATCH "clang version ([0-9.]+)" _ "${emcc_banner}")
  set(CMAKE_C_COMPILER_VERSION "${CMAKE_MATCH_1}")
  set(CMAKE_CXX_COMPILER_VERSION "${CMAKE_MATCH_1}")
  string(REGEX MATCH "emcc \\([^)]*\\) ([0-9.]+)" _ "${emcc_banner}")
  set(EMSCRIPTEN_VERSION "${CMAKE_MATCH_1}")
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES
     EMSCRIPTEN_VERSION CMAKE_C_COMPILER_VERSION CMAKE_CXX_COMPILER_VERSION ZEPHRIN_DEPS_PREFIX)

# Checks that run what they build (type sizes) run it under node; see the script.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/emscripten-node" CACHE FILEPATH
    "Runs programs built by emcc")

# emcc is a link to a wrapper in emscripten's own directory.
if(NOT EMSCRIPTEN_ROOT_PATH)
  find_program(ZEPHRIN_EMCC emcc REQUIRED)
  get_filename_component(emcc_real "${ZEPHRIN_EMCC}" REALPATH)
  get_filename_component(EMSCRIPTEN_ROOT_PATH "${emcc_real}" DIRECTORY)
endif()
include("${EMSCRIPTEN_ROOT_PATH}/cmake/Modules/Platform/Emscripten.cmake")

if(ZEPHRIN_DEPS_PREFIX)
  list(PREPEND CMAKE_FIND_ROOT_PATH "${ZEPHRIN_DEPS_PREFIX}")
endif()
