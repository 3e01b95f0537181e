// ImageUpload: decoded images land in GL with their own size, channels and
// row order, repeat wrap, linear magnification and a mipmap chain; bad,
// truncated and oversized images are refused with a reason.
#include "gpu/ImageUpload.h"
#include "image/DecoderAllocator.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>
#include <stb/stb_image.h>

#include "support/GLTestContext.h"
#include "support/TempDir.h"

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

// A JPEG whose one scan ends at once; its Huffman tables hold one one-bit
// code (DC difference 0, end of block), so the zeros read after it are grey.
std::vector<unsigned char> JPEGOfEmptyScan(uint32_t width, uint32_t height) {
    std::vector<unsigned char> jpeg = JPEGHeader(width, height);
    for (unsigned char table : {0, 1}) {
        jpeg.insert(jpeg.end(), {0xFF, 0xDB, 0, 67, table});
        jpeg.insert(jpeg.end(), 64, 1);
    }
    for (unsigned char table : {0x00, 0x10}) {
        jpeg.insert(jpeg.end(), {0xFF, 0xC4, 0, 20, table, 1});
        jpeg.insert(jpeg.end(), 16, 0); // no longer codes, then the one symbol, 0
    }
    jpeg.insert(jpeg.end(), {0xFF, 0xDA, 0, 12, 3, 1, 0, 2, 0, 3, 0, 0, 63, 0, 0xFF, 0xD9});
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

ImageLoad Load(const std::vector<unsigned char>& bytes, TextureBudget* budget = nullptr) {
    return ImageLoadTextureFromMemory(bytes.data(), int(bytes.size()), budget);
}

// Why the file is refused, or "loaded" (the texture is deleted again).
std::string Refusal(const std::vector<unsigned char>& bytes, TextureBudget* budget = nullptr) {
    const ImageLoad load = Load(bytes, budget);
    if (load.texture == 0)
        return load.reason;
    glDeleteTextures(1, &load.texture);
    return "loaded";
}

// The level-0 pixels of a texture as its channels were uploaded.
Bytes ReadBack(uint32_t texture, int width, int height, int channels) {
    const GLenum formats[] = {GL_RED, GL_RG, GL_RGB, GL_RGBA};
    Bytes pixels(size_t(width) * height * channels);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, formats[channels - 1], GL_UNSIGNED_BYTE, pixels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return pixels;
}

GLint ChannelsOf(uint32_t texture) {
    glBindTexture(GL_TEXTURE_2D, texture);
    const GLint format = LevelParameter(0, GL_TEXTURE_INTERNAL_FORMAT);
    glBindTexture(GL_TEXTURE_2D, 0);
    return format == GL_R8 ? 1 : format == GL_RG8 ? 2 : format == GL_RGB8 ? 3 : 4;
}

// How the layer's result compares with the decoder called on its own.
enum class Verdict { kSame, kBothRefused, kRefusedForItsSize, kDiffers };

struct Comparison {
    Verdict verdict;
    std::string detail;
};

Comparison CompareWithBareDecoder(const Bytes& file) {
    int width = 0, height = 0, channels = 0;
    unsigned char* bare =
        stbi_load_from_memory(file.data(), int(file.size()), &width, &height, &channels, 0);
    const ImageLoad load = Load(file);
    const uint32_t texture = load.texture;
    Comparison result{Verdict::kSame, ""};
    if (!bare) {
        result.verdict = texture == 0 ? Verdict::kBothRefused : Verdict::kDiffers;
        result.detail = "the bare decoder refuses it";
    } else if (texture == 0) {
        const bool tooLarge = uint64_t(width) * height > kMaxImagePixels ||
                              std::max(width, height) > GetInteger(GL_MAX_TEXTURE_SIZE);
        result.verdict = tooLarge ? Verdict::kRefusedForItsSize : Verdict::kDiffers;
        result.detail = "refused: " + load.reason;
    } else {
        glBindTexture(GL_TEXTURE_2D, texture);
        const int w = LevelParameter(0, GL_TEXTURE_WIDTH), h = LevelParameter(0, GL_TEXTURE_HEIGHT);
        const int c = ChannelsOf(texture);
        if (w != width || h != height || c != channels) {
            result.verdict = Verdict::kDiffers;
            result.detail = "size or channels differ";
        } else if (ReadBack(texture, w, h, c) != Bytes(bare, bare + size_t(w) * h * c)) {
            result.verdict = Verdict::kDiffers;
            result.detail = "pixels differ";
        }
    }
    stbi_image_free(bare);
    glDeleteTextures(1, &texture);
    return result;
}

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A JPEG of n Huffman table segments, each one legal table of two codes
// whose symbols are FF C4, and nothing else.
Bytes BackToBackHuffmanTables(size_t n) {
    Bytes jpeg = {0xFF, 0xD8};
    for (size_t i = 0; i < n; ++i) {
        jpeg.insert(jpeg.end(), {0xFF, 0xC4, 0, 21, 0x00, 0, 2});
        jpeg.insert(jpeg.end(), 14, 0);
        jpeg.insert(jpeg.end(), {0xFF, 0xC4});
    }
    return jpeg;
}

} // namespace

