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
// The GPU's limit bounds each side, not the area: 16384 x 16384 would take
// 1 GiB decoded and as much again in the driver. 8192 x 8192 (256 MiB as
// RGBA) is far more than any texture a scene here needs (2048 x 2048 at
// most), while the decoder's worst case, a GIF screen at 9 bytes a pixel or
// an HDR image converted from floats, stays near 1 GiB.
constexpr uint64_t kMaxImagePixels = uint64_t(8192) * 8192;

// A new texture name, or 0 on failure (see ImageLastResult). A texture that
// did not fully reach the GPU (over GL_MAX_TEXTURE_SIZE, a GL error from the
// upload or the mipmaps) counts as a failure and leaves no name behind.
uint32_t ImageLoadTextureFromMemory(const unsigned char* data, int size);
const char* ImageLastResult();

// False when the bytes hold a JPEG Huffman table of more than 256 codes. The
// decoder (its header reader too) writes such a table past the end of its
// arrays, so nothing may hand these bytes to it.
bool ImageJPEGTablesFit(const unsigned char* data, int size);
