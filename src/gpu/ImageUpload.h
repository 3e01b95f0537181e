// ImageUpload: decodes an image from memory (stb_image) and uploads it as a
// new GL texture with repeat wrap, linear magnification and GPU-generated
// mipmaps. Keeps a last-result text for error lines: what was wrong with the
// file ("truncated or corrupt PNG", "image too large (W x H)") or which GPU
// step failed.
#pragma once

#include <cstdint>

// Images wider or taller than this are refused before any pixel memory is
// allocated, so a hostile header can't exhaust memory.
constexpr int kMaxImageDimension = 16384;

// A new texture name, or 0 on failure (see ImageLastResult). A texture that
// did not fully reach the GPU (over GL_MAX_TEXTURE_SIZE, a GL error from the
// upload or the mipmaps) counts as a failure and leaves no name behind.
uint32_t ImageLoadTextureFromMemory(const unsigned char* data, int size);
const char* ImageLastResult();
