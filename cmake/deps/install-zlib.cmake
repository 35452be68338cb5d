# Installs zlib's static library and headers from its build tree BUILD and
# source tree SOURCE into PREFIX: zlib's own install needs the shared library
# too, which Debian's sources cannot build for Windows (they leave out its
# resource file), and which nothing of ours may link by accident.
file(GLOB libraries "${BUILD}/libzlibstatic.a" "${BUILD}/libz.a")
if(NOT libraries)
  message(FATAL_ERROR "no static zlib in ${BUILD}")
endif()
file(INSTALL ${libraries} DESTINATION "${PREFIX}/lib")
file(INSTALL "${SOURCE}/zlib.h" "${BUILD}/zconf.h" DESTINATION "${PREFIX}/include")
