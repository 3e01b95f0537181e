// StandardOutputRedirect: what was buffered is flushed to the old place
// before the switch and to the new one before the way back.
#include "support/StandardOutputRedirect.h"

#include <cstdio>

#include <unistd.h>

StandardOutputRedirect::StandardOutputRedirect(int fd) : mSaved(dup(STDOUT_FILENO)) {
    std::fflush(stdout);
    dup2(fd, STDOUT_FILENO);
}

StandardOutputRedirect::~StandardOutputRedirect() {
    std::fflush(stdout);
    dup2(mSaved, STDOUT_FILENO);
    close(mSaved);
}
