// BoxSignals: a signal while the process waits on a box shown from a child
// (as SDL shows one) ends the child and the process with the given status.
#include "demo/BoxSignals.h"

#include <cerrno>
#include <csignal>

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

TEST(BoxSignals, ASignalEndsTheWaitingProcessAndItsBoxWithTheStatus) {
    // Orphans come to this process, so the box's end can be waited for.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    for (int sig : {SIGINT, SIGTERM}) {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        pid_t waiter = fork(), box = 0;
        if (waiter == 0) { // waits on its box as SDL does, retrying when interrupted
            ExitOnSignalWhileBlocked guard(7);
            if ((box = fork()) == 0) {
                sleep(60); // a box nobody dismisses; left alone it ends normally
                _exit(0);
            }
            (void)!write(fds[1], &box, sizeof(box));
            while (waitpid(box, nullptr, 0) < 0 && errno == EINTR) {
            }
            _exit(0);
        }
        ASSERT_EQ(read(fds[0], &box, sizeof(box)), ssize_t(sizeof(box)));
        kill(waiter, sig);
        int status = 0;
        ASSERT_EQ(waitpid(waiter, &status, 0), waiter);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 7) << "signal " << sig;
        ASSERT_EQ(waitpid(box, &status, 0), box);
        EXPECT_TRUE(WIFSIGNALED(status)) << "the box is ended too";
        close(fds[0]);
        close(fds[1]);
    }
}
