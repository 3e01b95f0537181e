// ShaderProgram: every program of shaders/ builds on this driver with the
// uniforms the system sets, and a stage that can't be read or compiled, or a
// program that can't link, fails the load with its reason and leaves no shader
// object behind.
#include "gpu/ShaderProgram.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "support/GLTestContext.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

const char* kTrivialVertex = "void main() { gl_Position = vec4(0.0, 0.0, 0.0, 1.0); }\n";
const char* kTrivialFragment = "out vec4 color;\nvoid main() { color = vec4(1.0); }\n";

std::string ErrorLine(const std::string& message) {
    return "[E]  [Shader] " + message;
}
std::string InfoLine(const std::string& message) {
    return "[I]  [Shader] " + message;
}

// True when no name in a generous range is a live shader object: the test
// process creates far fewer GL objects than this.
bool NoShaderAlive() {
    for (GLuint name = 1; name < 512; ++name) {
        if (glIsShader(name))
            return false;
    }
    return true;
}

class ShaderProgramFiles : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(RequireGL());
        ASSERT_FALSE(mDir.Path().empty());
    }
    void TearDown() override { DestroyShaderProgram(mRecord); }
    std::string Write(const char* name, const std::string& text) {
        mDir.Write(name, text);
        return mDir.File(name);
    }

    TempDir mDir{"vesperon-shader"};
    ShaderProgram mRecord;
};

// A uniform's name for messages and its location field in the record.
#define UNIFORM(name)                                                                              \
    { #name, &ShaderProgram::name }

struct ProgramCase {
    const char* vertex;
    const char* fragment;
    // Uniforms the system sets on this program and the picture depends on,
    // so the shader must use them (an unused uniform has no location).
    std::vector<std::pair<const char*, int32_t ShaderProgram::*>> used;
};

const ProgramCase kSystemPrograms[] = {
    {"shaders/Text.vert",
     "shaders/Text.frag",
     {UNIFORM(modelMatrix), UNIFORM(projMatrix), UNIFORM(texFontAtlas), UNIFORM(textColor)}},
    {"shaders/Texture.vert",
     "shaders/Texture.frag",
     {UNIFORM(modelMatrix), UNIFORM(texDiffuse), UNIFORM(singleChannel)}},
    {"shaders/Scene.vert",
     "shaders/Scene.frag",
     {UNIFORM(modelMatrix), UNIFORM(viewMatrix), UNIFORM(projMatrix), UNIFORM(texDiffuse)}},
    {"shaders/SSAO.vert",
     "shaders/SSAO.frag",
     {UNIFORM(projMatrix), UNIFORM(texGPosition), UNIFORM(texGNormal), UNIFORM(texSSAONoise),
      UNIFORM(ssaoRadius), UNIFORM(ssaoKernelSize), UNIFORM(ssaoSamples)}},
    // The blur's one sampler is named by the shader and never set.
    {"shaders/SSAO.vert", "shaders/SSAOBlur.frag", {}},
    {"shaders/SSAO.vert",
     "shaders/Lighting.frag",
     {UNIFORM(texGNormal), UNIFORM(texGAlbedo), UNIFORM(texSSAO), UNIFORM(ssaoEnabled),
      UNIFORM(ambientFactor)}},
};

class SystemProgram : public ::testing::TestWithParam<ProgramCase> {};

} // namespace

