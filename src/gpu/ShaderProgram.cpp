// ShaderProgram: reads, compiles and links the GLSL stages of one program and
// fills its uniform table; owns the log format of compile and link failures.
#include "gpu/ShaderProgram.h"

#include <cstdlib>

#include "core/AssetFile.h"
#include "core/Logger.h"
#include "gpu/GLFunctions.h"

namespace {

const char* kTag = "Shader";

struct StageName {
    GLenum stage;
    const char* name;
};

// The spelling of the tessellation names is what the log has always shown.
const StageName kStageNames[] = {
    {GL_VERTEX_SHADER, "Vertex"},
    {GL_FRAGMENT_SHADER, "Fragment"},
    {GL_GEOMETRY_SHADER, "Geometry"},
    {GL_TESS_EVALUATION_SHADER, "Tesselation Evaluation"},
    {GL_TESS_CONTROL_SHADER, "Tesselation Control"},
};

const char* StageDisplayName(GLenum stage) {
    for (const StageName& entry : kStageNames) {
        if (entry.stage == stage)
            return entry.name;
    }
    return "Unknown";
}

struct UniformSlot {
    const char* name;
    int32_t ShaderProgram::*field;
};

// Record order; the array uniform is found through its first element.
const UniformSlot kUniforms[] = {
    {"modelMatrix", &ShaderProgram::modelMatrix},
    {"viewMatrix", &ShaderProgram::viewMatrix},
    {"projMatrix", &ShaderProgram::projMatrix},
    {"texDiffuse", &ShaderProgram::texDiffuse},
    {"texFontAtlas", &ShaderProgram::texFontAtlas},
    {"textColor", &ShaderProgram::textColor},
    {"texGPosition", &ShaderProgram::texGPosition},
    {"texGNormal", &ShaderProgram::texGNormal},
    {"texGAlbedo", &ShaderProgram::texGAlbedo},
    {"ssaoEnabled", &ShaderProgram::ssaoEnabled},
    {"ssaoRadius", &ShaderProgram::ssaoRadius},
    {"ssaoKernelSize", &ShaderProgram::ssaoKernelSize},
    {"ssaoSamples[0]", &ShaderProgram::ssaoSamples},
    {"texSSAONoise", &ShaderProgram::texSSAONoise},
    {"texSSAO", &ShaderProgram::texSSAO},
    {"singleChannel", &ShaderProgram::singleChannel},
    {"ambientFactor", &ShaderProgram::ambientFactor},
};
static_assert(sizeof(kUniforms) / sizeof(kUniforms[0]) == 17, "one slot per location field");

// No compiler writes a megabyte of diagnostics; a longer length is a driver
// fault, and reading that much would only flood the log. GL cuts the text to
// the buffer it is given.
constexpr GLint kMaxInfoLogLength = 1 << 20;

// Shaders and programs keep their driver logs behind the same pair of
// calls, so one reader serves both.
void LogInfoLog(uint32_t object, PFNGLGETSHADERIVPROC getObjectiv,
                PFNGLGETSHADERINFOLOGPROC getInfoLog) {
    GLint length = 0;
    getObjectiv(object, GL_INFO_LOG_LENGTH, &length);
    if (length <= 0)
        return;
    if (length > kMaxInfoLogLength)
        length = kMaxInfoLogLength;
    char* log = static_cast<char*>(calloc(size_t(length), 1));
    if (!log) {
        LogMessage(LOG_ERROR, kTag, "Unable to allocate %d bytes for the OpenGL error log",
                   static_cast<int>(length));
        return;
    }
    getInfoLog(object, length, nullptr, log);
    PrintInfoLog(log, length);
    free(log);
}

void LookUpUniforms(ShaderProgram& record) {
    for (const UniformSlot& slot : kUniforms)
        record.*slot.field = glGetUniformLocation(record.program, slot.name);
}

// Links the compiled stages (all non-zero). True when GL reports success.
bool LinkStages(ShaderProgram& record, const uint32_t (&stages)[kShaderStageSlots]) {
    for (uint32_t shader : stages) {
        if (shader != 0)
            glAttachShader(record.program, shader);
    }
    glLinkProgram(record.program);
    GLint linked = GL_FALSE;
    glGetProgramiv(record.program, GL_LINK_STATUS, &linked);
    if (linked != GL_TRUE) {
        LogMessage(LOG_ERROR, kTag, "Error linking shader program");
        LogInfoLog(record.program, glGetProgramiv, glGetProgramInfoLog);
        return false;
    }
    LookUpUniforms(record);
    LogMessage(LOG_INFO, kTag, "Shader program successfully linked");
    return true;
}

// The program keeps no shader objects: detach whatever is attached, then
// delete the compiled stages so GL frees them with nothing referring to them.
void ReleaseStages(uint32_t program, const uint32_t (&stages)[kShaderStageSlots]) {
    GLuint attached[kShaderStageSlots] = {};
    GLsizei count = 0;
    glGetAttachedShaders(program, kShaderStageSlots, &count, attached);
    for (GLsizei i = 0; i < count; ++i)
        glDetachShader(program, attached[i]);
    for (uint32_t shader : stages) {
        if (shader != 0)
            glDeleteShader(shader);
    }
}

} // namespace

uint32_t CompileShader(const char* path, GLenum stage) {
    AssetFile source;
    if (ReadAssetFile(path, kTag, "shader", &source) != 0)
        return 0;
    uint32_t shader = glCreateShader(stage);
    // The version line comes first so the files themselves carry none; the
    // source is NUL-terminated after the bytes actually read.
    const GLchar* sources[2] = {kShaderPrefix, reinterpret_cast<const GLchar*>(source.data)};
    glShaderSource(shader, 2, sources, nullptr);
    glCompileShader(shader);
    FreeAssetFile(&source);

    GLint compiled = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (compiled == GL_TRUE) {
        LogMessage(LOG_INFO, kTag, "%s shader \"%s\" successfully compiled",
                   StageDisplayName(stage), path);
        return shader;
    }
    LogMessage(LOG_ERROR, kTag, "Error compiling \"%s\"", path);
    LogInfoLog(shader, glGetShaderiv, glGetShaderInfoLog);
    glDeleteShader(shader);
    return 0;
}

int LoadShaderProgram(ShaderProgram& record, const char* vertexPath, const char* fragmentPath) {
    record.program = glCreateProgram();
    uint32_t stages[kShaderStageSlots] = {};
    stages[0] = CompileShader(vertexPath, GL_VERTEX_SHADER);
    stages[1] = CompileShader(fragmentPath, GL_FRAGMENT_SHADER);

    // A stage that could not be read or compiled has already said why; linking
    // the other one alone could succeed and hide that the program is unusable.
    bool stagesCompiled = stages[0] != 0 && stages[1] != 0;
    bool linked = stagesCompiled && LinkStages(record, stages);
    ReleaseStages(record.program, stages);
    return linked ? 0 : -1;
}

void PrintInfoLog(const char* log, int length) {
    LogMessage(LOG_ERROR, kTag, "OpenGL error log:");
    int start = 0;
    for (int i = 0; i <= length; ++i) {
        if (i < length && log[i] != '\n')
            continue;
        // The precision bounds the piece, so a log without a terminating NUL
        // is never read past its end; a NUL inside still ends the line.
        int pieceLength = i - start;
        if (pieceLength > 0)
            LogMessage(LOG_ERROR, kTag, "    %.*s", pieceLength, log + start);
        start = i + 1;
    }
}

void DestroyShaderProgram(ShaderProgram& record) {
    if (record.program != 0)
        glDeleteProgram(record.program);
    record.program = 0;
}
