// ImageUpload: decodes images from memory with stb_image and uploads them as
// mipmapped, repeating GL textures; keeps the reason of the last failure in
// words a person understands.
#include "gpu/ImageUpload.h"

#include <cstdarg>
#include <cstdio>
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
    const char* format = nullptr; // set when the signature is one we know
    bool sized = false;           // width and height were read
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

// File header, then the info header with width and height as signed 32-bit
// values (a negative height means rows stored top first).
void ReadBMPHeader(const unsigned char* data, size_t size, ImageHeader* header) {
    if (size < 26)
        return;
    auto magnitude = [](uint32_t value) {
        int32_t v = static_cast<int32_t>(value);
        return v < 0 ? 0u - value : value;
    };
    header->sized = true;
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
        header.format = "PNG";
        ReadPNGHeader(data, size, &header);
    } else if (StartsWith(data, size, "\xFF\xD8\xFF", 3)) {
        header.format = "JPEG";
        ReadJPEGHeader(data, size, &header);
    } else if (StartsWith(data, size, "BM", 2)) {
        header.format = "BMP";
        ReadBMPHeader(data, size, &header);
    } else if (StartsWith(data, size, "GIF87a", 6) || StartsWith(data, size, "GIF89a", 6)) {
        header.format = "GIF";
        ReadGIFHeader(data, size, &header);
    }
    return header;
}

bool TooLarge(uint32_t width, uint32_t height) {
    return width > uint32_t(kMaxImageDimension) || height > uint32_t(kMaxImageDimension);
}

// Why the decoder gave up, as the user would put it.
void SetDecodeFailure(const ImageHeader& header) {
    const char* reason = stbi_failure_reason();
    if (reason && std::strcmp(reason, "outofmem") == 0)
        SetLastResult("out of memory decoding the image");
    else if (header.format)
        SetLastResult("truncated or corrupt %s", header.format);
    else
        SetLastResult("unknown image format");
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

uint32_t ImageLoadTextureFromMemory(const unsigned char* data, int size) {
    if (!data || size <= 0) {
        SetLastResult("no image data");
        return 0;
    }
    if (!PngChunksFit(data, size)) {
        SetLastResult("truncated or corrupt PNG");
        return 0;
    }
    // The header alone tells the size: judge it before any pixel is decoded.
    ImageHeader header = ReadImageHeader(data, size_t(size));
    if (header.sized && TooLarge(header.width, header.height)) {
        SetLastResult("image too large (%u x %u)", header.width, header.height);
        return 0;
    }
    int width = 0, height = 0, channels = 0;
    if (!stbi_info_from_memory(data, size, &width, &height, &channels)) {
        SetDecodeFailure(header);
        return 0;
    }
    if (TooLarge(uint32_t(width), uint32_t(height))) {
        SetLastResult("image too large (%d x %d)", width, height);
        return 0;
    }
    unsigned char* pixels = stbi_load_from_memory(data, size, &width, &height, &channels, 0);
    if (!pixels) {
        SetDecodeFailure(header);
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