TEST_P(SystemProgram, CompilesAndLinksWithEveryUniformTheSystemSets) {
    ASSERT_TRUE(RequireGL());
    const ProgramCase& c = GetParam();
    for (const char* path : {c.vertex, c.fragment}) {
        if (!fs::exists(path))
            GTEST_SKIP() << path << " is not written yet";
    }
    LogCapture capture;
    ShaderProgram record;
    ASSERT_EQ(LoadShaderProgram(record, c.vertex, c.fragment), 0) << capture.Text();
    EXPECT_NE(record.program, 0u);
    EXPECT_TRUE(capture.HasLine(
        InfoLine(std::string("Vertex shader \"") + c.vertex + "\" successfully compiled")));
    EXPECT_TRUE(capture.HasLine(
        InfoLine(std::string("Fragment shader \"") + c.fragment + "\" successfully compiled")));
    EXPECT_TRUE(capture.HasLine(InfoLine("Shader program successfully linked")));
    for (const auto& [name, field] : c.used)
        EXPECT_NE(record.*field, -1) << name << " is not active";
    GLint attached = -1;
    glGetProgramiv(record.program, GL_ATTACHED_SHADERS, &attached);
    EXPECT_EQ(attached, 0);
    EXPECT_TRUE(NoShaderAlive()) << "the stages are deleted once linked";
    DestroyShaderProgram(record);
    EXPECT_EQ(record.program, 0u);
}

INSTANTIATE_TEST_SUITE_P(ShaderProgram, SystemProgram, ::testing::ValuesIn(kSystemPrograms),
                         [](const ::testing::TestParamInfo<ProgramCase>& info) {
                             std::string name = fs::path(info.param.vertex).stem().string() +
                                                fs::path(info.param.fragment).stem().string();
                             return name;
                         });

// The shader tests also run with Mesa told to use another rasterizer: a run
// that silently got the default one would test nothing new.
TEST(ShaderProgram, RunsOnTheRasterizerTheEnvironmentAsksFor) {
    ASSERT_TRUE(RequireGL());
    const char* wanted = std::getenv("GALLIUM_DRIVER");
    const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    ASSERT_NE(renderer, nullptr);
    RecordProperty("renderer", renderer);
    if (wanted) {
        EXPECT_EQ(std::string(renderer).rfind(wanted, 0), 0u) << renderer;
    }
}

TEST(ShaderProgram, UndeclaredUniformsAreMinusOneAndDeclaredOnesFound) {
    ASSERT_TRUE(RequireGL());
    ShaderProgram record;
    ASSERT_EQ(LoadShaderProgram(record, "shaders/Text.vert", "shaders/Text.frag"), 0);
    for (int32_t location :
         {record.viewMatrix, record.texDiffuse, record.texGPosition, record.texGNormal,
          record.texGAlbedo, record.ssaoEnabled, record.ssaoRadius, record.ssaoKernelSize,
          record.ssaoSamples, record.texSSAONoise, record.texSSAO, record.singleChannel,
          record.ambientFactor})
        EXPECT_EQ(location, -1);
    // Setting an absent uniform is a no-op, not an error.
    glUseProgram(record.program);
    glUniform1f(record.ssaoRadius, 2.0f);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    glUseProgram(0);
    DestroyShaderProgram(record);
}

// One fragment file, two programs: the defines given go between the version
// line and the file, so a uniform declared only under #ifdef exists only in
// the build that defines it (the occlusion passes' geometric-normal builds).
TEST_F(ShaderProgramFiles, DefinesBuildAVariantOfOneFragmentFile) {
    std::string vert = Write("ok.vert", kTrivialVertex);
    std::string frag = Write("variant.frag", "#ifdef VARIANT\nuniform float ssaoRadius;\n#endif\n"
                                             "out vec4 color;\nvoid main() {\n#ifdef VARIANT\n"
                                             "    color = vec4(ssaoRadius);\n#else\n"
                                             "    color = vec4(1.0);\n#endif\n}\n");
    const struct {
        const char* defines;
        bool declared;
    } kBuilds[] = {{"", false}, {"#define VARIANT\n", true}, {"#define OTHER\n", false}};
    for (const auto& build : kBuilds) {
        ShaderProgram record;
        ASSERT_EQ(LoadShaderProgram(record, vert.c_str(), frag.c_str(), nullptr, build.defines), 0)
            << build.defines;
        EXPECT_EQ(record.ssaoRadius != -1, build.declared) << build.defines;
        DestroyShaderProgram(record);
    }
}

