// Texture: LoadTexture turns an image file into a bound, mipmapped texture,
// reports unreadable files with -1 and undecodable ones with 0 and no name,
// and a Texture deletes exactly the name it owns.
#include "gpu/Texture.h"

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "gpu/ImageUpload.h"
#include "image/PngWrite.h"
#include "support/GLTestContext.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

namespace {

std::string ErrorLine(const std::string& message) {
    return "[E]  [Texture] " + message;
}

int gDeleteCalls = 0;
void APIENTRY CountDeleteTextures(GLsizei, const GLuint*) {
    ++gDeleteCalls;
}

class TextureFiles : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(RequireGL());
        ASSERT_FALSE(mDir.Path().empty());
    }
    std::string WriteBytes(const char* name, const std::vector<unsigned char>& bytes) {
        mDir.Write(name, std::string(bytes.begin(), bytes.end()));
        return mDir.File(name);
    }
    std::string WritePNG(const char* name, int width, int height) {
        std::vector<unsigned char> pixels(size_t(width) * height * 4, 200);
        return WriteBytes(name, EncodePng(width, height, 4, pixels).bytes);
    }

    TempDir mDir{"vesperon-texture"};
};

GLint Parameter(GLenum name) {
    GLint value = -1;
    glGetTexParameteriv(GL_TEXTURE_2D, name, &value);
    return value;
}

} // namespace

TEST_F(TextureFiles, PNGFileLoadsBoundWithTrilinearFiltering) {
    std::string path = WritePNG("wall.png", 8, 4);
    Texture texture;
    LogCapture capture;
    ASSERT_EQ(LoadTexture(path.c_str(), &texture), 0);
    ASSERT_NE(texture.mId, 0u);
    EXPECT_TRUE(capture.ContainsFragment("[I]  [Texture] \"" + path +
                                         "\" successfully loaded; mipmaps generated\n"));
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(GLuint(bound), texture.mId) << "the new texture stays bound";
    EXPECT_EQ(Parameter(GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_LINEAR);
}

TEST_F(TextureFiles, TextureDeletesOnlyTheNameItOwns) {
    std::string path = WritePNG("owned.png", 2, 2);
    uint32_t id = 0;
    {
        Texture texture;
        ASSERT_EQ(LoadTexture(path.c_str(), &texture), 0);
        id = texture.mId;
        ASSERT_TRUE(glIsTexture(id));
    }
    EXPECT_FALSE(glIsTexture(id));

    PFNGLDELETETEXTURESPROC real = vgl::glDeleteTextures;
    vgl::glDeleteTextures = CountDeleteTextures;
    gDeleteCalls = 0;
    { Texture unnamed; }
    vgl::glDeleteTextures = real;
    EXPECT_EQ(gDeleteCalls, 0) << "a texture without a name makes no GL call";
}

TEST_F(TextureFiles, MissingFileReturnsMinusOneWithSDLReason) {
    std::string path = mDir.File("missing.png");
    Texture texture;
    LogCapture capture;
    EXPECT_EQ(LoadTexture(path.c_str(), &texture), -1);
    EXPECT_EQ(texture.mId, 0u);
    EXPECT_TRUE(capture.ContainsFragment(
        ErrorLine("Error while loading texture \"" + path + "\": Couldn't open " + path)));
}

TEST_F(TextureFiles, EmptyFileReturnsMinusOneWithSizeMessage) {
    std::string path = WriteBytes("empty.png", {});
    Texture texture;
    LogCapture capture;
    EXPECT_EQ(LoadTexture(path.c_str(), &texture), -1);
    EXPECT_EQ(texture.mId, 0u);
    EXPECT_TRUE(capture.ContainsFragment(
        ErrorLine("Error while loading texture \"" + path + "\": the file is empty")));
}

TEST_F(TextureFiles, UndecodableFilesReturnZeroAndLeaveTheTextureUnnamed) {
    const std::string text = "not an image at all";
    // A PNG signature and header promising 100000 x 100000 pixels, then nothing.
    std::vector<unsigned char> huge = {0x89, 'P',  'N', 'G', '\r', '\n', 0x1A, '\n', 0,    0, 0,
                                       13,   'I',  'H', 'D', 'R',  0,    1,    0x86, 0xA0, 0, 1,
                                       0x86, 0xA0, 8,   2,   0,    0,    0,    0,    0,    0, 0};
    const std::string paths[] = {
        WriteBytes("text.png", std::vector<unsigned char>(text.begin(), text.end())),
        WriteBytes("huge.png", huge),
    };
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        Texture texture;
        LogCapture capture;
        EXPECT_EQ(LoadTexture(path.c_str(), &texture), 0);
        EXPECT_EQ(texture.mId, 0u);
        std::string prefix = ErrorLine("Error while loading texture \"" + path + "\": ");
        EXPECT_TRUE(capture.ContainsFragment(prefix)) << capture.Text();
        EXPECT_FALSE(capture.ContainsFragment(prefix + "\n")) << "the reason is given";
    }
}

