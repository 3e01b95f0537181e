// FontAtlas: the atlas built from a real TrueType font (layout of the row,
// metrics, scaling with the DPI, the texture and its contents) and the
// failures that must leave the atlas untouched.
#include "text/FontAtlas.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H

#include "support/GLTestContext.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

namespace {

const char* const kSystemFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
constexpr uint32_t kDefaultDpi = 96;
constexpr uint32_t kHighDpi = 144;

int GetTexLevel(GLenum parameter) {
    GLint value = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, parameter, &value);
    return value;
}

int GetTexParameter(GLenum parameter) {
    GLint value = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, parameter, &value);
    return value;
}

const Glyph& GlyphFor(const FontAtlas& atlas, char c) {
    return atlas.mGlyphs[c - kFirstGlyph];
}

// An independent FreeType session on the same font, to compare against.
class ReferenceFace {
public:
    explicit ReferenceFace(uint32_t dpi) {
        EXPECT_EQ(FT_Init_FreeType(&mLibrary), 0);
        EXPECT_EQ(FT_New_Face(mLibrary, kSystemFont, 0, &mFace), 0);
        EXPECT_EQ(FT_Set_Char_Size(mFace, 0, kFontCharHeight26_6, dpi, dpi), 0);
    }
    ~ReferenceFace() {
        FT_Done_Face(mFace);
        FT_Done_FreeType(mLibrary);
    }
    FT_Face mFace = nullptr;

private:
    FT_Library mLibrary = nullptr;
};

// The whole atlas texture, one byte per texel, rows tightly packed.
std::vector<uint8_t> ReadAtlas(const FontAtlas& atlas) {
    std::vector<uint8_t> texels(size_t(atlas.mWidth) * atlas.mHeight);
    glBindTexture(GL_TEXTURE_2D, atlas.mId);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RED, GL_UNSIGNED_BYTE, texels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return texels;
}

class FontAtlasTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(RequireGL()); }
};

// Glyphs sit side by side in code order without gaps; the blank takes no
// room but advances; the ascent is the highest top above the baseline.
TEST_F(FontAtlasTest, RowLayoutAndMetricsOfARealFont) {
    FontAtlas atlas;
    ASSERT_EQ(LoadFontAtlasFile(&atlas, kDefaultDpi, kSystemFont), 0);
    uint32_t x = 0;
    uint32_t tallest = 0;
    int highest = 0;
    for (int k = 0; k < kGlyphCount; ++k) {
        EXPECT_EQ(atlas.mGlyphs[k].offsetX, x) << "glyph " << k;
        x += atlas.mGlyphs[k].width;
        tallest = std::max<uint32_t>(tallest, atlas.mGlyphs[k].height);
        highest = std::max<int>(highest, atlas.mGlyphs[k].top);
    }
    EXPECT_EQ(x, atlas.mWidth);
    const Glyph& last = atlas.mGlyphs[kGlyphCount - 1];
    EXPECT_EQ(last.offsetX + last.width, atlas.mWidth);
    EXPECT_EQ(atlas.mHeight, tallest);

    const Glyph& blank = GlyphFor(atlas, ' ');
    EXPECT_EQ(blank.width, 0);
    EXPECT_EQ(blank.offsetX, GlyphFor(atlas, '!').offsetX);
    EXPECT_GT(blank.advanceX, 0);

    // Hinted outlines have whole-pixel bearings, so the bitmap tops agree;
    // descenders make the row taller than the ascent.
    EXPECT_EQ(int(atlas.mAscent), highest);
    EXPECT_GT(atlas.mHeight, atlas.mAscent);
}

TEST_F(FontAtlasTest, TwelvePointsAreSixteenPixelsPerEmAt96DpiAnd24At144) {
    FontAtlas normal;
    FontAtlas high;
    ASSERT_EQ(LoadFontAtlasFile(&normal, kDefaultDpi, kSystemFont), 0);
    ASSERT_EQ(LoadFontAtlasFile(&high, kHighDpi, kSystemFont), 0);
    ReferenceFace unscaled(kDefaultDpi);
    const double unitsPerEm = unscaled.mFace->units_per_EM;
    for (char c : std::string("MW@m ")) {
        FT_Fixed advance = 0;
        ASSERT_EQ(FT_Get_Advance(unscaled.mFace, FT_Get_Char_Index(unscaled.mFace, c),
                                 FT_LOAD_NO_SCALE, &advance),
                  0);
        // Hinting rounds each advance to a whole pixel, at most one away.
        EXPECT_NEAR(GlyphFor(normal, c).advanceX, advance * 16.0 / unitsPerEm, 1.0) << c;
        EXPECT_NEAR(GlyphFor(high, c).advanceX, advance * 24.0 / unitsPerEm, 1.0) << c;
    }
    EXPECT_NEAR(double(high.mHeight) / normal.mHeight, 1.5, 0.15);
}

