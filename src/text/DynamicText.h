// DynamicText: one string laid out with a FontAtlas into a vertex buffer of
// textured quads. Replacing the text re-lays and re-uploads only the tail
// after the first changed character, and reallocates only to grow.
#pragma once

#include <cstdint>

class Allocator;
class FontAtlas;

// Pixel position from the text's top-left (x right, y down) and atlas texel.
struct TextVertex {
    uint16_t x, y, u, v;
};
static_assert(sizeof(TextVertex) == 8, "text vertices are four 16-bit values");

constexpr int kVerticesPerChar = 6;
constexpr int kLineGap = 5; // pixels between one line's descent room and the next ascent

class DynamicText {
public:
    DynamicText(Allocator* allocator, FontAtlas* atlas);
    // Owns its GL buffers and zone blocks: not copyable.
    DynamicText(const DynamicText&) = delete;
    DynamicText& operator=(const DynamicText&) = delete;
    virtual ~DynamicText();

    int SetText(const char* text);

    Allocator* mAllocator;
    FontAtlas* mFontAtlas;
    uint64_t mCapacity;
    char* mText;
    uint32_t mNumVertices;
    TextVertex* mVertices;
    uint32_t mVao;
    uint32_t mVbo;

private:
    // Replaces both blocks by ones of need characters and count vertices,
    // keeping the first keep characters and their vertices. 0, or -1 (logged,
    // nothing changed) when either allocation fails.
    int Grow(uint64_t need, uint64_t count, uint64_t keep);
    // Sends the vertices from character keep on to the buffer; re-specifies
    // the whole buffer instead when the blocks were just replaced.
    int Upload(uint64_t keep, bool grown);
};
