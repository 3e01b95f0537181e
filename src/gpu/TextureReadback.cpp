// TextureReadback: level-0 copies of textures through glGetTexImage.
#include "gpu/TextureReadback.h"

#include "gpu/GLFunctions.h"

namespace {

GLint LevelParameter(GLenum name) {
    GLint value = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, name, &value);
    return value;
}

} // namespace

TextureLevel QueryTextureLevel(uint32_t texture) {
    glBindTexture(GL_TEXTURE_2D, texture);
    TextureLevel level;
    level.internalFormat = LevelParameter(GL_TEXTURE_INTERNAL_FORMAT);
    level.width = LevelParameter(GL_TEXTURE_WIDTH);
    level.height = LevelParameter(GL_TEXTURE_HEIGHT);
    glBindTexture(GL_TEXTURE_2D, 0);
    return level;
}

void ReadTextureLevel(uint32_t texture, uint32_t format, uint32_t type, int alignment, void* out) {
    glFinish();
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_PACK_ALIGNMENT, alignment);
    glGetTexImage(GL_TEXTURE_2D, 0, format, type, out);
    glBindTexture(GL_TEXTURE_2D, 0);
}