TEST_F(FontAtlasTest, TextureIsOneRowOfR8TexelsClampedAndNearest) {
    glPixelStorei(GL_UNPACK_ALIGNMENT, 8);
    FontAtlas atlas;
    ASSERT_EQ(LoadFontAtlasFile(&atlas, kDefaultDpi, kSystemFont), 0);
    ASSERT_NE(atlas.mId, 0u);
    EXPECT_EQ(GetInteger(GL_TEXTURE_BINDING_2D), 0);
    EXPECT_EQ(GetInteger(GL_UNPACK_ALIGNMENT), 1);

    glBindTexture(GL_TEXTURE_2D, atlas.mId);
    EXPECT_EQ(GetTexLevel(GL_TEXTURE_WIDTH), int(atlas.mWidth));
    EXPECT_EQ(GetTexLevel(GL_TEXTURE_HEIGHT), int(atlas.mHeight));
    EXPECT_EQ(GetTexLevel(GL_TEXTURE_INTERNAL_FORMAT), GL_R8);
    EXPECT_EQ(GetTexParameter(GL_TEXTURE_WRAP_S), GL_CLAMP_TO_EDGE);
    EXPECT_EQ(GetTexParameter(GL_TEXTURE_WRAP_T), GL_CLAMP_TO_EDGE);
    EXPECT_EQ(GetTexParameter(GL_TEXTURE_MIN_FILTER), GL_NEAREST);
    EXPECT_EQ(GetTexParameter(GL_TEXTURE_MAG_FILTER), GL_NEAREST);
    glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// Byte for byte against FreeType's own rendering: catches a wrong row
// stride (odd widths), a wrong offset or a glyph uploaded upside down.
TEST_F(FontAtlasTest, TextureHoldsEachBitmapTopAlignedAtItsOffset) {
    FontAtlas atlas;
    ASSERT_EQ(LoadFontAtlasFile(&atlas, kDefaultDpi, kSystemFont), 0);
    const std::vector<uint8_t> texels = ReadAtlas(atlas);
    ReferenceFace reference(kDefaultDpi);
    for (char c : std::string("!AQgj~")) {
        ASSERT_EQ(FT_Load_Char(reference.mFace, c, FT_LOAD_RENDER), 0);
        const FT_Bitmap& bitmap = reference.mFace->glyph->bitmap;
        const Glyph& glyph = GlyphFor(atlas, c);
        ASSERT_EQ(glyph.width, bitmap.width) << c;
        ASSERT_EQ(glyph.height, bitmap.rows) << c;
        EXPECT_EQ(glyph.left, reference.mFace->glyph->bitmap_left) << c;
        EXPECT_EQ(glyph.top, reference.mFace->glyph->bitmap_top) << c;
        int mismatches = 0;
        for (unsigned row = 0; row < bitmap.rows; ++row)
            for (unsigned col = 0; col < bitmap.width; ++col)
                mismatches += texels[row * atlas.mWidth + glyph.offsetX + col] !=
                              bitmap.buffer[row * bitmap.pitch + col];
        EXPECT_EQ(mismatches, 0) << c;
    }
}

// Each failing file gives exactly one error line, -1, a zero atlas and no
// texture work (the unpack alignment is only touched once the texture is made).
class FontAtlasFailureTest : public FontAtlasTest {
protected:
    void SetUp() override {
        FontAtlasTest::SetUp();
        ASSERT_FALSE(mDir.Path().empty());
    }

    std::string WriteFile(const char* name, const std::string& bytes) {
        EXPECT_TRUE(mDir.Write(name, bytes));
        return mDir.File(name);
    }

    // Loads path and checks the untouched atlas; returns the one logged line.
    std::string ExpectRejected(const std::string& path) {
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        LogCapture capture;
        FontAtlas atlas;
        EXPECT_EQ(LoadFontAtlasFile(&atlas, kDefaultDpi, path.c_str()), -1);
        const FontAtlas fresh;
        EXPECT_EQ(atlas.mId, 0u);
        EXPECT_EQ(memcmp(atlas.mGlyphs, fresh.mGlyphs, sizeof atlas.mGlyphs), 0);
        EXPECT_EQ(atlas.mWidth + atlas.mHeight + atlas.mAscent, 0u);
        EXPECT_EQ(GetInteger(GL_UNPACK_ALIGNMENT), 4);
        const std::vector<std::string> lines = capture.Lines();
        EXPECT_EQ(lines.size(), 1u) << capture.Text();
        return lines.empty() ? std::string() : lines[0];
    }

    TempDir mDir{"fontatlas"};
};

TEST_F(FontAtlasFailureTest, MissingFileLogsThePathAndTheStreamError) {
    const std::string path = mDir.File("missing.ttf");
    const std::string line = ExpectRejected(path);
    EXPECT_EQ(line,
              "[E]  [FontAtlas] Error while loading font \"" + path + "\": " + SDL_GetError());
    EXPECT_NE(std::string(SDL_GetError()), "");
}

TEST_F(FontAtlasFailureTest, EmptyFileIsRefusedAsEmpty) {
    const std::string path = WriteFile("empty.ttf", "");
    EXPECT_EQ(ExpectRejected(path),
              "[E]  [FontAtlas] Error while loading font \"" + path + "\": the file is empty");
}

// A directory's size reads as nonsense; it is refused before anything is allocated.
TEST_F(FontAtlasFailureTest, DirectoryIsRefusedAsNotARegularFile) {
    const std::string path = mDir.File("hobo.ttf");
    ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
    EXPECT_EQ(ExpectRejected(path), "[E]  [FontAtlas] Error while loading font \"" + path +
                                        "\": the path is not a regular file (it is a directory)");
    rmdir(path.c_str());
}

TEST_F(FontAtlasFailureTest, CorruptFileIsNotAFace) {
    const std::string path = WriteFile("corrupt.ttf", std::string(4096, '\x5a'));
    EXPECT_EQ(ExpectRejected(path),
              "[E]  [FontAtlas] Couldn't load font: " + path + ": unknown file format");
}

// A bitmap-only font gives 1-bit glyphs at fixed sizes; a file over the cap
// is refused unread (this one is sparse: nothing is written to disk).
TEST_F(FontAtlasFailureTest, BitmapOnlyAndHugeFontsAreRefusedWithTheirReason) {
    const std::string bitmap = "/usr/share/fonts/X11/misc/8x16.pcf.gz";
    if (access(bitmap.c_str(), R_OK) != 0)
        GTEST_SKIP() << "no bitmap font at " << bitmap << " (xfonts-base)";
    EXPECT_EQ(ExpectRejected(bitmap),
              "[E]  [FontAtlas] Couldn't load font: " + bitmap + ": it has no scalable outlines");
    const std::string huge = WriteFile("huge.ttf", "");
    ASSERT_EQ(truncate(huge.c_str(), off_t(600) << 20), 0);
    EXPECT_EQ(ExpectRejected(huge), "[E]  [FontAtlas] Error while loading font \"" + huge +
                                        "\": file too large (629145600 bytes, at most 67108864)");
}

// The real font with one 16-bit field of a table changed (FreeType checks no
// table checksums).
std::string TweakedFont(const char* table, size_t offset, uint16_t value) {
    FILE* file = fopen(kSystemFont, "rb");
    EXPECT_NE(file, nullptr);
    std::string font;
    for (int c; file && (c = fgetc(file)) != EOF;)
        font.push_back(char(c));
    if (file)
        fclose(file);
    auto big16 = [&](size_t at) { return (uint8_t(font[at]) << 8) | uint8_t(font[at + 1]); };
    for (int t = 0; t < big16(4); ++t) {
        const size_t entry = 12 + 16 * t;
        if (font.compare(entry, 4, table) == 0) {
            const size_t at = (size_t(big16(entry + 8)) << 16 | big16(entry + 10)) + offset;
            font[at] = char(value >> 8);
            font[at + 1] = char(value);
        }
    }
    return font;
}

// The glyph count in 'maxp' cut down: characters whose glyph lies past it map
// to no glyph (FreeType would draw its placeholder in their place); with a
// count of 0 not one glyph loads at all. Either way a warning counts the
// characters without a glyph; each glyph that fails to load is warned about
// in each pass, by its position in the range.
TEST_F(FontAtlasFailureTest, FontMissingGlyphsWarnsWithTheCountAndEachFailedGlyphInEachPass) {
    // Characters the real font maps past the first 40 glyphs.
    int pastForty = 0;
    char firstPast = 0;
    {
        ReferenceFace reference(kDefaultDpi);
        for (int c = kFirstGlyph; c <= kLastGlyph; ++c) {
            if (FT_Get_Char_Index(reference.mFace, FT_ULong(c)) >= 40 && pastForty++ == 0)
                firstPast = char(c);
        }
    }
    ASSERT_GT(pastForty, 0);
    const std::string some = WriteFile("someglyphs.ttf", TweakedFont("maxp", 4, 40));
    const std::string none = WriteFile("noglyphs.ttf", TweakedFont("maxp", 4, 0));
    auto missing = [](const std::string& path, int count, char first) {
        return "[W]  [FontAtlas] Font \"" + path + "\" has no glyph for " + std::to_string(count) +
               " of 95 characters (the first is '" + std::string(1, first) +
               "'); they show as its placeholder or not at all";
    };
    {
        LogCapture capture;
        FontAtlas atlas;
        EXPECT_EQ(LoadFontAtlasFile(&atlas, kDefaultDpi, some.c_str()), 0);
        EXPECT_EQ(capture.Lines(), std::vector<std::string>{missing(some, pastForty, firstPast)});
        EXPECT_NE(atlas.mId, 0u);
    }
    LogCapture capture;
    FontAtlas atlas;
    EXPECT_EQ(LoadFontAtlasFile(&atlas, kDefaultDpi, none.c_str()), 0);
    std::vector<std::string> expected = {missing(none, 95, ' ')};
    for (int pass = 0; pass < 2; ++pass) {
        for (int k = 0; k < kGlyphCount; ++k)
            expected.push_back("[W]  [FontAtlas] Error loading font character for " +
                               std::to_string(k) + ": invalid argument");
    }
    EXPECT_EQ(capture.Lines(), expected);
    EXPECT_EQ(atlas.mWidth, 0u);
}

// Units per em set to 64 in an intact font: every glyph is 32 times its size
// and the row would be wider than the GPU allows. The atlas fails with one
// error line instead of counting as loaded with a texture that never arrived.
TEST_F(FontAtlasFailureTest, AtlasWiderThanTheGPUAllowsFailsWithOneError) {
    const std::string path = WriteFile("hugeglyphs.ttf", TweakedFont("head", 18, 64));
    const std::string line = ExpectRejected(path);
    const std::string start =
        "[E]  [FontAtlas] Couldn't build the font atlas of \"" + path + "\": ";
    EXPECT_EQ(line.rfind(start, 0), 0u) << line;
    EXPECT_NE(
        line.find("texels, over the limit of " + std::to_string(GetInteger(GL_MAX_TEXTURE_SIZE))),
        std::string::npos)
        << line;
}

// A GL error while the atlas is uploaded fails it: the texture is deleted and
// the atlas left as it was.
PFNGLTEXSUBIMAGE2DPROC gRealTexSubImage2D = nullptr;
void APIENTRY RefusedTexSubImage2D(GLenum target, GLint level, GLint x, GLint y, GLsizei width,
                                   GLsizei height, GLenum, GLenum type, const void* pixels) {
    // A format GL does not know: GL_INVALID_ENUM.
    gRealTexSubImage2D(target, level, x, y, width, height, 0x1234, type, pixels);
}

std::vector<GLuint> gGenerated;
PFNGLGENTEXTURESPROC gRealGenTextures = nullptr;
void APIENTRY RecordingGenTextures(GLsizei count, GLuint* names) {
    gRealGenTextures(count, names);
    gGenerated.insert(gGenerated.end(), names, names + count);
}

TEST_F(FontAtlasFailureTest, GLErrorInTheUploadFailsTheAtlasAndDeletesItsTexture) {
    gRealTexSubImage2D = vgl::glTexSubImage2D;
    gRealGenTextures = vgl::glGenTextures;
    vgl::glTexSubImage2D = RefusedTexSubImage2D;
    vgl::glGenTextures = RecordingGenTextures;
    gGenerated.clear();
    LogCapture capture;
    FontAtlas atlas;
    const GLint before = GetInteger(GL_TEXTURE_BINDING_2D);
    EXPECT_EQ(LoadFontAtlasFile(&atlas, kDefaultDpi, kSystemFont), -1);
    vgl::glTexSubImage2D = gRealTexSubImage2D;
    vgl::glGenTextures = gRealGenTextures;
    const FontAtlas fresh;
    EXPECT_EQ(atlas.mId, 0u);
    EXPECT_EQ(memcmp(atlas.mGlyphs, fresh.mGlyphs, sizeof atlas.mGlyphs), 0);
    EXPECT_EQ(atlas.mWidth + atlas.mHeight + atlas.mAscent, 0u);
    EXPECT_EQ(capture.Lines(),
              std::vector<std::string>{std::string("[E]  [FontAtlas] Couldn't upload the font "
                                                   "atlas of \"") +
                                       kSystemFont + "\": GL error 0x0500"});
    ASSERT_EQ(gGenerated.size(), 1u);
    EXPECT_FALSE(glIsTexture(gGenerated[0])) << "the atlas texture was left behind";
    EXPECT_EQ(GetInteger(GL_TEXTURE_BINDING_2D), before);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

} // namespace
