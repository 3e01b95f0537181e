// FontAtlas: rasterises the printable ASCII glyphs of one TrueType font with
// FreeType into a single-row GL_R8 texture and records each glyph's metrics.
#include "text/FontAtlas.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <iterator>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "core/AssetFile.h"
#include "core/Logger.h"
#include "gpu/GLFunctions.h"

namespace {

const char* const kTag = "FontAtlas";
// FreeType positions are 26.6 fixed point: 64 units to the pixel.
constexpr int kFixedPointShift = 6;
// The whole file is read into memory for the face. The largest real fonts,
// collections of CJK faces, are 20 to 30 MiB; the atlas needs 95 glyphs. A
// path naming anything larger is not a font worth reading whole.
constexpr uint64_t kMaxFontFileBytes = uint64_t(64) << 20;

// FreeType's own texts for its error codes (its error-string call is only
// built in on request).
// clang-format off
#undef FTERRORS_H_
#undef __FTERRORS_H__
#define FT_ERRORDEF(e, v, s) {v, s},
#define FT_ERROR_START_LIST {
#define FT_ERROR_END_LIST {0, nullptr}};
const struct {
    int code;
    const char* text;
} kFreeTypeErrors[] =
#include FT_ERRORS_H

const char* FreeTypeErrorText(FT_Error error) {
    for (const auto& entry : kFreeTypeErrors)
        if (entry.text && entry.code == FT_ERROR_BASE(error))
            return entry.text;
    return "unknown FreeType error";
}
// clang-format on

// What the face needs while glyphs are rendered. The face reads straight from
// the file's bytes, so they must outlive it; everything is released in
// reverse order of creation by ReleaseFontSource.
struct FontSource {
    FT_Library library = nullptr;
    AssetFile file;
    FT_Face face = nullptr;
};

void ReleaseFontSource(FontSource* source) {
    if (source->face)
        FT_Done_Face(source->face);
    FreeAssetFile(&source->file);
    if (source->library)
        FT_Done_FreeType(source->library);
    *source = FontSource{};
}

// Reads the whole file into memory and opens face 0 from it at the size the
// overlay uses. On failure logs the reason; the caller releases what exists.
int OpenFace(const char* path, uint32_t dpi, FontSource* source) {
    if (ReadAssetFile(path, kTag, "font", &source->file, kMaxFontFileBytes) != 0)
        return -1;
    // A short read leaves fewer bytes than the font claims; FreeType then
    // refuses the face rather than reading past them.
    FT_Face face = nullptr;
    FT_Error error = FT_New_Memory_Face(source->library, source->file.data,
                                        static_cast<FT_Long>(source->file.size), 0, &face);
    if (error != 0) {
        LogMessage(LOG_ERROR, kTag, "Couldn't load font: %s: %s", path, FreeTypeErrorText(error));
        return -1;
    }
    source->face = face;
    // Bitmap strikes come in fixed sizes and render 1-bit glyphs, which the
    // 8-bit atlas can't hold: only outlines scale to the DPI.
    if (!FT_IS_SCALABLE(face)) {
        LogMessage(LOG_ERROR, kTag, "Couldn't load font: %s: it has no scalable outlines", path);
        return -1;
    }
    // Width 0 means "same as the height"; at 96 dpi 12 points are 16 pixels per em.
    error = FT_Set_Char_Size(face, 0, kFontCharHeight26_6, dpi, dpi);
    if (error != 0) {
        LogMessage(LOG_ERROR, kTag, "Couldn't load font: %s: %s", path, FreeTypeErrorText(error));
        return -1;
    }
    return 0;
}

// Loads and renders glyph k (code kFirstGlyph + k) into face->glyph; null,
// or why it can't be used. Only an 8-bit coverage bitmap whose rows hold at
// least width bytes can be uploaded as GL_RED bytes; anything else (a 1-bit
// strike, an upward flow) would be read past its end, so it is skipped like a
// glyph that failed to load.
const char* RenderGlyph(FT_Face face, int k) {
    const FT_Error error = FT_Load_Char(face, kFirstGlyph + k, FT_LOAD_RENDER);
    if (error != 0)
        return FreeTypeErrorText(error);
    const FT_Bitmap& bitmap = face->glyph->bitmap;
    if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY || bitmap.pitch < static_cast<int>(bitmap.width))
        return "not an 8-bit coverage bitmap";
    return nullptr;
}