TEST(ImageUpload, RGBImageKeepsItsSizeRowsAndSamplingState) {
    ASSERT_TRUE(RequireGL());
    // Odd width: 15-byte rows are not 4-byte aligned.
    const int width = 5, height = 3;
    std::vector<unsigned char> pixels = Pattern(width, height, 3);
    const ImageLoad load = Load(EncodePNG(width, height, 3, pixels));
    uint32_t texture = load.texture;
    ASSERT_NE(texture, 0u) << load.reason;

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
        const ImageLoad load = Load(EncodePNG(4, 4, c.channels, Pattern(4, 4, c.channels)));
        uint32_t texture = load.texture;
        ASSERT_NE(texture, 0u) << load.reason;
        glBindTexture(GL_TEXTURE_2D, texture);
        EXPECT_EQ(LevelParameter(0, GL_TEXTURE_INTERNAL_FORMAT), c.internalFormat);
        EXPECT_EQ(TexParameter(GL_TEXTURE_SWIZZLE_R), c.swizzle[0]);
        EXPECT_EQ(TexParameter(GL_TEXTURE_SWIZZLE_G), c.swizzle[1]);
        EXPECT_EQ(TexParameter(GL_TEXTURE_SWIZZLE_B), c.swizzle[2]);
        EXPECT_EQ(TexParameter(GL_TEXTURE_SWIZZLE_A), c.swizzle[3]);
        glDeleteTextures(1, &texture);
    }
}

// Files at their most compressed and the old BMP header load.
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
        const ImageLoad load = Load(*file);
        uint32_t texture = load.texture;
        EXPECT_NE(texture, 0u) << load.reason;
        glDeleteTextures(1, &texture);
    }
}

TEST(ImageUpload, LargestDimensionIsAcceptedAndOneMoreRefused) {
    ASSERT_TRUE(RequireGL());
    const int limit = kMaxImageDimension;
    const ImageLoad load = Load(EncodePNG(limit, 1, 1, std::vector<unsigned char>(limit, 128)));
    uint32_t texture = load.texture;
    EXPECT_NE(texture, 0u) << load.reason;
    glDeleteTextures(1, &texture);

    EXPECT_EQ(Refusal(EncodePNG(1, limit + 1, 1, std::vector<unsigned char>(limit + 1, 128))),
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
    const ImageLoad load = Load(png);
    uint32_t texture = load.texture;
    ASSERT_NE(texture, 0u) << load.reason;
    glBindTexture(GL_TEXTURE_2D, texture);
    std::vector<unsigned char> stored(pixels.size());
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, stored.data());
    EXPECT_EQ(stored, pixels);
    glDeleteTextures(1, &texture);
}

TEST(ImageUpload, ReasonsNamingFileBytesStayPrintableAndNeverEmpty) {
    ASSERT_TRUE(RequireGL());
    // An unknown critical chunk after the header: the decoder copies its type
    // into the reason, here a zero byte (an empty reason) or a control byte.
    for (unsigned char first : {0x00, 0x01}) {
        std::vector<unsigned char> png = PNGHeaderOnly(2, 2);
        const unsigned char chunk[] = {0, 0, 0, 0, first, 'A', 'B', 'C', 0, 0, 0, 0};
        png.insert(png.end(), chunk, chunk + sizeof(chunk));
        const ImageLoad load = Load(png);
        EXPECT_EQ(load.texture, 0u);
        const std::string reason = load.reason;
        EXPECT_FALSE(reason.empty()) << int(first);
        for (char c : reason)
            EXPECT_TRUE(c >= ' ' && c <= '~') << "byte " << int(c) << " in \"" << reason << '"';
    }
}

