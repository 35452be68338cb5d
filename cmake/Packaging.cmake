# Installation as a desktop game, and the Debian package built from it.
#
# The game reads Images/ and Sounds/ from its working directory, so the binary
# stays off PATH and a launcher script on PATH starts it from the directory the
# assets are installed in. Files go where Debian puts them: the launcher and
# the data with the games', the program with those only another program
# starts (libexec, where lintian wants them rather than in lib); every path
# is relative to the install prefix and a cache variable of its own:
#
#   <prefix>/games/zephrin                     launcher      ZEPHRIN_INSTALL_GAMESDIR
#   <prefix>/libexec/zephrin/zephrin           the game      ZEPHRIN_INSTALL_GAMESLIBDIR
#   <prefix>/share/games/zephrin/{Images,Sounds}/            ZEPHRIN_INSTALL_GAMESDATADIR
#   <prefix>/share/applications, metainfo, icons/hicolor, man/man6, doc/zephrin

# zephrin_install_dir(VARIABLE DEFAULT DESCRIPTION): a cache path as
# GNUInstallDirs makes its own, so that a relative value stays relative
# whether it comes typed or not (-DVAR=libexec, as dh_auto_configure passes
# it, would otherwise become a path under the build directory).
function(zephrin_install_dir variable default description)
  if(NOT DEFINED ${variable})
    set(${variable} "${default}" CACHE PATH "${description}")
    return()
  endif()
  get_property(type CACHE ${variable} PROPERTY TYPE)
  if(type STREQUAL "UNINITIALIZED")
    file(TO_CMAKE_PATH "${${variable}}" value)
    set_property(CACHE ${variable} PROPERTY TYPE PATH)
    set_property(CACHE ${variable} PROPERTY VALUE "${value}")
    set_property(CACHE ${variable} PROPERTY HELPSTRING "${description}")
  endif()
endfunction()

zephrin_install_dir(CMAKE_INSTALL_DOCDIR "share/doc/zephrin" "Documentation (DATAROOTDIR/doc/zephrin)")
include(GNUInstallDirs)
zephrin_install_dir(ZEPHRIN_INSTALL_GAMESDIR "games" "The launcher, on PATH (games)")
zephrin_install_dir(ZEPHRIN_INSTALL_GAMESLIBDIR "libexec" "The game's program (libexec)")
zephrin_install_dir(ZEPHRIN_INSTALL_GAMESDATADIR "share/games" "The game's pictures and sounds (share/games)")
# ZEPHRIN_INSTALL_FULL_<dir>: the absolute path for this prefix; and, for
# what is written at install time, the same under the prefix of that install
# (cmake --install --prefix, or the package's /usr).
foreach(dir GAMESDIR GAMESLIBDIR GAMESDATADIR)
  if(IS_ABSOLUTE "${ZEPHRIN_INSTALL_${dir}}")
    set(ZEPHRIN_INSTALL_FULL_${dir} "${ZEPHRIN_INSTALL_${dir}}")
    set(zephrin_installed_${dir} "${ZEPHRIN_INSTALL_${dir}}")
  else()
    set(ZEPHRIN_INSTALL_FULL_${dir} "${CMAKE_INSTALL_PREFIX}/${ZEPHRIN_INSTALL_${dir}}")
    set(zephrin_installed_${dir} "\${CMAKE_INSTALL_PREFIX}/${ZEPHRIN_INSTALL_${dir}}")
  endif()
endforeach()

set(ZEPHRIN_APP_ID io.github.zephrin.Zephrin)
set(ZEPHRIN_HOMEPAGE_URL "https://github.com/zephrin/zephrin" CACHE STRING
    "Project home page, shown by software centres and in the package")
set(ZEPHRIN_SCREENSHOT_URL
    "https://raw.githubusercontent.com/zephrin/zephrin/v${PROJECT_VERSION}/docs/screenshot.png"
    CACHE STRING "Where software centres download the screenshot from")
