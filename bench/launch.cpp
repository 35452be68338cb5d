#include "bench/launch.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>

namespace bench {

namespace {

constexpr int kTimeoutMs = 60000;

}  // namespace

long long monotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

long long runUnderShim(const std::string& program, const char* argument,
                       const std::string& shimPath, const std::string& shimMode,
                       long long* started) {
    int fds[2];
    if (pipe(fds) != 0) {
        return -1;
    }
    *started = monotonicNs();
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        setenv("LD_PRELOAD", shimPath.c_str(), 1);
        setenv("ZEPHRIN_SHIM_MODE", shimMode.c_str(), 1);
        setenv("ZEPHRIN_SHIM_FD", std::to_string(fds[1]).c_str(), 1);
        execl(program.c_str(), program.c_str(), argument, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string reply;
    pollfd wait{fds[0], POLLIN, 0};
    char buffer[64];
    while (poll(&wait, 1, kTimeoutMs) == 1) {
        const ssize_t got = read(fds[0], buffer, sizeof buffer);
        if (got <= 0) {
            break;
        }
        reply.append(buffer, static_cast<std::size_t>(got));
    }
    close(fds[0]);
    kill(child, SIGKILL);  // only if it is still there, e.g. after a timeout
    waitpid(child, nullptr, 0);
    return reply.empty() ? -1 : std::atoll(reply.c_str());
}

}  // namespace bench
