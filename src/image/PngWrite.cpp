// PngWrite: PNG encoding in memory through stb_image_write.
#include "image/PngWrite.h"

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

namespace {

constexpr int kMaxChannels = 4;

void AppendBytes(void* context, void* data, int size) {
    auto* bytes = static_cast<std::vector<uint8_t>*>(context);
    const uint8_t* from = static_cast<const uint8_t*>(data);
    bytes->insert(bytes->end(), from, from + size);
}

} // namespace

void SetPngCompressionLevel(int level) {
    stbi_write_png_compression_level = level;
}

PngBytes EncodePng(int width, int height, int channels, const std::vector<uint8_t>& pixels) {
    PngBytes png;
    if (width <= 0 || height <= 0 || channels < 1 || channels > kMaxChannels ||
        pixels.size() != size_t(width) * size_t(height) * size_t(channels)) {
        png.reason = "no pixels of that size to encode";
        return png;
    }
    if (!stbi_write_png_to_func(AppendBytes, &png.bytes, width, height, channels, pixels.data(),
                                width * channels)) {
        png.bytes.clear();
        png.reason = "the PNG encoder failed";
    }
    return png;
}
