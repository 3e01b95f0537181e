// ImageUpload: uploads a decoded image (see ImageDecode) as a new GL texture
// with repeat wrap, linear magnification and GPU-generated mipmaps, and says
// which step failed when it did not reach the GPU.
#pragma once

#include <cstdint>
#include <string>

#include "image/ImageDecode.h"

// The texture made of an image, or 0 with the reason.
struct ImageLoad {
    uint32_t texture = 0;
    std::string reason; // "image loaded", or what was wrong
};

// Decodes and uploads. A texture that did not fully reach the GPU (over
// GL_MAX_TEXTURE_SIZE, a GL error from the upload or the mipmaps) counts as
// a failure and leaves no name behind. With a budget, the texture's GPU
// bytes are added to budget->used; without one, the image has a budget of
// kDefaultTextureBudget to itself.
ImageLoad ImageLoadTextureFromMemory(const unsigned char* data, int size,
                                     TextureBudget* budget = nullptr);
