// GLLoader: resolves the table of GLFunctions through SDL_GL_GetProcAddress
// for the context that is current.
#pragma once

// 0 when every entry resolved. On failure returns -1 and, when missing is not
// null, stores the name of the first entry that stayed null.
int LoadGLFunctions(const char** missing);
