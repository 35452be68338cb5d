#include "app/media_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#ifdef _WIN32

namespace {

std::string describeError(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return std::strerror(ENOENT);
        case ERROR_ACCESS_DENIED:
            return std::strerror(EACCES);
        default:
            return "Windows error " + std::to_string(error);
    }
}

}  // namespace

std::optional<MediaFile> openMediaFile(const char* path, std::string& why) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, path, -1, nullptr, 0);
    std::wstring widePath(length > 0 ? static_cast<std::size_t>(length) : 1, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, path, -1, widePath.data(), length);
    // A directory cannot be opened this way; a device or a pipe can, and is
    // told apart by its type below.
    HANDLE handle = CreateFileW(widePath.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        why = describeError(GetLastError());
        return std::nullopt;
    }
    LARGE_INTEGER size{};
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        why = "a device or a pipe, not a regular file";
    } else if (!GetFileSizeEx(handle, &size)) {
        why = describeError(GetLastError());
    } else {
        return MediaFile{handle, static_cast<std::uint64_t>(size.QuadPart)};
    }
    CloseHandle(handle);
    return std::nullopt;
}

namespace {

// Reads some of `count` bytes at `offset`: how many, 0 at the end of the
// file, or -1 on an error.
long long readSome(const MediaFile& file, std::uint64_t offset, unsigned char* buffer,
                   std::size_t count) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30));
    return ReadFile(file.handle, buffer, ask, &read, &at) ? read : -1;
}

}  // namespace

void closeMediaFile(MediaFile& file) {
    if (file.handle != nullptr) {
        CloseHandle(file.handle);
        file.handle = nullptr;
    }
}

#else

namespace {

const char* describe(mode_t mode) {
    if (S_ISDIR(mode)) {
        return "a directory";
    }
    if (S_ISCHR(mode)) {
        return "a character device";
    }
    if (S_ISFIFO(mode)) {
        return "a named pipe";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    if (S_ISBLK(mode)) {
        return "a block device";
    }
    return "not a file";
}

// Why nothing could be opened at `path`. A socket cannot be opened at all:
// the path is looked at again only to say so, never to open anything.
std::string whyNotOpened(const char* path, int error) {
    struct stat facts {};
    if (error == ENXIO && stat(path, &facts) == 0 && S_ISSOCK(facts.st_mode)) {
        return "a socket, not a regular file";
    }
    return std::strerror(error);
}

}  // namespace

std::optional<MediaFile> openMediaFile(const char* path, std::string& why) {
    // Without O_NONBLOCK, opening a named pipe waits for a writer.
    const int descriptor = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) {
        why = whyNotOpened(path, errno);
        return std::nullopt;
    }
    struct stat facts {};
    const int flags = fcntl(descriptor, F_GETFL);
    if (fstat(descriptor, &facts) != 0 || flags < 0) {
        why = std::strerror(errno);
    } else if (!S_ISREG(facts.st_mode)) {
        why = std::string(describe(facts.st_mode)) + ", not a regular file";
    } else if (fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        why = std::strerror(errno);
    } else {
        return MediaFile{descriptor, static_cast<std::uint64_t>(facts.st_size)};
    }
    close(descriptor);
    return std::nullopt;
}

namespace {

long long readSome(const MediaFile& file, std::uint64_t offset, unsigned char* buffer,
                   std::size_t count) {
    ssize_t read = 0;
    do {
        read = pread(file.descriptor, buffer, count, static_cast<off_t>(offset));
    } while (read < 0 && errno == EINTR);
    return read;
}

}  // namespace

void closeMediaFile(MediaFile& file) {
    if (file.descriptor >= 0) {
        close(file.descriptor);
        file.descriptor = -1;
    }
}

#endif

std::size_t readMediaFile(const MediaFile& file, std::uint64_t offset, unsigned char* buffer,
                          std::size_t count) {
    std::size_t got = 0;
    while (got < count && offset + got < file.size) {
        const long long read = readSome(file, offset + got, buffer + got, count - got);
        if (read <= 0) {
            break;
        }
        got += static_cast<std::size_t>(read);
    }
    return got;
}

ReadAt readerOf(const MediaFile& file) {
    return [&file](std::uint64_t offset, unsigned char* buffer, std::size_t count) {
        return readMediaFile(file, offset, buffer, count);
    };
}
