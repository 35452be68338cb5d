# The .exe's icon and version information: a resource compiled by windres.
# The icon is the bird, drawn at the sizes Windows uses by the same tool that
# draws the Linux icons (packaging/make-icon.cpp). That tool runs on the
# machine that builds: cmake/CrossBuild.cmake builds one for it.
enable_language(RC)
set(ZEPHRIN_WINDOWS_ICON "${PROJECT_BINARY_DIR}/zephrin.ico")
add_custom_command(
  OUTPUT "${ZEPHRIN_WINDOWS_ICON}"
  COMMAND "${ZEPHRIN_MAKE_ICON}" "${PROJECT_SOURCE_DIR}/Images/Bird.png" "${ZEPHRIN_WINDOWS_ICON}"
          16 24 32 48 64 256
  DEPENDS "${PROJECT_SOURCE_DIR}/Images/Bird.png" "${ZEPHRIN_MAKE_ICON}"
  COMMENT "Drawing the Windows icon"
  VERBATIM)

string(TOLOWER "${PROJECT_DESCRIPTION}" PROJECT_DESCRIPTION_LOWER)
configure_file("${PROJECT_SOURCE_DIR}/packaging/windows/zephrin.rc.in"
               "${PROJECT_BINARY_DIR}/zephrin.rc" @ONLY)
set_source_files_properties("${PROJECT_BINARY_DIR}/zephrin.rc" PROPERTIES
                            OBJECT_DEPENDS "${ZEPHRIN_WINDOWS_ICON}")
target_sources(zephrin PRIVATE "${PROJECT_BINARY_DIR}/zephrin.rc")