TEST(ImageUpload, UndecodableBytesAreRefusedWithAReasonAPersonUnderstands) {
    ASSERT_TRUE(RequireGL());
    const std::string text = "this is plainly not an image file";
    EXPECT_EQ(Refusal(std::vector<unsigned char>(text.begin(), text.end())),
              "unknown image format");

    // Cut inside the header, just after it (the decoder reads a chunk name
    // cut in half), and half way through the pixels.
    std::vector<unsigned char> png = EncodePNG(64, 64, 3, Pattern(64, 64, 3));
    for (size_t length : {size_t(20), size_t(40), png.size() / 2}) {
        SCOPED_TRACE(length);
        std::vector<unsigned char> cut(png.begin(), png.begin() + length);
        EXPECT_EQ(Refusal(cut), "truncated or corrupt PNG");
    }
    for (bool insideTheHeader : {true, false}) {
        EXPECT_EQ(Refusal(JPEGHeader(16, 16, insideTheHeader)), "truncated or corrupt JPEG");
    }
    const ImageLoad none = ImageLoadTextureFromMemory(nullptr, 10);
    EXPECT_EQ(none.texture, 0u);
    EXPECT_EQ(none.reason, "no image data");
}

namespace {

// A whole 2 x 2 PSD of 8-bit raw channels in the given colour mode.
Bytes PSD(unsigned char channels, unsigned char mode) {
    Bytes psd = B("8BPS\0\1\0\0\0\0\0\0");
    psd.insert(psd.end(), {0, channels, 0, 0, 0, 2, 0, 0, 0, 2, 0, 8, 0, mode});
    psd.resize(psd.size() + 3 * 4 + 2, 0); // three empty sections, raw data
    psd.resize(psd.size() + 4 * channels, 0x80);
    return psd;
}

} // namespace

TEST(ImageUpload, WholeFilesInVariantsTheDecoderDoesNotReadAreNotSupportedNotCorrupt) {
    ASSERT_TRUE(RequireGL());
    const Bytes jpeg = JPEGOfEmptyScan(8, 8); // frame marker at 21, height at 25
    Bytes arithmetic = jpeg, lossless = jpeg, dnl = jpeg, zeroHeight = jpeg;
    arithmetic[21] = 0xC9;
    lossless[21] = 0xC3;
    dnl[25] = dnl[26] = zeroHeight[25] = zeroHeight[26] = 0;
    dnl.insert(dnl.end() - 2, {0xFF, 0xDC, 0, 4, 0, 8});
    Bytes rle4 = EncodeBMP(4, 4), rle8 = EncodeBMP(4, 4);
    rle4[28] = 4, rle4[30] = 2;
    rle8[28] = 8, rle8[30] = 1;
    const struct {
        const char* what = nullptr;
        Bytes bytes;
        const char* reason = nullptr;
    } cases[] = {
        {"arithmetic-coded JPEG", arithmetic, "JPEG not supported: arithmetic coding (SOF9 frame)"},
        {"lossless JPEG", lossless, "JPEG not supported: lossless (SOF3 frame)"},
        {"JPEG with its height in a DNL segment", dnl,
         "JPEG not supported: height given in a DNL segment after the scan"},
        {"JPEG of height 0 and no DNL segment", zeroHeight, "truncated or corrupt JPEG"},
        {"RLE4 BMP", rle4, "BMP not supported: RLE4 compression"},
        {"RLE8 BMP", rle8, "BMP not supported: RLE8 compression"},
        {"HDR stored bottom row first",
         B("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n+Y 1 +X 1\n\1\1\1\1"),
         "HDR not supported: pixel order other than -Y +X (rows top to bottom)"},
        {"HDR of a resolution line that is no order",
         B("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\nxY 1 +X 1\n\1\1\1\1"),
         "truncated or corrupt HDR"},
        {"XYZE HDR", B("#?RADIANCE\nFORMAT=32-bit_rle_xyze\n\n-Y 1 +X 1\n\1\1\1\1"),
         "HDR not supported: XYZE colour (FORMAT=32-bit_rle_xyze)"},
        {"greyscale PSD", PSD(1, 1), "PSD not supported: greyscale colour mode"},
        {"CMYK PSD", PSD(4, 4), "PSD not supported: CMYK colour mode"},
        {"PSD of a colour mode there is not", PSD(1, 99), "truncated or corrupt PSD"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Refusal(c.bytes), c.reason);
    }
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
    EXPECT_EQ(Refusal(EncodePNG(8, 2, 3, Pattern(8, 2, 3))),
              "image larger than the GPU allows (8 x 2, limit 4)");
    EXPECT_TRUE(gGenerated.empty());
    // At the limit it loads.
    const ImageLoad load = Load(EncodePNG(4, 4, 3, Pattern(4, 4, 3)));
    uint32_t texture = load.texture;
    EXPECT_NE(texture, 0u) << load.reason;
    glDeleteTextures(1, &texture);
}

