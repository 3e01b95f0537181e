// ShaderReload: a program whose file is broken, empty or missing keeps the
// program that ran before (the pixels it draws stay the same) and hands back
// the file that failed with the compiler's first error line; a fixed file
// replaces it.
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

    int Reload(const std::string& fragmentText, ShaderFailure* failure) {
        mDir.Write("colour.frag", fragmentText);
        return ReloadShaderProgram({&mRecord, mVertex.c_str(), mFragment.c_str()}, failure);
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

TEST_F(ShaderReloadTest, ABrokenFileKeepsTheRunningProgramAndIsNamedWithItsFirstError) {
    ShaderFailure failure;
    ASSERT_EQ(Reload(Fragment("1.0, 0.0, 0.0, 1.0"), &failure), 0);
    uint32_t running = mRecord.program;
    ASSERT_EQ(Draw(), kRed);

    // Each case breaks one file; the failure names that file and says why in
    // the driver's (or the reader's) own words, which the log also has.
    struct Case {
        const char* what;
        bool vertex; // the vertex file is the broken one
        std::string text;
        bool remove;
        const char* says;
    } cases[] = {
        {"a fragment compile error", false, kBroken, false, "error"},
        {"an empty fragment file", false, "", false, "the file is empty"},
        {"a missing fragment file", false, "", true, "Error while loading shader"},
        {"a vertex compile error", true, "void main() { gl_Position = 1.0 }\n", false, "error"},
    };
    for (const Case& c : cases) {
        LogCapture log;
        std::string broken = c.vertex ? mVertex : mFragment;
        mDir.Write(c.vertex ? "full.vert" : "colour.frag", c.text);
        if (c.remove)
            std::remove(broken.c_str());
        EXPECT_EQ(ReloadShaderProgram({&mRecord, mVertex.c_str(), mFragment.c_str()}, &failure),
                  -1)
            << c.what;
        EXPECT_EQ(mRecord.program, running) << c.what << " keeps the program";
        EXPECT_EQ(Draw(), kRed) << c.what << ": the old program still draws";
        EXPECT_EQ(failure.file, broken) << c.what;
        EXPECT_NE(failure.message.find(c.says), std::string::npos) << c.what << ": " << failure.message;
        EXPECT_EQ(failure.message.find("Error compiling"), std::string::npos)
            << c.what << ": the compiler's own line, not the loader's summary";
        EXPECT_TRUE(log.ContainsFragment(failure.message)) << c.what << ": " << failure.message;
        mDir.Write("full.vert", kVertex);
        mDir.Write("colour.frag", Fragment("1.0, 0.0, 0.0, 1.0"));
    }

    ASSERT_EQ(Reload(Fragment("0.0, 1.0, 0.0, 1.0"), &failure), 0);
    EXPECT_NE(mRecord.program, 0u);
    EXPECT_EQ(Draw(), kGreen);
    // GL deletes a program only once it is no longer current.
    glUseProgram(0);
    EXPECT_FALSE(glIsProgram(running)) << "the replaced program is released";
}
