// ShaderReload: a fresh record is built beside the running one and swapped in
// only when it linked.
#include "gpu/ShaderReload.h"

int ReloadShaderProgram(const ShaderSource& source, ShaderFailure* failure) {
    ShaderProgram fresh{};
    *failure = ShaderFailure{};
    if (LoadShaderProgram(fresh, source.vertexPath, source.fragmentPath, failure,
                          source.fragmentDefines) != 0) {
        DestroyShaderProgram(fresh); // a program that failed to link
        return -1;
    }
    DestroyShaderProgram(*source.record);
    *source.record = fresh;
    return 0;
}
