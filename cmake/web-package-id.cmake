# Gives zephrin.data.js (in the working directory), the loader that
# emscripten's file_packager writes for zephrin.data, a package id made from
# the data in place of the random one it draws each time.
file(SHA256 zephrin.data digest)
string(REGEX REPLACE "^(........)(....)(....)(....)(............).*$" "\\1-\\2-\\3-\\4-\\5"
       id "${digest}")
file(READ zephrin.data.js loader)
string(REGEX REPLACE "\"package_uuid\": \"[0-9a-f-]+\"" "\"package_uuid\": \"${id}\"" loader
       "${loader}")
if(NOT loader MATCHES "\"package_uuid\": \"${id}\"")
  message(FATAL_ERROR "no package id found in zephrin.data.js")
endif()
file(WRITE zephrin.data.js "${loader}")
