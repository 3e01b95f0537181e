// AssetFile: whole-file reads through SDL streams for every asset loader.
#include "core/AssetFile.h"

#include <cstdlib>

#include <SDL2/SDL.h>

#include "core/Logger.h"

namespace {

// The size is taken before anything is allocated, so an absurd or unknown
// size never turns into an allocation.
int CheckSize(const char* path, const char* tag, const char* kind, Sint64 size, uint64_t limit) {
    if (size <= 0) {
        LogMessage(LOG_ERROR, tag, "Unable to determine file size for \"%s\": %s", path,
                   SDL_GetError());
        return -1;
    }
    if (static_cast<uint64_t>(size) > limit || static_cast<uint64_t>(size) >= SIZE_MAX) {
        LogMessage(LOG_ERROR, tag, "Error while loading %s \"%s\": %s", kind, path,
                   "file too large");
        return -1;
    }
    return 0;
}

} // namespace

int ReadAssetFile(const char* path, const char* tag, const char* kind, AssetFile* file,
                  uint64_t limit) {
    *file = AssetFile{};
    SDL_RWops* stream = SDL_RWFromFile(path, "rb");
    if (!stream) {
        LogMessage(LOG_ERROR, tag, "Error while loading %s \"%s\": %s", kind, path, SDL_GetError());
        return -1;
    }
    Sint64 size = SDL_RWsize(stream);
    if (CheckSize(path, tag, kind, size, limit) != 0) {
        SDL_RWclose(stream);
        return -1;
    }
    file->data = static_cast<unsigned char*>(malloc(static_cast<size_t>(size) + 1));
    if (!file->data) {
        LogMessage(LOG_ERROR, tag, "Error while loading %s \"%s\": %s", kind, path,
                   "out of memory");
        SDL_RWclose(stream);
        return -1;
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
