// ImageUpload: decodes an image from memory (stb_image) and uploads it as a
// new GL texture with repeat wrap, linear magnification and GPU-generated
// mipmaps. Keeps a last-result text for error lines: what was wrong with the
// file ("truncated or corrupt PNG", "image too large (W x H)"), which GPU
// step failed, or that the scene's texture budget would be exceeded.
#pragma once

#include <cstdint>

// The GPU's limit bounds each side, not the area: 16384 x 16384 would take
// 1 GiB decoded and as much again in the driver. Images wider or taller than
// kMaxImageDimension, or of more than kMaxImagePixels (256 MiB as RGBA, far
// more than any texture a scene here needs), are refused from the size the
// decoder's own header reader gives, before any pixel memory is allocated.
constexpr int kMaxImageDimension = 16384;
constexpr uint64_t kMaxImagePixels = uint64_t(8192) * 8192;

// The memory one scene's textures may take: every texture it holds on the
// GPU (with its mipmaps) plus, while the next one loads, everything the
// decoder has allocated for it and the GPU copy being made. The decoder's
// allocator is charged against it, so the bound holds for every format and
// whatever a header claims.
constexpr uint64_t kDefaultTextureBudget = uint64_t(1) << 30;

struct TextureBudget {
    uint64_t limit = kDefaultTextureBudget;
    uint64_t used = 0; // GPU bytes of the textures loaded against this budget
};

// A new texture name, or 0 on failure (see ImageLastResult). A texture that
// did not fully reach the GPU (over GL_MAX_TEXTURE_SIZE, a GL error from the
// upload or the mipmaps) counts as a failure and leaves no name behind. With
// a budget, the texture's GPU bytes are added to budget->used; without one,
// the image has a budget of kDefaultTextureBudget to itself.
uint32_t ImageLoadTextureFromMemory(const unsigned char* data, int size,
                                    TextureBudget* budget = nullptr);
const char* ImageLastResult();

// Bytes a texture of that size and channel count takes on the GPU with its
// mipmap chain (three channels counted as four, as drivers store them).
uint64_t ImageGPUBytes(int width, int height, int channels);
