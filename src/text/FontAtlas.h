// FontAtlas: the printable ASCII glyphs of one TrueType font rasterised with
// FreeType into a single-row, single-channel texture, with each glyph's metrics.
#pragma once

#include <cstdint>

#include "gpu/Texture.h"

constexpr const char* kFontPath = "fonts/hobo.ttf";
constexpr int kFirstGlyph = 32;  // blank
constexpr int kLastGlyph = 126;  // tilde
constexpr int kGlyphCount = kLastGlyph - kFirstGlyph + 1;
constexpr long kFontCharHeight26_6 = 768; // 12 points in 26.6 fixed point

struct Glyph {
    int16_t advanceX;
    int16_t advanceY;
    uint16_t width;
    uint16_t height;
    int16_t left;
    int16_t top;
    uint16_t offsetX;
};

class FontAtlas : public Texture {
public:
    FontAtlas();

    Glyph mGlyphs[kGlyphCount];
    uint32_t mWidth;
    uint32_t mHeight;
    uint32_t mAscent;
};

// Fills an empty atlas from kFontPath at dpi. 0 on success; -1 (logged, atlas
// untouched) when FreeType, the file or the face fails, when the atlas would
// be wider or taller than the GPU allows, or when its upload raises a GL
// error. A character the font has no glyph for is warned about once, with the
// count; one whose glyph fails to load is warned about in each pass.
int LoadFontAtlas(FontAtlas* atlas, uint32_t dpi);
int LoadFontAtlasFile(FontAtlas* atlas, uint32_t dpi, const char* path);
