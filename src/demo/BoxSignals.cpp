// BoxSignals: SDL shows an X11 message box from a child process it forks and
// then waits for (retrying when a signal interrupts the wait), so the handler
// has to end that child as well as this process. It does so with
// async-signal-safe calls only: the kernel's list of this thread's children
// is read with open/read, each is killed, then the process leaves with _exit
// (a stop request) or by the signal's own default action (any other).
// A signal nothing can catch (SIGKILL) still reaches the box: a child forked
// meanwhile asks the kernel to kill it when its parent dies.
#include "demo/BoxSignals.h"

#include <csignal>
#include <cstdio>

#include <fcntl.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// Every signal whose default action ends the process and that may be sent
// to it from outside (the faults a program raises on itself are left to it).
constexpr int kCaughtSignals[] = {SIGHUP,  SIGINT,  SIGQUIT, SIGTERM,   SIGPIPE, SIGALRM,
                                  SIGUSR1, SIGUSR2, SIGXCPU, SIGVTALRM, SIGPROF};
constexpr size_t kSignalCount = sizeof(kCaughtSignals) / sizeof(kCaughtSignals[0]);

// Prepared before the handlers are installed: nothing is formatted in them.
char gChildrenPath[64];
volatile std::sig_atomic_t gExitStatus = 1;
volatile std::sig_atomic_t gWatching = 0;
volatile pid_t gParent = 0;
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

void EndWithTheBox(int sig) {
    KillChildren();
    // A request to stop ends start-up as a failure, as dismissing the box would.
    if (sig == SIGINT || sig == SIGTERM)
        _exit(gExitStatus);
    struct sigaction fallback = {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(sig, &fallback, nullptr);
    raise(sig); // blocked inside the handler: acts as it returns
}

// In the child of a fork made while a box may be shown (the box itself).
void OnForkInChild() {
    if (!gWatching)
        return;
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != gParent) // the parent died before the request was made
        _exit(1);
}

} // namespace

ExitOnSignalWhileBlocked::ExitOnSignalWhileBlocked(int status) {
    static bool forkHookInstalled = false;
    if (!forkHookInstalled)
        forkHookInstalled = pthread_atfork(nullptr, nullptr, OnForkInChild) == 0;
    // The children file is per thread: the box is forked by the thread that waits on it.
    std::snprintf(gChildrenPath, sizeof(gChildrenPath), "/proc/self/task/%ld/children",
                  long(syscall(SYS_gettid)));
    gExitStatus = status;
    gParent = getpid();
    gWatching = 1;
    struct sigaction action = {};
    action.sa_handler = EndWithTheBox;
    sigfillset(&action.sa_mask); // one signal at a time
    for (size_t i = 0; i < kSignalCount; ++i) {
        // An ignored signal (a demo started under nohup, say) stays ignored.
        sigaction(kCaughtSignals[i], nullptr, &gPrevious[i]);
        if (gPrevious[i].sa_handler != SIG_IGN)
            sigaction(kCaughtSignals[i], &action, nullptr);
    }
}

ExitOnSignalWhileBlocked::~ExitOnSignalWhileBlocked() {
    for (size_t i = 0; i < kSignalCount; ++i)
        sigaction(kCaughtSignals[i], &gPrevious[i], nullptr);
    gWatching = 0;
}
