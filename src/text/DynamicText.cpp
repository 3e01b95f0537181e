// DynamicText: owns one string's character and vertex blocks (zone memory)
// and its vertex array and buffer; re-lays and re-uploads only the tail of
// the text that changed, and reallocates only when the text outgrows them.
#include "text/DynamicText.h"

#include <cassert>
#include <cinttypes>
#include <cstring>

#include "core/Logger.h"
#include "gpu/GLFunctions.h"
#include "memory/Allocator.h"
#include "text/FontAtlas.h"

namespace {

const char* const kTag = "DynamicText";
constexpr unsigned char kNewline = '\n';
constexpr uint64_t kVertexBytes = sizeof(TextVertex);
// mNumVertices is 32-bit, so a text needing more vertices cannot be drawn.
constexpr uint64_t kMaxVertices = UINT32_MAX;

// Length of the longest common prefix. When one string ends the other's
// terminator differs from its character there, so the walk stops in both.
uint64_t CommonPrefix(const char* previous, const char* text) {
    uint64_t n = 0;
    if (previous)
        while (previous[n] != '\0' && previous[n] == text[n])
            ++n;
    return n;
}

// All six corners at one point: two zero-area triangles that cover no pixel.
void WriteDegenerateQuad(TextVertex* quad, uint16_t x, uint16_t y) {
    for (int k = 0; k < kVerticesPerChar; ++k)
        quad[k] = TextVertex{x, y, 0, 0};
}

// Two triangles (top-left, bottom-left, top-right) and (top-right,
// bottom-left, bottom-right). The glyph's top sits `top` pixels above the
// baseline, which is `ascent` pixels below the pen's line top, so its top
// edge is at py + ascent - top. All sums wrap in 16 bits like the vertices.
void WriteGlyphQuad(TextVertex* quad, const Glyph& glyph, uint16_t px, uint16_t py,
                    uint16_t ascent) {
    const uint16_t x0 = static_cast<uint16_t>(px + glyph.left);
    const uint16_t x1 = static_cast<uint16_t>(x0 + glyph.width);
    const uint16_t y0 = static_cast<uint16_t>(py + ascent - glyph.top);
    const uint16_t y1 = static_cast<uint16_t>(y0 + glyph.height);
    const uint16_t u0 = glyph.offsetX;
    const uint16_t u1 = static_cast<uint16_t>(u0 + glyph.width);
    const uint16_t v1 = glyph.height;
    quad[0] = TextVertex{x0, y0, u0, 0};
    quad[1] = TextVertex{x0, y1, u0, v1};
    quad[2] = TextVertex{x1, y0, u1, 0};
    quad[3] = TextVertex{x1, y0, u1, 0};
    quad[4] = TextVertex{x0, y1, u0, v1};
    quad[5] = TextVertex{x1, y1, u1, v1};
}

// Walks the pen over the whole text but writes only the quads of characters
// from `keep` on: the ones before are unchanged and so are their vertices.
// Only codes kFirstGlyph..kLastGlyph have glyphs; any other byte takes the
// blank's advance and draws nothing, so it can never index past the table.
void LayOut(const FontAtlas& atlas, const char* text, uint64_t len, uint64_t keep,
            TextVertex* vertices) {
    const uint16_t ascent = static_cast<uint16_t>(atlas.mAscent);
    uint16_t px = 0;
    uint16_t py = 0;
    for (uint64_t i = 0; i < len; ++i) {
        // char may be signed: bytes above 127 must not turn into negative codes.
        const unsigned char c = static_cast<unsigned char>(text[i]);
        TextVertex* quad = vertices + i * kVerticesPerChar;
        const bool write = i >= keep;
        if (c == kNewline) {
            px = 0;
            py = static_cast<uint16_t>(py + ascent + kLineGap);
            if (write)
                WriteDegenerateQuad(quad, px, py);
            continue;
        }
        const bool hasGlyph = c >= kFirstGlyph && c <= kLastGlyph;
        const Glyph& glyph = atlas.mGlyphs[hasGlyph ? c - kFirstGlyph : 0];
        if (write && hasGlyph)
            WriteGlyphQuad(quad, glyph, px, py, ascent);
        else if (write)
            WriteDegenerateQuad(quad, px, py);
        px = static_cast<uint16_t>(px + glyph.advanceX);
        py = static_cast<uint16_t>(py + glyph.advanceY);
    }
}

} // namespace

