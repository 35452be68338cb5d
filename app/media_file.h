// A media path is looked at before anything opens it: opening a named pipe
// waits for a writer that may never come, and opening a device may do
// anything at all, so only regular files (and links to them) are read.
#pragma once

#include <cstddef>
#include <string>

// Why the file at `path` is not opened as a medium: what stands there instead
// of a regular file ("a named pipe, not a regular file"), or why nothing can
// be found there ("No such file or directory"). Empty when it may be opened.
std::string whyNotARegularFile(const char* path);

// Reads up to `count` bytes from the start of the regular file at `path`
// without ever waiting on it; the number of bytes read, or -1 when it cannot
// be read or is no longer a regular file.
long readFileStart(const char* path, unsigned char* buffer, std::size_t count);