// What the user reads for a broken image: one error line with the file and
// the reason in words; the texture stays unnamed (the renderer then binds its
// white texture). A GPU that refuses the upload reads the same way (see the
// scene drawing tests).
TEST_F(TextureFiles, BrokenAndOversizedImagesAreLoggedOnceInWords) {
    std::string good = WritePNG("good.png", 8, 8);
    std::vector<unsigned char> png;
    {
        SDL_RWops* file = SDL_RWFromFile(good.c_str(), "rb");
        ASSERT_NE(file, nullptr);
        png.resize(size_t(SDL_RWsize(file)));
        SDL_RWread(file, png.data(), 1, png.size());
        SDL_RWclose(file);
    }
    png.resize(40);
    // Signature and header of a PNG claiming 100000 x 100000 pixels.
    std::vector<unsigned char> huge = {0x89, 'P',  'N', 'G', '\r', '\n', 0x1A, '\n', 0,    0, 0,
                                       13,   'I',  'H', 'D', 'R',  0,    1,    0x86, 0xA0, 0, 1,
                                       0x86, 0xA0, 8,   2,   0,    0,    0,    0,    0,    0, 0};
    const std::pair<std::string, std::string> cases[] = {
        {WriteBytes("cut.png", png), "truncated or corrupt PNG"},
        {WriteBytes("huge.png", huge), "image too large (over the PNG decoder's limits)"},
    };
    for (const auto& [path, reason] : cases) {
        SCOPED_TRACE(path);
        Texture texture;
        LogCapture capture;
        EXPECT_EQ(LoadTexture(path.c_str(), &texture), 0);
        EXPECT_EQ(texture.mId, 0u);
        const std::vector<std::string> lines = capture.Lines();
        ASSERT_EQ(lines.size(), 1u) << capture.Text();
        EXPECT_EQ(lines[0], ErrorLine("Error while loading texture \"" + path + "\": " + reason));
    }
}

// The textures of one scene share a budget: the file that would take it over
// is named in the error line and left without a name (drawn white); a file
// larger than what is left is not even read.
TEST_F(TextureFiles, TheFileThatWouldExceedTheSceneBudgetIsNamedAndLeftUnnamed) {
    const std::string first = WritePNG("first.png", 32, 32),
                      second = WritePNG("second.png", 32, 32);
    TextureBudget budget;
    // Room for one texture, and the file and decoded pixels of another.
    budget.limit = ImageGPUBytes(32, 32, 4) + 2 * 32 * 32 * 4 + 4096;
    Texture a, b;
    ASSERT_EQ(LoadTexture(first.c_str(), &a, &budget), 0);
    EXPECT_NE(a.mId, 0u);
    EXPECT_EQ(budget.used, ImageGPUBytes(32, 32, 4));
    LogCapture capture;
    EXPECT_EQ(LoadTexture(second.c_str(), &b, &budget), 0);
    EXPECT_EQ(b.mId, 0u);
    ASSERT_EQ(capture.Lines().size(), 1u) << capture.Text();
    EXPECT_EQ(capture.Lines()[0].rfind(ErrorLine("Error while loading texture \"" + second +
                                                 "\": over the scene's texture budget"),
                                       0),
              0u)
        << capture.Text();
    budget.used = budget.limit - 10;
    EXPECT_EQ(LoadTexture(second.c_str(), &b, &budget), -1);
    EXPECT_NE(capture.Text().find("file too large"), std::string::npos) << capture.Text();
}
