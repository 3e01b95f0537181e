// ImageUpload: decoded images land in GL with their own size, channels and
// row order, repeat wrap, linear magnification and a mipmap chain; bad,
// truncated and oversized images are refused with a reason.
#include "gpu/ImageUpload.h"

#include <cstring>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
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

// The start of a baseline JPEG: start of image, a JFIF segment, and the
// frame header with the size (height first); no tables or scan follow, as in
// a file cut after its header. When cut is set the frame header itself is cut
// short. (Built by hand: stb's JPEG writer shifts negative values, which the
// undefined-behaviour checker stops at.)
std::vector<unsigned char> JPEGHeader(uint32_t width, uint32_t height, bool cut = false) {
    std::vector<unsigned char> jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F',
                                       0,    1,    1,    0,    0, 1,  0,   1,   0,   0};
    const size_t frame = jpeg.size();
    const unsigned char precision[] = {0xFF, 0xC0, 0, 17, 8};
    const unsigned char components[] = {3, 1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1};
    jpeg.insert(jpeg.end(), precision, precision + sizeof(precision));
    for (uint32_t value : {height, width}) {
        jpeg.push_back(static_cast<unsigned char>(value >> 8));
        jpeg.push_back(static_cast<unsigned char>(value));
    }
    jpeg.insert(jpeg.end(), components, components + sizeof(components));
    if (cut)
        jpeg.resize(frame + 4);
    return jpeg;
}

void PutLittleEndian32(std::vector<unsigned char>& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

std::vector<unsigned char> EncodeBMP(int width, int height) {
    std::vector<unsigned char> bmp;
    stbi_write_bmp_to_func(AppendBytes, &bmp, width, height, 3, Pattern(width, height, 3).data());
    return bmp;
}

using Bytes = std::vector<unsigned char>;

// The bytes of a literal, embedded zeros included.
template <size_t N> Bytes B(const char (&literal)[N]) {
    return Bytes(literal, literal + N - 1);
}

Bytes UniformHDR(int width, int height) {
    Bytes hdr;
    const std::vector<float> grey(size_t(width) * height * 3, 0.5f);
    stbi_write_hdr_to_func(AppendBytes, &hdr, width, height, 3, grey.data());
    return hdr;
}

// Caps the address space 128 MiB above what the process maps now, so a
// decoder allocating what a hostile header claims fails instead of taking gigabytes.
struct AddressSpaceHeadroom {
    AddressSpaceHeadroom() {
        getrlimit(RLIMIT_AS, &old);
        long pages = 0;
        FILE* statm = fopen("/proc/self/statm", "r");
        rlimit capped = old;
        if (statm && fscanf(statm, "%ld", &pages) == 1)
            capped.rlim_cur = rlim_t(pages) * sysconf(_SC_PAGESIZE) + (rlim_t(128) << 20);
        setrlimit(RLIMIT_AS, &capped);
        if (statm)
            fclose(statm);
    }
    ~AddressSpaceHeadroom() { setrlimit(RLIMIT_AS, &old); }
    rlimit old{};
};

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
    // 30 GB of pixels: the decoder's own check would call this an unknown
    // image type; the claimed size is what the user needs to hear.
    EXPECT_EQ(Load(PNGHeaderOnly(100000, 100000)), 0u);
    EXPECT_STREQ(ImageLastResult(), "image too large (100000 x 100000)");
    EXPECT_EQ(Load(JPEGHeader(50000, 60000)), 0u);
    EXPECT_STREQ(ImageLastResult(), "image too large (50000 x 60000)");
    std::vector<unsigned char> bmp = EncodeBMP(4, 4);
    PutLittleEndian32(bmp, 18, 70000);
    PutLittleEndian32(bmp, 22, uint32_t(-80000)); // rows stored top first
    EXPECT_EQ(Load(bmp), 0u);
    EXPECT_STREQ(ImageLastResult(), "image too large (70000 x 80000)");
    // Small enough for the decoder's check, too wide for a texture: ours refuses it.
    EXPECT_EQ(Load(PNGHeaderOnly(100000, 8)), 0u);
    EXPECT_STREQ(ImageLastResult(), "image too large (100000 x 8)");
}

