// ShaderReload: a program whose file is broken, empty or missing keeps the
// program that ran before (the pixels it draws stay the same) and hands back
// the compiler's first error line; a fixed file replaces it.
#include "gpu/ShaderReload.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/GLTestContext.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

namespace {

constexpr int kSize = 8;

// A triangle that covers the whole viewport, from the vertex index alone.
const char* const kVertex = "void main() {\n"
                            "    vec2 p = vec2((gl_VertexID << 1) & 2, gl_VertexID & 2);\n"
                            "    gl_Position = vec4(2.0 * p - 1.0, 0.0, 1.0);\n"
                            "}\n";

std::string Fragment(const char* colour) {
    return std::string("out vec4 color;\nvoid main() { color = vec4(") + colour + "); }\n";
}

const char* const kBroken = "out vec4 color;\nvoid main() { color = vec4(1.0, 0.0); }\n";

class ShaderReloadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(RequireGL());
        ASSERT_FALSE(mDir.Path().empty());
        glGenVertexArrays(1, &mVao);
        mDir.Write("full.vert", kVertex);
        mVertex = mDir.File("full.vert");
        mFragment = mDir.File("colour.frag");
    }
    void TearDown() override {
        DestroyShaderProgram(mRecord);
        glDeleteVertexArrays(1, &mVao);
    }

    int Reload(const std::string& fragmentText, std::string* error) {
        mDir.Write("colour.frag", fragmentText);
        return ReloadShaderProgram({&mRecord, mVertex.c_str(), mFragment.c_str()}, error);
    }

    // The colour the current program draws, read back from the framebuffer.
    std::vector<uint8_t> Draw() {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glViewport(0, 0, kSize, kSize);
        glDisable(GL_BLEND);
        glDisable(GL_DEPTH_TEST);
        glUseProgram(mRecord.program);
        glBindVertexArray(mVao);
        glDrawArrays(GL_TRIANGLES, 0, 3);
        glFinish();
        std::vector<uint8_t> pixels = ReadPixelsRGBA(kSize / 2, kSize / 2, 1, 1);
        return std::vector<uint8_t>(pixels.begin(), pixels.begin() + 3);
    }

    TempDir mDir{"vesperon-reload"};
    ShaderProgram mRecord{};
    std::string mVertex;
    std::string mFragment;
    GLuint mVao = 0;
};

const std::vector<uint8_t> kRed = {255, 0, 0};
const std::vector<uint8_t> kGreen = {0, 255, 0};

} // namespace

TEST_F(ShaderReloadTest, ABrokenFileKeepsTheRunningProgramAndAFixedOneReplacesIt) {
    std::string error;
    ASSERT_EQ(Reload(Fragment("1.0, 0.0, 0.0, 1.0"), &error), 0);
    uint32_t running = mRecord.program;
    ASSERT_EQ(Draw(), kRed);

    struct Case {
        const char* what;
        std::string text;
        bool remove;
    } cases[] = {
        {"a compile error", kBroken, false},
        {"an empty file", "", false},
        {"a missing file", "", true},
    };
    for (const Case& c : cases) {
        LogCapture log;
        mDir.Write("colour.frag", c.text);
        if (c.remove)
            std::remove(mFragment.c_str());
        error.clear();
        EXPECT_EQ(ReloadShaderProgram({&mRecord, mVertex.c_str(), mFragment.c_str()}, &error), -1)
            << c.what;
        EXPECT_EQ(mRecord.program, running) << c.what << " keeps the program";
        EXPECT_EQ(Draw(), kRed) << c.what << ": the old program still draws";
        EXPECT_FALSE(error.empty()) << c.what;
        EXPECT_TRUE(log.ContainsFragment(error)) << c.what << ": the log has the line: " << error;
    }

    // The compiler's own line, not the loader's summary.
    mDir.Write("colour.frag", kBroken);
    ReloadShaderProgram({&mRecord, mVertex.c_str(), mFragment.c_str()}, &error);
    EXPECT_NE(error.find("error"), std::string::npos) << error;
    EXPECT_EQ(error.find("Error compiling"), std::string::npos) << error;

    ASSERT_EQ(Reload(Fragment("0.0, 1.0, 0.0, 1.0"), &error), 0);
    EXPECT_NE(mRecord.program, 0u);
    EXPECT_EQ(Draw(), kGreen);
    // GL deletes a program only once it is no longer current.
    glUseProgram(0);
    EXPECT_FALSE(glIsProgram(running)) << "the replaced program is released";
}

TEST(ShaderReloadFirstError, PicksTheInfoLogsFirstLineElseTheFirstError) {
    struct Case {
        std::string log;
        std::string expected;
    } cases[] = {
        {"0.1 [I]  [Shader] fine\n"
         "0.2 [E]  [Shader] Error compiling \"shaders/x.frag\"\n"
         "0.2 [E]  [Shader] OpenGL error log:\n"
         "0.2 [E]  [Shader]     0:3(12): error: syntax error\n"
         "0.2 [E]  [Shader]     0:4(1): error: another\n",
         "0:3(12): error: syntax error"},
        {"0.1 [E]  [Shader] Unable to open \"shaders/gone.frag\"\n",
         "Unable to open \"shaders/gone.frag\""},
        {"0.1 [I]  [Shader] all good\n", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FirstErrorLine(c.log), c.expected);
}
