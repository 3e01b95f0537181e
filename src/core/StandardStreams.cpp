// StandardStreams: /dev/null onto each standard descriptor that is closed.
#include "core/StandardStreams.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kStandardDescriptors[] = {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO};

bool IsClosed(int fd) {
    return fcntl(fd, F_GETFD) == -1 && errno == EBADF;
}

// Opens the device onto fd, or the errno of the failure. The descriptor open
// returns is the lowest free one, which is fd itself when those below it are
// open; otherwise it is moved there. Left inheritable: the processes the
// program starts share its streams.
int OpenOnto(int fd, const char* device) {
    int opened = open(device, O_RDWR);
    if (opened == -1)
        return errno;
    if (opened == fd)
        return 0;
    int moved = dup2(opened, fd) == fd ? 0 : errno;
    close(opened);
    return moved;
}

} // namespace

bool OpenClosedStandardStreams(const char* program, const char* nullDevice) {
    for (int fd : kStandardDescriptors) {
        int failure = IsClosed(fd) ? OpenOnto(fd, nullDevice) : 0;
        if (failure == 0)
            continue;
        // Where standard error is the closed one, this goes nowhere.
        std::fprintf(stderr,
                     "%s: standard descriptor %d is closed and \"%s\" can't be opened "
                     "onto it: %s\n",
                     program, fd, nullDevice, std::strerror(failure));
        return false;
    }
    return true;
}
