// ImageUpload: decodes images from memory with stb_image and uploads them as
// mipmapped, repeating GL textures; keeps the reason of the last failure in
// words a person understands.
#include "gpu/ImageUpload.h"

#include <cstdarg>
#include <cstdio>
#include <algorithm>
#include <cstring>

#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

#include "gpu/GLFunctions.h"

namespace {

constexpr int kLastResultSize = 160;
// GL's initial unpack alignment, put back after an upload of tightly packed rows.
constexpr GLint kDefaultUnpackAlignment = 4;
// GL keeps at most one flag per error kind; more reads than kinds means a
// driver that never stops reporting (a lost context), and we give up.
constexpr int kMaxPendingErrors = 16;

char gLastResult[kLastResultSize] = "no image loaded yet";

void SetLastResult(const char* format, ...) __attribute__((format(printf, 1, 2)));

void SetLastResult(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vsnprintf(gLastResult, sizeof(gLastResult), format, args);
    va_end(args);
}

// ---- What the header says ----------------------------------------------------------------
// The decoder refuses absurd sizes and cut files with terse codes ("too
// large" even turns into "unknown image type", "IDA" is a chunk name cut in
// half), so the format and size are read here, before the decoder is asked.

struct ImageHeader {
    bool sized = false; // width and height were read
    uint32_t width = 0;
    uint32_t height = 0;
};

uint32_t BigEndian(const unsigned char* p, int bytes) {
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value = (value << 8) | p[i];
    return value;
}

uint32_t LittleEndian(const unsigned char* p, int bytes) {
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | p[i];
    return value;
}

bool StartsWith(const unsigned char* data, size_t size, const char* signature, size_t length) {
    return size >= length && std::memcmp(data, signature, length) == 0;
}

// Signature, then the IHDR chunk (length, type, width, height) as the first chunk.
void ReadPNGHeader(const unsigned char* data, size_t size, ImageHeader* header) {
    constexpr size_t kIHDREnd = 24;
    if (size < kIHDREnd || std::memcmp(data + 12, "IHDR", 4) != 0)
        return;
    header->sized = true;
    header->width = BigEndian(data + 16, 4);
    header->height = BigEndian(data + 20, 4);
}

bool IsJPEGStartOfFrame(unsigned char marker) {
    // C0-CF are frames except C4 (Huffman tables), C8 (reserved) and CC (arithmetic tables).
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Segments after the start-of-image marker, up to the first start-of-frame,
// which holds the height and then the width.
void ReadJPEGHeader(const unsigned char* data, size_t size, ImageHeader* header) {
    size_t at = 2;
    while (at + 4 <= size && data[at] == 0xFF) {
        unsigned char marker = data[at + 1];
        if (marker == 0xFF) { // fill byte before a marker
            ++at;
            continue;
        }
        if (IsJPEGStartOfFrame(marker)) {
            if (at + 9 <= size) {
                header->sized = true;
                header->height = BigEndian(data + at + 5, 2);
                header->width = BigEndian(data + at + 7, 2);
            }
            return;
        }
        uint32_t length = BigEndian(data + at + 2, 2);
        if (length < 2)
            return;
        at += 2 + length;
    }
}

// The old 12-byte core header holds 16-bit sizes.
constexpr uint32_t kBMPCoreHeaderSize = 12;

// File header, then the info header with width and height as signed 32-bit
// values (a negative height means rows stored top first), or as unsigned
// 16-bit values in the old core header.
void ReadBMPHeader(const unsigned char* data, size_t size, ImageHeader* header) {
    if (size < 26)
        return;
    auto magnitude = [](uint32_t value) {
        int32_t v = static_cast<int32_t>(value);
        return v < 0 ? 0u - value : value;
    };
    header->sized = true;
    if (LittleEndian(data + 14, 4) == kBMPCoreHeaderSize) {
        header->width = LittleEndian(data + 18, 2);
        header->height = LittleEndian(data + 20, 2);
        return;
    }
    header->width = magnitude(LittleEndian(data + 18, 4));
    header->height = magnitude(LittleEndian(data + 22, 4));
}

void ReadGIFHeader(const unsigned char* data, size_t size, ImageHeader* header) {
    if (size < 10)
        return;
    header->sized = true;
    header->width = LittleEndian(data + 6, 2);
    header->height = LittleEndian(data + 8, 2);
}

ImageHeader ReadImageHeader(const unsigned char* data, size_t size) {
    ImageHeader header;
    if (StartsWith(data, size, "\x89PNG\r\n\x1A\n", 8)) {
        ReadPNGHeader(data, size, &header);
    } else if (StartsWith(data, size, "\xFF\xD8\xFF", 3)) {
        ReadJPEGHeader(data, size, &header);
    } else if (StartsWith(data, size, "BM", 2)) {
        ReadBMPHeader(data, size, &header);
    } else if (StartsWith(data, size, "GIF87a", 6) || StartsWith(data, size, "GIF89a", 6)) {
        ReadGIFHeader(data, size, &header);
    }
    return header;
}

bool TooLarge(uint32_t width, uint32_t height) {
    return width > uint32_t(kMaxImageDimension) || height > uint32_t(kMaxImageDimension);
}

// Why the decoder gave up on a file of the given format, as the user would put it.
void SetDecodeFailure(const char* format) {
    const char* reason = stbi_failure_reason();
    if (reason && std::strcmp(reason, "outofmem") == 0)
        SetLastResult("out of memory decoding the image");
    else
        SetLastResult("truncated or corrupt %s", format);
}

// ---- What the file can hold --------------------------------------------------------------
// The decoder allocates the whole image as soon as it has read the header, and
// most of its formats then read past the end of a short file as zeros: 18
// bytes of TGA claiming 16384 x 16384 "load" after taking gigabytes. So the
// format the decoder will pick is found with its own tests, in its own order,
// and the header's claim is held against the least number of bytes a file of
// that claim must have. Each bound is a lower bound: no intact file is refused.

struct ClaimedImage {
    uint64_t width = 0;
    uint64_t height = 0;
    int channels = 0;
    int bitsPerChannel = 8; // the decoder's answer for PNM, 8 for the others
    uint64_t Pixels() const { return width * height; }
};

// The header fields the bounds below read all lie in a file's first bytes;
// a copy padded with zeros keeps a short file's reads inside the copy.
constexpr size_t kHeadBytes = 32;

// The file, and its first bytes padded with zeros.
struct ImageFile {
    const unsigned char* data;
    size_t size;
    const unsigned char* head; // kHeadBytes
};

uint64_t CeilDiv(uint64_t value, uint64_t divisor) {
    return (value + divisor - 1) / divisor;
}

// Deflate spends at least 2 bits on a 258-byte match (a 1-bit length code and
// a 1-bit distance code): at most 1032 bytes out per byte in. The filtered
// rows hold one filter byte and width x bits per pixel each; signature, IHDR
// and one data chunk's framing come first.
constexpr uint64_t kDeflateMaxRatio = 1032;
constexpr uint64_t kPNGLeastFraming = 8 + 25 + 12;

uint64_t PNGLeastBytes(const ImageFile& file, const ClaimedImage& image) {
    const unsigned char* head = file.head;
    const int depth = head[24];
    const int colourType = head[25];
    const int channels = colourType == 2 ? 3 : colourType == 4 ? 2 : colourType == 6 ? 4 : 1;
    const uint64_t rowBytes = 1 + CeilDiv(image.width * channels * depth, 8);
    return kPNGLeastFraming + CeilDiv(image.height * rowBytes, kDeflateMaxRatio);
}

// Rows are stored uncompressed (the decoder refuses RLE and embedded JPEG or
// PNG), each at least width x bits per pixel, after the 14-byte file header
// and the info header.
constexpr size_t kBMPFileHeaderSize = 14;

uint64_t BMPLeastBytes(const ImageFile& file, const ClaimedImage& image) {
    const unsigned char* head = file.head;
    const uint32_t infoSize = LittleEndian(head + kBMPFileHeaderSize, 4);
    const size_t bitsAt = kBMPFileHeaderSize + (infoSize == kBMPCoreHeaderSize ? 10 : 14);
    const uint64_t bitsPerPixel = LittleEndian(head + bitsAt, 2);
    return kBMPFileHeaderSize + infoSize + image.Pixels() * bitsPerPixel / 8;
}

// Signature and screen descriptor, the global palette when the flags announce
// one (3 bytes times 2^(n+1) colours), then at least one image descriptor, its
// code size and the empty block that ends its data. The screen itself may be
// far larger than the frame (the rest is background), so the file can't bound
// the screen's memory: the pixel cap does.
constexpr uint64_t kGIFScreenEnd = 13;
constexpr uint64_t kGIFLeastFrame = 10 + 1 + 1;

uint64_t GIFLeastBytes(const ImageFile& file, const ClaimedImage&) {
    const unsigned char* head = file.head;
    const unsigned flags = head[10];
    const uint64_t palette = (flags & 0x80) ? 3u << ((flags & 7) + 1) : 0;
    return kGIFScreenEnd + palette + kGIFLeastFrame;
}

// Channel data follows a 26-byte header and three sections of at least their
// 4-byte length each, and a 2-byte compression code. Raw data holds every
// sample of the channels decoded (at most four). RLE data first lists a 2-byte
// length per row and channel, then PackBits of each channel's pixels in one
// run: 2 bytes cover at most 128 pixels. The file holds at least the lesser.
constexpr uint64_t kPSDLeastHeader = 26 + 3 * 4 + 2;
constexpr uint64_t kPackBitsMaxRun = 128;
constexpr int kPSDDecodedChannels = 4;

uint64_t PSDLeastBytes(const ImageFile& file, const ClaimedImage& image) {
    const unsigned char* head = file.head;
    const uint64_t channels = BigEndian(head + 12, 2);
    const uint64_t decoded = std::min<uint64_t>(channels, kPSDDecodedChannels);
    const uint64_t depthBytes = BigEndian(head + 22, 2) / 8;
    const uint64_t raw = image.Pixels() * decoded * depthBytes;
    const uint64_t rle =
        image.height * channels * 2 + decoded * 2 * CeilDiv(image.Pixels(), kPackBitsMaxRun);
    return kPSDLeastHeader + std::min(raw, rle);
}

// After the 104-byte header, at least one 4-byte packet description, then
// every row of every packet: a run count of the whole row is one byte at
// least (the decoder cuts a pure-RLE count that runs past the row).
constexpr uint64_t kPICLeastHeader = 104 + 4;

uint64_t PICLeastBytes(const ImageFile&, const ClaimedImage& image) {
    return kPICLeastHeader + image.height;
}

// A JPEG scan spends at least one bit (a Huffman code) on every 8 x 8 block of
// each component it codes, and a component sampled at the lowest rate (1 in 4
// each way) still has one block per 32 x 32 pixels: 8192 pixels per byte.
constexpr uint64_t kJPEGMaxPixelsPerByte = 8 * 32 * 32;

uint64_t JPEGLeastBytes(const ImageFile&, const ClaimedImage& image) {
    return CeilDiv(image.Pixels(), kJPEGMaxPixelsPerByte);
}

// Binary PGM and PPM: every sample stored, one or two bytes each.
uint64_t PNMLeastBytes(const ImageFile&, const ClaimedImage& image) {
    return image.Pixels() * image.channels * (image.bitsPerChannel / 8);
}

// Rows of 8 up to 32767 pixels may be run-length coded: a 4-byte row header
// (2, 2, width), then each of the four channels in runs of at most 127 pixels
// for 2 bytes or literals of a count byte and the bytes. Other widths, and
// rows from the first one without that header on, are stored flat at 4 bytes
// a pixel. The decoder reads zeros past the end of the file, and a zero count
// is a literal of nothing: coded rows cut short would keep it reading for
// ever. So the coded rows are walked here, and this bound is exact.
constexpr uint64_t kHDRMinRLEWidth = 8;
constexpr uint64_t kHDRMaxRLEWidth = 32767;
constexpr unsigned kHDRRunFlag = 128;
constexpr uint64_t kRGBEBytes = 4;

// Where the pixels start: after the blank line that ends the variables and
// the resolution line that follows it.
uint64_t HDRDataStart(const unsigned char* data, size_t size) {
    const unsigned char* end = data + size;
    const unsigned char* blank = std::search(data, end, "\n\n", "\n\n" + 2);
    const unsigned char* resolutionEnd = blank == end ? end : std::find(blank + 2, end, '\n');
    return resolutionEnd == end ? size + 1 : uint64_t(resolutionEnd - data) + 1;
}

// The end of one coded channel of a row that starts at at; past the file's
// end when the file is cut, 0 when the row is malformed (the decoder refuses it).
uint64_t HDRChannelEnd(const unsigned char* data, size_t size, uint64_t at, uint64_t width) {
    for (uint64_t filled = 0; filled < width;) {
        if (at >= size)
            return at + 1;
        unsigned count = data[at++];
        if (count > kHDRRunFlag) {
            count -= kHDRRunFlag;
            at += 1;
        } else {
            at += count;
        }
        if (count > width - filled)
            return 0;
        filled += count;
    }
    return at;
}

uint64_t HDRLeastBytes(const ImageFile& file, const ClaimedImage& image) {
    const uint64_t width = image.width;
    if (width < kHDRMinRLEWidth || width > kHDRMaxRLEWidth)
        return image.Pixels() * kRGBEBytes;
    const unsigned char* data = file.data;
    uint64_t at = HDRDataStart(data, file.size);
    for (uint64_t row = 0; row < image.height; ++row) {
        if (at + kRGBEBytes > file.size)
            return at + kRGBEBytes;
        if (data[at] != 2 || data[at + 1] != 2 || (data[at + 2] & 0x80))
            return at + image.Pixels() * kRGBEBytes; // flat from here on
        if (BigEndian(data + at + 2, 2) != width)
            return 0;
        at += kRGBEBytes;
        for (uint64_t channel = 0; channel < kRGBEBytes && at != 0; ++channel)
            at = HDRChannelEnd(data, file.size, at, width);
        if (at == 0)
            return 0;
    }
    return at;
}

// The 18-byte header, the image ID, the colour map when there is one (its
// entries of 15 to 32 bits), then per pixel its bytes (a palette index of 8
// or 16 bits for a colour-mapped image); RLE packets cover at most 128
// pixels with one count byte and one pixel.
constexpr uint64_t kTGAHeaderSize = 18;
constexpr uint8_t kTGAFirstRLEType = 8;

uint64_t TGALeastBytes(const ImageFile& file, const ClaimedImage& image) {
    const unsigned char* head = file.head;
    const uint64_t idLength = head[0];
    const bool colourMapped = head[1] == 1;
    const uint64_t mapEntries = LittleEndian(head + 5, 2);
    const uint64_t mapEntryBytes = CeilDiv(head[7], 8);
    const uint64_t pixelBytes = CeilDiv(head[16], 8);
    const uint64_t palette = colourMapped ? mapEntries * mapEntryBytes : 0;
    const uint64_t pixels = head[2] >= kTGAFirstRLEType
                                ? CeilDiv(image.Pixels(), kPackBitsMaxRun) * (1 + pixelBytes)
                                : image.Pixels() * pixelBytes;
    return kTGAHeaderSize + idLength + palette + pixels;
}

// The decoder's formats in the order it tries them (the TGA test is the
// loosest, so it comes last).
struct DecoderFormat {
    const char* name;
    int (*test)(stbi__context*);
    int (*info)(stbi__context*, int*, int*, int*);
    uint64_t (*leastBytes)(const ImageFile& file, const ClaimedImage& image);
};

const DecoderFormat kDecoderFormats[] = {
    {"PNG", stbi__png_test, stbi__png_info, PNGLeastBytes},
    {"BMP", stbi__bmp_test, stbi__bmp_info, BMPLeastBytes},
    {"GIF", stbi__gif_test, stbi__gif_info, GIFLeastBytes},
    {"PSD", stbi__psd_test, stbi__psd_info, PSDLeastBytes},
    {"PIC", stbi__pic_test, stbi__pic_info, PICLeastBytes},
    {"JPEG", stbi__jpeg_test, stbi__jpeg_info, JPEGLeastBytes},
    {"PNM", stbi__pnm_test, stbi__pnm_info, PNMLeastBytes},
    {"HDR", stbi__hdr_test, stbi__hdr_info, HDRLeastBytes},
    {"TGA", stbi__tga_test, stbi__tga_info, TGALeastBytes},
};

const DecoderFormat* FindDecoderFormat(const unsigned char* data, int size) {
    for (const DecoderFormat& format : kDecoderFormats) {
        stbi__context context;
        stbi__start_mem(&context, data, size);
        if (format.test(&context))
            return &format;
    }
    return nullptr;
}

// What the header claims, read by the decoder's own header reader; false
// when it can't be read.
bool ReadClaim(const DecoderFormat& format, const unsigned char* data, int size,
               ClaimedImage* image) {
    stbi__context context;
    stbi__start_mem(&context, data, size);
    int width = 0, height = 0, channels = 0;
    const int result = format.info(&context, &width, &height, &channels);
    if (result == 0 || width <= 0 || height <= 0)
        return false;
    image->width = uint64_t(width);
    image->height = uint64_t(height);
    image->channels = channels;
    if (format.info == stbi__pnm_info) // it answers the bits per sample
        image->bitsPerChannel = result;
    return true;
}

// Refuses what the decoder should not be given: a header it can't read, a
// file too short for its claim, an image over the size or pixel limits.
// The format the decoder will pick when it may go ahead; otherwise null,
// with the reason set.
const DecoderFormat* CheckClaim(const unsigned char* data, int size) {
    const DecoderFormat* format = FindDecoderFormat(data, size);
    if (!format) {
        SetLastResult("unknown image format");
        return nullptr;
    }
    ClaimedImage image;
    if (!ReadClaim(*format, data, size, &image)) {
        SetLastResult("truncated or corrupt %s", format->name);
        return nullptr;
    }
    const unsigned long long width = image.width, height = image.height;
    if (TooLarge(uint32_t(width), uint32_t(height))) {
        SetLastResult("image too large (%llu x %llu)", width, height);
        return nullptr;
    }
    unsigned char head[kHeadBytes] = {};
    std::memcpy(head, data, std::min<size_t>(size_t(size), kHeadBytes));
    const ImageFile file = {data, size_t(size), head};
    if (format->leastBytes(file, image) > uint64_t(size)) {
        SetLastResult("truncated or corrupt %s", format->name);
        return nullptr;
    }
    if (image.Pixels() > kMaxImagePixels) {
        SetLastResult("image too large (%llu x %llu)", width, height);
        return nullptr;
    }
    return format;
}

// ---- Upload -------------------------------------------------------------------------------

struct PixelFormat {
    GLint internalFormat;
    GLenum format;
    // Where the red, green, blue and alpha the shaders read come from.
    GLint swizzle[4];
};

// Channels are uploaded as stored. One- and two-channel images are grey (and
// grey with alpha): a swizzle spreads the grey over red, green and blue, so
// they look grey to every shader without expanding them on the CPU.
PixelFormat FormatForChannels(int channels) {
    switch (channels) {
    case 1:
        return {GL_R8, GL_RED, {GL_RED, GL_RED, GL_RED, GL_ONE}};
    case 2:
        return {GL_RG8, GL_RG, {GL_RED, GL_RED, GL_RED, GL_GREEN}};
    case 3:
        return {GL_RGB8, GL_RGB, {GL_RED, GL_GREEN, GL_BLUE, GL_ONE}};
    default:
        return {GL_RGBA8, GL_RGBA, {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA}};
    }
}

const char* GLErrorName(GLenum error) {
    switch (error) {
    case GL_INVALID_ENUM:
        return "GL_INVALID_ENUM";
    case GL_INVALID_VALUE:
        return "GL_INVALID_VALUE";
    case GL_INVALID_OPERATION:
        return "GL_INVALID_OPERATION";
    case GL_OUT_OF_MEMORY:
        return "GL_OUT_OF_MEMORY";
    case GL_INVALID_FRAMEBUFFER_OPERATION:
        return "GL_INVALID_FRAMEBUFFER_OPERATION";
    default:
        return "unknown GL error";
    }
}

// Errors left by earlier calls would be blamed on this upload: clear them.
void DiscardPendingGLErrors() {
    for (int i = 0; i < kMaxPendingErrors && glGetError() != GL_NO_ERROR; ++i) {
    }
}

// True when the steps since the last check raised no GL error; otherwise
// the reason names the step.
bool StepSucceeded(const char* step) {
    GLenum error = glGetError();
    if (error == GL_NO_ERROR)
        return true;
    SetLastResult("%s failed (%s, 0x%04X)", step, GLErrorName(error), error);
    return false;
}

void SetSamplingState(const PixelFormat& pf) {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_R, pf.swizzle[0]);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_G, pf.swizzle[1]);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_B, pf.swizzle[2]);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_A, pf.swizzle[3]);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
}

