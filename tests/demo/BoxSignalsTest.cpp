// BoxSignals: a signal while the process waits on a box shown from a child
// (as SDL shows one) ends the child as well as the process.
#include "demo/BoxSignals.h"

#include <cerrno>
#include <csignal>

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

// Every signal that ends the process ends its box too: a stop request with
// the given status, any other as itself, and SIGKILL (which nothing catches)
// through the kernel, since the box asked to die with its parent.
TEST(BoxSignals, AnySignalThatEndsTheWaitingProcessEndsItsBoxToo) {
    // Orphans come to this process, so the box's end can be waited for.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    struct Case {
        int sig;
        bool exitsWithStatus; // else it dies of the signal
    };
    const Case table[] = {{SIGINT, true},   {SIGTERM, true},  {SIGHUP, false}, {SIGQUIT, false},
                          {SIGUSR1, false}, {SIGPIPE, false}, {SIGKILL, false}};
    for (const Case& c : table) {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        pid_t waiter = fork(), box = 0;
        if (waiter == 0) { // waits on its box as SDL does, retrying when interrupted
            signal(SIGQUIT, SIG_DFL);
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
        kill(waiter, c.sig);
        int status = 0;
        ASSERT_EQ(waitpid(waiter, &status, 0), waiter);
        if (c.exitsWithStatus)
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 7) << "signal " << c.sig;
        else
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.sig) << "signal " << c.sig;
        // Killed, or (when the signal beat the box's request to die with its
        // parent) gone of itself on seeing the parent already dead; left
        // alone it would end with status 0 a minute later.
        ASSERT_EQ(waitpid(box, &status, 0), box);
        EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "the box is ended too, signal " << c.sig;
        close(fds[0]);
        close(fds[1]);
    }
}
