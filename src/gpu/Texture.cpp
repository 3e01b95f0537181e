// Texture: the owner of one GL texture name, and LoadTexture, which reads an
// image file whole through an SDL stream and hands it to the image upload.
#include "gpu/Texture.h"

#include <algorithm>
#include <climits>

#include "core/AssetFile.h"
#include "core/Logger.h"
#include "gpu/GLFunctions.h"
#include "gpu/ImageUpload.h"

namespace {

const char* kTag = "Texture";

// Decodes and uploads the bytes; on failure logs the image layer's reason.
void UploadImage(const char* path, const unsigned char* bytes, int size, Texture* texture,
                 TextureBudget* budget) {
    const ImageLoad load = ImageLoadTextureFromMemory(bytes, size, budget);
    const uint32_t id = load.texture;
    if (id == 0) {
        LogMessage(LOG_ERROR, kTag, "Error while loading texture \"%s\": %s", path,
                   load.reason.c_str());
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

int LoadTexture(const char* path, Texture* texture, TextureBudget* budget) {
    // The decoder takes an int length, and a file larger than what is left of
    // the budget could not become a texture within it: neither is read.
    TextureBudget own;
    if (!budget)
        budget = &own;
    const uint64_t left = budget->limit > budget->used ? budget->limit - budget->used : 0;
    AssetFile file;
    if (ReadAssetFile(path, kTag, "texture", &file, std::min<uint64_t>(INT_MAX, left)) != 0)
        return -1;
    UploadImage(path, file.data, static_cast<int>(file.size), texture, budget);
    FreeAssetFile(&file);
    return 0;
}