TEST_F(ImageUploadFailure, GLErrorInTheUploadOrTheMipmapsIsReportedAndTheNameDeleted) {
    std::vector<unsigned char> png = EncodePNG(4, 4, 3, Pattern(4, 4, 3));
    vgl::glTexImage2D = RefusedTexImage2D;
    EXPECT_EQ(Refusal(png), "texture upload failed (GL_INVALID_VALUE, 0x0501)");
    vgl::glTexImage2D = gRealTexImage2D;

    vgl::glGenerateMipmap = RefusedGenerateMipmap;
    EXPECT_EQ(Refusal(png), "mipmap generation failed (GL_INVALID_ENUM, 0x0500)");
    vgl::glGenerateMipmap = gRealGenerateMipmap;
    EXPECT_EQ(gGenerated.size(), 2u);
    ExpectNoTextureLeft();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)) << "no error is left for later code to find";

    // An error left by earlier, unrelated code is not blamed on an upload.
    glBindTexture(GL_TEXTURE_2D + 1, 0); // GL_INVALID_ENUM
    const ImageLoad load = Load(png);
    uint32_t texture = load.texture;
    EXPECT_NE(texture, 0u) << load.reason;
    glDeleteTextures(1, &texture);
}

// ---------------------------------------------------------------------------
// Hostile files: cut, lying or built to stall. Each is refused with its
// reason or loaded within the bounds; none crashes, hangs or takes more than
// its budget. The budget is made small here and the address space capped a
// little above it, so any allocation the budget did not see would fail the
// run ("out of memory", which no row expects) instead of going unnoticed.

// A GIF of a square screen with a palette of two colours and one frame of
// 1 x 1 pixel at (frameX, 0) whose codes are given (clear, colour 0, end by
// default): 35 bytes.
Bytes GIF(int screen, int frameX = 0, const Bytes& codes = {0x44, 0x01}) {
    Bytes gif = B("GIF89a");
    auto put16 = [&](int v) { gif.insert(gif.end(), {uint8_t(v), uint8_t(v >> 8)}); };
    put16(screen), put16(screen);
    gif.insert(gif.end(), {0x80, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, ','});
    put16(frameX), put16(0), put16(1), put16(1);
    gif.insert(gif.end(), {0, 2, uint8_t(codes.size())});
    gif.insert(gif.end(), codes.begin(), codes.end());
    gif.insert(gif.end(), {0, ';'});
    return gif;
}

struct HostileCase {
    const char* what;
    Bytes bytes;
    const char* reason; // the start of the reason under a budget of 32 MiB
};

