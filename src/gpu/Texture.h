// Texture: the owner of one OpenGL texture name, and the loader that makes
// one from an image file read through an SDL stream.
#pragma once

#include <cstdint>

struct TextureBudget;

class Texture {
public:
    Texture() = default;
    // One owner per GL name: a copy would delete the same name twice.
    Texture(const Texture&) = delete;
    Texture& operator=(const Texture&) = delete;
    // Deletes the GL texture when mId is not 0; a texture without a name makes no GL call.
    virtual ~Texture();

    uint32_t mId = 0;
};

// -1 when the file can't be opened or is empty; 0 otherwise, also when the
// image can't be decoded or would exceed the budget (then mId stays 0 and
// the error, naming the file, is logged). The textures of one scene share a
// budget; without one, the image has the default budget to itself.
int LoadTexture(const char* path, Texture* texture, TextureBudget* budget = nullptr);
