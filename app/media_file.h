// A media file is opened once, and everything the game learns of it, its
// checks and its decoding alike, is read through that one opening: a path
// looked up twice could lead to something else the second time. Opening a
// named pipe would wait for a writer that may never come, so nothing is
// waited on, and only a regular file (or a link to one) is read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "app/read_at.h"

struct MediaFile {
#ifdef _WIN32
    void* handle = nullptr;
#else
    int descriptor = -1;
#endif
    std::uint64_t size = 0;
};

// The regular file at `path`, opened for reading without ever waiting on it;
// nothing, with `why` set, when it cannot be opened or is not a regular file
// ("a named pipe, not a regular file", "No such file or directory").
std::optional<MediaFile> openMediaFile(const char* path, std::string& why);

// Reads up to `count` bytes at `offset`; the number read, fewer only at the
// end of the file or on a read error.
std::size_t readMediaFile(const MediaFile& file, std::uint64_t offset, unsigned char* buffer,
                          std::size_t count);

// A reader of the open file, for the checks; it must not outlive the file.
ReadAt readerOf(const MediaFile& file);

void closeMediaFile(MediaFile& file);