// Headers of every format the decoder reads claiming far more than their few
// bytes hold, a file cut short, or more pixels than the cap: each is refused
// before the decoder allocates (it would fail under the address-space cap).
TEST(ImageUpload, HeadersClaimingMoreThanTheFileHoldsAreRefusedUnallocated) {
    ASSERT_TRUE(RequireGL());
    const Bytes tga = B("\0\0\2\0\0\0\0\0\0\0\0\0\0\x40\0\x40\x20\0"); // 16384 x 16384 x 32
    Bytes rle = tga;
    rle[2] = 10;
    rle.insert(rle.end(), {0xFF, 1, 2, 3, 4});
    // Colour-mapped, 256 entries of 24 bits, 8192 x 8192 x 8.
    const Bytes mapped = B("\0\1\1\0\0\0\1\x18\0\0\0\0\0\x20\0\x20\x08\0");
    Bytes psd = B("8BPS\0\1\0\0\0\0\0\0\0\3\0\0\x40\0\0\0\x40\0\0\x08\0\3");
    psd.resize(40, 0);
    psd[39] = 1; // RLE
    Bytes bmp = EncodeBMP(4, 4);
    PutLittleEndian32(bmp, 18, 8000);
    PutLittleEndian32(bmp, 22, 8000);
    Bytes pic(112, 0); // one mixed-RLE packet for four channels, 8000 x 8000
    const Bytes picHead = B("\x53\x80\xF6\x34"), picType = B("PICT\x1F\x40\x1F\x40");
    std::copy(picHead.begin(), picHead.end(), pic.begin());
    std::copy(picType.begin(), picType.end(), pic.begin() + 88);
    pic[105] = 8, pic[106] = 2, pic[107] = 0xF0;
    Bytes cutHDR = UniformHDR(300, 200); // the decoder would read zeros for ever
    cutHDR.resize(cutHDR.size() - 10);
    const struct {
        const char* what;
        Bytes bytes;
        const char* reason;
    } cases[] = {
        {"TGA", tga, "truncated or corrupt TGA"},
        {"RLE TGA", rle, "truncated or corrupt TGA"},
        {"8-bit TGA", mapped, "truncated or corrupt TGA"},
        {"PGM", B("P5\n8192 8192\n255\n"), "truncated or corrupt PNM"},
        {"PSD", psd, "truncated or corrupt PSD"},
        {"GIF", B("GIF89a\x70\x17\x20\x1C\0\0\0"), "truncated or corrupt GIF"},
        {"BMP", bmp, "truncated or corrupt BMP"},
        {"JPEG", JPEGHeader(16000, 16000), "truncated or corrupt JPEG"},
        // A Huffman table of 0xFF + 0x89 + ... codes: the decoder would write
        // past its 257-entry size list (found by the fuzz target).
        {"JPEG with an overfull Huffman table",
         B("\xFF\xD8\xFF\xC4\xFF\0\0\x89PNG\r\n\r\n\x1A\n\0\0\0\rIH\0\x1A\n\0\0\0\rIH\0\0\0"
           "\0\0\0\0\x83"),
         "truncated or corrupt JPEG"},
        {"HDR", B("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 8000 +X 8000\n"),
         "truncated or corrupt HDR"},
        {"HDR cut inside its rows", cutHDR, "truncated or corrupt HDR"},
        {"PIC", pic, "truncated or corrupt PIC"},
        {"GIF screen around a 1 x 1 frame",
         B("GIF89a\0\x40\0\x40\0\0\0,\0\0\0\0\1\0\1\0\0\2\2\x44\1\0;"),
         "image too large (16384 x 16384)"},
    };
    AddressSpaceHeadroom headroom;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Load(c.bytes), 0u);
        EXPECT_STREQ(ImageLastResult(), c.reason);
    }
}

