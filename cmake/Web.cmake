# The web build (the emscripten toolchain): a folder that any web server can
# host, made in the build directory:
#   index.html       the page (app/web/index.html)
#   zephrin.js       the program's loader, and zephrin.wasm, the program
#   zephrin.data     Images/ and Sounds/, at the paths the game opens them by,
#   zephrin.data.js  with the loader that puts them in place before main()
#   first-frame.jpg  the picture a new game shows first, shown while loading
#   manifest.webmanifest, icon-*.png   what installing the page as an app takes
#   sw.js            the service worker that keeps all of it for offline play
# The media are packed apart from the program so that the tests can stage
# their own. The icons and the first picture are drawn by programs of ours
# built for the machine that builds (cmake/CrossBuild.cmake).

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
  "-sEXPORTED_RUNTIME_METHODS=['addRunDependency','removeRunDependency','FS_createPath','FS_createDataFile','FS_createPreloadedFile','callMain']"
  # The page loads everything first and starts main() when the player does.
  -sINVOKE_RUN=0
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

# The bird on transparency, and on the sky's colour (47a9e0, the top of the
# background) with room around it for launchers that cut icons to a circle
# or a rounded square.
set(web_icons)
foreach(size 192 512)
  add_custom_command(
    OUTPUT icon-${size}.png icon-maskable-${size}.png
    COMMAND "${ZEPHRIN_MAKE_ICON}" "${PROJECT_SOURCE_DIR}/Images/Bird.png" ${size} icon-${size}.png
    COMMAND "${ZEPHRIN_MAKE_ICON}" "${PROJECT_SOURCE_DIR}/Images/Bird.png" ${size}
            icon-maskable-${size}.png 47a9e0 60
    DEPENDS "${PROJECT_SOURCE_DIR}/Images/Bird.png" "${ZEPHRIN_MAKE_ICON}"
    COMMENT "Drawing the ${size}-pixel app icons"
    VERBATIM)
  list(APPEND web_icons icon-${size}.png icon-maskable-${size}.png)
endforeach()
add_custom_command(
  OUTPUT first-frame.jpg
  COMMAND "${ZEPHRIN_FIRST_FRAME}" "${CMAKE_CURRENT_BINARY_DIR}/first-frame.jpg"
  WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
  DEPENDS ${media_files} "${ZEPHRIN_FIRST_FRAME}"
  COMMENT "Drawing the first picture of a game"
  VERBATIM)
configure_file(app/web/manifest.webmanifest manifest.webmanifest COPYONLY)

# The service worker names its cache after the files it keeps, so that any
# change to them makes a new worker, which replaces the old cache whole.
set(web_made index.html zephrin.data zephrin.data.js first-frame.jpg manifest.webmanifest
    ${web_icons})
set(web_cached zephrin.js zephrin.wasm ${web_made})
list(TRANSFORM web_made PREPEND "${CMAKE_CURRENT_BINARY_DIR}/")
string(REPLACE ";" "," web_cached "${web_cached}")
add_custom_command(
  OUTPUT sw.js
  COMMAND "${CMAKE_COMMAND}" -DTEMPLATE=${PROJECT_SOURCE_DIR}/app/web/sw.js
          -DVERSION=${ZEPHRIN_VERSION} "-DFILES=${web_cached}"
          -P "${PROJECT_SOURCE_DIR}/cmake/web-service-worker.cmake"
  WORKING_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}"
  DEPENDS zephrin ${web_made} "${PROJECT_SOURCE_DIR}/app/web/sw.js"
          "${PROJECT_SOURCE_DIR}/cmake/web-service-worker.cmake"
  COMMENT "Writing the service worker"
  VERBATIM)
add_custom_target(zephrin_web_page ALL DEPENDS sw.js)

# The zip, zephrin-<version>-web.zip in the build directory: the folder above
# with a .gz and a .br copy of each file that compresses, the game's licence,
# a README and the licences of everything the page runs, the same to the byte
# for the same commit. gzip, brotli and the licences are shell's work
# (tools/web/stage.sh); the folder is packed afresh by every build, since
# its entries carry the last commit's time, which no file here tells.
string(LENGTH "Zephrin ${ZEPHRIN_VERSION} for the web" web_title_length)
string(REPEAT "=" ${web_title_length} web_title_rule)
configure_file(tools/web/README.txt.in README.txt @ONLY)
set(web_packed ${web_made} sw.js README.txt)
list(TRANSFORM web_packed PREPEND "${CMAKE_CURRENT_BINARY_DIR}/" REGEX "^[^/]")
set(web_emscripten_copyright /usr/share/doc/emscripten/copyright)
add_custom_command(
  OUTPUT package.stamp
  COMMAND "${PROJECT_SOURCE_DIR}/tools/web/stage.sh" package "${ZEPHRIN_DEPS_PREFIX}"
          "${web_emscripten_copyright}" zephrin.js zephrin.wasm ${web_packed}
  COMMAND "${CMAKE_COMMAND}" -E touch package.stamp
  WORKING_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}"
  DEPENDS zephrin ${web_packed} "${PROJECT_SOURCE_DIR}/LICENSE"
          "${ZEPHRIN_DEPS_PREFIX}/sources.txt" "${web_emscripten_copyright}"
          "${PROJECT_SOURCE_DIR}/tools/web/stage.sh" "${PROJECT_SOURCE_DIR}/tools/lib.sh"
  COMMENT "Compressing the web files and gathering their licences"
  VERBATIM)
set(ZEPHRIN_WEB_ZIP "${PROJECT_BINARY_DIR}/zephrin-${ZEPHRIN_VERSION}-web.zip")
add_custom_target(zephrin_web_zip ALL
  COMMAND "${PROJECT_SOURCE_DIR}/tools/reproducible-zip.sh" "${ZEPHRIN_WEB_ZIP}" package
  WORKING_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}"
  DEPENDS package.stamp
  BYPRODUCTS "${ZEPHRIN_WEB_ZIP}"
  COMMENT "Packing zephrin-${ZEPHRIN_VERSION}-web.zip"
  VERBATIM)