std::vector<HostileCase> HostileCases() {
    const Bytes tga = B("\0\0\2\0\0\0\0\0\0\0\0\0\x40\x1F\x40\x1F\x20\0"); // 8000 x 8000 x 32
    Bytes rle = tga;
    rle[2] = 10;
    rle.insert(rle.end(), {0xFF, 1, 2, 3, 4});
    // Colour-mapped, 256 entries of 24 bits, 8192 x 8192 x 8, no palette.
    const Bytes mapped = B("\0\1\1\0\0\0\1\x18\0\0\0\0\0\x20\0\x20\x08\0");
    Bytes psd = B("8BPS\0\1\0\0\0\0\0\0\0\3\0\0\x1F\x40\0\0\x1F\x40\0\x08\0\3");
    psd.resize(40, 0);
    psd[39] = 1; // RLE
    Bytes bmp = EncodeBMP(4, 4);
    PutLittleEndian32(bmp, 18, 8000);
    PutLittleEndian32(bmp, 22, 8000);
    Bytes cutHDR = UniformHDR(300, 200); // the decoder would read zeros for ever
    cutHDR.resize(cutHDR.size() - 10);
    Bytes cutTGA;
    stbi_write_tga_to_func(AppendBytes, &cutTGA, 40, 30, 3, Pattern(40, 30, 3).data());
    cutTGA.resize(cutTGA.size() / 2);
    Bytes cutPNG = EncodePNG(64, 64, 3, Pattern(64, 64, 3));
    cutPNG.resize(cutPNG.size() / 2);
    Bytes chunk1GiB = PNGHeaderOnly(2, 2);
    chunk1GiB.insert(chunk1GiB.end(), {0x40, 0, 0, 0, 'I', 'D', 'A', 'T', 1, 2, 3, 4});
    Bytes cutGIF = GIF(1024);
    cutGIF.resize(cutGIF.size() - 3);
    // Softimage PIC, not decoded: a header claiming 8192 x 8192 and one packet.
    Bytes pic = B("\x53\x80\xF6\x34");
    pic.resize(88, 0);
    for (uint8_t b : B("PICT\x20\0\x20\0\0\0\0\0\0\0\0\0\0\x08\x02\xF0"))
        pic.push_back(b);
    pic.resize(8300, 0x7F);
    const Bytes overfullDHT =
        B("\xFF\xD8\xFF\xC4\xFF\0\0\x89PNG\r\n\r\n\x1A\n\0\0\0\rIH\0\x1A\n\0\0\0\rIH\0\0\0"
          "\0\0\0\0\x83");
    // The same overfull table after a comment that holds FF C4 itself.
    Bytes commentThenOverfull = {0xFF, 0xD8, 0xFF, 0xFE, 0, 6, 'a', 0xFF, 0xC4, 'b'};
    commentThenOverfull.insert(commentThenOverfull.end(), overfullDHT.begin() + 2,
                               overfullDHT.end());
    // And after fill bytes in front of the start-of-image marker (found by the fuzz target).
    Bytes fillThenOverfull(100, 0xFF);
    fillThenOverfull.insert(fillThenOverfull.end(), overfullDHT.begin() + 1, overfullDHT.end());
    const char* kBudget = "over the scene's texture budget";
    return {
        {"18 bytes of TGA claiming 8000 x 8000", tga, kBudget},
        {"23 bytes of RLE TGA claiming 8000 x 8000", rle, kBudget},
        {"8-bit TGA without its palette", mapped, kBudget},
        {"TGA cut in half", cutTGA, "truncated or corrupt TGA"},
        {"19 bytes of PGM claiming 8192 x 8192", B("P5\n8192 8192\n255\n"), kBudget},
        {"40 bytes of PSD claiming 8000 x 8000", psd, kBudget},
        {"13 bytes of GIF claiming 6000 x 7200", B("GIF89a\x70\x17\x20\x1C\0\0\0"), kBudget},
        {"GIF screen of 16384 x 16384 around a 1 x 1 frame",
         B("GIF89a\0\x40\0\x40\0\0\0,\0\0\0\0\1\0\1\0\0\2\2\x44\1\0;"),
         "image too large (16384 x 16384)"},
        // Valid: a screen of 8192 x 8192 around a 1 x 1 frame (it loads at the
        // default budget).
        {"35-byte GIF screen of 8192 x 8192 around a 1 x 1 frame", GIF(8192), kBudget},
        // Its screen is cleared before the frame is read: the refusal must not
        // wait for the screen's pages to be written (see the benchmark below).
        {"GIF screen of 1024 x 1024, no clear code", GIF(1024, 0, {0}), "truncated or corrupt GIF"},
        {"GIF screen of 1024 x 1024, frame outside it", GIF(1024, 1024),
         "truncated or corrupt GIF"},
        {"GIF screen of 1024 x 1024, frame cut", cutGIF, "truncated or corrupt GIF"},
        {"GIF screen of 8192 x 8192, no clear code", GIF(8192, 0, {0}), kBudget},
        {"BMP claiming 8000 x 8000", bmp, kBudget},
        {"BMP claiming 70000 x 80000 top first",
         [] {
             Bytes b = EncodeBMP(4, 4);
             PutLittleEndian32(b, 18, 70000);
             PutLittleEndian32(b, 22, uint32_t(-80000));
             return b;
         }(),
         "image too large (70000 x 80000)"},
        {"JPEG frame header claiming 16000 x 16000", JPEGHeader(16000, 16000),
         "image too large (16000 x 16000)"},
        {"JPEG frame header claiming 1000 x 1000, no scan", JPEGHeader(1000, 1000),
         "truncated or corrupt JPEG"},
        {"JPEG frame header claiming 50000 x 60000", JPEGHeader(50000, 60000),
         "image too large (50000 x 60000)"},
        // The decoder would write past its 257-entry size list (found by the fuzz target).
        {"JPEG with an overfull Huffman table", overfullDHT,
         "corrupt JPEG (a Huffman table of more than 256 codes)"},
        {"overfull Huffman table after a comment holding FF C4", commentThenOverfull,
         "corrupt JPEG (a Huffman table of more than 256 codes)"},
        {"overfull Huffman table after fill bytes before the image start", fillThenOverfull,
         "corrupt JPEG (a Huffman table of more than 256 codes)"},
        {"1 MB of back-to-back Huffman tables", BackToBackHuffmanTables(1 << 20 / 23),
         "truncated or corrupt JPEG"},
        {"HDR header claiming 8000 x 8000",
         B("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 8000 +X 8000\n"), "truncated or corrupt HDR"},
        {"HDR claiming 8000 x 8000 of flat rows, one pixel given",
         B("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 8000 +X 8000\n\1\1\1\1"), kBudget},
        {"HDR cut inside its rows", cutHDR, "truncated or corrupt HDR"},
        {"JPEG frame of 8192 x 8192 whose scan ends at once", JPEGOfEmptyScan(8192, 8192), kBudget},
        {"Softimage PIC of 8300 bytes claiming 8192 x 8192", pic, "unknown image format"},
        {"PNG header claiming 100000 x 100000", PNGHeaderOnly(100000, 100000),
         "image too large (over the PNG decoder's limits)"},
        {"PNG header claiming 100000 x 8", PNGHeaderOnly(100000, 8),
         "image too large (100000 x 8)"},
        {"PNG data chunk stating 1 GiB", chunk1GiB, kBudget},
        {"PNG cut inside its data", cutPNG, "truncated or corrupt PNG"},
        // The decoder's int would overflow on the width (found by the fuzz target).
        {"PPM whose width has 60 digits",
         B("P6 555555555555555555555555555555555555555555555555555555555555 1 255\n"),
         "corrupt PNM (a header number over 2147483647)"},
        {"PGM with the largest width an int holds, after a comment",
         B("P5\n# width:\n2147483647 1\n255\n"), "image too large (2147483647 x 1)"},
        // The decoder makes a 4 x 0 image of it (found by the fuzz target).
        {"PGM of no rows", B("P5\n4\0\0\0\0\0\0\0\x17\xa9h\x82W\x94\x81Q\x9c\xeb\xafL"),
         "image without pixels (4 x 0)"},
    };
}