TEST_F(ShaderProgramFiles, MissingFragmentFileFailsTheLoadAfterTheVertexStageCompiled) {
    std::string vert = Write("ok.vert", kTrivialVertex);
    std::string frag = mDir.File("missing.frag");
    LogCapture capture;
    EXPECT_EQ(LoadShaderProgram(mRecord, vert.c_str(), frag.c_str()), -1);
    EXPECT_TRUE(capture.HasLine(InfoLine("Vertex shader \"" + vert + "\" successfully compiled")));
    EXPECT_TRUE(capture.ContainsFragment("[E]  [Shader] Error while loading shader \"" + frag +
                                         "\": Couldn't open"));
    EXPECT_FALSE(capture.ContainsFragment("successfully linked"));
    // The record keeps its program for its owner to delete; no stage survives.
    EXPECT_NE(mRecord.program, 0u);
    EXPECT_TRUE(glIsProgram(mRecord.program));
    EXPECT_TRUE(NoShaderAlive());
}

TEST_F(ShaderProgramFiles, EmptyStageFileFailsTheLoadSayingItIsEmpty) {
    std::string vert = Write("empty.vert", "");
    std::string frag = Write("ok.frag", kTrivialFragment);
    LogCapture capture;
    EXPECT_EQ(LoadShaderProgram(mRecord, vert.c_str(), frag.c_str()), -1);
    EXPECT_TRUE(capture.HasLine("[E]  [Shader] Error while loading shader \"" + vert +
                                "\": the file is empty"))
        << capture.Text();
    EXPECT_TRUE(
        capture.HasLine(InfoLine("Fragment shader \"" + frag + "\" successfully compiled")));
    EXPECT_TRUE(NoShaderAlive());
}

TEST_F(ShaderProgramFiles, CompileErrorPrintsTheDriverLogIndentedAndFailsTheLoad) {
    std::string vert = Write("broken.vert", "void main() { gl_Position = undefinedThing; }\n");
    std::string frag = Write("ok.frag", kTrivialFragment);
    LogCapture capture;
    EXPECT_EQ(LoadShaderProgram(mRecord, vert.c_str(), frag.c_str()), -1);
    std::vector<std::string> lines = capture.Lines();
    auto compile =
        std::find(lines.begin(), lines.end(), ErrorLine("Error compiling \"" + vert + "\""));
    ASSERT_NE(compile, lines.end());
    ASSERT_LT(compile + 2, lines.end());
    EXPECT_EQ(compile[1], ErrorLine("OpenGL error log:"));
    EXPECT_EQ(compile[2].rfind(ErrorLine("    "), 0), 0u) << compile[2];
    EXPECT_NE(compile[2].find("undefinedThing"), std::string::npos) << compile[2];
    EXPECT_TRUE(NoShaderAlive());
}

namespace {

PFNGLGETSHADERIVPROC gRealGetShaderiv = nullptr;
PFNGLGETSHADERINFOLOGPROC gRealGetShaderInfoLog = nullptr;
GLsizei gLogBufferSize = 0;

// A driver reporting a log of 2 GiB.
void APIENTRY AbsurdLogLength(GLuint shader, GLenum name, GLint* value) {
    gRealGetShaderiv(shader, name, value);
    if (name == GL_INFO_LOG_LENGTH)
        *value = 0x7FFFFFFF;
}
void APIENTRY RecordLogBuffer(GLuint shader, GLsizei size, GLsizei* length, GLchar* log) {
    gLogBufferSize = size;
    gRealGetShaderInfoLog(shader, size, length, log);
}

} // namespace

