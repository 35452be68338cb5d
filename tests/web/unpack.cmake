# The web zip ZIP unpacked into DIR, afresh: what the page tests serve.
if(NOT EXISTS "${ZIP}")
  message(FATAL_ERROR "no ${ZIP}: build the web preset first (cmake --build --preset web)")
endif()
file(REMOVE_RECURSE "${DIR}")
file(ARCHIVE_EXTRACT INPUT "${ZIP}" DESTINATION "${DIR}")
if(NOT EXISTS "${DIR}/index.html")
  message(FATAL_ERROR "${ZIP} holds no index.html")
endif()
