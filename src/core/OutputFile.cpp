// OutputFile: a temporary file in the target's own folder (so the rename
// stays within one file system and is atomic), every write and the close
// checked, since a full disk often shows only when the data is flushed. The
// temporary name is short and fixed in form, whatever the target's name, so
// a legal long name never becomes an illegal one; a signal that ends the
// process while it exists removes it first.
#include "core/OutputFile.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// New files get the usual permissions, less the umask.
constexpr mode_t kFileMode = 0666;
constexpr mode_t kPermissionBits = 07777;
// Signals whose default action ends the process and that can be caught.
constexpr int kEndingSignals[] = {SIGHUP,  SIGINT,  SIGQUIT, SIGTERM, SIGPIPE,   SIGALRM,
                                  SIGUSR1, SIGUSR2, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF};
constexpr size_t kEndingSignalCount = sizeof(kEndingSignals) / sizeof(kEndingSignals[0]);

// The temporary file of the write in progress, for the signal handler
// (prepared before it is installed: the handler only unlinks).
char gTemporary[PATH_MAX];
volatile std::sig_atomic_t gHaveTemporary = 0;

void RemoveTemporaryAndEnd(int sig) {
    if (gHaveTemporary)
        unlink(gTemporary);
    // Then the signal's own default action, now that nothing is left behind.
    struct sigaction fallback = {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(sig, &fallback, nullptr);
    raise(sig); // blocked inside the handler; acts as soon as it returns
}

// While it lives, every ending signal that would kill the process outright
// removes the temporary file first. Signals the tool handles itself (a stop
// request it polls) or ignores are left alone: those let the write finish.
class TemporaryFileGuard {
public:
    explicit TemporaryFileGuard(const std::string& temporary) {
        if (temporary.size() >= sizeof(gTemporary))
            return; // too long for open() as well
        std::memcpy(gTemporary, temporary.c_str(), temporary.size() + 1);
        gHaveTemporary = 1;
        struct sigaction action = {};
        action.sa_handler = RemoveTemporaryAndEnd;
        sigfillset(&action.sa_mask);
        for (size_t i = 0; i < kEndingSignalCount; ++i) {
            struct sigaction current{};
            mInstalled[i] = sigaction(kEndingSignals[i], nullptr, &current) == 0 &&
                            current.sa_handler == SIG_DFL && !(current.sa_flags & SA_SIGINFO) &&
                            sigaction(kEndingSignals[i], &action, nullptr) == 0;
        }
    }
    ~TemporaryFileGuard() {
        struct sigaction fallback = {};
        fallback.sa_handler = SIG_DFL;
        sigemptyset(&fallback.sa_mask);
        for (size_t i = 0; i < kEndingSignalCount; ++i) {
            if (mInstalled[i])
                sigaction(kEndingSignals[i], &fallback, nullptr);
        }
        gHaveTemporary = 0;
    }
    TemporaryFileGuard(const TemporaryFileGuard&) = delete;
    TemporaryFileGuard& operator=(const TemporaryFileGuard&) = delete;

private:
    bool mInstalled[kEndingSignalCount] = {};
};

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string TemporaryPath(const std::string& folder) {
    static std::atomic<unsigned> counter{0};
    return folder + "/.partial-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
}

// The file a write to path replaces: path itself, or the file a symbolic
// link there leads to. *existing tells whether it exists (and *info is then
// its status). False with the reason in *reason.
bool ResolveTarget(const std::string& path, std::string* target, bool* existing, struct stat* info,
                   std::string* reason) {
    *target = path;
    *existing = false;
    if (IsStandardOutput(path)) {
        *reason = "it is this program's standard output";
        return false;
    }
    if (lstat(path.c_str(), info) != 0) {
        if (errno != ENOENT) {
            *reason = std::strerror(errno);
            return false;
        }
    } else {
        *existing = true;
        if (S_ISLNK(info->st_mode)) {
            char* real = realpath(path.c_str(), nullptr);
            if (!real) {
                *reason = errno == ENOENT ? "a symbolic link to a missing file"
                                          : std::string("a symbolic link: ") + std::strerror(errno);
                return false;
            }
            *target = real;
            std::free(real);
            if (stat(target->c_str(), info) != 0) {
                *reason = std::strerror(errno);
                return false;
            }
        }
        if (!S_ISREG(info->st_mode)) {
            *reason = "not a regular file";
            return false;
        }
    }
    size_t slash = target->rfind('/');
    size_t nameLength = slash == std::string::npos ? target->size() : target->size() - slash - 1;
    if (nameLength == 0) {
        *reason = "not a regular file";
        return false;
    }
    if (nameLength > NAME_MAX) {
        *reason = std::strerror(ENAMETOOLONG);
        return false;
    }
    return true;
}

int OpenTemporary(const std::string& temporary, mode_t mode) {
    // O_NOFOLLOW and O_NONBLOCK: should something already hold the name (it
    // can't, with O_EXCL, but a FIFO or a link must never be waited on or
    // followed), the open fails at once.
    return open(temporary.c_str(),
                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode);
}

bool WriteAll(int fd, const char* bytes, size_t size) {
    while (size > 0) {
        ssize_t written = write(fd, bytes, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written == 0)
            errno = EIO; // no progress and no reason given
        if (written <= 0)
            return false;
        bytes += written;
        size -= size_t(written);
    }
    return true;
}

// The replaced file's mode, and its owner and group where this process may
// give them (another user's file written by its owner's group, say).
bool TakeOverAttributes(int fd, const struct stat& old) {
    if (old.st_uid != geteuid() || old.st_gid != getegid())
        (void)!fchown(fd, old.st_uid, old.st_gid);
    return fchmod(fd, old.st_mode & kPermissionBits) == 0;
}

} // namespace

