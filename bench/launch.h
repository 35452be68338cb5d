// Starting a program with first_frame_shim preloaded and reading its answer.
#pragma once

#include <string>

namespace bench {

// CLOCK_MONOTONIC in nanoseconds, the clock the shim reports in.
long long monotonicNs();

// Starts `program` (with `argument` unless null) in the current directory
// with the shim at `shimPath` preloaded in `shimMode` (see
// first_frame_shim.cpp); waits for its one-number answer, at most a minute,
// then ends it. Returns the answer, or -1 when none came; *started is the
// clock just before the program was started.
long long runUnderShim(const std::string& program, const char* argument,
                       const std::string& shimPath, const std::string& shimMode,
                       long long* started);

}  // namespace bench
