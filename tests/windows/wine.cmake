# The Windows builds' tests run under Wine, each program in this build's own
# Wine instance (tools/windows/wine.sh: prefix, HOME and an X server under
# <build>/wine), which the test wine_start starts and wine_stop ends: the
# fixture "wine". One Wine program at a time: they share its server and
# desktop.
string(REGEX REPLACE "-.*" "" ZEPHRIN_WINE_ARCH "${ZEPHRIN_MINGW_TRIPLE}")
set(ZEPHRIN_WINE "${PROJECT_SOURCE_DIR}/tools/windows/wine.sh" ${ZEPHRIN_WINE_ARCH}
    "${PROJECT_BINARY_DIR}")
if(ZEPHRIN_WINE_ARCH STREQUAL "i686")
  # 32-bit Wine runs inside the qemu-i386 emulator here, many times slower,
  # from Debian's i386 packages unpacked beside the libraries for the other
  # targets (cmake/CrossBuild.cmake): the machine gets no foreign
  # architecture. Asked for at every configure, as the Linux sysroots are.
  execute_process(
    COMMAND "${PROJECT_SOURCE_DIR}/tools/deps/debian-sysroot.sh" "${zephrin_deps_cache}"
            i386 bookworm wine
    OUTPUT_VARIABLE ZEPHRIN_WINE_ROOT OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE zephrin_wine_root_status)
  if(NOT zephrin_wine_root_status EQUAL 0)
    message(FATAL_ERROR "unpacking Debian's 32-bit Wine failed")
  endif()
  list(PREPEND ZEPHRIN_WINE "${CMAKE_COMMAND}" -E env "ZEPHRIN_WINE_ROOT=${ZEPHRIN_WINE_ROOT}")
  set(ZEPHRIN_WINE_TIMEOUT 1800)
else()
  set(ZEPHRIN_WINE_TIMEOUT 600)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${ZEPHRIN_WINE})

function(zephrin_under_wine)
  set_tests_properties(${ARGN} PROPERTIES FIXTURES_REQUIRED wine RESOURCE_LOCK wine
                       TIMEOUT ${ZEPHRIN_WINE_TIMEOUT})
endfunction()
