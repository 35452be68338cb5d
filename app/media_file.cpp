#include "app/media_file.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

const char* describe(std::filesystem::file_type type) {
    using std::filesystem::file_type;
    switch (type) {
        case file_type::directory:
            return "a directory";
        case file_type::fifo:
            return "a named pipe";
        case file_type::socket:
            return "a socket";
        case file_type::character:
            return "a character device";
        case file_type::block:
            return "a block device";
        default:
            return "not a file";
    }
}

}  // namespace

std::string whyNotARegularFile(const char* path) {
    // status() follows links and only asks the file system: nothing is opened.
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (error) {
        return error.message();
    }
    if (status.type() == std::filesystem::file_type::regular) {
        return {};
    }
    return std::string(describe(status.type())) + ", not a regular file";
}

#ifdef _WIN32
// Windows has no named pipes or devices among relative file names like the
// game's: the look above is all that is needed before a plain open.
long readFileStart(const char* path, unsigned char* buffer, std::size_t count) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return -1;
    }
    const std::size_t got = std::fread(buffer, 1, count, file);
    std::fclose(file);
    return static_cast<long>(got);
}
#else
// Opened without waiting, and looked at again once open, in case the file
// was replaced by something else since whyNotARegularFile saw it.
long readFileStart(const char* path, unsigned char* buffer, std::size_t count) {
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    struct stat facts {};
    long total = -1;
    if (fstat(fd, &facts) == 0 && S_ISREG(facts.st_mode)) {
        total = 0;
        while (static_cast<std::size_t>(total) < count) {
            const ssize_t got = read(fd, buffer + total, count - static_cast<std::size_t>(total));
            if (got <= 0) {
                break;
            }
            total += got;
        }
    }
    close(fd);
    return total;
}
#endif
