// Texture: the owner of one GL texture name, and LoadTexture, which reads an
// image file whole through an SDL stream and hands it to the image upload.
#include "gpu/Texture.h"

#include <climits>
#include <cstdlib>

#include <SDL2/SDL.h>

#include "core/Logger.h"
#include "gpu/GLFunctions.h"
#include "gpu/ImageUpload.h"

namespace {

const char* kTag = "Texture";

// Decodes and uploads the bytes; on failure logs the image layer's reason.
void UploadImage(const char* path, const unsigned char* bytes, int size, Texture* texture) {
    uint32_t id = ImageLoadTextureFromMemory(bytes, size);
    if (id == 0) {
        LogMessage(LOG_ERROR, kTag, "Error while loading texture \"%s\": %s", path,
                   ImageLastResult());
        return;
    }
    texture->mId = id;
    LogMessage(LOG_INFO, kTag, "\"%s\" successfully loaded; mipmaps generated", path);
    glBindTexture(GL_TEXTURE_2D, id);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
}

} // namespace

Texture::~Texture() {
    if (mId != 0)
        glDeleteTextures(1, &mId);
}

int LoadTexture(const char* path, Texture* texture) {
    SDL_RWops* stream = SDL_RWFromFile(path, "rb");
    if (!stream) {
        LogMessage(LOG_ERROR, kTag, "Error while loading texture \"%s\": %s", path, SDL_GetError());
        return -1;
    }
    Sint64 size = SDL_RWsize(stream);
    if (size <= 0) {
        LogMessage(LOG_ERROR, kTag, "Unable to determine file size for \"%s\": %s", path,
                   SDL_GetError());
        SDL_RWclose(stream);
        return -1;
    }
    // The decoder takes an int length; no texture file comes near 2 GiB.
    unsigned char* bytes =
        size <= INT_MAX ? static_cast<unsigned char*>(malloc(size_t(size))) : nullptr;
    if (bytes) {
        // Only the bytes actually read are decoded, so a short read can't
        // feed uninitialised memory to the decoder.
        size_t read = SDL_RWread(stream, bytes, 1, size_t(size));
        UploadImage(path, bytes, int(read), texture);
        free(bytes);
    } else {
        LogMessage(LOG_ERROR, kTag, "Error while loading texture \"%s\": %s", path,
                   size > INT_MAX ? "file too large" : "out of memory");
    }
    SDL_RWclose(stream);
    return 0;
}