bool IsStandardOutput(const std::string& path) {
    struct stat named{}, output{};
    return fstat(STDOUT_FILENO, &output) == 0 && stat(path.c_str(), &named) == 0 &&
           named.st_dev == output.st_dev && named.st_ino == output.st_ino;
}

bool WriteFileWhole(const std::string& path, const void* data, size_t size, std::string* error) {
    auto fail = [&](const std::string& reason) {
        *error = "cannot write \"" + path + "\": " + reason;
        return false;
    };
    std::string target, reason;
    bool existing = false;
    struct stat old{};
    if (!ResolveTarget(path, &target, &existing, &old, &reason))
        return fail(reason);
    const std::string temporary = TemporaryPath(FolderOf(target));
    TemporaryFileGuard guard(temporary);
    int fd = OpenTemporary(temporary, kFileMode);
    if (fd < 0)
        return fail(std::strerror(errno));
    bool ok = (!existing || TakeOverAttributes(fd, old)) &&
              WriteAll(fd, static_cast<const char*>(data), size) && fsync(fd) == 0;
    int code = ok ? 0 : errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        code = errno;
    }
    if (ok && rename(temporary.c_str(), target.c_str()) != 0) {
        ok = false;
        code = errno;
    }
    if (!ok) {
        unlink(temporary.c_str());
        return fail(std::strerror(code));
    }
    return true;
}

bool WriteFileOrStandardOutput(const std::string& path, const void* data, size_t size,
                               std::string* error) {
    if (path != kStandardOutputName)
        return WriteFileWhole(path, data, size, error);
    std::fwrite(data, 1, size, stdout);
    return true;
}

bool CheckFolderWritable(const std::string& folder, std::string* error) {
    const std::string probe = TemporaryPath(folder);
    TemporaryFileGuard guard(probe);
    int fd = OpenTemporary(probe, S_IRUSR | S_IWUSR);
    if (fd < 0) {
        *error = "cannot write in \"" + folder + "\": " + std::strerror(errno);
        return false;
    }
    close(fd);
    unlink(probe.c_str());
    return true;
}

bool CheckOutputFile(const std::string& path, std::string* error) {
    if (path == kStandardOutputName)
        return true;
    std::string target, reason;
    bool existing = false;
    struct stat old{};
    if (!ResolveTarget(path, &target, &existing, &old, &reason)) {
        *error = "cannot write \"" + path + "\": " + reason;
        return false;
    }
    std::string folderError;
    if (!CheckFolderWritable(FolderOf(target), &folderError)) {
        *error =
            "cannot write \"" + path + "\": its folder takes no new file (" + folderError + ")";
        return false;
    }
    return true;
}

bool FinishStandardOutput(const char* tool) {
    errno = 0;
    bool ok = std::fflush(stdout) == 0 && !std::ferror(stdout);
    if (ok)
        return true;
    int code = errno != 0 ? errno : EIO;
    std::fprintf(stderr, "%s: standard output failed (%s): what it printed is incomplete\n", tool,
                 std::strerror(code));
    return false;
}
