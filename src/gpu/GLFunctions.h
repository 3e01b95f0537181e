// GLFunctions: the OpenGL entry points the system calls, as one X-macro table
// typed by the Khronos core-profile header and resolved at run time through
// SDL_GL_GetProcAddress (see GLLoader).
//
// The pointers live in namespace vgl and are brought into scope by
// using-declarations, so code calls glClear(...) as usual while the symbols
// never clash with the exports of the system's libGL.
#pragma once

#include <GL/glcorearb.h>

// The core-profile functions the renderer and resource modules call, with
// the read-backs of the truth capture, the screenshots and framebench: every
// one of them is core since GL 1.x, so a context that lacks one is refused.
#define VESPERON_GL_CORE_FUNCTIONS(X)                                                              \
    X(PFNGLACTIVETEXTUREPROC, glActiveTexture)                                                     \
    X(PFNGLATTACHSHADERPROC, glAttachShader)                                                       \
    X(PFNGLBINDBUFFERPROC, glBindBuffer)                                                           \
    X(PFNGLBINDFRAMEBUFFERPROC, glBindFramebuffer)                                                 \
    X(PFNGLBINDTEXTUREPROC, glBindTexture)                                                         \
    X(PFNGLBINDVERTEXARRAYPROC, glBindVertexArray)                                                 \
    X(PFNGLBLENDCOLORPROC, glBlendColor)                                                           \
    X(PFNGLBLENDFUNCPROC, glBlendFunc)                                                             \
    X(PFNGLBUFFERDATAPROC, glBufferData)                                                           \
    X(PFNGLBUFFERSUBDATAPROC, glBufferSubData)                                                     \
    X(PFNGLCHECKFRAMEBUFFERSTATUSPROC, glCheckFramebufferStatus)                                   \
    X(PFNGLCLEARPROC, glClear)                                                                     \
    X(PFNGLCOMPILESHADERPROC, glCompileShader)                                                     \
    X(PFNGLCREATEPROGRAMPROC, glCreateProgram)                                                     \
    X(PFNGLCREATESHADERPROC, glCreateShader)                                                       \
    X(PFNGLDELETEBUFFERSPROC, glDeleteBuffers)                                                     \
    X(PFNGLDELETEFRAMEBUFFERSPROC, glDeleteFramebuffers)                                           \
    X(PFNGLDELETEPROGRAMPROC, glDeleteProgram)                                                     \
    X(PFNGLDELETESHADERPROC, glDeleteShader)                                                       \
    X(PFNGLDELETETEXTURESPROC, glDeleteTextures)                                                   \
    X(PFNGLDELETEVERTEXARRAYSPROC, glDeleteVertexArrays)                                           \
    X(PFNGLDEPTHFUNCPROC, glDepthFunc)                                                             \
    X(PFNGLDETACHSHADERPROC, glDetachShader)                                                       \
    X(PFNGLDISABLEPROC, glDisable)                                                                 \
    X(PFNGLDRAWARRAYSPROC, glDrawArrays)                                                           \
    X(PFNGLDRAWBUFFERSPROC, glDrawBuffers)                                                         \
    X(PFNGLDRAWELEMENTSPROC, glDrawElements)                                                       \
    X(PFNGLENABLEPROC, glEnable)                                                                   \
    X(PFNGLENABLEVERTEXATTRIBARRAYPROC, glEnableVertexAttribArray)                                 \
    X(PFNGLFINISHPROC, glFinish)                                                                   \
    X(PFNGLFRAMEBUFFERTEXTURE2DPROC, glFramebufferTexture2D)                                       \
    X(PFNGLGENBUFFERSPROC, glGenBuffers)                                                           \
    X(PFNGLGENFRAMEBUFFERSPROC, glGenFramebuffers)                                                 \
    X(PFNGLGENTEXTURESPROC, glGenTextures)                                                         \
    X(PFNGLGENVERTEXARRAYSPROC, glGenVertexArrays)                                                 \
    X(PFNGLGETATTACHEDSHADERSPROC, glGetAttachedShaders)                                           \
    X(PFNGLGETPROGRAMINFOLOGPROC, glGetProgramInfoLog)                                             \
    X(PFNGLGETPROGRAMIVPROC, glGetProgramiv)                                                       \
    X(PFNGLGETSHADERINFOLOGPROC, glGetShaderInfoLog)                                               \
    X(PFNGLGETSHADERIVPROC, glGetShaderiv)                                                         \
    X(PFNGLGETSTRINGPROC, glGetString)                                                             \
    X(PFNGLGETTEXIMAGEPROC, glGetTexImage)                                                         \
    X(PFNGLGETTEXLEVELPARAMETERIVPROC, glGetTexLevelParameteriv)                                   \
    X(PFNGLGETUNIFORMLOCATIONPROC, glGetUniformLocation)                                           \
    X(PFNGLISBUFFERPROC, glIsBuffer)                                                               \
    X(PFNGLLINKPROGRAMPROC, glLinkProgram)                                                         \
    X(PFNGLPIXELSTOREIPROC, glPixelStorei)                                                         \
    X(PFNGLREADBUFFERPROC, glReadBuffer)                                                           \
    X(PFNGLREADPIXELSPROC, glReadPixels)                                                           \
    X(PFNGLSHADERSOURCEPROC, glShaderSource)                                                       \
    X(PFNGLTEXIMAGE2DPROC, glTexImage2D)                                                           \
    X(PFNGLTEXPARAMETERIPROC, glTexParameteri)                                                     \
    X(PFNGLTEXSUBIMAGE2DPROC, glTexSubImage2D)                                                     \
    X(PFNGLUNIFORM1FPROC, glUniform1f)                                                             \
    X(PFNGLUNIFORM1IPROC, glUniform1i)                                                             \
    X(PFNGLUNIFORM3FVPROC, glUniform3fv)                                                           \
    X(PFNGLUNIFORM4FVPROC, glUniform4fv)                                                           \
    X(PFNGLUNIFORMMATRIX4FVPROC, glUniformMatrix4fv)                                               \
    X(PFNGLUSEPROGRAMPROC, glUseProgram)                                                           \
    X(PFNGLVERTEXATTRIB4FPROC, glVertexAttrib4f)                                                   \
    X(PFNGLVERTEXATTRIBPOINTERPROC, glVertexAttribPointer)                                         \
    X(PFNGLVIEWPORTPROC, glViewport)

// What the image upload layer needs besides the core table: GPU mipmap
// generation (the image library we replace resolved it on its own), and the
// size limit and error state that tell whether an upload reached the GPU.
#define VESPERON_GL_IMAGE_FUNCTIONS(X)                                                             \
    X(PFNGLGENERATEMIPMAPPROC, glGenerateMipmap)                                                   \
    X(PFNGLGETINTEGERVPROC, glGetIntegerv)                                                         \
    X(PFNGLGETERRORPROC, glGetError)

#define VESPERON_GL_DECLARE(type, name)                                                            \
    namespace vgl {                                                                                \
    extern type name;                                                                              \
    }                                                                                              \
    using vgl::name;
VESPERON_GL_CORE_FUNCTIONS(VESPERON_GL_DECLARE)
VESPERON_GL_IMAGE_FUNCTIONS(VESPERON_GL_DECLARE)
#undef VESPERON_GL_DECLARE