// A new texture name holding the image and its mipmaps, or 0 when any part
// did not reach the GPU (then the name is deleted again).
uint32_t Upload(const unsigned char* pixels, int width, int height, int channels) {
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    if (width > maxSize || height > maxSize) {
        SetLastResult("image larger than the GPU allows (%d x %d, limit %d)", width, height,
                      maxSize);
        return 0;
    }
    PixelFormat pf = FormatForChannels(channels);
    DiscardPendingGLErrors();
    uint32_t texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    // stb rows are packed without padding; a 3-channel row of odd width is
    // not a multiple of 4 bytes.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, pf.internalFormat, width, height, 0, pf.format, GL_UNSIGNED_BYTE,
                 pixels);
    glPixelStorei(GL_UNPACK_ALIGNMENT, kDefaultUnpackAlignment);
    bool uploaded = StepSucceeded("texture upload");
    if (uploaded) {
        SetSamplingState(pf);
        glGenerateMipmap(GL_TEXTURE_2D);
        uploaded = StepSucceeded("mipmap generation");
    }
    if (!uploaded) {
        glDeleteTextures(1, &texture);
        return 0;
    }
    return texture;
}

const unsigned char kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr uint32_t kPngChunkOverhead = 12; // length, type and CRC around the data
const unsigned char kPngEnd[] = {'I', 'E', 'N', 'D'};

