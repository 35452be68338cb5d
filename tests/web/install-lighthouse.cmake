# Lighthouse VERSION from npm into DIR, once: it drives Debian's chromium.
if(EXISTS "${DIR}/node_modules/.bin/lighthouse")
  return()
endif()
find_program(npm npm)
if(NOT npm)
  message(FATAL_ERROR "installing lighthouse needs npm (Debian's package npm)")
endif()
file(MAKE_DIRECTORY "${DIR}")
execute_process(COMMAND "${npm}" install --prefix "${DIR}" --no-audit --no-fund --loglevel=error
                        "lighthouse@${VERSION}"
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "installing lighthouse ${VERSION} into ${DIR} failed")
endif()
