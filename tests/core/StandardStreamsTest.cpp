// StandardStreams: a process started with some of descriptors 0, 1 and 2
// closed has /dev/null on exactly those afterwards, its open ones untouched,
// and the next file it opens takes a number above them; a device that can't
// be opened is refused with a message. Each case runs in a child process,
// which closes its descriptors and reports back in its exit status.
#include "core/StandardStreams.h"

#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

constexpr int kStandardCount = 3;
// Bits of the child's exit status, one per way the case failed.
constexpr int kReturnedFalse = 1 << 3;
constexpr int kNextFileTooLow = 1 << 4;
constexpr int kForkFailed = 1 << 7;

struct Identity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const Identity& other) const {
        return device == other.device && inode == other.inode;
    }
};

bool IdentityOf(int fd, Identity* identity) {
    struct stat info {};
    if (fstat(fd, &info) != 0)
        return false;
    *identity = Identity{info.st_dev, info.st_ino};
    return true;
}

// In a child: the descriptors of closed (bit n for descriptor n) closed, the
// function called, then each descriptor checked. Bit n of the status: fd n is
// not what it should be (/dev/null where it was closed, as it was otherwise).
int RunInChild(unsigned closed) {
    pid_t child = fork();
    if (child == -1)
        return kForkFailed;
    if (child == 0) {
        Identity before[kStandardCount], null;
        for (int fd = 0; fd < kStandardCount; ++fd)
            IdentityOf(fd, &before[fd]);
        if (!IdentityOf(open(kNullDevice, O_RDONLY), &null))
            _exit(kForkFailed);
        for (int fd = 0; fd < kStandardCount; ++fd)
            if (closed & (1u << fd))
                close(fd);
        int status = OpenClosedStandardStreams("test") ? 0 : kReturnedFalse;
        for (int fd = 0; fd < kStandardCount; ++fd) {
            Identity now;
            bool expected =
                IdentityOf(fd, &now) && now == ((closed & (1u << fd)) ? null : before[fd]);
            status |= expected ? 0 : 1 << fd;
        }
        status |= open(kNullDevice, O_RDONLY) > STDERR_FILENO ? 0 : kNextFileTooLow;
        _exit(status);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : kForkFailed;
}

struct RefusedRun {
    bool returned = true;
    std::string stderrText;
};

// In a child whose standard error is a pipe: descriptor 1 closed, then the
// function given device.
RefusedRun RunWithDevice(const char* device) {
    RefusedRun run;
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return run;
    pid_t child = fork();
    if (child == 0) {
        dup2(pipeFds[1], STDERR_FILENO);
        close(pipeFds[0]);
        close(pipeFds[1]);
        close(STDOUT_FILENO);
        _exit(OpenClosedStandardStreams("test", device) ? 0 : kReturnedFalse);
    }
    close(pipeFds[1]);
    char buffer[512];
    ssize_t n = 0;
    while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0)
        run.stderrText.append(buffer, size_t(n));
    close(pipeFds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    run.returned = !(WIFEXITED(status) && WEXITSTATUS(status) == kReturnedFalse);
    return run;
}

} // namespace

TEST(StandardStreams, EachClosedDescriptorGetsTheNullDeviceAndTheOpenOnesAreKept) {
    // Every combination: none, each one alone, pairs, all three.
    for (unsigned closed = 0; closed < (1u << kStandardCount); ++closed)
        EXPECT_EQ(RunInChild(closed), 0) << "closed descriptors (bits): " << closed;
}

TEST(StandardStreams, ADeviceThatCannotBeOpenedIsRefusedWithItsReason) {
    const struct {
        const char* device;
        const char* reason;
    } cases[] = {
        {"/nonexistent/null", "No such file or directory"},
        {"/", "Is a directory"},
    };
    for (const auto& c : cases) {
        RefusedRun run = RunWithDevice(c.device);
        EXPECT_FALSE(run.returned) << c.device;
        EXPECT_EQ(run.stderrText, std::string("test: standard descriptor 1 is closed and \"") +
                                      c.device + "\" can't be opened onto it: " + c.reason + "\n");
    }
}
