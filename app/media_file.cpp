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
