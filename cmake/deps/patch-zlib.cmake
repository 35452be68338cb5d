# Readies a target's own copy of zlib's sources (SOURCE) for its CMake, where
# only the static library is built:
# - zlib's CMake lists win32/zlib1.rc, which Debian's sources leave out, among
#   the shared library's sources on every target but MinGW, and stops at the
#   missing file; an empty one lets it configure;
# - where there are no shared libraries (the web), the shared library becomes
#   a second static one, and both cannot be named libz.a; the static one keeps
#   the name.
file(MAKE_DIRECTORY "${SOURCE}/win32")
file(TOUCH "${SOURCE}/win32/zlib1.rc")
file(READ "${SOURCE}/CMakeLists.txt" lists)
string(REPLACE "set_target_properties(zlib zlibstatic PROPERTIES OUTPUT_NAME z)"
               "set_target_properties(zlibstatic PROPERTIES OUTPUT_NAME z)" lists "${lists}")
file(WRITE "${SOURCE}/CMakeLists.txt" "${lists}")