// The decoder sizes its buffer for the image data by each chunk's stated
// length before reading it, so a few bytes stating a 2 GiB chunk make it ask
// for 2 GiB. No chunk may state more than the file holds; anything else
// (a missing end marker, a bad header) the decoder judges itself.
bool PngChunksFit(const unsigned char* data, int size) {
    const uint64_t total = uint64_t(size);
    if (total < sizeof(kPngSignature) || memcmp(data, kPngSignature, sizeof(kPngSignature)) != 0)
        return true;
    uint64_t pos = sizeof(kPngSignature);
    while (pos + 8 <= total) {
        const uint64_t length = BigEndian(data + pos, 4);
        if (length + kPngChunkOverhead > total - pos)
            return false;
        if (memcmp(data + pos + 4, kPngEnd, sizeof(kPngEnd)) == 0)
            break;
        pos += length + kPngChunkOverhead;
    }
    return true;
}

} // namespace

// A DHT segment (FF C4, a 16-bit length) holds tables of a class/slot byte,
// 16 code counts and as many symbols as the counts add up to; a table has at
// most 256 symbols. Inside coded data FF is always followed by 00 or a restart
// marker, so every FF C4 in the file is a segment the decoder would read.
bool ImageJPEGTablesFit(const unsigned char* data, int size) {
    constexpr unsigned char kDHT[] = {0xFF, 0xC4};
    constexpr uint64_t kCounts = 16, kMaxSymbols = 256;
    if (size < 2 || data[0] != 0xFF || data[1] != 0xD8)
        return true; // not a JPEG
    const unsigned char* end = data + size;
    for (const unsigned char* at = std::search(data, end, kDHT, kDHT + 2); at != end;
         at = std::search(at + 2, end, kDHT, kDHT + 2)) {
        const unsigned char* table = at + 4;
        const unsigned char* segmentEnd = at + 2 + (end - at >= 4 ? BigEndian(at + 2, 2) : 0);
        while (table < segmentEnd && table < end) {
            uint64_t symbols = 0;
            for (uint64_t i = 1; i <= kCounts; ++i)
                symbols += table + i < end ? table[i] : 0;
            if (symbols > kMaxSymbols)
                return false;
            table += 1 + kCounts + symbols;
        }
    }
    return true;
}

