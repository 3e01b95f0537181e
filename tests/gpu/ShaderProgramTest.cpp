// ShaderProgram: every program of shaders/ builds on this driver with the
// uniforms the system sets, and a stage that can't be read or compiled, or a
// program that can't link, fails the load with its reason and leaves no shader
// object behind.
#include "gpu/ShaderProgram.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

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
