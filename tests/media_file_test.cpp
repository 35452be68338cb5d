// Opening a media file once and reading it through that opening: a player's
// odd files must not freeze the game, whatever stands where a picture or a
// sound should be.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/media_file.h"

namespace {

namespace fs = std::filesystem;

class MediaFileTest : public ::testing::Test {
protected:
    MediaFileTest() {
        std::string pattern = (fs::temp_directory_path() / "zephrin-media-XXXXXX").string();
        dir_ = mkdtemp(pattern.data());
        std::ofstream(path("regular.png"), std::ios::binary) << "0123456789";
    }
    ~MediaFileTest() override {
        fs::remove_all(dir_);
    }
    std::string path(const std::string& name) const {
        return (dir_ / name).string();
    }

    fs::path dir_;
};

// Runs `step` in a child process that an alarm kills after two seconds; the
// child's exit status, or -1 when it was still waiting then.
int exitStatusWithin2Seconds(const std::function<int()>& step) {
    const pid_t pid = fork();
    if (pid == 0) {
        alarm(2);
        _exit(step());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct KindCase {
    const char* name;
    std::function<void(const std::string& dir, const std::string& at)> make;
    const char* expected;  // nullptr: any reason will do, but one must be given
};

TEST_F(MediaFileTest, OnlyRegularFilesAndLinksToThemMayBeOpened) {
    const std::vector<KindCase> cases = {
        {"a regular file",
         [](const std::string&, const std::string& at) { std::ofstream(at) << "PNG"; }, ""},
        {"a link to a regular file",
         [](const std::string& dir, const std::string& at) {
             fs::create_symlink(dir + "/regular.png", at);
         },
         ""},
        {"a named pipe",
         [](const std::string&, const std::string& at) { mkfifo(at.c_str(), 0600); },
         "a named pipe, not a regular file"},
        {"a link to a named pipe",
         [](const std::string& dir, const std::string& at) {
             mkfifo((dir + "/pipe").c_str(), 0600);
             fs::create_symlink(dir + "/pipe", at);
         },
         "a named pipe, not a regular file"},
        {"a directory", [](const std::string&, const std::string& at) { fs::create_directory(at); },
         "a directory, not a regular file"},
        {"a character device",
         [](const std::string&, const std::string& at) { fs::create_symlink("/dev/null", at); },
         "a character device, not a regular file"},
        {"a socket",
         [](const std::string&, const std::string& at) {
             sockaddr_un address{};
             address.sun_family = AF_UNIX;
             at.copy(address.sun_path, sizeof address.sun_path - 1);
             const int s = socket(AF_UNIX, SOCK_STREAM, 0);
             bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address);
             close(s);
         },
         "a socket, not a regular file"},
        {"nothing", [](const std::string&, const std::string&) {}, nullptr},
        {"a dangling link",
         [](const std::string& dir, const std::string& at) {
             fs::create_symlink(dir + "/gone", at);
         },
         nullptr},
        {"a link to itself",
         [](const std::string&, const std::string& at) { fs::create_symlink(at, at); }, nullptr},
    };
    int n = 0;
    for (const KindCase& c : cases) {
        const std::string at = path("case" + std::to_string(n++));
        c.make(dir_.string(), at);
        std::string why;
        std::optional<::MediaFile> file = openMediaFile(at.c_str(), why);
        if (file) {
            closeMediaFile(*file);
        }
        EXPECT_EQ(file.has_value(), why.empty()) << c.name;
        if (c.expected != nullptr) {
            EXPECT_EQ(why, c.expected) << c.name;
        } else {
            EXPECT_FALSE(why.empty()) << c.name << " gave no reason";
        }
    }
}

TEST_F(MediaFileTest, OpeningANamedPipeNeverWaits) {
    const std::string pipe = path("pipe");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_EQ(exitStatusWithin2Seconds([&] {
                  std::string why;
                  return openMediaFile(pipe.c_str(), why) ? 1 : 0;
              }),
              0);
}

TEST_F(MediaFileTest, ReadsNoMoreThanAskedAndNoMoreThanThereIs) {
    std::string why;
    std::optional<::MediaFile> file = openMediaFile(path("regular.png").c_str(), why);
    ASSERT_TRUE(file.has_value()) << why;
    EXPECT_EQ(file->size, 10u);
    unsigned char buffer[16] = {};
    EXPECT_EQ(readMediaFile(*file, 0, buffer, 4), 4u);
    EXPECT_EQ(std::string(buffer, buffer + 5), std::string("0123\0", 5));
    EXPECT_EQ(readerOf(*file)(6, buffer, sizeof buffer), 4u);
    EXPECT_EQ(std::string(buffer, buffer + 4), "6789");
    EXPECT_EQ(readMediaFile(*file, 10, buffer, sizeof buffer), 0u);
    // What the file held when it was opened is what is read, whatever now
    // stands at its path.
    fs::remove(path("regular.png"));
    mkfifo(path("regular.png").c_str(), 0600);
    EXPECT_EQ(readMediaFile(*file, 0, buffer, sizeof buffer), 10u);
    closeMediaFile(*file);
}

}  // namespace
