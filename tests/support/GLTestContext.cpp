// GLTestContext: the shared hidden window and GL context of a test process.
#include "support/GLTestContext.h"

#include <gtest/gtest.h>

#include "gpu/GLLoader.h"

#define VESPERON_GL_TEST_DEFINE(type, name)                                                        \
    namespace vgltest {                                                                            \
    type name = nullptr;                                                                           \
    }
VESPERON_GL_TEST_FUNCTIONS(VESPERON_GL_TEST_DEFINE)
#undef VESPERON_GL_TEST_DEFINE

namespace {

SDL_Window* gWindow = nullptr;
SDL_GLContext gContext = nullptr;
bool gTried = false;
std::string gFailure;

bool CreateContext() {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        gFailure = std::string("SDL video: ") + SDL_GetError();
        return false;
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 4);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    gWindow = SDL_CreateWindow("gl-test", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 256,
                               256, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!gWindow) {
        gFailure = std::string("window: ") + SDL_GetError();
        return false;
    }
    gContext = SDL_GL_CreateContext(gWindow);
    if (!gContext) {
        gFailure = std::string("context: ") + SDL_GetError();
        return false;
    }
    const char* missing = nullptr;
    if (LoadGLFunctions(&missing) != 0) {
        gFailure = std::string("GL loader: missing ") + (missing ? missing : "?");
        return false;
    }
#define VESPERON_GL_TEST_RESOLVE(type, name)                                                       \
    vgltest::name = reinterpret_cast<type>(SDL_GL_GetProcAddress(#name));                          \
    if (!vgltest::name) {                                                                          \
        gFailure = "GL test function missing: " #name;                                             \
        return false;                                                                              \
    }
    VESPERON_GL_TEST_FUNCTIONS(VESPERON_GL_TEST_RESOLVE)
#undef VESPERON_GL_TEST_RESOLVE
    return true;
}

} // namespace

bool RequireGL() {
    if (!gTried) {
        gTried = true;
        if (!CreateContext())
            gContext = nullptr;
    }
    if (!gContext)
        ADD_FAILURE() << "no OpenGL context (run under xvfb-run): " << gFailure;
    else
        SDL_GL_MakeCurrent(gWindow, gContext);
    return gContext != nullptr;
}

SDL_Window* TestGLWindow() {
    return gWindow;
}

std::vector<uint8_t> ReadPixelsRGBA(int x, int y, int width, int height) {
    std::vector<uint8_t> pixels(size_t(width) * height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

GLint GetInteger(GLenum name) {
    GLint value = 0;
    glGetIntegerv(name, &value);
    return value;
}