TEST_F(ShaderProgramFiles, AbsurdLogLengthIsReadIntoABoundedBuffer) {
    std::string vert = Write("broken.vert", "void main() { gl_Position = undefinedThing; }\n");
    gRealGetShaderiv = vgl::glGetShaderiv;
    gRealGetShaderInfoLog = vgl::glGetShaderInfoLog;
    vgl::glGetShaderiv = AbsurdLogLength;
    vgl::glGetShaderInfoLog = RecordLogBuffer;
    LogCapture capture;
    EXPECT_EQ(CompileShader(vert.c_str(), GL_VERTEX_SHADER), 0u);
    vgl::glGetShaderiv = gRealGetShaderiv;
    vgl::glGetShaderInfoLog = gRealGetShaderInfoLog;
    EXPECT_GT(gLogBufferSize, 0);
    EXPECT_LE(gLogBufferSize, 1 << 20) << "a megabyte holds any real compiler log";
    EXPECT_TRUE(capture.ContainsFragment("undefinedThing")) << "the real log is still printed";
}

TEST_F(ShaderProgramFiles, FileWithItsOwnVersionLineFailsToCompile) {
    std::string vert = Write("versioned.vert", std::string("#version 330 core\n") + kTrivialVertex);
    std::string frag = Write("ok.frag", kTrivialFragment);
    LogCapture capture;
    EXPECT_EQ(LoadShaderProgram(mRecord, vert.c_str(), frag.c_str()), -1);
    EXPECT_TRUE(capture.HasLine(ErrorLine("Error compiling \"" + vert + "\"")));
}

TEST_F(ShaderProgramFiles, LinkErrorLogsTheProgramLogAndKeepsTheProgramName) {
    // A called function that no stage defines compiles alone but can't link.
    std::string vert =
        Write("undefined.vert", "void helper();\n"
                                "void main() { helper(); gl_Position = vec4(0.0); }\n");
    std::string frag = Write("ok.frag", kTrivialFragment);
    LogCapture capture;
    EXPECT_EQ(LoadShaderProgram(mRecord, vert.c_str(), frag.c_str()), -1);
    std::vector<std::string> lines = capture.Lines();
    auto link = std::find(lines.begin(), lines.end(), ErrorLine("Error linking shader program"));
    ASSERT_NE(link, lines.end()) << capture.Text();
    ASSERT_LT(link + 1, lines.end());
    EXPECT_EQ(link[1], ErrorLine("OpenGL error log:"));
    EXPECT_TRUE(glIsProgram(mRecord.program));
    EXPECT_TRUE(NoShaderAlive());
}

