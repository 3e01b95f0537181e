// ImageUpload: decoded images land in GL with their own size, channels and
// row order, repeat wrap, linear magnification and a mipmap chain; bad,
// truncated and oversized images are refused with a reason.
#include "gpu/ImageUpload.h"

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include "support/GLTestContext.h"

namespace {

void AppendBytes(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<unsigned char>*>(context);
    auto* bytes = static_cast<unsigned char*>(data);
    out->insert(out->end(), bytes, bytes + size);
}

std::vector<unsigned char> EncodePNG(int width, int height, int channels,
                                     const std::vector<unsigned char>& pixels) {
    std::vector<unsigned char> png;
    stbi_write_png_to_func(AppendBytes, &png, width, height, channels, pixels.data(),
                           width * channels);
    return png;
}

// Every byte different, so a wrong row order or row padding shows.
std::vector<unsigned char> Pattern(int width, int height, int channels) {
    std::vector<unsigned char> pixels(size_t(width) * height * channels);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<unsigned char>(i * 7 + 3);
    return pixels;
}

// A PNG signature and IHDR chunk claiming the given size, with no pixel data.
std::vector<unsigned char> PNGHeaderOnly(uint32_t width, uint32_t height) {
    std::vector<unsigned char> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n',
                                      0,    0,   0,   13,  'I',  'H',  'D',  'R'};
    for (uint32_t value : {width, height})
        for (int shift = 24; shift >= 0; shift -= 8)
            png.push_back(static_cast<unsigned char>(value >> shift));
    const unsigned char rest[] = {8, 2, 0, 0, 0, 0, 0, 0, 0}; // 8-bit RGB, then a CRC
    png.insert(png.end(), rest, rest + sizeof(rest));
    return png;
}

GLint LevelParameter(int level, GLenum name) {
    GLint value = -1;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, name, &value);
    return value;
}

GLint TexParameter(GLenum name) {
    GLint value = -1;
    glGetTexParameteriv(GL_TEXTURE_2D, name, &value);
    return value;
}

uint32_t Load(const std::vector<unsigned char>& bytes) {
    return ImageLoadTextureFromMemory(bytes.data(), int(bytes.size()));
}

} // namespace

TEST(ImageUpload, RGBImageKeepsItsSizeRowsAndSamplingState) {
    ASSERT_TRUE(RequireGL());
    // Odd width: 15-byte rows are not 4-byte aligned.
    const int width = 5, height = 3;
    std::vector<unsigned char> pixels = Pattern(width, height, 3);
    uint32_t texture = Load(EncodePNG(width, height, 3, pixels));
    ASSERT_NE(texture, 0u) << ImageLastResult();

    glBindTexture(GL_TEXTURE_2D, texture);
    EXPECT_EQ(LevelParameter(0, GL_TEXTURE_WIDTH), width);
    EXPECT_EQ(LevelParameter(0, GL_TEXTURE_HEIGHT), height);
    EXPECT_EQ(LevelParameter(0, GL_TEXTURE_INTERNAL_FORMAT), GL_RGB8);
    EXPECT_EQ(TexParameter(GL_TEXTURE_WRAP_S), GL_REPEAT);
    EXPECT_EQ(TexParameter(GL_TEXTURE_WRAP_T), GL_REPEAT);
    EXPECT_EQ(TexParameter(GL_TEXTURE_MAG_FILTER), GL_LINEAR);
    // 5x3, 2x1, 1x1: the whole chain was generated.
    EXPECT_EQ(LevelParameter(1, GL_TEXTURE_WIDTH), 2);
    EXPECT_EQ(LevelParameter(2, GL_TEXTURE_WIDTH), 1);
    EXPECT_EQ(LevelParameter(2, GL_TEXTURE_HEIGHT), 1);

    // The file's first row is texture row 0: no flip, no padding.
    std::vector<unsigned char> stored(pixels.size());
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, stored.data());
    EXPECT_EQ(stored, pixels);

    GLint unpack = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &unpack);
    EXPECT_EQ(unpack, 4) << "the upload's tight packing must not leak to later uploads";
    glDeleteTextures(1, &texture);
}

