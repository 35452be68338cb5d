# Runs one fuzz target the way its CTest tests do (cmake -P, so that CTest
# needs no shell):
#   -DFUZZER=<binary> -DTARGET=<name> -DSOURCE_DIR=<repository> -DWORK=<dir>
#   -DMODE=replay   every saved input of tests/fuzz/corpus/<name> once
#   -DMODE=fixed    RUNS inputs grown from the saved ones and the game's own
#                   small media, from SEED: the same commit always tries the
#                   same inputs, so it passes or fails the same way each time
#                   (-DSECONDS=N stops it after N seconds instead, for
#                   tools/fuzz/explore.sh)
# A crash, a leak, a timeout or a runaway allocation fails it; the input is
# kept in WORK/findings and named in the message.
foreach(var FUZZER TARGET SOURCE_DIR WORK MODE)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "fuzz.cmake: -D${var}=... is missing")
  endif()
endforeach()

set(saved "${SOURCE_DIR}/tests/fuzz/corpus/${TARGET}")
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/findings")
if(MODE STREQUAL "replay")
  file(GLOB inputs "${saved}/*")
  set(arguments -runs=0 ${inputs})
elseif(MODE STREQUAL "fixed")
  # The corpus grows as it runs, so it starts as a copy: the saved inputs and
  # the game's media of the kind the target reads, where small enough to
  # mutate quickly.
  file(GLOB inputs "${saved}/*")
  string(REGEX MATCH "^(png|image|wav|mp3)" kind "${TARGET}")
  set(extension ${kind})
  if(kind MATCHES "png|image")
    set(extension png)
  endif()
  file(GLOB media "${SOURCE_DIR}/Images/*.${extension}" "${SOURCE_DIR}/Sounds/*.${extension}")
  foreach(file IN LISTS media)
    file(SIZE "${file}" size)
    if(size LESS 65536)
      list(APPEND inputs "${file}")
    endif()
  endforeach()
  file(COPY ${inputs} DESTINATION "${WORK}/corpus")
  # -reload=0: the corpus is read once, not whenever a timer says.
  set(arguments -seed=${SEED} -runs=${RUNS} -reload=0 -max_len=65536 "${WORK}/corpus")
  if(DEFINED SECONDS)
    list(APPEND arguments -max_total_time=${SECONDS})
  endif()
else()
  message(FATAL_ERROR "fuzz.cmake: MODE is replay or fixed, not '${MODE}'")
endif()

# Memory held past 2 GiB fails a run. No single allocation passes 256 MiB:
# SDL's WAV loader asks for whatever a header claims, up to 4 GiB, and must
# cope when refused, as on a 32-bit system. Every allocation's stack is
# unwound in full: the libraries keep no frame pointers, and a leak's stack
# must reach our code or a library's entry point to tell whose it is
# (library-leaks.supp names the library's own).
set(ENV{ASAN_OPTIONS}
    "detect_leaks=1:fast_unwind_on_malloc=0:allocator_may_return_null=1:max_allocation_size_mb=256")
set(ENV{LSAN_OPTIONS}
    "suppressions=${SOURCE_DIR}/tests/fuzz/library-leaks.supp:print_suppressions=0")
set(ENV{UBSAN_OPTIONS} "print_stacktrace=1")
execute_process(
  COMMAND "${FUZZER}" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
          "-artifact_prefix=${WORK}/findings/" ${arguments}
  RESULT_VARIABLE status
  OUTPUT_VARIABLE log
  ERROR_VARIABLE log)
file(WRITE "${WORK}/log.txt" "${log}")
file(GLOB findings "${WORK}/findings/*")
if(NOT status EQUAL 0 OR findings)
  string(REGEX MATCHALL "[^\n]*(ERROR|SUMMARY|runtime error|Test unit written)[^\n]*" summary "${log}")
  list(JOIN summary "\n" summary)
  message(FATAL_ERROR "${TARGET} found a fault (status ${status}); the input: ${findings}\n"
          "${summary}\nthe whole log: ${WORK}/log.txt\n"
          "replay it: ${FUZZER} <input>; once mended, add the input to ${saved}")
endif()
string(REGEX MATCH "stat::number_of_executed_units: *[0-9]+" runs "${log}")
string(REGEX MATCH "DONE +cov: [0-9]+ ft: [0-9]+ corp: [0-9]+" coverage "${log}")
set(how "every saved input")
if(MODE STREQUAL "fixed")
  set(how "from seed ${SEED}")
endif()
message("${TARGET}: ${how}, nothing found (${runs}; ${coverage})")