TEST(ImageUpload, HostileFilesAreRefusedOrBoundedByTheBudget) {
    ASSERT_TRUE(RequireGL());
    const std::vector<HostileCase> cases = HostileCases();
    TextureBudget budget;
    budget.limit = 32 << 20;
    AddressSpaceHeadroom headroom;
    double slowest = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto start = std::chrono::steady_clock::now();
        const ImageLoad load = Load(c.bytes, &budget);
        const uint32_t texture = load.texture;
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        slowest = std::max(slowest, seconds);
        EXPECT_EQ(texture, 0u);
        EXPECT_EQ(load.reason.rfind(c.reason, 0), 0u) << "reason: " << load.reason;
        std::printf("%-60s %7.3f s  %s\n", c.what, seconds, load.reason.c_str());
        EXPECT_EQ(budget.used, 0u) << "nothing was loaded, nothing is charged";
        EXPECT_EQ(DecoderBytesHeld(), 0u) << "the decoder gave back all it took";
    }
    RecordProperty("slowest_hostile_ms", int(slowest * 1000));
}

// A benchmark, run by hand (--gtest_also_run_disabled_tests): each hostile
// file at the default budget, with the time it takes and the peak resident
// memory of the process after it.
TEST(ImageUpload, DISABLED_HostileFilesAtTheDefaultBudget) {
    ASSERT_TRUE(RequireGL());
    for (const HostileCase& c : HostileCases()) {
        TextureBudget budget;
        const auto start = std::chrono::steady_clock::now();
        const ImageLoad load = Load(c.bytes, &budget);
        const uint32_t texture = load.texture;
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        std::printf("%-60s %7.3f s  peak %5ld MiB  %s\n", c.what, seconds, usage.ru_maxrss / 1024,
                    load.reason.c_str());
        glDeleteTextures(1, &texture);
    }
}

// The budget is charged with each texture's GPU bytes (mipmaps included, three
// channels stored as four) and refuses the first texture that would go over
// it, with a message saying so; what was refused costs nothing.
TEST(ImageUpload, SceneBudgetChargesGPUBytesAndRefusesTheTextureThatWouldExceedIt) {
    ASSERT_TRUE(RequireGL());
    EXPECT_EQ(ImageGPUBytes(5, 3, 3), (15u + 2u + 1u) * 4u);
    EXPECT_EQ(ImageGPUBytes(4, 4, 1), 16u + 4u + 1u);
    const Bytes png = EncodePNG(64, 64, 4, Pattern(64, 64, 4));
    const uint64_t one = ImageGPUBytes(64, 64, 4);
    TextureBudget budget;
    // Room for two textures, and for the file and the decoded pixels (ours and
    // the driver's copy) of a third, not for its GPU copy.
    budget.limit = 2 * one + png.size() + 2 * 64 * 64 * 4 + 100;
    std::vector<uint32_t> loaded;
    for (int i = 0; i < 2; ++i) {
        const ImageLoad load = Load(png, &budget);
        EXPECT_NE(load.texture, 0u) << load.reason;
        loaded.push_back(load.texture);
    }
    EXPECT_EQ(budget.used, 2 * one);
    const std::string refused = Refusal(png, &budget);
    EXPECT_EQ(refused.rfind("over the scene's texture budget (needs 1 MiB", 0), 0u) << refused;
    EXPECT_EQ(budget.used, 2 * one);
    // Without a budget of its own each image has the default budget.
    loaded.push_back(Load(png).texture);
    EXPECT_NE(loaded.back(), 0u);
    glDeleteTextures(GLsizei(loaded.size()), loaded.data());
}