TEST(ImageUpload, ChannelCountsMapToFormatsAndGreyReadsAsGrey) {
    ASSERT_TRUE(RequireGL());
    struct Case {
        int channels;
        GLint internalFormat;
        GLint swizzle[4];
    };
    const Case cases[] = {
        {1, GL_R8, {GL_RED, GL_RED, GL_RED, GL_ONE}},
        {2, GL_RG8, {GL_RED, GL_RED, GL_RED, GL_GREEN}},
        {3, GL_RGB8, {GL_RED, GL_GREEN, GL_BLUE, GL_ONE}},
        {4, GL_RGBA8, {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.channels);
        uint32_t texture = Load(EncodePNG(4, 4, c.channels, Pattern(4, 4, c.channels)));
        ASSERT_NE(texture, 0u) << ImageLastResult();
        glBindTexture(GL_TEXTURE_2D, texture);
        EXPECT_EQ(LevelParameter(0, GL_TEXTURE_INTERNAL_FORMAT), c.internalFormat);
        EXPECT_EQ(TexParameter(GL_TEXTURE_SWIZZLE_R), c.swizzle[0]);
        EXPECT_EQ(TexParameter(GL_TEXTURE_SWIZZLE_G), c.swizzle[1]);
        EXPECT_EQ(TexParameter(GL_TEXTURE_SWIZZLE_B), c.swizzle[2]);
        EXPECT_EQ(TexParameter(GL_TEXTURE_SWIZZLE_A), c.swizzle[3]);
        glDeleteTextures(1, &texture);
    }
}

TEST(ImageUpload, HeaderClaimingAHugeImageIsRefusedBeforeDecoding) {
    ASSERT_TRUE(RequireGL());
    // 30 GB of pixels: the decoder's own header sanity check already refuses it.
    EXPECT_EQ(Load(PNGHeaderOnly(100000, 100000)), 0u);
    EXPECT_STRNE(ImageLastResult(), "image loaded");
    // Small enough for the decoder's check, too wide for a texture: ours refuses it.
    EXPECT_EQ(Load(PNGHeaderOnly(100000, 8)), 0u);
    EXPECT_STREQ(ImageLastResult(), "image too large (100000 x 8)");
}

TEST(ImageUpload, LargestDimensionIsAcceptedAndOneMoreRefused) {
    ASSERT_TRUE(RequireGL());
    const int limit = kMaxImageDimension;
    uint32_t texture = Load(EncodePNG(limit, 1, 1, std::vector<unsigned char>(limit, 128)));
    EXPECT_NE(texture, 0u) << ImageLastResult();
    glDeleteTextures(1, &texture);

    EXPECT_EQ(Load(EncodePNG(1, limit + 1, 1, std::vector<unsigned char>(limit + 1, 128))), 0u);
    EXPECT_EQ(std::string(ImageLastResult()),
              "image too large (1 x " + std::to_string(limit + 1) + ")");
}

TEST(ImageUpload, EmptyDataChunkBeforeThePixelsIsAccepted) {
    ASSERT_TRUE(RequireGL());
    // A zero-length IDAT is legal PNG; the decoder copies its nothing into a
    // buffer it hasn't allocated yet, which the sanitized build must not abort on.
    const int width = 3, height = 2;
    std::vector<unsigned char> pixels = Pattern(width, height, 3);
    std::vector<unsigned char> png = EncodePNG(width, height, 3, pixels);
    const size_t afterHeader = 8 + 4 + 4 + 13 + 4; // signature, IHDR length, type, data, CRC
    const unsigned char empty[] = {0, 0, 0, 0, 'I', 'D', 'A', 'T', 0x35, 0xAF, 0x06, 0x1E};
    png.insert(png.begin() + afterHeader, empty, empty + sizeof(empty));
    uint32_t texture = Load(png);
    ASSERT_NE(texture, 0u) << ImageLastResult();
    glBindTexture(GL_TEXTURE_2D, texture);
    std::vector<unsigned char> stored(pixels.size());
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, stored.data());
    EXPECT_EQ(stored, pixels);
    glDeleteTextures(1, &texture);
}

TEST(ImageUpload, ChunkLongerThanTheFileIsRefusedAsTruncated) {
    ASSERT_TRUE(RequireGL());
    // A data chunk stating 2 GiB in a file of a few dozen bytes: the decoder
    // would size a buffer by it.
    std::vector<unsigned char> png = PNGHeaderOnly(2, 2);
    const unsigned char huge[] = {0x80, 0, 0, 0, 'I', 'D', 'A', 'T', 1, 2, 3, 4};
    png.insert(png.end(), huge, huge + sizeof(huge));
    EXPECT_EQ(Load(png), 0u);
    EXPECT_STREQ(ImageLastResult(), "truncated or corrupt PNG");
    // A real image cut inside its data chunk.
    png = EncodePNG(4, 4, 3, Pattern(4, 4, 3));
    png.resize(png.size() - 20); // the 12-byte end marker and 8 bytes of data
    EXPECT_EQ(Load(png), 0u);
    EXPECT_STREQ(ImageLastResult(), "truncated or corrupt PNG");
}

TEST(ImageUpload, ReasonsNamingFileBytesStayPrintableAndNeverEmpty) {
    ASSERT_TRUE(RequireGL());
    // An unknown critical chunk after the header: the decoder copies its type
    // into the reason, here a zero byte (an empty reason) or a control byte.
    for (unsigned char first : {0x00, 0x01}) {
        std::vector<unsigned char> png = PNGHeaderOnly(2, 2);
        const unsigned char chunk[] = {0, 0, 0, 0, first, 'A', 'B', 'C', 0, 0, 0, 0};
        png.insert(png.end(), chunk, chunk + sizeof(chunk));
        EXPECT_EQ(Load(png), 0u);
        const std::string reason = ImageLastResult();
        EXPECT_FALSE(reason.empty()) << int(first);
        for (char c : reason)
            EXPECT_TRUE(c >= ' ' && c <= '~') << "byte " << int(c) << " in \"" << reason << '"';
    }
}

TEST(ImageUpload, UndecodableBytesAreRefusedWithTheDecoderReason) {
    ASSERT_TRUE(RequireGL());
    const std::string text = "this is plainly not an image file";
    std::vector<unsigned char> png = EncodePNG(64, 64, 3, Pattern(64, 64, 3));
    png.resize(png.size() / 2); // the header promises more than follows
    for (const std::vector<unsigned char>& bytes :
         {std::vector<unsigned char>(text.begin(), text.end()), png}) {
        EXPECT_EQ(Load(bytes), 0u);
        EXPECT_STRNE(ImageLastResult(), "");
        EXPECT_STRNE(ImageLastResult(), "image loaded");
    }
    EXPECT_EQ(ImageLoadTextureFromMemory(nullptr, 10), 0u);
}
