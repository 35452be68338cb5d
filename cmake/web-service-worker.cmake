# Writes sw.js (in the working directory) from TEMPLATE: the list of FILES
# it keeps (separated by commas), and a cache name made of VERSION and a
# digest of those files.
string(REPLACE "," ";" FILES "${FILES}")
set(digests "")
foreach(file ${FILES})
  file(SHA256 "${file}" digest)
  string(APPEND digests "${digest} ${file}\n")
endforeach()
string(SHA256 digest "${digests}")
string(SUBSTRING "${digest}" 0 12 digest)
list(TRANSFORM FILES PREPEND "'")
list(TRANSFORM FILES APPEND "'")
list(JOIN FILES ", " list)
file(READ "${TEMPLATE}" worker)
string(REPLACE "@CACHE_NAME@" "zephrin-${VERSION}-${digest}" worker "${worker}")
string(REPLACE "@CACHED_FILES@" "${list}" worker "${worker}")
file(WRITE sw.js "${worker}")