// ---------------------------------------------------------------------------
// Valid files that are unusual: each loads exactly as the decoder alone
// decodes it. Built here from bytes, or by ImageMagick (installed by the
// setup script) from a pattern, then edited as bytes.

namespace {

// Runs convert on a 40 x 30 pattern image with the given options; the bytes
// of the result, empty when convert fails.
Bytes Convert(const TempDir& dir, const std::string& options, const std::string& output) {
    const int width = 40, height = 30;
    std::string ppm = "P6\n40 30\n255\n";
    const Bytes pattern = Pattern(width, height, 3);
    ppm.append(pattern.begin(), pattern.end());
    dir.Write("in.ppm", ppm);
    const std::string command =
        "convert " + dir.File("in.ppm") + " " + options + " " + dir.File(output) + " 2>/dev/null";
    if (std::system(command.c_str()) != 0)
        return {};
    return ReadFile(dir.File(output));
}

// A JPEG with a segment inserted after its start-of-image marker.
Bytes WithSegment(Bytes jpeg, unsigned char marker, const Bytes& payload) {
    Bytes segment = {0xFF, marker, uint8_t((payload.size() + 2) >> 8), uint8_t(payload.size() + 2)};
    segment.insert(segment.end(), payload.begin(), payload.end());
    jpeg.insert(jpeg.begin() + 2, segment.begin(), segment.end());
    return jpeg;
}

// A 24-bit BMP turned top-down: rows reversed and the height negated.
Bytes TopDownBMP(int width, int height) {
    Bytes bmp = EncodeBMP(width, height);
    const size_t row = (size_t(width) * 3 + 3) / 4 * 4, start = bmp.size() - row * height;
    Bytes flipped(bmp.begin(), bmp.begin() + start);
    for (int y = height - 1; y >= 0; --y)
        flipped.insert(flipped.end(), bmp.begin() + start + y * row,
                       bmp.begin() + start + (y + 1) * row);
    PutLittleEndian32(flipped, 22, uint32_t(-height));
    return flipped;
}

} // namespace

