// TextureReadback: copies a texture's level 0 from GL into memory, for the
// tools and the truth view that compare what the GPU drew with a reference.
#pragma once

#include <cstdint>

struct TextureLevel {
    int internalFormat = 0;
    int width = 0;
    int height = 0;
};
TextureLevel QueryTextureLevel(uint32_t texture);

// Waits for the GPU to finish what it was given, then copies level 0 of
// texture as format and type (GL enums), rows packed to alignment bytes,
// into out, which must hold the whole level.
void ReadTextureLevel(uint32_t texture, uint32_t format, uint32_t type, int alignment, void* out);
