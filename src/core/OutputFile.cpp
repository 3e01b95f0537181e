// OutputFile: a temporary file in the target's own folder (so the rename
// stays within one file system and is atomic), every write and the close
// checked, since a full disk often shows only when the data is flushed.
#include "core/OutputFile.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// New files get the usual permissions, less the umask.
constexpr mode_t kFileMode = 0666;

std::string TemporaryPath(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    return path + ".partial-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
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

} // namespace

bool WriteFileWhole(const std::string& path, const void* data, size_t size, std::string* error) {
    auto fail = [&](const char* reason) {
        *error = "cannot write \"" + path + "\": " + reason;
        return false;
    };
    struct stat info;
    if (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode))
        return fail("not a regular file");
    const std::string temporary = TemporaryPath(path);
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kFileMode);
    if (fd < 0)
        return fail(std::strerror(errno));
    bool ok = WriteAll(fd, static_cast<const char*>(data), size) && fsync(fd) == 0;
    int reason = ok ? 0 : errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        reason = errno;
    }
    if (ok && rename(temporary.c_str(), path.c_str()) != 0) {
        ok = false;
        reason = errno;
    }
    if (!ok) {
        unlink(temporary.c_str());
        return fail(std::strerror(reason));
    }
    return true;
}
