# The web build (the emscripten toolchain): a folder that any web server can
# host, made in the build directory:
#   index.html       the page (app/web/index.html)
#   zephrin.js       the program's loader, and zephrin.wasm, the program
#   zephrin.data     Images/ and Sounds/, at the paths the game opens them by,
#   zephrin.data.js  with the loader that puts them in place before main()
# The media are packed apart from the program so that the tests can stage
# their own.

find_package(Python3 REQUIRED COMPONENTS Interpreter)

add_executable(zephrin app/web/main.cpp)
target_link_libraries(zephrin PRIVATE zephrin_core zephrin_warnings)
target_link_options(zephrin PRIVATE
  # SDL2 from our prefix, not emscripten's own port of it.
  -sUSE_SDL=0
  -sENVIRONMENT=web
  -sALLOW_MEMORY_GROWTH=1
  # The file system that zephrin.data.js fills before main(), with what it calls.
  -sFORCE_FILESYSTEM=1
  "-sEXPORTED_RUNTIME_METHODS=['addRunDependency','removeRunDependency','FS_createPath','FS_createDataFile','FS_createPreloadedFile']"
  # SDL 2.26's audio calls JavaScript helpers that this emscripten leaves
  # out unless asked; their names start with a $, which the build tools
  # would take for a variable, so the list is read from a file.
  "-sDEFAULT_LIBRARY_FUNCS_TO_INCLUDE=@${PROJECT_SOURCE_DIR}/app/web/sdl-js-functions.json")
set_property(TARGET zephrin APPEND PROPERTY LINK_DEPENDS
             "${PROJECT_SOURCE_DIR}/app/web/sdl-js-functions.json")

set(media_files)
foreach(dir Images Sounds)
  file(GLOB files CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/${dir}/*")
  list(APPEND media_files ${files})
endforeach()
# Run in the build directory with relative names, so that no path of this
# machine ends up in the loader, whose random package id is then replaced by
# one made from the data: the same media give the same bytes.
add_custom_command(
  OUTPUT zephrin.data zephrin.data.js
  COMMAND "${Python3_EXECUTABLE}" "${EMSCRIPTEN_ROOT_PATH}/tools/file_packager.py" zephrin.data
          --preload "${PROJECT_SOURCE_DIR}/Images@/Images" "${PROJECT_SOURCE_DIR}/Sounds@/Sounds"
          --js-output=zephrin.data.js
  COMMAND "${CMAKE_COMMAND}" -P "${PROJECT_SOURCE_DIR}/cmake/web-package-id.cmake"
  WORKING_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}"
  DEPENDS ${media_files}
  COMMENT "Packing Images/ and Sounds/ into zephrin.data")
# The page carries the version in its footer.
configure_file(app/web/index.html index.html @ONLY)
add_custom_target(zephrin_web_data ALL DEPENDS zephrin.data zephrin.data.js)
