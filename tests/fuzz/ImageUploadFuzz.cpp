// The image decoder layer on mutated images: every input either becomes a GL
// texture of a size within the limits, or is refused with a reason; nothing
// crashes, reads out of bounds or keeps memory. The seeds hold one small file
// of every format the layer decodes (PNG, JPEG baseline and progressive, BMP,
// GIF, PSD, PNM, HDR, TGA flat and run-length), so each format's header
// reader and decoder are reached from the first run.
#include <cstdint>
#include <cstring>

#include "FuzzSupport.h"
#include "gpu/ImageUpload.h"
#include "support/GLTestContext.h"

namespace {

// A small budget bounds what any input may take, for every format, through
// the decoder's allocator: the fuzzer's memory limit then catches real
// leaks, and a huge claim exercises the budget's refusal path.
constexpr uint64_t kFuzzBudget = uint64_t(64) << 20;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = (QuietLog(), RequireFuzzGL(), true);
    (void)ready;
    if (size > INT32_MAX)
        return 0;
    TextureBudget budget;
    budget.limit = kFuzzBudget;
    const ImageLoad load = ImageLoadTextureFromMemory(data, static_cast<int>(size), &budget);
    const uint32_t texture = load.texture;
    if (texture == 0) {
        FUZZ_CHECK(!load.reason.empty(), "a refused image has no reason");
        FUZZ_CHECK(budget.used == 0, "a refused image was charged to the budget");
        return 0;
    }
    FUZZ_CHECK(glIsTexture(texture), "the name returned is not a texture");
    FUZZ_CHECK(budget.used > 0 && budget.used <= budget.limit, "the budget was not kept");
    GLint width = 0, height = 0;
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    FUZZ_CHECK(width > 0 && height > 0 && width <= kMaxImageDimension &&
                   height <= kMaxImageDimension &&
                   uint64_t(width) * uint64_t(height) <= kMaxImagePixels,
               "texture size outside the limit");
    glBindTexture(GL_TEXTURE_2D, 0);
    glDeleteTextures(1, &texture);
    return 0;
}
