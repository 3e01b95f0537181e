// GLLoader: fills the GLFunctions table from the current context.
#include "gpu/GLLoader.h"

#include <SDL2/SDL.h>

#include "gpu/GLFunctions.h"

#define VESPERON_GL_DEFINE(type, name)                                                             \
    namespace vgl {                                                                                \
    type name = nullptr;                                                                           \
    }
VESPERON_GL_CORE_FUNCTIONS(VESPERON_GL_DEFINE)
VESPERON_GL_IMAGE_FUNCTIONS(VESPERON_GL_DEFINE)
#undef VESPERON_GL_DEFINE

int LoadGLFunctions(const char** missing) {
    const char* firstMissing = nullptr;
    // Resolve every entry before judging, so the report names the first gap
    // in table order rather than stopping the table half-filled.
#define VESPERON_GL_RESOLVE(type, name)                                                            \
    vgl::name = reinterpret_cast<type>(SDL_GL_GetProcAddress(#name));                              \
    if (!vgl::name && !firstMissing)                                                               \
        firstMissing = #name;
    VESPERON_GL_CORE_FUNCTIONS(VESPERON_GL_RESOLVE)
    VESPERON_GL_IMAGE_FUNCTIONS(VESPERON_GL_RESOLVE)
#undef VESPERON_GL_RESOLVE
    if (missing)
        *missing = firstMissing;
    return firstMissing ? -1 : 0;
}
