// ShaderProgram: reads, compiles and links the GLSL stages of one program and
// fills its uniform table; owns the log format of compile and link failures
// and of the messages a compile that succeeded still left.
#include "gpu/ShaderProgram.h"

#include <cstdlib>
#include <cstring>

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

// Logs each non-empty '\n'-separated piece of a driver log after four blanks.
void PrintLogLines(int level, const char* log, int length) {
    int start = 0;
    for (int i = 0; i <= length; ++i) {
        if (i < length && log[i] != '\n')
            continue;
        // The precision bounds the piece, so a log without a terminating NUL
        // is never read past its end; a NUL inside still ends the line.
        int pieceLength = i - start;
        if (pieceLength > 0)
            LogMessage(level, kTag, "    %.*s", pieceLength, log + start);
        start = i + 1;
    }
}

// One driver log, read whole and freed with the object.
class InfoLog {
public:
    // Shaders and programs keep their logs behind the same pair of calls, so
    // one reader serves both.
    InfoLog(uint32_t object, PFNGLGETSHADERIVPROC getObjectiv,
            PFNGLGETSHADERINFOLOGPROC getInfoLog) {
        GLint length = 0;
        getObjectiv(object, GL_INFO_LOG_LENGTH, &length);
        if (length <= 0)
            return;
        if (length > kMaxInfoLogLength)
            length = kMaxInfoLogLength;
        mText = static_cast<char*>(calloc(size_t(length), 1));
        if (!mText) {
            LogMessage(LOG_ERROR, kTag, "Unable to allocate %d bytes for the OpenGL error log",
                       static_cast<int>(length));
            return;
        }
        getInfoLog(object, length, nullptr, mText);
        mLength = length;
    }
    InfoLog(const InfoLog&) = delete;
    InfoLog& operator=(const InfoLog&) = delete;
    ~InfoLog() { free(mText); }

    // GL's length counts the terminating NUL, so a log of length 1 says nothing.
    bool HasText() const { return mText && mText[0] != '\0'; }
    // The first line with something on it, without its indentation.
    std::string FirstLine() const {
        std::string text = mText ? std::string(mText, strnlen(mText, size_t(mLength))) : "";
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos)
                end = text.size();
            size_t first = text.find_first_not_of(" \t\r", start);
            if (first < end)
                return text.substr(first, end - first);
            start = end + 1;
        }
        return std::string();
    }
    void Print(int level) const {
        if (mText)
            PrintLogLines(level, mText, mLength);
    }
    void PrintAsError() const {
        if (mText)
            PrintInfoLog(mText, mLength);
    }

private:
    char* mText = nullptr;
    int mLength = 0;
};

// Keeps the first failure only: the one the rest follow from.
void NoteFailure(ShaderFailure* failure, const std::string& file, const std::string& message) {
    if (failure && failure->file.empty())
        *failure =
            ShaderFailure{file, message.empty() ? "failed (no message from the driver)" : message};
}

// The table slot of each stage LoadShaderProgram compiles.
struct StageSource {
    GLenum stage;
    const char* path;
};

void LookUpUniforms(ShaderProgram& record) {
    for (const UniformSlot& slot : kUniforms)
        record.*slot.field = glGetUniformLocation(record.program, slot.name);
}

// A driver may put compiling off until the link (Mesa does when its shader
// cache already holds the source, whatever extensions this context offers),
// so a stage reported compiled can turn out not to be: the link then fails
// with the driver's account of the empty stage ("lacks `main'"), and the
// stage's own status and log are only true after the link. Names every stage
// that failed that way with its compile log; otherwise names the files the
// linker's stage names refer to.
void ExplainLinkFailure(const uint32_t (&stages)[kShaderStageSlots],
                        const StageSource (&sources)[kShaderStageSlots], ShaderFailure* failure) {
    bool named = false;
    for (int i = 0; i < kShaderStageSlots; ++i) {
        if (stages[i] == 0)
            continue;
        GLint compiled = GL_TRUE;
        glGetShaderiv(stages[i], GL_COMPILE_STATUS, &compiled);
        if (compiled == GL_TRUE)
            continue;
        LogMessage(LOG_ERROR, kTag,
                   "%s shader \"%s\" was reported compiled, but failed to compile when linked",
                   StageDisplayName(sources[i].stage), sources[i].path);
        InfoLog log(stages[i], glGetShaderiv, glGetShaderInfoLog);
        log.PrintAsError();
        NoteFailure(failure, sources[i].path, log.FirstLine());
        named = true;
    }
    if (named)
        return;
    for (int i = 0; i < kShaderStageSlots; ++i) {
        if (stages[i] != 0)
            LogMessage(LOG_ERROR, kTag, "Linked stage: %s shader \"%s\"",
                       StageDisplayName(sources[i].stage), sources[i].path);
    }
}

