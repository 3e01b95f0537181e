// ImageUpload: the GL half of loading an image: a decoded image becomes a
// mipmapped, repeating texture, or the step that failed is named.
#include "gpu/ImageUpload.h"

#include <cassert>
#include <cstdio>
#include <utility>

#include "gpu/GLFunctions.h"
#include "image/DecoderAllocator.h"

namespace {

constexpr int kReasonSize = 160;
// GL's initial unpack alignment, put back after an upload of tightly packed rows.
constexpr GLint kDefaultUnpackAlignment = 4;
// GL keeps at most one flag per error kind; more reads than kinds means a
// driver that never stops reporting (a lost context), and we give up.
constexpr int kMaxPendingErrors = 16;

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
bool StepSucceeded(const char* step, std::string* reason) {
    GLenum error = glGetError();
    if (error == GL_NO_ERROR)
        return true;
    char text[kReasonSize];
    std::snprintf(text, sizeof(text), "%s failed (%s, 0x%04X)", step, GLErrorName(error), error);
    *reason = text;
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
uint32_t Upload(const unsigned char* pixels, int width, int height, int channels,
                std::string* reason) {
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    if (width > maxSize || height > maxSize) {
        char text[kReasonSize];
        std::snprintf(text, sizeof(text), "image larger than the GPU allows (%d x %d, limit %d)",
                      width, height, maxSize);
        *reason = text;
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
    bool uploaded = StepSucceeded("texture upload", reason);
    if (uploaded) {
        SetSamplingState(pf);
        glGenerateMipmap(GL_TEXTURE_2D);
        uploaded = StepSucceeded("mipmap generation", reason);
    }
    if (!uploaded) {
        glDeleteTextures(1, &texture);
        return 0;
    }
    return texture;
}

} // namespace

ImageLoad ImageLoadTextureFromMemory(const unsigned char* data, int size, TextureBudget* budget) {
    TextureBudget own;
    if (!budget)
        budget = &own;
    ImageLoad load;
    const uint64_t before = DecoderBytesHeld();
    {
        DecodedImage image = ImageDecode(data, size, *budget);
        if (!image.pixels) {
            load.reason = std::move(image.reason);
            return load;
        }
        load.texture =
            Upload(image.pixels.get(), image.width, image.height, image.channels, &load.reason);
        if (load.texture != 0)
            budget->used += ImageGPUBytes(image.width, image.height, image.channels);
    }
    assert(DecoderBytesHeld() == before && "a decode gives back every byte it took");
    if (load.texture != 0)
        load.reason = "image loaded";
    return load;
}
