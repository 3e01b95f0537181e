// DynamicText::SetText with arbitrary bytes against the real font atlas: the
// input is a sequence of texts (split at zero bytes) set one after another on
// one text, so growing, shrinking and shared prefixes all occur. After each,
// the vertices must equal a fresh layout of the same text, the GL buffer must
// hold exactly those vertices, and at the end every zone block is returned.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "memory/ZoneAllocator.h"
#include "support/GLTestContext.h"
#include "text/DynamicText.h"
#include "text/FontAtlas.h"

namespace {

constexpr uint64_t kFuzzHeapSize = 4 << 20;
constexpr uint32_t kFuzzDpi = 96;
constexpr size_t kMaxTexts = 8;

struct Fixture {
    Fixture() : zone(kFuzzHeapSize) {
        QuietLog();
        RequireFuzzGL();
        FUZZ_CHECK(zone.Init() == 0, "no zone heap");
        FUZZ_CHECK(LoadFontAtlas(&atlas, kFuzzDpi) == 0, "no font atlas (build the assets first)");
    }
    ZoneAllocator zone;
    FontAtlas atlas;
};

std::vector<uint8_t> Bytes(const TextVertex* vertices, uint32_t count) {
    const uint8_t* first = reinterpret_cast<const uint8_t*>(vertices);
    return std::vector<uint8_t>(first, first + size_t(count) * sizeof(TextVertex));
}

std::vector<uint8_t> BufferBytes(uint32_t vbo, uint32_t count) {
    GLint size = 0;
    glBindBuffer(GL_ARRAY_BUFFER, vbo);
    glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &size);
    FUZZ_CHECK(size_t(size) >= size_t(count) * sizeof(TextVertex),
               "GL buffer smaller than the text");
    std::vector<uint8_t> bytes(size_t(count) * sizeof(TextVertex));
    if (!bytes.empty())
        glGetBufferSubData(GL_ARRAY_BUFFER, 0, GLsizeiptr(bytes.size()), bytes.data());
    return bytes;
}

void CheckAgainstFreshLayout(Fixture& f, const DynamicText& text, const std::string& value) {
    FUZZ_CHECK(std::strcmp(text.mText, value.c_str()) == 0, "stored text differs");
    FUZZ_CHECK(text.mNumVertices == value.size() * kVerticesPerChar, "vertex count not 6 per char");
    DynamicText fresh(&f.zone, &f.atlas);
    FUZZ_CHECK(fresh.SetText(value.c_str()) == 0, "a fresh text refused the same string");
    FUZZ_CHECK(Bytes(text.mVertices, text.mNumVertices) ==
                   Bytes(fresh.mVertices, fresh.mNumVertices),
               "incremental layout differs from a fresh one");
    FUZZ_CHECK(BufferBytes(text.mVbo, text.mNumVertices) ==
                   Bytes(text.mVertices, text.mNumVertices),
               "GL buffer differs from the laid-out vertices");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Fixture f;
    {
        DynamicText text(&f.zone, &f.atlas);
        const char* begin = reinterpret_cast<const char*>(data);
        const char* end = begin + size;
        for (size_t n = 0; n < kMaxTexts && begin <= end; ++n) {
            const char* stop = static_cast<const char*>(std::memchr(begin, 0, size_t(end - begin)));
            std::string value(begin, stop ? stop : end);
            FUZZ_CHECK(text.SetText(value.c_str()) == 0, "SetText failed with room in the heap");
            CheckAgainstFreshLayout(f, text, value);
            if (!stop)
                break;
            begin = stop + 1;
        }
    }
    FUZZ_CHECK(f.zone.GetAllocCount() == 0, "zone blocks left after the text was destroyed");
    FUZZ_CHECK(f.zone.CheckHeap() == 0, "heap invariant broken");
    return 0;
}