uint32_t ImageLoadTextureFromMemory(const unsigned char* data, int size) {
    if (!data || size <= 0) {
        SetLastResult("no image data");
        return 0;
    }
    if (!PngChunksFit(data, size)) {
        SetLastResult("truncated or corrupt PNG");
        return 0;
    }
    if (!ImageJPEGTablesFit(data, size)) {
        SetLastResult("truncated or corrupt JPEG");
        return 0;
    }
    // The header alone tells the size: judge it before any pixel is decoded.
    ImageHeader header = ReadImageHeader(data, size_t(size));
    if (header.sized && TooLarge(header.width, header.height)) {
        SetLastResult("image too large (%u x %u)", header.width, header.height);
        return 0;
    }
    const DecoderFormat* format = CheckClaim(data, size);
    if (!format)
        return 0;
    int width = 0, height = 0, channels = 0;
    unsigned char* pixels = stbi_load_from_memory(data, size, &width, &height, &channels, 0);
    if (!pixels) {
        SetDecodeFailure(format->name);
        return 0;
    }
    uint32_t texture = Upload(pixels, width, height, channels);
    stbi_image_free(pixels);
    if (texture != 0)
        SetLastResult("image loaded");
    return texture;
}

const char* ImageLastResult() {
    return gLastResult;
}