# The release's date is the one the changelog gives this version.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             "${PROJECT_SOURCE_DIR}/CHANGELOG.md" "${PROJECT_SOURCE_DIR}/LICENSE")
file(STRINGS "${PROJECT_SOURCE_DIR}/CHANGELOG.md" zephrin_release_heading
     REGEX "^## \\[${PROJECT_VERSION}\\] - ")
if(NOT zephrin_release_heading MATCHES " - ([0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9])$")
  message(FATAL_ERROR "CHANGELOG.md has no dated entry for version ${PROJECT_VERSION}")
endif()
set(ZEPHRIN_RELEASE_DATE "${CMAKE_MATCH_1}")
set(ZEPHRIN_PACKAGE_CONTACT "The Zephrin developers <zephrin@users.noreply.github.com>" CACHE STRING
    "Maintainer of the Debian package")

set(zephrin_game_dir "${ZEPHRIN_INSTALL_GAMESLIBDIR}/zephrin")
set(zephrin_data_dir "${ZEPHRIN_INSTALL_GAMESDATADIR}/zephrin")
set(ZEPHRIN_LAUNCHER "${ZEPHRIN_INSTALL_FULL_GAMESDIR}/zephrin")
set(ZEPHRIN_GAME "${ZEPHRIN_INSTALL_FULL_GAMESLIBDIR}/zephrin/zephrin")
set(ZEPHRIN_DATA_DIR "${ZEPHRIN_INSTALL_FULL_GAMESDATADIR}/zephrin")
set(zephrin_staging "${PROJECT_BINARY_DIR}/packaging")

# --- the game, its assets and the launcher ---
install(TARGETS zephrin RUNTIME DESTINATION "${zephrin_game_dir}" COMPONENT game)
# A stripped install (the package's, or --strip) also drops the compilers'
# notes, which no program reads at run time.
install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
    \"\$ENV{DESTDIR}${zephrin_installed_GAMESLIBDIR}/zephrin/zephrin\" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR \"cannot strip the game's notes\")
  endif()
endif()" COMPONENT game)
install(DIRECTORY "${PROJECT_SOURCE_DIR}/Images" "${PROJECT_SOURCE_DIR}/Sounds"
        DESTINATION "${zephrin_data_dir}" COMPONENT game)

file(RELATIVE_PATH ZEPHRIN_DATA_FROM_BIN "${ZEPHRIN_INSTALL_FULL_GAMESDIR}" "${ZEPHRIN_DATA_DIR}")
file(RELATIVE_PATH ZEPHRIN_GAME_FROM_BIN "${ZEPHRIN_INSTALL_FULL_GAMESDIR}" "${ZEPHRIN_GAME}")
configure_file("${PROJECT_SOURCE_DIR}/packaging/zephrin.in" "${zephrin_staging}/zephrin" @ONLY)
install(PROGRAMS "${zephrin_staging}/zephrin" DESTINATION "${ZEPHRIN_INSTALL_GAMESDIR}" COMPONENT game)

