// TextureReadback: level-0 copies of textures through glGetTexImage.
#include "gpu/TextureReadback.h"

#include <SDL2/SDL.h>

#include "core/Logger.h"
#include "gpu/GLFunctions.h"

namespace {

PFNGLGETTEXIMAGEPROC gGetTexImage = nullptr;
PFNGLGETTEXLEVELPARAMETERIVPROC gGetTexLevelParameteriv = nullptr;
PFNGLFINISHPROC gFinish = nullptr;

GLint LevelParameter(GLenum name) {
    GLint value = 0;
    gGetTexLevelParameteriv(GL_TEXTURE_2D, 0, name, &value);
    return value;
}

} // namespace

int LoadTextureReadback(const char* tag) {
    gGetTexImage = reinterpret_cast<PFNGLGETTEXIMAGEPROC>(SDL_GL_GetProcAddress("glGetTexImage"));
    gGetTexLevelParameteriv = reinterpret_cast<PFNGLGETTEXLEVELPARAMETERIVPROC>(
        SDL_GL_GetProcAddress("glGetTexLevelParameteriv"));
    gFinish = reinterpret_cast<PFNGLFINISHPROC>(SDL_GL_GetProcAddress("glFinish"));
    if (!gGetTexImage || !gGetTexLevelParameteriv || !gFinish) {
        LogMessage(LOG_ERROR, tag, "The GL driver lacks texture read-back");
        return -1;
    }
    return 0;
}

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
    gFinish();
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_PACK_ALIGNMENT, alignment);
    gGetTexImage(GL_TEXTURE_2D, 0, format, type, out);
    glBindTexture(GL_TEXTURE_2D, 0);
}