// A glyph that fails is skipped, with a warning in each pass that meets it.
void ReportFailedGlyph(int k, const char* reason) {
    LogMessage(LOG_WARNING, kTag, "Error loading font character for %d: %s", k, reason);
}

// Characters the font maps to no glyph load FreeType's placeholder (glyph 0)
// without an error: the overlay would show boxes or nothing, silently.
void ReportMissingGlyphs(FT_Face face, const char* path) {
    int missing = 0, first = 0;
    for (int k = 0; k < kGlyphCount; ++k) {
        if (FT_Get_Char_Index(face, FT_ULong(kFirstGlyph + k)) == 0 && missing++ == 0)
            first = kFirstGlyph + k;
    }
    if (missing > 0)
        LogMessage(LOG_WARNING, kTag,
                   "Font \"%s\" has no glyph for %d of %d characters (the first is '%c'); they "
                   "show as its placeholder or not at all",
                   path, missing, kGlyphCount, first);
}

struct AtlasSize {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t ascent = 0;
};

// First pass: the atlas is one row of all bitmaps side by side, as tall as
// the tallest; the ascent is the highest point above the baseline.
AtlasSize MeasureGlyphs(FT_Face face) {
    AtlasSize size;
    for (int k = 0; k < kGlyphCount; ++k) {
        if (const char* reason = RenderGlyph(face, k)) {
            ReportFailedGlyph(k, reason);
            continue;
        }
        const FT_GlyphSlot slot = face->glyph;
        size.width += slot->bitmap.width;
        if (slot->bitmap.rows > size.height)
            size.height = slot->bitmap.rows;
        const FT_Pos bearingY = slot->metrics.horiBearingY;
        if (bearingY > 0 && static_cast<uint32_t>(bearingY >> kFixedPointShift) > size.ascent)
            size.ascent = static_cast<uint32_t>(bearingY >> kFixedPointShift);
    }
    return size;
}

// Errors left by earlier calls would be blamed on the atlas: clear them.
void DiscardPendingGLErrors() {
    constexpr int kMaxPendingErrors = 16; // one flag per error kind at most
    for (int i = 0; i < kMaxPendingErrors && glGetError() != GL_NO_ERROR; ++i) {
    }
}

// The atlas is one texture row: its width must fit the GPU's limit and the
// 16-bit offsets of the glyph records.
bool AtlasFits(const AtlasSize& size, const char* path) {
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    const uint32_t limit = std::min<uint32_t>(uint32_t(std::max(maxSize, 0)), UINT16_MAX);
    if (size.width <= limit && size.height <= limit)
        return true;
    LogMessage(LOG_ERROR, kTag,
               "Couldn't build the font atlas of \"%s\": %u x %u texels, over the limit of %u",
               path, size.width, size.height, limit);
    return false;
}

uint32_t CreateAtlasTexture(uint32_t width, uint32_t height) {
    GLuint id = 0;
    glGenTextures(1, &id);
    glBindTexture(GL_TEXTURE_2D, id);
    // Glyph rows are tightly packed bytes of any width; the default alignment
    // of 4 would skew every bitmap whose width is not a multiple of 4.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_R8, static_cast<GLsizei>(width), static_cast<GLsizei>(height),
                 0, GL_RED, GL_UNSIGNED_BYTE, nullptr);
    return id;
}

