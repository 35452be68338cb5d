#include "bench/alloc_count.h"

#include <cerrno>
#include <cstddef>
#include <cstdlib>

// glibc's own allocator, under the names it exports for exactly this use.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* block);
}

namespace {

// Per thread, so an audio or X thread does not blur what the main thread does.
thread_local std::uint64_t tAllocations = 0;

}  // namespace

namespace bench {

std::uint64_t allocationsSoFar() {
    return tAllocations;
}

}  // namespace bench

extern "C" {

void* malloc(std::size_t size) noexcept {
    ++tAllocations;
    return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size) noexcept {
    ++tAllocations;
    return __libc_calloc(count, size);
}

void* realloc(void* block, std::size_t size) noexcept {
    ++tAllocations;
    return __libc_realloc(block, size);
}

void free(void* block) noexcept {
    __libc_free(block);
}

void* memalign(std::size_t alignment, std::size_t size) noexcept {
    ++tAllocations;
    return __libc_memalign(alignment, size);
}

void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept {
    ++tAllocations;
    return __libc_memalign(alignment, size);
}

int posix_memalign(void** result, std::size_t alignment, std::size_t size) noexcept {
    ++tAllocations;
    void* block = __libc_memalign(alignment, size);
    if (block == nullptr) {
        return ENOMEM;
    }
    *result = block;
    return 0;
}

}  // extern "C"
