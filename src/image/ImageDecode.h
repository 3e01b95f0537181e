// ImageDecode: turns an image file held in memory into pixels (stb_image),
// within the size limits and a scene's texture budget, or says in words what
// was wrong with the file ("truncated or corrupt PNG", "image too large
// (W x H)") or that the budget would be exceeded.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

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

// Bytes a texture of that size and channel count takes on the GPU with its
// mipmap chain (three channels counted as four, as drivers store them).
uint64_t ImageGPUBytes(int width, int height, int channels);

// Pixels as the decoder left them: rows top first, tightly packed, channels
// as stored in the file (1 grey, 2 grey and alpha, 3 RGB, 4 RGBA).
struct DecodedImage {
    struct PixelsFree {
        void operator()(unsigned char* pixels) const;
    };
    using Pixels = std::unique_ptr<unsigned char, PixelsFree>;
    Pixels pixels; // null when refused
    int width = 0;
    int height = 0;
    int channels = 0;
    std::string reason; // why it was refused; empty when decoded
};

// Decodes data against budget without charging it: the caller charges the
// texture once it is made (ImageGPUBytes). The decoder may take at most what
// the budget has left, less the file's own bytes and what the upload of the
// pixels will need beside them.
DecodedImage ImageDecode(const unsigned char* data, int size, const TextureBudget& budget);
