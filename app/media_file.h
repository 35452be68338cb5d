// A media path is looked at before anything opens it: opening a named pipe
// waits for a writer that may never come, and opening a device may do
// anything at all, so only regular files (and links to them) are read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "app/read_at.h"

// Why the file at `path` is not opened as a medium: what stands there instead
// of a regular file ("a named pipe, not a regular file"), or why nothing can
// be found there ("No such file or directory"). Empty when it may be opened.
std::string whyNotARegularFile(const char* path);

// The regular file at `path`, opened for reading without ever waiting on it
// and looked at again once open, in case it was replaced by something else
// since whyNotARegularFile saw it; nullptr when it is not one.
std::FILE* openRegularFile(const char* path);

// Reads up to `count` bytes from the start of the regular file at `path`;
// the number of bytes read, or -1 when it cannot be read as one.
long readFileStart(const char* path, unsigned char* buffer, std::size_t count);

// Calls `use` with a reader of the regular file at `path` and the file's
// size; false, without calling it, when it cannot be opened as one.
bool readRegularFile(const char* path,
                     const std::function<void(const ReadAt& read, std::uint64_t size)>& use);
