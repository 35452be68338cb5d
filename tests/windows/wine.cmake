# The Windows builds' tests run under Wine, each program in this build's own
# Wine instance (tools/windows/wine.sh: prefix, HOME and an X server under
# <build>/wine), which the test wine_start starts and wine_stop ends: the
# fixture "wine". One Wine program at a time: they share its server and
# desktop.
string(REGEX REPLACE "-.*" "" ZEPHRIN_WINE_ARCH "${ZEPHRIN_MINGW_TRIPLE}")
set(ZEPHRIN_WINE "${PROJECT_SOURCE_DIR}/tools/windows/wine.sh" ${ZEPHRIN_WINE_ARCH}
    "${PROJECT_BINARY_DIR}")
set(CMAKE_CROSSCOMPILING_EMULATOR ${ZEPHRIN_WINE})
# 32-bit Wine runs inside the qemu-i386 emulator here, many times slower.
if(ZEPHRIN_WINE_ARCH STREQUAL "i686")
  set(ZEPHRIN_WINE_TIMEOUT 1800)
else()
  set(ZEPHRIN_WINE_TIMEOUT 600)
endif()

function(zephrin_under_wine)
  set_tests_properties(${ARGN} PROPERTIES FIXTURES_REQUIRED wine RESOURCE_LOCK wine
                       TIMEOUT ${ZEPHRIN_WINE_TIMEOUT})
endfunction()
