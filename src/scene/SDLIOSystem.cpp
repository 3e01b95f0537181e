// SDLIOSystem, SDLIOStream: own the SDL streams that Assimp reads the model
// and its material files through.
#include "scene/SDLIOSystem.h"

#include <cassert>
#include <cstring>

#include <SDL2/SDL_rwops.h>

#include "core/AssetFile.h"

namespace {

// Assimp's origins and SDL's whence values share their numbering, so an
// origin passes through unchanged.
static_assert(aiOrigin_SET == RW_SEEK_SET && aiOrigin_CUR == RW_SEEK_CUR &&
                  aiOrigin_END == RW_SEEK_END,
              "seek origins must match SDL's whence values");

// SDL reports an unknown size or position as a negative number; as a size_t
// it would read as an enormous file, so it is reported as empty instead.
size_t NonNegative(Sint64 value) {
    return value < 0 ? 0 : static_cast<size_t>(value);
}

// Reading is all the importer does with model files; only a mode that could
// write or create a file goes to SDL unchecked.
bool ReadOnlyMode(const char* mode) {
    return mode && mode[0] == 'r' && !strchr(mode, '+');
}

} // namespace

SDLIOStream::SDLIOStream(SDL_RWops* rwops) : mRWops(rwops) {
    assert(rwops && "a stream is only made for a file SDL opened");
}

SDLIOStream::~SDLIOStream() {
    if (mRWops)
        SDL_RWclose(mRWops);
}

size_t SDLIOStream::Read(void* buffer, size_t size, size_t count) {
    return SDL_RWread(mRWops, buffer, size, count);
}

size_t SDLIOStream::Write(const void* buffer, size_t size, size_t count) {
    return SDL_RWwrite(mRWops, buffer, size, count);
}

aiReturn SDLIOStream::Seek(size_t offset, aiOrigin origin) {
    // Assimp passes backward offsets as wrapped size_t values; the signed
    // conversion restores them.
    Sint64 result = SDL_RWseek(mRWops, static_cast<Sint64>(offset), static_cast<int>(origin));
    return result == -1 ? aiReturn_FAILURE : aiReturn_SUCCESS;
}

size_t SDLIOStream::Tell() const {
    return NonNegative(SDL_RWseek(mRWops, 0, RW_SEEK_CUR));
}

size_t SDLIOStream::FileSize() const {
    return NonNegative(SDL_RWsize(mRWops));
}

void SDLIOStream::Flush() {}

// Only a regular file exists for the importer: probing a FIFO by opening it
// would block until a writer came, and a directory reads as garbage.
bool SDLIOSystem::Exists(const char* path) const {
    SDL_RWops* rwops = OpenRegularFile(path);
    if (!rwops)
        return false;
    SDL_RWclose(rwops);
    return true;
}

char SDLIOSystem::getOsSeparator() const {
#ifdef _WIN32
    return '\\';
#else
    return '/';
#endif
}

Assimp::IOStream* SDLIOSystem::Open(const char* path, const char* mode) {
    SDL_RWops* rwops = ReadOnlyMode(mode) ? OpenRegularFile(path) : SDL_RWFromFile(path, mode);
    if (!rwops)
        return nullptr;
    return new SDLIOStream(rwops);
}

void SDLIOSystem::Close(Assimp::IOStream* stream) {
    delete stream;
}
