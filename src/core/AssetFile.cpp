// AssetFile: whole-file reads through SDL streams for every asset loader, and
// the one place that decides which paths may be opened at all.
#include "core/AssetFile.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <SDL2/SDL.h>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "core/Logger.h"

namespace {

// Room for a path of PATH_MAX and the sentence around it.
constexpr size_t kRefusalLineSize = PATH_MAX + 256;

#ifndef _WIN32
// What a non-regular file is, in the words the refusal uses.
const char* FileTypeName(mode_t mode) {
    if (S_ISDIR(mode))
        return "a directory";
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    if (S_ISSOCK(mode))
        return "a socket";
    return "not a file";
}

// Why a path that stat() can't follow can't be opened. A dangling link
// reads as a missing file, which would send the user looking for the link
// itself; it is named as what it is, with where it points.
void SetUnfollowableError(const char* path, int error) {
    char target[PATH_MAX];
    ssize_t length = error == ENOENT ? readlink(path, target, sizeof(target) - 1) : -1;
    if (length < 0) {
        SDL_SetError("Couldn't open %s: %s", path, strerror(error));
        return;
    }
    target[length] = '\0';
    SDL_SetError("Couldn't open %s: dangling symbolic link (to %s)", path, target);
}

SDL_RWops* RefuseFileType(mode_t mode, bool* notRegular) {
    if (notRegular)
        *notRegular = true;
    SDL_SetError("the path is not a regular file (it is %s)", FileTypeName(mode));
    return nullptr;
}
#endif

// Logs why the read failed, once, and keeps the line for the caller; -1.
__attribute__((format(printf, 3, 4))) int Refuse(AssetFile* file, const char* tag,
                                                 const char* format, ...) {
    char line[kRefusalLineSize];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof(line), format, args);
    va_end(args);
    LogMessage(LOG_ERROR, tag, "%s", line);
    file->failure = line;
    return -1;
}

// The size is taken before anything is allocated, so an absurd or unknown
// size never turns into an allocation.
int CheckSize(const char* path, const char* tag, const char* kind, Sint64 size, uint64_t limit,
              AssetFile* file) {
    if (size == 0)
        return Refuse(file, tag, "Error while loading %s \"%s\": %s", kind, path,
                      "the file is empty");
    if (size < 0)
        return Refuse(file, tag, "Unable to determine file size for \"%s\": %s", path,
                      SDL_GetError());
    if (static_cast<uint64_t>(size) > limit || static_cast<uint64_t>(size) >= SIZE_MAX)
        return Refuse(file, tag,
                      "Error while loading %s \"%s\": file too large (%lld bytes, at most %llu)",
                      kind, path, static_cast<long long>(size),
                      static_cast<unsigned long long>(limit));
    return 0;
}

} // namespace

#ifndef _WIN32
SDL_RWops* OpenRegularFile(const char* path, bool* notRegular) {
    if (notRegular)
        *notRegular = false;
    // Refused by type before open(): opening a device may have side effects.
    struct stat info{};
    if (stat(path, &info) != 0) {
        SetUnfollowableError(path, errno);
        return nullptr;
    }
    if (!S_ISREG(info.st_mode))
        return RefuseFileType(info.st_mode, notRegular);
    // Non-blocking, so a FIFO swapped in after stat() can't hang the open;
    // fstat() then judges the file actually opened.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        SDL_SetError("Couldn't open %s: %s", path, strerror(errno));
        return nullptr;
    }
    if (fstat(fd, &info) != 0) {
        SDL_SetError("Couldn't open %s: %s", path, strerror(errno));
        close(fd);
        return nullptr;
    }
    if (!S_ISREG(info.st_mode)) {
        close(fd);
        return RefuseFileType(info.st_mode, notRegular);
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    FILE* fp = fdopen(fd, "rb");
    if (!fp) {
        SDL_SetError("Couldn't open %s: %s", path, strerror(errno));
        close(fd);
        return nullptr;
    }
    SDL_RWops* stream = SDL_RWFromFP(fp, SDL_TRUE); // the stream closes fp
    if (!stream)
        fclose(fp);
    return stream;
}

bool PathExists(const char* path) {
    // lstat: a link that leads nowhere is still something at the path, and
    // opening it is what gives the reason.
    struct stat info{};
    return lstat(path, &info) == 0;
}
#else
SDL_RWops* OpenRegularFile(const char* path, bool* notRegular) {
    if (notRegular)
        *notRegular = false;
    return SDL_RWFromFile(path, "rb");
}

bool PathExists(const char* path) {
    SDL_RWops* stream = SDL_RWFromFile(path, "rb");
    if (stream)
        SDL_RWclose(stream);
    return stream != nullptr;
}
#endif

int ReadAssetFile(const char* path, const char* tag, const char* kind, AssetFile* file,
                  uint64_t limit) {
    *file = AssetFile{};
    SDL_RWops* stream = OpenRegularFile(path);
    if (!stream)
        return Refuse(file, tag, "Error while loading %s \"%s\": %s", kind, path, SDL_GetError());
    // A size SDL can't take sets its own error; one left over from an earlier
    // call must not be reported as the reason.
    SDL_ClearError();
    Sint64 size = SDL_RWsize(stream);
    if (CheckSize(path, tag, kind, size, limit, file) != 0) {
        SDL_RWclose(stream);
        return -1;
    }
    file->data = static_cast<unsigned char*>(malloc(static_cast<size_t>(size) + 1));
    if (!file->data) {
        SDL_RWclose(stream);
        return Refuse(file, tag, "Error while loading %s \"%s\": %s", kind, path,
                      "out of memory");
    }
    file->size = SDL_RWread(stream, file->data, 1, static_cast<size_t>(size));
    file->data[file->size] = '\0';
    SDL_RWclose(stream);
    return 0;
}

void FreeAssetFile(AssetFile* file) {
    free(file->data);
    *file = AssetFile{};
}
