// How the media checks read a file: any part of it, by offset, so that they
// can be tried on bytes in memory as well as on a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

// Reads up to `count` bytes at `offset` into `buffer`; the number read, fewer
// only at the end of the file.
using ReadAt =
    std::function<std::size_t(std::uint64_t offset, unsigned char* buffer, std::size_t count)>;
