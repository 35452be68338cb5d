// A launcher may start the game with standard descriptors closed: each must
// be on the null device before anything else opens a file and takes its place.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "app/standard_streams.h"

namespace {

// The exit status of `step` run in a child, so this test's own descriptors
// stay as they are.
template <typename Step>
int inAChild(Step step) {
    const pid_t pid = fork();
    if (pid == 0) {
        _exit(step());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Where descriptor `fd` of this process leads, or "closed".
std::string target(int fd) {
    char link[PATH_MAX] = {};
    const std::string from = "/proc/self/fd/" + std::to_string(fd);
    return readlink(from.c_str(), link, sizeof link - 1) > 0 ? link : "closed";
}

TEST(StandardStreams, EachClosedOneIsOpenedOnTheNullDeviceAndTheOthersAreLeftAlone) {
    const std::vector<std::vector<int>> closedSets = {{0}, {1}, {2}, {1, 2}, {0, 1, 2}, {}};
    for (const std::vector<int>& closed : closedSets) {
        const int status = inAChild([&] {
            const int marker = open("/proc/self/exe", O_RDONLY);
            for (const int fd : {0, 1, 2}) {
                dup2(marker, fd);
            }
            close(marker);
            const std::string before = target(0);
            const int firstFree = open("/dev/null", O_RDONLY);  // past 0, 1 and 2
            close(firstFree);
            for (const int fd : closed) {
                close(fd);
            }
            openClosedStandardStreams();
            const int nextFree = open("/dev/null", O_RDONLY);
            int wrong = nextFree == firstFree ? 0 : 8;
            for (const int fd : {0, 1, 2}) {
                const bool wasClosed = std::find(closed.begin(), closed.end(), fd) != closed.end();
                const int mode = fcntl(fd, F_GETFL) & O_ACCMODE;
                const bool right =
                    wasClosed ? target(fd) == "/dev/null" && mode == (fd == 0 ? O_RDONLY : O_WRONLY)
                              : target(fd) == before;
                wrong |= right ? 0 : 1 << fd;
            }
            return wrong;
        });
        std::string which;
        for (const int fd : closed) {
            which += std::to_string(fd) + " ";
        }
        EXPECT_EQ(status, 0) << "closed: " << which
                             << "(bit 0-2: that descriptor is wrong, 8: a stray one is open)";
    }
}

}  // namespace
