// BoxSignals: SDL shows an X11 message box from a child process it forks and
// then waits for (retrying when a signal interrupts the wait), so the handler
// has to end that child as well as this process. It does so with
// async-signal-safe calls only: the kernel's list of this thread's children
// is read with open/read, each is killed, then the process leaves with _exit.
#include "demo/BoxSignals.h"

#include <csignal>
#include <cstdio>

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr int kCaughtSignals[] = {SIGINT, SIGTERM};
constexpr size_t kSignalCount = sizeof(kCaughtSignals) / sizeof(kCaughtSignals[0]);

// Prepared before the handlers are installed: nothing is formatted in them.
char gChildrenPath[64];
volatile std::sig_atomic_t gExitStatus = 1;
struct sigaction gPrevious[kSignalCount];

void KillChildren() {
    int fd = open(gChildrenPath, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    char text[256];
    ssize_t n = read(fd, text, sizeof(text));
    close(fd);
    pid_t pid = 0;
    for (ssize_t i = 0; i <= n; ++i) { // the end counts as a separator
        if (i < n && text[i] >= '0' && text[i] <= '9') {
            pid = pid * 10 + (text[i] - '0');
            continue;
        }
        if (pid > 0)
            kill(pid, SIGKILL); // the box's process holds nothing of ours to save
        pid = 0;
    }
}

void ExitNow(int) {
    KillChildren();
    _exit(gExitStatus);
}

} // namespace

ExitOnSignalWhileBlocked::ExitOnSignalWhileBlocked(int status) {
    // The children file is per thread: the box is forked by the thread that waits on it.
    std::snprintf(gChildrenPath, sizeof(gChildrenPath), "/proc/self/task/%ld/children",
                  long(syscall(SYS_gettid)));
    gExitStatus = status;
    struct sigaction action = {};
    action.sa_handler = ExitNow;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < kSignalCount; ++i)
        sigaction(kCaughtSignals[i], &action, &gPrevious[i]);
}

ExitOnSignalWhileBlocked::~ExitOnSignalWhileBlocked() {
    for (size_t i = 0; i < kSignalCount; ++i)
        sigaction(kCaughtSignals[i], &gPrevious[i], nullptr);
}
