// GLTestContext: one hidden SDL window with an OpenGL 4.1 core context per
// test process, the system's GL table loaded, and a few more entry points
// that only tests use to read results back (glGetIntegerv, glGetError and the
// read-backs come with the system's own table).
#pragma once

#include <cstdint>
#include <vector>

#include <SDL2/SDL.h>

#include "gpu/GLFunctions.h"

#define VESPERON_GL_TEST_FUNCTIONS(X)                                                              \
    X(PFNGLGETTEXPARAMETERIVPROC, glGetTexParameteriv)                                             \
    X(PFNGLGETBUFFERSUBDATAPROC, glGetBufferSubData)                                               \
    X(PFNGLGETBUFFERPARAMETERIVPROC, glGetBufferParameteriv)                                       \
    X(PFNGLGETVERTEXATTRIBIVPROC, glGetVertexAttribiv)                                             \
    X(PFNGLGETVERTEXATTRIBFVPROC, glGetVertexAttribfv)                                             \
    X(PFNGLISTEXTUREPROC, glIsTexture)                                                             \
    X(PFNGLISPROGRAMPROC, glIsProgram)                                                             \
    X(PFNGLISSHADERPROC, glIsShader)                                                               \
    X(PFNGLISVERTEXARRAYPROC, glIsVertexArray)                                                     \
    X(PFNGLISFRAMEBUFFERPROC, glIsFramebuffer)                                                     \
    X(PFNGLISENABLEDPROC, glIsEnabled)                                                             \
    X(PFNGLGETUNIFORMFVPROC, glGetUniformfv)                                                       \
    X(PFNGLGETUNIFORMIVPROC, glGetUniformiv)                                                       \
    X(PFNGLCLEARCOLORPROC, glClearColor)                                                           \
    X(PFNGLGETFRAMEBUFFERATTACHMENTPARAMETERIVPROC, glGetFramebufferAttachmentParameteriv)

#define VESPERON_GL_TEST_DECLARE(type, name)                                                       \
    namespace vgltest {                                                                            \
    extern type name;                                                                              \
    }                                                                                              \
    using vgltest::name;
VESPERON_GL_TEST_FUNCTIONS(VESPERON_GL_TEST_DECLARE)
#undef VESPERON_GL_TEST_DECLARE

class Window;

// Creates (once) a hidden window and context, loads the system's GL table and
// the test entry points. Returns false (with the reason in gtest output) when
// no display is available. Use: ASSERT_TRUE(RequireGL());
bool RequireGL();
SDL_Window* TestGLWindow();

// One integer of GL state (glGetIntegerv).
GLint GetInteger(GLenum name);

// Reads the RGBA8 pixels of the framebuffer bound for reading.
std::vector<uint8_t> ReadPixelsRGBA(int x, int y, int width, int height);
