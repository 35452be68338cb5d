#include "app/media_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

const char* describe(unsigned mode) {
    if (S_ISDIR(mode)) {
        return "a directory";
    }
    if (S_ISCHR(mode)) {
        return "a character device";
    }
#ifndef _WIN32
    if (S_ISFIFO(mode)) {
        return "a named pipe";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    if (S_ISBLK(mode)) {
        return "a block device";
    }
#endif
    return "not a file";
}

}  // namespace

std::string whyNotARegularFile(const char* path) {
    // stat() follows links and only asks the file system: nothing is opened.
    struct stat facts {};
    if (stat(path, &facts) != 0) {
        return std::strerror(errno);
    }
    if (S_ISREG(facts.st_mode)) {
        return {};
    }
    return std::string(describe(facts.st_mode)) + ", not a regular file";
}

#ifdef _WIN32
// Windows has no named pipes or devices among relative file names like the
// game's: the look at the path is all that is needed before a plain open.
std::FILE* openRegularFile(const char* path) {
    return std::fopen(path, "rb");
}
#else
std::FILE* openRegularFile(const char* path) {
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    struct stat facts {};
    std::FILE* file = nullptr;
    if (fstat(fd, &facts) == 0 && S_ISREG(facts.st_mode)) {
        file = fdopen(fd, "rb");
    }
    if (file == nullptr) {
        close(fd);
    }
    return file;
}
#endif

long readFileStart(const char* path, unsigned char* buffer, std::size_t count) {
    std::FILE* file = openRegularFile(path);
    if (file == nullptr) {
        return -1;
    }
    const std::size_t got = std::fread(buffer, 1, count, file);
    std::fclose(file);
    return static_cast<long>(got);
}

bool readRegularFile(const char* path,
                     const std::function<void(const ReadAt& read, std::uint64_t size)>& use) {
    std::FILE* file = openRegularFile(path);
    if (file == nullptr) {
        return false;
    }
    const long size = std::fseek(file, 0, SEEK_END) == 0 ? std::ftell(file) : -1;
    std::uint64_t position = 0;
    if (size < 0 || std::fseek(file, 0, SEEK_SET) != 0) {
        std::fclose(file);
        return false;
    }
    // The checks read in order from the start: seeking only past what they
    // skip keeps the file's own buffering.
    const ReadAt read = [&](std::uint64_t offset, unsigned char* buffer, std::size_t count) {
        if (offset >= static_cast<std::uint64_t>(size) ||
            (offset != position && std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0)) {
            return std::size_t{0};
        }
        const std::size_t got = std::fread(buffer, 1, count, file);
        position = offset + got;
        return got;
    };
    use(read, static_cast<std::uint64_t>(size));
    std::fclose(file);
    return true;
}