# --- desktop integration ---
install(FILES "${PROJECT_SOURCE_DIR}/packaging/${ZEPHRIN_APP_ID}.desktop"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/applications" COMPONENT game)
configure_file("${PROJECT_SOURCE_DIR}/packaging/${ZEPHRIN_APP_ID}.metainfo.xml.in"
               "${zephrin_staging}/${ZEPHRIN_APP_ID}.metainfo.xml" @ONLY)
install(FILES "${zephrin_staging}/${ZEPHRIN_APP_ID}.metainfo.xml"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo" COMPONENT game)
install(FILES "${PROJECT_SOURCE_DIR}/README.md" DESTINATION "${CMAKE_INSTALL_DOCDIR}" COMPONENT game)
# CHANGELOG.md in Debian's form, compressed as Debian wants: at the highest
# level and without a time stamp, so that the same sources give the same bytes.
add_custom_command(
  OUTPUT "${zephrin_staging}/changelog.gz"
  COMMAND "${CMAKE_COMMAND}" -DCHANGELOG=${PROJECT_SOURCE_DIR}/CHANGELOG.md
          -DOUTPUT=${zephrin_staging}/changelog -DPACKAGE=zephrin
          "-DMAINTAINER=${ZEPHRIN_PACKAGE_CONTACT}"
          -P "${PROJECT_SOURCE_DIR}/packaging/debian-changelog.cmake"
  COMMAND gzip -n -9 -f "${zephrin_staging}/changelog"
  DEPENDS "${PROJECT_SOURCE_DIR}/CHANGELOG.md" "${PROJECT_SOURCE_DIR}/packaging/debian-changelog.cmake"
  COMMENT "Writing the changelog in Debian's form"
  VERBATIM)
add_custom_target(zephrin_changelog ALL DEPENDS "${zephrin_staging}/changelog.gz")
install(FILES "${zephrin_staging}/changelog.gz" DESTINATION "${CMAKE_INSTALL_DOCDIR}" COMPONENT game)
# The licence, as Debian's machine-readable copyright file: the Debian
# packaging's own, which must carry LICENSE word for word.
set(zephrin_copyright "${PROJECT_SOURCE_DIR}/packaging/debian/copyright")
file(READ "${PROJECT_SOURCE_DIR}/LICENSE" zephrin_license)
string(REGEX REPLACE "\n$" "" zephrin_license "${zephrin_license}")
string(REGEX REPLACE "\n\n" "\n.\n" zephrin_license "${zephrin_license}")
string(REGEX REPLACE "\n" "\n " zephrin_license " ${zephrin_license}")
file(READ "${zephrin_copyright}" zephrin_copyright_text)
string(FIND "${zephrin_copyright_text}" "License: Zlib\n${zephrin_license}\n" zephrin_at)
if(zephrin_at EQUAL -1)
  message(FATAL_ERROR "packaging/debian/copyright does not carry the licence of LICENSE as it stands")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${zephrin_copyright}")
install(FILES "${zephrin_copyright}" DESTINATION "${CMAKE_INSTALL_DOCDIR}" COMPONENT game)
install(FILES "${PROJECT_SOURCE_DIR}/docs/screenshot.png" DESTINATION "${CMAKE_INSTALL_DOCDIR}"
        COMPONENT game OPTIONAL)

# The icons are the bird, scaled at build time by a small tool of ours, built
# for this machine when the game is for another (cmake/CrossBuild.cmake).
if(CMAKE_CROSSCOMPILING)
  set(zephrin_icon_maker "${ZEPHRIN_MAKE_ICON}")
  set(zephrin_icon_maker_target zephrin_host)
else()
  add_executable(zephrin_make_icon packaging/make-icon.cpp)
  target_link_libraries(zephrin_make_icon PRIVATE zephrin_sdl zephrin_warnings)
  set(zephrin_icon_maker zephrin_make_icon)
  set(zephrin_icon_maker_target zephrin_make_icon)
endif()
set(zephrin_icons "")
foreach(size 48 64 128 256)
  set(icon "${zephrin_staging}/icons/${size}x${size}/${ZEPHRIN_APP_ID}.png")
  add_custom_command(
    OUTPUT "${icon}"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${zephrin_staging}/icons/${size}x${size}"
    COMMAND "${zephrin_icon_maker}" "${PROJECT_SOURCE_DIR}/Images/Bird.png" ${size} "${icon}"
    DEPENDS "${zephrin_icon_maker}" "${PROJECT_SOURCE_DIR}/Images/Bird.png"
    COMMENT "Drawing the ${size}x${size} icon"
    VERBATIM)
  list(APPEND zephrin_icons "${icon}")
  install(FILES "${icon}" DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps"
          COMPONENT game)
endforeach()
add_custom_target(zephrin_icons ALL DEPENDS ${zephrin_icons})
# Make's generators see a program of another target only through the target.
add_dependencies(zephrin_icons ${zephrin_icon_maker_target})

# --- the manual page, zephrin(6) ---
# It names the installed paths, so it is written when they are known: here
# for the build's own check, at install time for the prefix of the install.
set(zephrin_man_page "${PROJECT_SOURCE_DIR}/packaging/zephrin.6.in")
configure_file("${zephrin_man_page}" "${zephrin_staging}/zephrin.6" @ONLY)
install(CODE "set(ZEPHRIN_LAUNCHER \"${zephrin_installed_GAMESDIR}/zephrin\")
set(ZEPHRIN_GAME \"${zephrin_installed_GAMESLIBDIR}/zephrin/zephrin\")
set(ZEPHRIN_DATA_DIR \"${zephrin_installed_GAMESDATADIR}/zephrin\")
set(PROJECT_VERSION \"${PROJECT_VERSION}\")
set(ZEPHRIN_RELEASE_DATE \"${ZEPHRIN_RELEASE_DATE}\")
set(page \"${zephrin_staging}/installed/zephrin.6\")
configure_file(\"${zephrin_man_page}\" \"\${page}\" @ONLY)
execute_process(COMMAND gzip -n -9 -f \"\${page}\" RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR \"cannot compress the manual page\")
endif()
file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_MANDIR}/man6\" TYPE FILE
     FILES \"\${page}.gz\")" COMPONENT game)

# --- uninstall: what install_manifest.txt lists, then our emptied directories ---
set(ZEPHRIN_OWN_DIRS "\"${zephrin_game_dir}\" \"${zephrin_data_dir}\" \"${CMAKE_INSTALL_DOCDIR}\"")
configure_file("${PROJECT_SOURCE_DIR}/packaging/uninstall.cmake.in"
               "${zephrin_staging}/uninstall.cmake" @ONLY)
add_custom_target(uninstall COMMAND "${CMAKE_COMMAND}" -P "${zephrin_staging}/uninstall.cmake"
                  VERBATIM)

# --- the Debian package: `cpack -G DEB` in the build directory ---
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zephrin)
set(CPACK_PACKAGE_VENDOR "The Zephrin developers")
set(CPACK_PACKAGE_CONTACT "${ZEPHRIN_PACKAGE_CONTACT}")
# A synopsis is a phrase without an article.
string(REGEX REPLACE "^(A|An|The) " "" zephrin_synopsis "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${zephrin_synopsis}")
set(CPACK_PACKAGE_DESCRIPTION "\
A bird hangs at a fixed column and falls under gravity: press space to send
it up. Pairs of pipes scroll in from the right, and every pair that reaches
the bird scores a point. Touch a pipe and the picture freezes; press R to
start again.")
set(CPACK_PACKAGE_VERSION "${ZEPHRIN_VERSION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Only the game: whatever the tests or tools of this build may install stays out.
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};game;/")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${ZEPHRIN_HOMEPAGE_URL}")
# libsdl2-2.0-0, libsdl2-image-2.0-0, libsdl2-mixer-2.0-0 and the C/C++ runtime,
# with the versions the build was linked against (needs dpkg-dev).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(ZEPHRIN_DEBIAN_ARCH)
  # A package for another processor depends on what Debian's own packages
  # for it ask: dpkg-shlibdeps reads the libraries of the sysroot the game
  # was linked against, with that processor's objdump, and their packages'
  # shlibs and symbols files from the sysroot's dpkg database
  # (cmake/CrossBuild.cmake), never this machine's.
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE "${ZEPHRIN_DEBIAN_ARCH}")
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${ZEPHRIN_SYSROOT_LIBRARY_DIRS})
  file(CONFIGURE OUTPUT "${zephrin_staging}/cpack-cross.cmake" @ONLY CONTENT [[
set(ENV{DEB_HOST_ARCH} "@ZEPHRIN_DEBIAN_ARCH@")
set(ENV{DPKG_ADMINDIR} "@ZEPHRIN_SYSROOT_DPKG@")
]])
  set(CPACK_PROJECT_CONFIG_FILE "${zephrin_staging}/cpack-cross.cmake")
endif()
# The source package is tools/release.sh's: the commit's files as git has
# them, stamped with its time. CPack's would pack whatever lies in the
# source directory, with today's times, so its configuration goes where no
# package_source target is made from it.
set(CPACK_SOURCE_OUTPUT_CONFIG_FILE "${zephrin_staging}/CPackSourceConfig.cmake")
include(CPack)