namespace {

PFNGLGETSHADERIVPROC gDriverGetShaderiv = nullptr;
PFNGLLINKPROGRAMPROC gDriverLinkProgram = nullptr;
bool gCompileDeferred = false;

// A driver that puts compiling off until the link (as Mesa does for a source
// its shader cache already holds): every stage reads as compiled until the
// program links, and only then tells the truth.
void APIENTRY StatusBeforeLink(GLuint shader, GLenum name, GLint* value) {
    gDriverGetShaderiv(shader, name, value);
    if (gCompileDeferred && name == GL_COMPILE_STATUS)
        *value = GL_TRUE;
}
void APIENTRY LinkAndStopDeferring(GLuint program) {
    gCompileDeferred = false;
    gDriverLinkProgram(program);
}

struct DeferredDriver {
    DeferredDriver() {
        gDriverGetShaderiv = vgl::glGetShaderiv;
        gDriverLinkProgram = vgl::glLinkProgram;
        vgl::glGetShaderiv = StatusBeforeLink;
        vgl::glLinkProgram = LinkAndStopDeferring;
        gCompileDeferred = true;
    }
    ~DeferredDriver() {
        vgl::glGetShaderiv = gDriverGetShaderiv;
        vgl::glLinkProgram = gDriverLinkProgram;
        gCompileDeferred = false;
    }
};

// A program whose stages compile (or say so) and which then fails to link,
// or links with the compiler's warnings. `expected` are lines that must
// appear in this order, each given by its pieces between '*'s (the words of
// the driver's own messages are its choice; only the pieces are fixed).
struct CompileLinkCase {
    const char* name;
    std::string fragment;
    bool deferred;
    int result;
    std::vector<std::string> expected;
};

const CompileLinkCase kCompileLinkCases[] = {
    // The blur's situation on a driver without the extension it requires,
    // behind a driver that reported the stage compiled.
    {"RequiredExtensionMissingBehindADeferredCompile",
     "#extension GL_VESPERON_not_an_extension : require\n"
     "out vec4 color;\nvoid main() { color = vec4(1.0); }\n",
     true,
     -1,
     {"[I]  [Shader] Fragment shader \"FRAG\" successfully compiled",
      "[E]  [Shader] Error linking shader program", "[E]  [Shader] OpenGL error log:",
      "[E]  [Shader] Fragment shader \"FRAG\" was reported compiled, but failed to compile "
      "when linked",
      "[E]  [Shader] OpenGL error log:", "[E]  [Shader]     *GL_VESPERON_not_an_extension"}},
    // Compiles (a translation unit may lack main), and the link names the file.
    {"MainRemovedByThePreprocessor",
     "out vec4 color;\n#ifdef GL_VESPERON_not_an_extension\n"
     "void main() { color = vec4(1.0); }\n#endif\n",
     false,
     -1,
     {"[I]  [Shader] Fragment shader \"FRAG\" successfully compiled",
      "[E]  [Shader] Error linking shader program", "[E]  [Shader] OpenGL error log:",
      "[E]  [Shader]     *main", "[E]  [Shader] Linked stage: Vertex shader \"VERT\"",
      "[E]  [Shader] Linked stage: Fragment shader \"FRAG\""}},
    // An extension asked for where available: the compiler's warning is shown.
    {"UnsupportedOptionalExtensionIsAWarning",
     "#extension GL_VESPERON_not_an_extension : enable\n"
     "out vec4 color;\nvoid main() { color = vec4(1.0); }\n",
     false,
     0,
     {"[I]  [Shader] Fragment shader \"FRAG\" successfully compiled",
      "[W]  [Shader] Compiler messages for \"FRAG\":",
      "[W]  [Shader]     *GL_VESPERON_not_an_extension",
      "[I]  [Shader] Shader program successfully linked"}},
};

class CompileLinkDisagree : public ShaderProgramFiles,
                            public ::testing::WithParamInterface<CompileLinkCase> {};

bool LineMatches(const std::string& line, const std::string& pattern) {
    size_t at = 0, from = 0;
    while (true) {
        size_t star = pattern.find('*', from);
        std::string piece = pattern.substr(from, star == std::string::npos ? star : star - from);
        at = line.find(piece, at);
        if (at == std::string::npos)
            return false;
        at += piece.size();
        if (star == std::string::npos)
            return true;
        from = star + 1;
    }
}

std::string Substitute(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

} // namespace

TEST_P(CompileLinkDisagree, LogNamesTheStageAndTheCompilersOwnMessage) {
    const CompileLinkCase& c = GetParam();
    std::string vert = Write("ok.vert", kTrivialVertex);
    // A source the driver has seen before may come from its shader cache
    // without a compile, and so without the compiler's messages: each run's
    // source is new.
    std::string nonce = "// " + std::to_string(getpid()) + " " +
                        std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    std::string frag = Write("case.frag", c.fragment + nonce + "\n");
    LogCapture capture;
    int result = 0;
    {
        std::unique_ptr<DeferredDriver> driver;
        if (c.deferred)
            driver = std::make_unique<DeferredDriver>();
        result = LoadShaderProgram(mRecord, vert.c_str(), frag.c_str());
    }
    EXPECT_EQ(result, c.result) << capture.Text();
    std::vector<std::string> lines = capture.Lines();
    auto at = lines.begin();
    for (const std::string& pattern : c.expected) {
        std::string wanted = Substitute(Substitute(pattern, "FRAG", frag), "VERT", vert);
        at = std::find_if(at, lines.end(),
                          [&](const std::string& line) { return LineMatches(line, wanted); });
        ASSERT_NE(at, lines.end()) << "no \"" << wanted << "\" in order in\n" << capture.Text();
        ++at;
    }
    EXPECT_TRUE(NoShaderAlive());
}

INSTANTIATE_TEST_SUITE_P(ShaderProgram, CompileLinkDisagree, ::testing::ValuesIn(kCompileLinkCases),
                         [](const ::testing::TestParamInfo<CompileLinkCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(ShaderProgram, InfoLogIsPrintedLineByLineSkippingEmptyLines) {
    LogCapture capture;
    // Exactly the bytes, no terminator: nothing may be read past them.
    const std::string text = "first line\n\nsecond line";
    std::vector<char> unterminated(text.begin(), text.end());
    PrintInfoLog(unterminated.data(), int(unterminated.size()));
    // GL's length counts the NUL, which is a line of its own after a newline.
    const char terminated[] = "0:1(1): error: oops\n";
    PrintInfoLog(terminated, int(sizeof(terminated)));
    std::vector<std::string> expected = {
        ErrorLine("OpenGL error log:"),       ErrorLine("    first line"),
        ErrorLine("    second line"),         ErrorLine("OpenGL error log:"),
        ErrorLine("    0:1(1): error: oops"), ErrorLine("    ")};
    EXPECT_EQ(capture.Lines(), expected);
}

namespace {

// Draws a full-viewport quad with the texture program and reads two pixels
// back: one from the left half of the texture, one from the right.
std::vector<uint8_t> DrawTextureQuad(const ShaderProgram& program, GLint singleChannel) {
    const float quad[] = {-1, -1, 0, 0, 1, -1, 1, 0, -1, 1, 0, 1, 1, 1, 1, 1};
    GLuint vao = 0, vbo = 0;
    glGenVertexArrays(1, &vao);
    glBindVertexArray(vao);
    glGenBuffers(1, &vbo);
    glBindBuffer(GL_ARRAY_BUFFER, vbo);
    glBufferData(GL_ARRAY_BUFFER, sizeof(quad), quad, GL_STATIC_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, 0, nullptr);

    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    glUseProgram(program.program);
    glUniformMatrix4fv(program.modelMatrix, 1, GL_FALSE, identity);
    glUniform1i(program.texDiffuse, 0);
    glUniform1i(program.singleChannel, singleChannel);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);

    std::vector<uint8_t> left = ReadPixelsRGBA(10, 128, 1, 1);
    std::vector<uint8_t> right = ReadPixelsRGBA(245, 128, 1, 1);
    left.insert(left.end(), right.begin(), right.end());
    glBindVertexArray(0);
    glDeleteBuffers(1, &vbo);
    glDeleteVertexArrays(1, &vao);
    return left;
}

GLuint TwoTexelTexture(const uint8_t (&rgba)[8]) {
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 2, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    return texture;
}

} // namespace

TEST(ShaderProgram, TextureProgramShowsColoursOpaqueOrTheRedChannelAsGrey) {
    ASSERT_TRUE(RequireGL());
    ShaderProgram program;
    ASSERT_EQ(LoadShaderProgram(program, "shaders/Texture.vert", "shaders/Texture.frag"), 0);
    // Transparent texels: the view is opaque whatever the texture's alpha.
    const uint8_t texels[8] = {40, 80, 120, 0, 200, 20, 60, 0};
    GLuint texture = TwoTexelTexture(texels);

    std::vector<uint8_t> colour = DrawTextureQuad(program, 0);
    EXPECT_EQ(colour, (std::vector<uint8_t>{40, 80, 120, 255, 200, 20, 60, 255}));
    std::vector<uint8_t> grey = DrawTextureQuad(program, 1);
    EXPECT_EQ(grey, (std::vector<uint8_t>{40, 40, 40, 255, 200, 200, 200, 255}));

    glDeleteTextures(1, &texture);
    glUseProgram(0);
    DestroyShaderProgram(program);
}