DynamicText::DynamicText(Allocator* allocator, FontAtlas* atlas)
    : mAllocator(allocator), mFontAtlas(atlas), mCapacity(0), mText(nullptr), mNumVertices(0),
      mVertices(nullptr), mVao(0), mVbo(0) {}

DynamicText::~DynamicText() {
    if (mVbo)
        glDeleteBuffers(1, &mVbo);
    if (mVao)
        glDeleteVertexArrays(1, &mVao);
    assert((mAllocator || (!mText && !mVertices)) &&
           "blocks go back to the allocator they came from");
    if (mText)
        mAllocator->Free(mText);
    if (mVertices)
        mAllocator->Free(mVertices);
}

int DynamicText::SetText(const char* text) {
    if (!text || !mAllocator || !mFontAtlas)
        return -1;
    const uint64_t len = strlen(text);
    const uint64_t keep = CommonPrefix(mText, text);
    const uint64_t need = len + 1;
    const uint64_t count = len * kVerticesPerChar;
    const bool grow = need > mCapacity;
    if (grow && Grow(need, count, keep) != 0)
        return -1;
    mNumVertices = static_cast<uint32_t>(count);
    LayOut(*mFontAtlas, text, len, keep, mVertices);
    memcpy(mText, text, need);
    return Upload(keep, grow);
}

int DynamicText::Grow(uint64_t need, uint64_t count, uint64_t keep) {
    char* chars = static_cast<char*>(mAllocator->Alloc(need, TAG_MODEL));
    if (!chars) {
        LogMessage(LOG_ERROR, kTag, "Couldn't allocate memory for %" PRIu64 " chars", need);
        return -1;
    }
    TextVertex* vertices = nullptr;
    if (count <= kMaxVertices)
        vertices = static_cast<TextVertex*>(mAllocator->Alloc(count * kVertexBytes, TAG_MODEL));
    if (!vertices) {
        LogMessage(LOG_ERROR, kTag, "Couldn't allocate memory for %" PRIu64 " vertices", count);
        // The old blocks stay in use, so the new one would have no owner.
        mAllocator->Free(chars);
        return -1;
    }
    if (mText) {
        memcpy(chars, mText, keep);
        mAllocator->Free(mText);
    }
    if (mVertices) {
        memcpy(vertices, mVertices, keep * kVerticesPerChar * kVertexBytes);
        mAllocator->Free(mVertices);
    }
    mVertices = vertices;
    mText = chars;
    mCapacity = need;
    return 0;
}

int DynamicText::Upload(uint64_t keep, bool grown) {
    if (!mVao)
        glGenVertexArrays(1, &mVao);
    glBindVertexArray(mVao);
    if (!mVbo)
        glGenBuffers(1, &mVbo);
    // The array-buffer binding is not part of the vertex array's state, so it
    // is bound every time before the upload.
    glBindBuffer(GL_ARRAY_BUFFER, mVbo);
    if (grown) {
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(mNumVertices * kVertexBytes),
                     mVertices, GL_DYNAMIC_DRAW);
    } else {
        const uint64_t first = keep * kVerticesPerChar;
        glBufferSubData(GL_ARRAY_BUFFER, static_cast<GLintptr>(first * kVertexBytes),
                        static_cast<GLsizeiptr>((mNumVertices - first) * kVertexBytes),
                        mVertices + first);
    }
    // Pixel and texel units go to the shader as plain integers-as-floats:
    // four unsigned shorts, not normalised, tightly packed.
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 4, GL_UNSIGNED_SHORT, GL_FALSE, 0, nullptr);
    glBindVertexArray(0);
    return 0;
}