// Links the compiled stages (all non-zero). True when GL reports success.
bool LinkStages(ShaderProgram& record, const uint32_t (&stages)[kShaderStageSlots],
                const StageSource (&sources)[kShaderStageSlots], ShaderFailure* failure) {
    for (uint32_t shader : stages) {
        if (shader != 0)
            glAttachShader(record.program, shader);
    }
    glLinkProgram(record.program);
    GLint linked = GL_FALSE;
    glGetProgramiv(record.program, GL_LINK_STATUS, &linked);
    if (linked != GL_TRUE) {
        LogMessage(LOG_ERROR, kTag, "Error linking shader program");
        InfoLog log(record.program, glGetProgramiv, glGetProgramInfoLog);
        log.PrintAsError();
        ExplainLinkFailure(stages, sources, failure);
        NoteFailure(failure, std::string(sources[0].path) + " + " + sources[1].path,
                    log.FirstLine());
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

uint32_t CompileShader(const char* path, GLenum stage, ShaderFailure* failure,
                       const char* defines) {
    AssetFile source;
    if (ReadAssetFile(path, kTag, "shader", &source) != 0) {
        NoteFailure(failure, path, source.failure);
        return 0;
    }
    uint32_t shader = glCreateShader(stage);
    // The version line comes first so the files themselves carry none, then
    // the variant's defines; the source is NUL-terminated after the bytes
    // actually read.
    const GLchar* sources[3] = {kShaderPrefix, defines ? defines : "",
                                reinterpret_cast<const GLchar*>(source.data)};
    glShaderSource(shader, 3, sources, nullptr);
    glCompileShader(shader);
    FreeAssetFile(&source);

    GLint compiled = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (compiled == GL_TRUE) {
        LogMessage(LOG_INFO, kTag, "%s shader \"%s\" successfully compiled",
                   StageDisplayName(stage), path);
        // Warnings (an extension this driver lacks, say) are what explains a
        // stage that compiled and then behaves unlike the source reads.
        InfoLog log(shader, glGetShaderiv, glGetShaderInfoLog);
        if (log.HasText()) {
            LogMessage(LOG_WARNING, kTag, "Compiler messages for \"%s\":", path);
            log.Print(LOG_WARNING);
        }
        return shader;
    }
    LogMessage(LOG_ERROR, kTag, "Error compiling \"%s\"", path);
    InfoLog log(shader, glGetShaderiv, glGetShaderInfoLog);
    log.PrintAsError();
    NoteFailure(failure, path, log.FirstLine());
    glDeleteShader(shader);
    return 0;
}

int LoadShaderProgram(ShaderProgram& record, const char* vertexPath, const char* fragmentPath,
                      ShaderFailure* failure, const char* fragmentDefines) {
    record.program = glCreateProgram();
    const StageSource sources[kShaderStageSlots] = {{GL_VERTEX_SHADER, vertexPath},
                                                    {GL_FRAGMENT_SHADER, fragmentPath}};
    uint32_t stages[kShaderStageSlots] = {};
    for (int i = 0; i < kShaderStageSlots; ++i) {
        if (sources[i].path)
            stages[i] =
                CompileShader(sources[i].path, sources[i].stage, failure,
                              sources[i].stage == GL_FRAGMENT_SHADER ? fragmentDefines : "");
    }

    // A stage that could not be read or compiled has already said why; linking
    // the other one alone could succeed and hide that the program is unusable.
    bool stagesCompiled = stages[0] != 0 && stages[1] != 0;
    bool linked = stagesCompiled && LinkStages(record, stages, sources, failure);
    ReleaseStages(record.program, stages);
    return linked ? 0 : -1;
}

void PrintInfoLog(const char* log, int length) {
    LogMessage(LOG_ERROR, kTag, "OpenGL error log:");
    PrintLogLines(LOG_ERROR, log, length);
}

void DestroyShaderProgram(ShaderProgram& record) {
    if (record.program != 0)
        glDeleteProgram(record.program);
    record.program = 0;
}

int LoadShaderPrograms(const std::vector<ShaderSource>& sources) {
    for (const ShaderSource& source : sources)
        if (LoadShaderProgram(*source.record, source.vertexPath, source.fragmentPath, nullptr,
                              source.fragmentDefines) != 0)
            return -1;
    return 0;
}

void DestroyShaderPrograms(const std::vector<ShaderSource>& sources) {
    for (auto source = sources.rbegin(); source != sources.rend(); ++source)
        DestroyShaderProgram(*source->record);
}
