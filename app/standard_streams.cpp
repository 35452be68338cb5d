#include "app/standard_streams.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <initializer_list>
#endif

#ifdef _WIN32
// Windows hands a program without a console or redirection no standard
// handles at all, and output to them goes nowhere; the window system's
// connection is never a C descriptor that a later open could take over.
void openClosedStandardStreams() {}
#else
void openClosedStandardStreams() {
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) {
            continue;
        }
        // The lowest free descriptor: this one, since the lower ones are open.
        const int opened = open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd) {
            dup2(opened, fd);
            close(opened);
        }
    }
}
#endif