// Uploads the rendered bitmap with its left column at atlas column x, top at row 0.
void UploadBitmap(const FT_Bitmap& bitmap, uint16_t x) {
    const GLsizei width = static_cast<GLsizei>(bitmap.width);
    const GLsizei rows = static_cast<GLsizei>(bitmap.rows);
    if (bitmap.pitch == width) {
        glTexSubImage2D(GL_TEXTURE_2D, 0, x, 0, width, rows, GL_RED, GL_UNSIGNED_BYTE,
                        bitmap.buffer);
        return;
    }
    // Padded rows: one row at a time, so the padding never reaches the texture.
    for (GLsizei row = 0; row < rows; ++row)
        glTexSubImage2D(GL_TEXTURE_2D, 0, x, row, width, 1, GL_RED, GL_UNSIGNED_BYTE,
                        bitmap.buffer + static_cast<ptrdiff_t>(row) * bitmap.pitch);
}

// Second pass: uploads each bitmap at the running x and records its metrics.
// A glyph that fails keeps its zero record and takes no room.
void FillGlyphs(FT_Face face, FontAtlas* atlas) {
    uint16_t x = 0;
    for (int k = 0; k < kGlyphCount; ++k) {
        if (const char* reason = RenderGlyph(face, k)) {
            ReportFailedGlyph(k, reason);
            continue;
        }
        const FT_GlyphSlot slot = face->glyph;
        UploadBitmap(slot->bitmap, x);
        Glyph& glyph = atlas->mGlyphs[k];
        glyph.advanceX = static_cast<int16_t>(slot->advance.x >> kFixedPointShift);
        glyph.advanceY = static_cast<int16_t>(slot->advance.y >> kFixedPointShift);
        glyph.width = static_cast<uint16_t>(slot->bitmap.width);
        glyph.height = static_cast<uint16_t>(slot->bitmap.rows);
        glyph.left = static_cast<int16_t>(slot->bitmap_left);
        glyph.top = static_cast<int16_t>(slot->bitmap_top);
        glyph.offsetX = x;
        x = static_cast<uint16_t>(x + glyph.width);
    }
}

} // namespace

FontAtlas::FontAtlas() : mGlyphs(), mWidth(0), mHeight(0), mAscent(0) {}

int LoadFontAtlas(FontAtlas* atlas, uint32_t dpi) {
    return LoadFontAtlasFile(atlas, dpi, kFontPath);
}

int LoadFontAtlasFile(FontAtlas* atlas, uint32_t dpi, const char* path) {
    assert(atlas && path && "the atlas is filled in place from a named file");
    assert(atlas->mId == 0 && "an atlas is built once; a second build would leak its texture");
    FontSource source;
    if (FT_Init_FreeType(&source.library) != 0) {
        source.library = nullptr;
        LogMessage(LOG_ERROR, kTag, "Couldn't init FreeType");
        return -1;
    }
    if (OpenFace(path, dpi, &source) != 0) {
        ReleaseFontSource(&source);
        return -1;
    }
    ReportMissingGlyphs(source.face, path);
    const AtlasSize size = MeasureGlyphs(source.face);
    if (!AtlasFits(size, path)) {
        ReleaseFontSource(&source);
        return -1;
    }
    atlas->mWidth = size.width;
    atlas->mHeight = size.height;
    atlas->mAscent = size.ascent;

    DiscardPendingGLErrors();
    const uint32_t id = CreateAtlasTexture(size.width, size.height);
    FillGlyphs(source.face, atlas);
    // Text is drawn texel for texel: nearest sampling keeps a glyph's
    // neighbours in the row from bleeding in, and clamping keeps the first and
    // last glyph from wrapping round to the other end.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glBindTexture(GL_TEXTURE_2D, 0);
    // An atlas the GPU did not take whole would draw blank text: it fails.
    const GLenum error = glGetError();
    if (error != GL_NO_ERROR) {
        GLuint name = id;
        glDeleteTextures(1, &name);
        std::fill(std::begin(atlas->mGlyphs), std::end(atlas->mGlyphs), Glyph{});
        atlas->mWidth = atlas->mHeight = atlas->mAscent = 0;
        LogMessage(LOG_ERROR, kTag, "Couldn't upload the font atlas of \"%s\": GL error 0x%04X",
                   path, error);
        ReleaseFontSource(&source);
        return -1;
    }
    atlas->mId = id;

    ReleaseFontSource(&source);
    return 0;
}
