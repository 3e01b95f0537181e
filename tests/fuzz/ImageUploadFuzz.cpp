// The image decoder layer on mutated images: every input either becomes a GL
// texture of a size within the limit, or is refused with a reason; nothing
// crashes, reads out of bounds or keeps memory.
#include <cstdint>
#include <cstring>

#include <stb/stb_image.h>

#include "FuzzSupport.h"
#include "gpu/ImageUpload.h"
#include "support/GLTestContext.h"

namespace {

// The loader refuses a header claiming more than its file can hold, but a
// small compressed file may still decode to its pixel cap (256 MiB, and as
// much again in the driver): such inputs are left out so the fuzzer's memory
// limit catches real leaks. The parsing they would exercise is the same as
// for smaller images.
constexpr long long kMaxFuzzPixels = 4 << 20;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = (QuietLog(), RequireFuzzGL(), true);
    (void)ready;
    if (size > INT32_MAX)
        return 0;
    int width = 0, height = 0, channels = 0;
    // The size filter asks the decoder itself, so it comes after the one guard
    // that must keep bytes from the decoder's header reader.
    if (ImageJPEGTablesFit(data, static_cast<int>(size)) &&
        stbi_info_from_memory(data, static_cast<int>(size), &width, &height, &channels) &&
        static_cast<long long>(width) * height > kMaxFuzzPixels)
        return 0;
    uint32_t texture = ImageLoadTextureFromMemory(data, static_cast<int>(size));
    if (texture == 0) {
        const char* reason = ImageLastResult();
        FUZZ_CHECK(reason != nullptr && reason[0] != '\0', "a refused image has no reason");
        return 0;
    }
    FUZZ_CHECK(glIsTexture(texture), "the name returned is not a texture");
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    FUZZ_CHECK(width > 0 && height > 0 && width <= kMaxImageDimension &&
                   height <= kMaxImageDimension,
               "texture size outside the limit");
    glBindTexture(GL_TEXTURE_2D, 0);
    glDeleteTextures(1, &texture);
    return 0;
}
