// ImageUpload: decodes images from memory with stb_image and uploads them as
// mipmapped, repeating GL textures; keeps the reason of the last failure.
#include "gpu/ImageUpload.h"

#include <cstdio>
#include <cstring>

#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

#include "gpu/GLFunctions.h"

namespace {

constexpr int kLastResultSize = 128;
// GL's initial unpack alignment, put back after an upload of tightly packed rows.
constexpr GLint kDefaultUnpackAlignment = 4;

char gLastResult[kLastResultSize] = "no image loaded yet";

// The decoder's reasons may carry bytes of the file (an unknown chunk's type
// is copied into its message, and may even start with a zero byte): keep
// only printable characters, so a log line never ends empty or in raw bytes.
void SetLastResult(const char* text) {
    if (!text || text[0] == '\0')
        text = "unknown image error";
    snprintf(gLastResult, sizeof(gLastResult), "%s", text);
    for (char* c = gLastResult; *c; ++c) {
        if (*c < ' ' || *c > '~')
            *c = '?';
    }
}

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

uint32_t Upload(const unsigned char* pixels, int width, int height, int channels) {
    PixelFormat pf = FormatForChannels(channels);
    uint32_t texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    // stb rows are packed without padding; a 3-channel row of odd width is
    // not a multiple of 4 bytes.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, pf.internalFormat, width, height, 0, pf.format, GL_UNSIGNED_BYTE,
                 pixels);
    glPixelStorei(GL_UNPACK_ALIGNMENT, kDefaultUnpackAlignment);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_R, pf.swizzle[0]);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_G, pf.swizzle[1]);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_B, pf.swizzle[2]);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_A, pf.swizzle[3]);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glGenerateMipmap(GL_TEXTURE_2D);
    return texture;
}

const unsigned char kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr uint32_t kPngChunkOverhead = 12; // length, type and CRC around the data
const unsigned char kPngEnd[] = {'I', 'E', 'N', 'D'};

uint32_t ReadBigEndian32(const unsigned char* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

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
        const uint64_t length = ReadBigEndian32(data + pos);
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
    int width = 0, height = 0, channels = 0;
    if (!stbi_info_from_memory(data, size, &width, &height, &channels)) {
        SetLastResult(stbi_failure_reason());
        return 0;
    }
    if (width > kMaxImageDimension || height > kMaxImageDimension) {
        snprintf(gLastResult, sizeof(gLastResult), "image too large (%d x %d)", width, height);
        return 0;
    }
    unsigned char* pixels = stbi_load_from_memory(data, size, &width, &height, &channels, 0);
    if (!pixels) {
        SetLastResult(stbi_failure_reason());
        return 0;
    }
    uint32_t texture = Upload(pixels, width, height, channels);
    stbi_image_free(pixels);
    SetLastResult("image loaded");
    return texture;
}

const char* ImageLastResult() {
    return gLastResult;
}