// The bounds are lower bounds: files at their most compressed still load.
TEST(ImageUpload, IntactFilesAtTheirBestCompressionAndOldBMPHeadersLoad) {
    ASSERT_TRUE(RequireGL());
    const int width = 300, height = 200;
    Bytes tga, hdr = UniformHDR(width, height);
    stbi_write_tga_to_func(AppendBytes, &tga, width, height, 4, Bytes(width * height * 4).data());
    // A 2 x 2 BMP with the 12-byte header of 16-bit sizes, rows padded to 8 bytes.
    Bytes os2 = {'B', 'M', 42, 0, 0, 0, 0, 0, 0, 0, 26, 0,  0,
                 0,   12,  0,  0, 0, 2, 0, 2, 0, 1, 0,  24, 0};
    os2.resize(42, 0x80);
    for (const Bytes* file : {&tga, &hdr, &os2}) {
        uint32_t texture = Load(*file);
        EXPECT_NE(texture, 0u) << ImageLastResult();
        glDeleteTextures(1, &texture);
    }
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

TEST(ImageUpload, UndecodableBytesAreRefusedWithAReasonAPersonUnderstands) {
    ASSERT_TRUE(RequireGL());
    const std::string text = "this is plainly not an image file";
    EXPECT_EQ(Load(std::vector<unsigned char>(text.begin(), text.end())), 0u);
    EXPECT_STREQ(ImageLastResult(), "unknown image format");

    // Cut inside the header, just after it (the decoder reads a chunk name
    // cut in half), and half way through the pixels.
    std::vector<unsigned char> png = EncodePNG(64, 64, 3, Pattern(64, 64, 3));
    for (size_t length : {size_t(20), size_t(40), png.size() / 2}) {
        SCOPED_TRACE(length);
        std::vector<unsigned char> cut(png.begin(), png.begin() + length);
        EXPECT_EQ(Load(cut), 0u);
        EXPECT_STREQ(ImageLastResult(), "truncated or corrupt PNG");
    }
    for (bool insideTheHeader : {true, false}) {
        EXPECT_EQ(Load(JPEGHeader(16, 16, insideTheHeader)), 0u);
        EXPECT_STREQ(ImageLastResult(), "truncated or corrupt JPEG");
    }
    EXPECT_EQ(ImageLoadTextureFromMemory(nullptr, 10), 0u);
    EXPECT_STREQ(ImageLastResult(), "no image data");
}

// ---------------------------------------------------------------------------
// A texture that does not fully reach the GPU is a failure, and its name is
// deleted again. The GPU's limit is lowered, or a GL error forced, through
// wrappers around the real entry points.

namespace {

GLint gMaxTextureSize = 0;
PFNGLGETINTEGERVPROC gRealGetIntegerv = nullptr;
void APIENTRY LoweredGetIntegerv(GLenum name, GLint* value) {
    gRealGetIntegerv(name, value);
    if (name == GL_MAX_TEXTURE_SIZE)
        *value = gMaxTextureSize;
}

std::vector<GLuint> gGenerated;
PFNGLGENTEXTURESPROC gRealGenTextures = nullptr;
void APIENTRY RecordingGenTextures(GLsizei count, GLuint* names) {
    gRealGenTextures(count, names);
    gGenerated.insert(gGenerated.end(), names, names + count);
}

PFNGLTEXIMAGE2DPROC gRealTexImage2D = nullptr;
// An internal format GL does not know: the real call raises GL_INVALID_VALUE.
void APIENTRY RefusedTexImage2D(GLenum target, GLint level, GLint, GLsizei width, GLsizei height,
                                GLint border, GLenum format, GLenum type, const void* pixels) {
    gRealTexImage2D(target, level, 0x1234, width, height, border, format, type, pixels);
}

PFNGLGENERATEMIPMAPPROC gRealGenerateMipmap = nullptr;
// Mipmaps of a target GL does not accept: GL_INVALID_ENUM.
void APIENTRY RefusedGenerateMipmap(GLenum) {
    gRealGenerateMipmap(GL_TEXTURE_1D_ARRAY + 0x100);
}

class ImageUploadFailure : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(RequireGL());
        gRealGetIntegerv = vgl::glGetIntegerv;
        gRealGenTextures = vgl::glGenTextures;
        gRealTexImage2D = vgl::glTexImage2D;
        gRealGenerateMipmap = vgl::glGenerateMipmap;
        vgl::glGenTextures = RecordingGenTextures;
        gGenerated.clear();
    }
    void TearDown() override {
        vgl::glGetIntegerv = gRealGetIntegerv;
        vgl::glGenTextures = gRealGenTextures;
        vgl::glTexImage2D = gRealTexImage2D;
        vgl::glGenerateMipmap = gRealGenerateMipmap;
    }
    void ExpectNoTextureLeft() {
        for (GLuint name : gGenerated)
            EXPECT_FALSE(glIsTexture(name)) << "texture " << name << " was left behind";
    }
};

} // namespace

TEST_F(ImageUploadFailure, ImageOverTheGPULimitIsRefusedBeforeAnyNameIsMade) {
    gMaxTextureSize = 4;
    vgl::glGetIntegerv = LoweredGetIntegerv;
    EXPECT_EQ(Load(EncodePNG(8, 2, 3, Pattern(8, 2, 3))), 0u);
    EXPECT_STREQ(ImageLastResult(), "image larger than the GPU allows (8 x 2, limit 4)");
    EXPECT_TRUE(gGenerated.empty());
    // At the limit it loads.
    uint32_t texture = Load(EncodePNG(4, 4, 3, Pattern(4, 4, 3)));
    EXPECT_NE(texture, 0u) << ImageLastResult();
    glDeleteTextures(1, &texture);
}

TEST_F(ImageUploadFailure, GLErrorInTheUploadOrTheMipmapsIsReportedAndTheNameDeleted) {
    std::vector<unsigned char> png = EncodePNG(4, 4, 3, Pattern(4, 4, 3));
    vgl::glTexImage2D = RefusedTexImage2D;
    EXPECT_EQ(Load(png), 0u);
    EXPECT_STREQ(ImageLastResult(), "texture upload failed (GL_INVALID_VALUE, 0x0501)");
    vgl::glTexImage2D = gRealTexImage2D;

    vgl::glGenerateMipmap = RefusedGenerateMipmap;
    EXPECT_EQ(Load(png), 0u);
    EXPECT_STREQ(ImageLastResult(), "mipmap generation failed (GL_INVALID_ENUM, 0x0500)");
    vgl::glGenerateMipmap = gRealGenerateMipmap;
    EXPECT_EQ(gGenerated.size(), 2u);
    ExpectNoTextureLeft();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)) << "no error is left for later code to find";

    // An error left by earlier, unrelated code is not blamed on an upload.
    glBindTexture(GL_TEXTURE_2D + 1, 0); // GL_INVALID_ENUM
    uint32_t texture = Load(png);
    EXPECT_NE(texture, 0u) << ImageLastResult();
    glDeleteTextures(1, &texture);
}
