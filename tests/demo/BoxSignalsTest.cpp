// BoxSignals: a signal while the process waits on a message box shown from
// a child (as SDL shows one) ends the child and the process with the status.
#include "demo/BoxSignals.h"

#include <csignal>

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

constexpr int kStatus = 7;

// The process under test: forks a stand-in for the box, reports its pid,
// then waits for it the way SDL does, retrying when a signal interrupts.
[[noreturn]] void WaitOnABox(int report) {
    ExitOnSignalWhileBlocked guard(kStatus);
    pid_t box = fork();
    if (box == 0) {
        for (;;)
            pause();
    }
    (void)!write(report, &box, sizeof(box));
    int status = 0;
    while (waitpid(box, &status, 0) == -1 && errno == EINTR) {
    }
    _exit(0);
}

} // namespace

TEST(BoxSignals, ASignalEndsTheWaitingProcessAndItsBoxWithTheStatus) {
    // Orphans are handed to this process, so the box's end can be waited for.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    for (int sig : {SIGINT, SIGTERM}) {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        pid_t waiter = fork();
        if (waiter == 0)
            WaitOnABox(fds[1]);
        pid_t box = 0;
        ASSERT_EQ(read(fds[0], &box, sizeof(box)), ssize_t(sizeof(box)));
        close(fds[0]);
        close(fds[1]);
        kill(waiter, sig);
        int status = 0;
        ASSERT_EQ(waitpid(waiter, &status, 0), waiter);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == kStatus) << "signal " << sig;
        ASSERT_EQ(waitpid(box, &status, 0), box);
        EXPECT_TRUE(WIFSIGNALED(status)) << "the box is ended too";
    }
}