TEST(ImageUpload, UnusualValidFilesLoadAsTheDecoderAloneDecodesThem) {
    ASSERT_TRUE(RequireGL());
    TempDir dir("image-fixtures");
    const Bytes jpeg = Convert(dir, "-quality 90", "base.jpg");
    ASSERT_FALSE(jpeg.empty()) << "convert (ImageMagick) is needed; scripts/setup.sh installs it";
    const Bytes ffc4 = {'x', 0xFF, 0xC4, 0xFF, 0xFF, 0xFF, 0xC4, 0, 0, 'y'};
    Bytes afterEOI = jpeg;
    afterEOI.insert(afterEOI.end(), {0xFF, 0xC4, 0xFF, 0xFF, 0xFF, 0xC4, 0x10});
    const struct {
        const char* what;
        Bytes bytes;
    } cases[] = {
        {"JPEG with FF C4 in a comment", WithSegment(jpeg, 0xFE, ffc4)},
        {"JPEG with FF C4 in an APP1 payload", WithSegment(jpeg, 0xE1, ffc4)},
        {"JPEG with FF C4 in an APP2 (ICC) payload", WithSegment(jpeg, 0xE2, ffc4)},
        {"JPEG with FF C4 after its end", afterEOI},
        {"progressive JPEG", Convert(dir, "-interlace JPEG", "progressive.jpg")},
        {"CMYK JPEG", Convert(dir, "-colorspace CMYK", "cmyk.jpg")},
        {"EXIF-rotated JPEG", Convert(dir, "-orient RightTop", "rotated.jpg")},
        {"greyscale JPEG", Convert(dir, "-colorspace Gray", "grey.jpg")},
        {"JPEG whose scan ends at once (grey)", JPEGOfEmptyScan(40, 30)},
        {"top-down BMP", TopDownBMP(5, 3)},
        {"8-bit palette BMP", Convert(dir, "-colors 16 -type Palette", "BMP3:palette.bmp")},
        {"16-bit PNG", Convert(dir, "-depth 16", "PNG48:deep.png")},
        {"grey and alpha PNG", EncodePNG(7, 5, 2, Pattern(7, 5, 2))},
        {"palette PNG", Convert(dir, "-colors 16", "PNG8:palette.png")},
        {"interlaced PNG", Convert(dir, "-interlace PNG", "interlaced.png")},
        {"GIF", Convert(dir, "", "image.gif")},
        {"RLE TGA", Convert(dir, "-compress RLE", "rle.tga")},
        {"PPM", Convert(dir, "", "image.ppm")},
        {"PSD", Convert(dir, "", "image.psd")},
        {"HDR", UniformHDR(40, 30)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_FALSE(c.bytes.empty()) << "the fixture could not be made";
        const auto start = std::chrono::steady_clock::now();
        const Comparison result = CompareWithBareDecoder(c.bytes);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(result.verdict, Verdict::kSame) << result.detail;
        std::printf("%-45s %7.4f s\n", c.what, seconds);
        // Cut by an eighth, it is refused: the decoder would read past its end.
        const Bytes cut(c.bytes.begin(), c.bytes.end() - std::max<size_t>(1, c.bytes.size() / 8));
        const std::string refused = Refusal(cut);
        EXPECT_EQ(refused.rfind("truncated or corrupt ", 0), 0u) << refused;
    }
}

// Every image the machine's packages hold (icons, documentation, test images
// of libraries) that the decoder alone decodes loads with the same size,
// channels and pixels; what it refuses, the layer refuses too. Only the
// images over the size limits may differ, and are counted apart. At most
// kCorpusFiles files are tried (an even spread of the sorted list), so the
// time stays bounded whatever is installed.
TEST(ImageUpload, EveryImageOnTheMachineLoadsAsTheDecoderAloneDecodesIt) {
    ASSERT_TRUE(RequireGL());
    constexpr size_t kCorpusFiles = 2000;
    constexpr uintmax_t kMaxFileBytes = 16 << 20;
    std::vector<std::string> files;
    std::error_code error;
    namespace fs = std::filesystem;
    for (auto it = fs::recursive_directory_iterator(
             "/usr/share", fs::directory_options::skip_permission_denied, error);
         it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (error)
            break;
        std::string ext = it->path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
        if ((ext == ".png" || ext == ".jpg" || ext == ".jpeg" || ext == ".bmp" || ext == ".gif" ||
             ext == ".tga") &&
            it->is_regular_file(error) && it->file_size(error) <= kMaxFileBytes)
            files.push_back(it->path().string());
    }
    std::sort(files.begin(), files.end());
    const size_t found = files.size();
    if (files.size() > kCorpusFiles) {
        std::vector<std::string> spread;
        for (size_t i = 0; i < kCorpusFiles; ++i)
            spread.push_back(files[i * files.size() / kCorpusFiles]);
        files.swap(spread);
    }
    ASSERT_FALSE(files.empty()) << "no images under /usr/share";
    int counts[4] = {};
    const auto start = std::chrono::steady_clock::now();
    // The largest file of each kind, and how long the layer takes to load it.
    std::map<std::string, std::pair<size_t, std::string>> largest;
    for (const std::string& path : files) {
        const Bytes file = ReadFile(path);
        const Comparison result = CompareWithBareDecoder(file);
        ++counts[int(result.verdict)];
        EXPECT_NE(result.verdict, Verdict::kDiffers) << path << ": " << result.detail;
        auto& kind = largest[fs::path(path).extension().string()];
        if (file.size() > kind.first)
            kind = {file.size(), path};
    }
    for (const auto& [kind, file] : largest) {
        const Bytes bytes = ReadFile(file.second);
        const auto begin = std::chrono::steady_clock::now();
        const ImageLoad load = Load(bytes);
        const uint32_t texture = load.texture;
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin)
                .count();
        glDeleteTextures(1, &texture);
        std::printf("largest %s: %zu bytes, loaded in %.1f ms (%s)\n", kind.c_str(), file.first, ms,
                    file.second.c_str());
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf(
        "corpus: %zu of %zu files in %.1f s: %d loaded alike, %d refused by both, %d refused for "
        "their size, %d differ\n",
        files.size(), found, seconds, counts[0], counts[1], counts[2], counts[3]);
    RecordProperty("corpus_files", int(files.size()));
}
