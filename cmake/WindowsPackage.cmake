# The program as players get it: zephrin.exe stripped of its symbols (what
# the Windows checks look at), and for 32-bit x86 the zip it ships in,
# ${PROJECT_BINARY_DIR}/zephrin-<version>-windows-x86.zip. Both come out the
# same to the byte from the same commit (tools/windows/package.sh).
set(ZEPHRIN_STRIPPED_EXE "${PROJECT_BINARY_DIR}/stripped/zephrin.exe")
set(zephrin_package "${PROJECT_SOURCE_DIR}/tools/windows/package.sh")
add_custom_command(
  OUTPUT "${ZEPHRIN_STRIPPED_EXE}"
  COMMAND "${CMAKE_COMMAND}" -E make_directory "${PROJECT_BINARY_DIR}/stripped"
  COMMAND "${zephrin_package}" strip "${CMAKE_STRIP}" "$<TARGET_FILE:zephrin>"
          "${ZEPHRIN_STRIPPED_EXE}"
  DEPENDS zephrin "${zephrin_package}"
  COMMENT "Stripping zephrin.exe"
  VERBATIM)
add_custom_target(zephrin_stripped ALL DEPENDS "${ZEPHRIN_STRIPPED_EXE}")

if(ZEPHRIN_MINGW_TRIPLE MATCHES "^i686")
  set(ZEPHRIN_WINDOWS_ZIP "${PROJECT_BINARY_DIR}/zephrin-${ZEPHRIN_VERSION}-windows-x86.zip")
  file(GLOB_RECURSE zephrin_media CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/Images/*"
       "${PROJECT_SOURCE_DIR}/Sounds/*")
  add_custom_command(
    OUTPUT "${ZEPHRIN_WINDOWS_ZIP}"
    COMMAND "${zephrin_package}" zip "${ZEPHRIN_WINDOWS_ZIP}" "${ZEPHRIN_STRIPPED_EXE}"
            "${ZEPHRIN_DEPS_PREFIX}"
    DEPENDS "${ZEPHRIN_STRIPPED_EXE}" ${zephrin_media} "${PROJECT_SOURCE_DIR}/LICENSE"
            "${zephrin_package}" "${PROJECT_SOURCE_DIR}/tools/reproducible-zip.sh"
    COMMENT "Packing ${ZEPHRIN_WINDOWS_ZIP}"
    VERBATIM)
  add_custom_target(zephrin_zip ALL DEPENDS "${ZEPHRIN_WINDOWS_ZIP}")
endif()
