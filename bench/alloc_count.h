// Counts heap allocations at the malloc level, so that operator new, SDL_malloc
// and every library's own malloc calls are all seen. Linking alloc_count.cpp
// into an executable replaces malloc, calloc, realloc and the aligned
// allocators with counting forwarders to glibc's own (Linux only).
#pragma once

#include <cstdint>

namespace bench {

// Allocations made so far by the calling thread; the difference of two
// readings is what the code between them allocated.
std::uint64_t allocationsSoFar();

}  // namespace bench
