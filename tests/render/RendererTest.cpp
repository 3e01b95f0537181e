// Renderer: Init brings up a context with the shared default state, the
// matrix setters upload only to a current program, DrawNode walks the tree
// with the right texture and model matrix, and DrawText puts glyphs at window
// pixels in the given colour without changing the program later draws use.
// With the scene program, a model's texture lands in the G-buffer the right
// way up and its vertex colours as they are.
#include "render/Renderer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>

#include "core/OutputFile.h"
#include "gpu/Texture.h"
#include "gpu/Window.h"
#include "image/PngWrite.h"
#include "memory/CountedArray.h"
#include "memory/ZoneAllocator.h"
#include "scene/Mesh.h"
#include "scene/ModelLoader.h"
#include "scene/SceneGraphNode.h"
#include "ssao/Umbrelix.h"
#include "support/GLTestContext.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"
#include "text/DynamicText.h"
#include "text/FontAtlas.h"

namespace fs = std::filesystem;

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 200;
const char* kFontFile = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";

const char* kMatrixVertex = "layout(location = 0) in vec3 position;\n"
                            "uniform mat4 modelMatrix;\n"
                            "uniform mat4 viewMatrix;\n"
                            "uniform mat4 projMatrix;\n"
                            "void main() {\n"
                            "    gl_Position = projMatrix * viewMatrix * modelMatrix *\n"
                            "                  vec4(position, 1.0);\n"
                            "}\n";
const char* kMatrixFragment = "uniform sampler2D texDiffuse;\n"
                              "out vec4 color;\n"
                              "void main() { color = texture(texDiffuse, vec2(0.5)); }\n";

int gCalls = 0;
void APIENTRY CountUseProgram(GLuint) {
    ++gCalls;
}
void APIENTRY CountUniformMatrix(GLint, GLsizei, GLboolean, const GLfloat*) {
    ++gCalls;
}
void APIENTRY CountDeleteProgram(GLuint) {
    ++gCalls;
}

// Replaces the GL entries a call may make with counters for its lifetime.
class CountMatrixAndProgramCalls {
public:
    CountMatrixAndProgramCalls()
        : mUse(vgl::glUseProgram), mMatrix(vgl::glUniformMatrix4fv), mDelete(vgl::glDeleteProgram) {
        gCalls = 0;
        vgl::glUseProgram = CountUseProgram;
        vgl::glUniformMatrix4fv = CountUniformMatrix;
        vgl::glDeleteProgram = CountDeleteProgram;
    }
    ~CountMatrixAndProgramCalls() {
        vgl::glUseProgram = mUse;
        vgl::glUniformMatrix4fv = mMatrix;
        vgl::glDeleteProgram = mDelete;
    }

private:
    PFNGLUSEPROGRAMPROC mUse;
    PFNGLUNIFORMMATRIX4FVPROC mMatrix;
    PFNGLDELETEPROGRAMPROC mDelete;
};

glm::mat4 UniformMatrix(GLuint program, GLint location) {
    glm::mat4 m(0.0f);
    glGetUniformfv(program, location, glm::value_ptr(m));
    return m;
}

// What a mesh saw when it was asked to draw.
struct DrawRecord {
    std::string mesh;
    GLint texture;
    GLint activeUnit;
    glm::mat4 model;
    GLint sampler;
};

class RecordingMesh : public Mesh {
public:
    RecordingMesh(const char* name, const ShaderProgram* program, std::vector<DrawRecord>* out)
        : mProgram(program), mOut(out) {
        mName = name;
    }
    void Draw() override {
        GLint sampler = -1;
        glGetUniformiv(mProgram->program, mProgram->texDiffuse, &sampler);
        mOut->push_back({mName, GetInteger(GL_TEXTURE_BINDING_2D), GetInteger(GL_ACTIVE_TEXTURE),
                         UniformMatrix(mProgram->program, mProgram->modelMatrix), sampler});
    }

private:
    const ShaderProgram* mProgram;
    std::vector<DrawRecord>* mOut;
};

// Counts the virtual DrawNode calls, so recursion through overrides shows.
class CountingRenderer : public Renderer {
public:
    using Renderer::Renderer;
    void DrawNode(SceneGraphNode* node) override {
        ++mNodeCalls;
        Renderer::DrawNode(node);
    }
    int mNodeCalls = 0;
};

class RendererTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(RequireGL());
        mWindow = new Window("renderer-test", kWidth, kHeight, WINDOW_WINDOWED);
        ASSERT_EQ(mWindow->Init(), 0);
        mRenderer = new CountingRenderer(mWindow);
    }
    void TearDown() override {
        delete mRenderer;
        delete mWindow;
    }
    // A program with the scene's matrix and texture uniforms, from temp files.
    void LoadMatrixProgram(ShaderProgram& record) {
        ASSERT_FALSE(mDir.Path().empty());
        mDir.Write("m.vert", kMatrixVertex);
        mDir.Write("m.frag", kMatrixFragment);
        ASSERT_EQ(
            LoadShaderProgram(record, mDir.File("m.vert").c_str(), mDir.File("m.frag").c_str()), 0);
    }

    Window* mWindow = nullptr;
    CountingRenderer* mRenderer = nullptr;
    TempDir mDir{"vesperon-renderer"};
};

// The window-space box of the pixels whose channel differs from black.
struct Box {
    int minX = 1 << 30, minY = 1 << 30, maxX = -1, maxY = -1;
    int maxChannel[4] = {0, 0, 0, 0};
    bool Empty() const { return maxX < 0; }
};

Box LitPixels() {
    std::vector<uint8_t> pixels = ReadPixelsRGBA(0, 0, kWidth, kHeight);
    Box box;
    for (int row = 0; row < kHeight; ++row) {
        for (int x = 0; x < kWidth; ++x) {
            const uint8_t* p = &pixels[(size_t(row) * kWidth + x) * 4];
            if (p[0] == 0 && p[1] == 0 && p[2] == 0)
                continue;
            int y = kHeight - 1 - row; // GL rows count up from the bottom
            box.minX = std::min(box.minX, x);
            box.maxX = std::max(box.maxX, x);
            box.minY = std::min(box.minY, y);
            box.maxY = std::max(box.maxY, y);
            for (int c = 0; c < 4; ++c)
                box.maxChannel[c] = std::max(box.maxChannel[c], int(p[c]));
        }
    }
    return box;
}

} // namespace

TEST_F(RendererTest, InitLogsTheContextAndSetsTheSharedState) {
    LogCapture capture;
    ASSERT_EQ(mRenderer->Init(), 0) << capture.Text();
    ASSERT_NE(mRenderer->mContext, nullptr);

    std::vector<std::string> lines = capture.Lines();
    auto first =
        std::find(lines.begin(), lines.end(), "[I]  [Renderer] OpenGL context initialized");
    ASSERT_NE(first, lines.end()) << capture.Text();
    ASSERT_LT(first + 3, lines.end());
    EXPECT_EQ(first[1].rfind("[I]  [Renderer] Vendor:   ", 0), 0u) << first[1];
    EXPECT_EQ(first[2].rfind("[I]  [Renderer] Renderer: ", 0), 0u) << first[2];
    EXPECT_EQ(first[3].rfind("[I]  [Renderer] Version:  4.", 0), 0u) << first[3];

    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    int drawableW = 0, drawableH = 0;
    SDL_GL_GetDrawableSize(mWindow->mSDLWindow, &drawableW, &drawableH);
    EXPECT_EQ(viewport[2], drawableW);
    EXPECT_EQ(viewport[3], drawableH);

    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_EQ(GetInteger(GL_DEPTH_FUNC), GL_LEQUAL);
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    EXPECT_EQ(GetInteger(GL_CULL_FACE_MODE), GL_BACK);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(GetInteger(GL_BLEND_SRC_RGB), GL_SRC_ALPHA);
    EXPECT_EQ(GetInteger(GL_BLEND_DST_RGB), GL_ONE_MINUS_SRC_ALPHA);

    ASSERT_NE(mRenderer->mWhiteTexture, 0u);
    EXPECT_EQ(GLuint(GetInteger(GL_TEXTURE_BINDING_2D)), mRenderer->mWhiteTexture);
    GLint w = 0, h = 0, format = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &format);
    EXPECT_EQ(w, 1);
    EXPECT_EQ(h, 1);
    EXPECT_EQ(format, GL_RGBA8);
    uint8_t texel[4] = {};
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
    EXPECT_EQ(std::vector<uint8_t>(texel, texel + 4), std::vector<uint8_t>(4, 0xFF));

    EXPECT_TRUE(glIsProgram(mRenderer->mShaderText.program));
}

TEST_F(RendererTest, InitFailsWhenTheTextProgramCannotBeBuilt) {
    TempDir dir("vesperon-noshaders");
    ASSERT_FALSE(dir.Path().empty());
    std::string previous = fs::current_path();
    fs::current_path(dir.Path());
    LogCapture capture;
    int result = mRenderer->Init();
    fs::current_path(previous);
    EXPECT_EQ(result, -1);
    EXPECT_TRUE(capture.ContainsFragment("[E]  [Shader] Error while loading shader "
                                         "\"shaders/Text.vert\""));
}

TEST_F(RendererTest, ContextFailureIsReportedAndTheDestructorMakesNoGLCall) {
    // A window made without the OpenGL flag can't take a context. Its
    // destructor quits the video subsystem once, so it takes its own reference.
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0);
    Window plain("plain", 64, 64, WINDOW_WINDOWED);
    plain.mSDLWindow = SDL_CreateWindow("plain", 0, 0, 64, 64, SDL_WINDOW_HIDDEN);
    ASSERT_NE(plain.mSDLWindow, nullptr);
    Renderer* renderer = new Renderer(&plain);
    LogCapture capture;
    EXPECT_EQ(renderer->Init(), -1);
    EXPECT_EQ(renderer->mContext, nullptr);
    EXPECT_TRUE(capture.ContainsFragment("[E]  [Renderer] Unable to create OpenGL context: "));
    CountMatrixAndProgramCalls counter;
    delete renderer;
    EXPECT_EQ(gCalls, 0);
}

TEST_F(RendererTest, MatricesAreUploadedOnlyToTheCurrentProgram) {
    ASSERT_EQ(mRenderer->Init(), 0);
    ShaderProgram program;
    LoadMatrixProgram(program);
    const glm::mat4 view = glm::translate(glm::mat4(1.0f), glm::vec3(1.0f, 2.0f, 3.0f));
    const glm::mat4 proj = glm::ortho(-2.0f, 2.0f, -1.0f, 1.0f, 0.5f, 9.0f);
    {
        CountMatrixAndProgramCalls counter;
        mRenderer->SetViewMatrix(view);
        mRenderer->SetProjectionMatrix(proj);
        EXPECT_EQ(gCalls, 0) << "no program is current, so nothing is uploaded";
    }
    EXPECT_EQ(mRenderer->mViewMatrix, view);
    EXPECT_EQ(mRenderer->mProjectionMatrix, proj);

    mRenderer->UseShader(&program);
    EXPECT_EQ(GLuint(GetInteger(GL_CURRENT_PROGRAM)), program.program);
    EXPECT_EQ(UniformMatrix(program.program, program.viewMatrix), glm::mat4(0.0f))
        << "UseShader uploads no matrix by itself";

    mRenderer->SetViewMatrix(view);
    mRenderer->SetProjectionMatrix(proj);
    EXPECT_EQ(UniformMatrix(program.program, program.viewMatrix), view);
    EXPECT_EQ(UniformMatrix(program.program, program.projMatrix), proj);
    DestroyShaderProgram(program);
}

TEST_F(RendererTest, DrawNodeVisitsParentsFirstWithTextureAndScaledModelMatrix) {
    ASSERT_EQ(mRenderer->Init(), 0);
    ShaderProgram program;
    LoadMatrixProgram(program);
    mRenderer->UseShader(&program);

    std::vector<DrawRecord> draws;
    RecordingMesh first("first", &program, &draws);
    RecordingMesh child("child", &program, &draws);
    RecordingMesh second("second", &program, &draws);
    Texture unnamed; // a material without a diffuse image
    Texture named;
    glGenTextures(1, &named.mId);

    SceneGraphNode root; // no mesh: draws nothing itself
    SceneGraphNode a(&first, &unnamed);
    a.mWorldTransform = glm::translate(glm::mat4(1.0f), glm::vec3(1.0f, 2.0f, 3.0f));
    a.mScale = glm::vec3(2.0f, 3.0f, 4.0f);
    a.mChildren.push_back(SceneGraphNode(&child, nullptr));
    root.mChildren.push_back(a);
    root.mChildren.push_back(SceneGraphNode(&second, &named));

    glActiveTexture(GL_TEXTURE3);
    mRenderer->DrawNode(&root);

    EXPECT_EQ(mRenderer->mNodeCalls, 4) << "one virtual call per node";
    ASSERT_EQ(draws.size(), 3u);
    EXPECT_EQ(draws[0].mesh, "first");
    EXPECT_EQ(draws[1].mesh, "child");
    EXPECT_EQ(draws[2].mesh, "second");
    EXPECT_EQ(GLuint(draws[0].texture), mRenderer->mWhiteTexture) << "name 0 falls back to white";
    EXPECT_EQ(GLuint(draws[1].texture), mRenderer->mWhiteTexture) << "a null entry too";
    EXPECT_EQ(GLuint(draws[2].texture), named.mId);
    for (const DrawRecord& draw : draws) {
        EXPECT_EQ(draw.activeUnit, GL_TEXTURE0) << draw.mesh;
        EXPECT_EQ(draw.sampler, 0) << draw.mesh;
    }
    const glm::mat4 expected = glm::scale(a.mWorldTransform, a.mScale);
    EXPECT_EQ(draws[0].model, expected) << "scale first, then the world transform";
    EXPECT_EQ(draws[2].model, glm::mat4(1.0f));
    DestroyShaderProgram(program);
}

class RendererTextTest : public RendererTest {
protected:
    void SetUp() override {
        RendererTest::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_EQ(mRenderer->Init(), 0);
        ASSERT_EQ(mZone.Init(), 0);
        ASSERT_EQ(LoadFontAtlasFile(&mAtlas, kDefaultDPI, kFontFile), 0);
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    }
    void TearDown() override {
        // The atlas texture belongs to the renderer's context.
        if (mAtlas.mId != 0)
            glDeleteTextures(1, &mAtlas.mId);
        mAtlas.mId = 0;
        RendererTest::TearDown();
    }
    const Glyph& GlyphOf(char c) { return mAtlas.mGlyphs[c - kFirstGlyph]; }

    ZoneAllocator mZone{1 << 20};
    FontAtlas mAtlas;
};

TEST_F(RendererTextTest, GlyphLandsAtTheGivenWindowPixelInTheGivenColour) {
    DynamicText text(&mZone, &mAtlas);
    ASSERT_EQ(text.SetText("H"), 0);
    const Glyph& h = GlyphOf('H');
    const struct { int x, y; } positions[] = {{0, 0}, {57, 41}};
    for (const auto& at : positions) {
        SCOPED_TRACE(testing::Message() << at.x << ", " << at.y);
        mRenderer->Clear();
        mRenderer->DrawText(&text, at.x, at.y, glm::vec4(1.0f, 0.0f, 0.0f, 1.0f));
        Box box = LitPixels();
        ASSERT_FALSE(box.Empty());
        // The glyph's bitmap box, placed from its origin at the baseline.
        EXPECT_EQ(box.minX, at.x + h.left);
        EXPECT_EQ(box.maxX, at.x + h.left + h.width - 1);
        EXPECT_EQ(box.minY, at.y + int(mAtlas.mAscent) - h.top);
        EXPECT_EQ(box.maxY, at.y + int(mAtlas.mAscent) - h.top + h.height - 1);
        EXPECT_EQ(box.maxChannel[0], 255) << "the stems are fully covered";
        EXPECT_EQ(box.maxChannel[1], 0);
        EXPECT_EQ(box.maxChannel[2], 0);
    }
}

TEST_F(RendererTextTest, TextLeavesTheCurrentProgramAsItWas) {
    DynamicText text(&mZone, &mAtlas);
    ASSERT_EQ(text.SetText("ok"), 0);
    mRenderer->DrawText(&text, 0, 0, glm::vec4(1.0f));
    EXPECT_EQ(GLuint(GetInteger(GL_CURRENT_PROGRAM)), mRenderer->mShaderText.program)
        << "with no program chosen the text program stays";

    ShaderProgram program;
    LoadMatrixProgram(program);
    mRenderer->UseShader(&program);
    mRenderer->DrawText(&text, 0, 0, glm::vec4(1.0f));
    EXPECT_EQ(GLuint(GetInteger(GL_CURRENT_PROGRAM)), program.program);
    DestroyShaderProgram(program);
}

TEST_F(RendererTextTest, TextWithoutAtlasDrawsNothingAndChangesNothing) {
    DynamicText text(&mZone, nullptr);
    mRenderer->Clear();
    glUseProgram(0);
    mRenderer->DrawText(&text, 0, 0, glm::vec4(1.0f));
    EXPECT_EQ(GetInteger(GL_CURRENT_PROGRAM), 0);
    EXPECT_TRUE(LitPixels().Empty());
}

// ---------------------------------------------------------------------------
// The geometry pass with the real scene program, read back from the albedo
// target: textures the way model files mean them, vertex colours as given,
// and a texture that failed to load drawn white.

namespace {

constexpr int kGSize = 64;
constexpr uint64_t kSceneZone = 4ull << 20;

// A square facing the viewer over the middle half of the screen (the view
// and projection are identities), with v = 0 along its bottom edge as OBJ
// writes it.
const char* kQuadObj = "mtllib quad.mtl\n"
                       "v -0.5 -0.5 0\nv 0.5 -0.5 0\nv 0.5 0.5 0\nv -0.5 0.5 0\n"
                       "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
                       "vn 0 0 1\n"
                       "usemtl picture\n"
                       "f 1/1/1 2/2/1 3/3/1 4/4/1\n";
const char* kQuadMtl = "newmtl picture\nKd 1 1 1\nmap_Kd picture.png\n";

using RGB = std::array<int, 3>;
const RGB kRed = {255, 0, 0};
const RGB kGreen = {0, 255, 0};
const RGB kBlue = {0, 0, 255};
const RGB kBlack = {0, 0, 0};
const RGB kWhite = {255, 255, 255};

// 8 x 8, stored top row first: the upper four rows red, the lower four green,
// and the two leftmost columns blue, which marks where u = 0 is.
void WritePicture(const std::string& path) {
    constexpr int kSide = 8;
    std::vector<unsigned char> pixels;
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            const RGB& c = x < 2 ? kBlue : y < kSide / 2 ? kRed : kGreen;
            pixels.insert(pixels.end(), c.begin(), c.end());
        }
    }
    const PngBytes png = EncodePng(kSide, kSide, 3, pixels);
    std::string error;
    ASSERT_TRUE(WriteFileWhole(path, png.bytes.data(), png.bytes.size(), &error)) << error;
}

class SceneDrawTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(RequireGL());
        ASSERT_EQ(mZone.Init(), 0);
        mWindow = std::make_unique<Window>("scene-draw-test", kGSize, kGSize, WINDOW_WINDOWED);
        ASSERT_EQ(mWindow->Init(), 0);
        mRenderer = std::make_unique<Umbrelix>(mWindow.get());
        ASSERT_EQ(mRenderer->Init(), 0);
        ASSERT_EQ(LoadShaderProgram(mScene, "shaders/Scene.vert", "shaders/Scene.frag"), 0);
        mRenderer->UseShader(&mScene);
        mRenderer->SetProjectionMatrix(glm::mat4(1.0f));
        ASSERT_FALSE(mDir.Path().empty());
        WritePicture(mDir.File("picture.png"));
    }
    void TearDown() override {
        mMeshes.clear(); // GL buffers go while the context exists
        DestroyShaderProgram(mScene);
        mRenderer.reset();
        mWindow.reset();
        EXPECT_EQ(mZone.GetAllocCount(), 0u);
    }

    // The geometry pass over root; the albedo target afterwards, bottom row first.
    std::vector<uint8_t> GeometryPass(SceneGraphNode* root) {
        root->Update();
        mRenderer->SetViewMatrix(glm::mat4(1.0f));
        mRenderer->Clear();
        mRenderer->DrawNode(root);
        std::vector<uint8_t> albedo(size_t(kGSize) * kGSize * 3);
        glBindTexture(GL_TEXTURE_2D, mRenderer->GAlbedo());
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, albedo.data());
        return albedo;
    }

    // A square over x0..x1 (clip space, y over -0.5..0.5) with texture
    // coordinates, and when colour is given, that vertex colour.
    Mesh* MakeSquare(float x0, float x1, const float* colour) {
        const float positions[] = {x0, -0.5f, 0, x1, -0.5f, 0, x1, 0.5f, 0, x0, 0.5f, 0};
        const float uvs[] = {0, 0, 1, 0, 1, 1, 0, 1};
        const uint32_t indices[] = {0, 1, 2, 0, 2, 3};
        mMeshes.push_back(std::make_unique<Mesh>());
        Mesh* mesh = mMeshes.back().get();
        mesh->mAllocator = &mZone;
        mesh->mNumVertices = 4;
        mesh->mNumIndices = 6;
        mesh->mPositions = ZoneCopy(positions, sizeof(positions));
        mesh->mTexCoords = ZoneCopy(uvs, sizeof(uvs));
        mesh->mIndices = ZoneCopy(indices, sizeof(indices));
        if (colour) {
            float colours[16];
            for (int i = 0; i < 16; ++i)
                colours[i] = colour[i % 4];
            mesh->mColors = ZoneCopy(colours, sizeof(colours));
        }
        EXPECT_EQ(mesh->CreateBuffers(), 0);
        return mesh;
    }

    template <class T> T* ZoneCopy(const T* data, size_t bytes) {
        T* copy = static_cast<T*>(mZone.Alloc(bytes, TAG_MODEL));
        std::memcpy(copy, data, bytes);
        return copy;
    }

    ZoneAllocator mZone{kSceneZone};
    std::unique_ptr<Window> mWindow;
    std::unique_ptr<Umbrelix> mRenderer;
    ShaderProgram mScene;
    std::vector<std::unique_ptr<Mesh>> mMeshes;
    TempDir mDir{"vesperon-scene-draw"};
};

// The albedo at window pixel (x, y), y counted up from the bottom.
RGB At(const std::vector<uint8_t>& albedo, int x, int y) {
    const uint8_t* p = &albedo[(size_t(y) * kGSize + x) * 3];
    return {p[0], p[1], p[2]};
}

void ExpectColour(const RGB& got, const RGB& want, const char* where) {
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(got[c], want[c], 2) << where << ", channel " << c;
}

} // namespace

TEST_F(SceneDrawTest, ObjModelShowsItsTextureTheRightWayUp) {
    mDir.Write("quad.obj", kQuadObj);
    mDir.Write("quad.mtl", kQuadMtl);
    SceneGraphNode root;
    Mesh* meshes = nullptr;
    Texture* textures = nullptr;
    EXPECT_EQ(LoadModelFile(mDir.File("quad.obj").c_str(), &mZone, &root, &meshes, &textures), 0);
    const bool textured = root.mChildren.size() == 1 && root.mChildren[0].mTextures[0] &&
                          root.mChildren[0].mTextures[0]->mId != 0;
    EXPECT_TRUE(textured) << "the square carries its picture";
    const std::vector<uint8_t> albedo = textured ? GeometryPass(&root) : std::vector<uint8_t>();
    DeleteCountedArray(&mZone, meshes);
    DeleteCountedArray(&mZone, textures);
    if (!textured)
        return;
    // The square covers pixels 16..47; sample inside its quarters, clear of
    // the colour boundaries that linear filtering blends.
    ExpectColour(At(albedo, 36, 42), kRed, "upper half");
    ExpectColour(At(albedo, 36, 22), kGreen, "lower half");
    ExpectColour(At(albedo, 20, 42), kBlue, "marker, upper left");
    ExpectColour(At(albedo, 20, 22), kBlue, "marker, lower left");
    ExpectColour(At(albedo, 44, 42), kRed, "upper right, no marker");
}

TEST_F(SceneDrawTest, BlackVertexColoursStayBlackAndNoColoursLeaveTheTextureUntinted) {
    Texture picture;
    ASSERT_EQ(LoadTexture(mDir.File("picture.png").c_str(), &picture), 0);
    const float black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    SceneGraphNode root;
    // The coloured square is drawn first: its colours must not carry over.
    root.mChildren.emplace_back(MakeSquare(-0.9f, -0.1f, black), nullptr);
    root.mChildren.emplace_back(MakeSquare(0.1f, 0.9f, nullptr), &picture);
    const std::vector<uint8_t> albedo = GeometryPass(&root);
    ExpectColour(At(albedo, 16, 32), kBlack, "black vertex colours, white texture");
    ExpectColour(At(albedo, 52, 42), kRed, "no colours, upper half of the picture");
    ExpectColour(At(albedo, 52, 22), kGreen, "no colours, lower half of the picture");
}

namespace {

PFNGLGETINTEGERVPROC gRealGetIntegerv = nullptr;
// A GPU whose textures may be at most 4 texels wide.
void APIENTRY SmallTextureLimit(GLenum name, GLint* value) {
    gRealGetIntegerv(name, value);
    if (name == GL_MAX_TEXTURE_SIZE)
        *value = 4;
}

} // namespace

TEST_F(SceneDrawTest, TextureThatFailedToUploadIsLoggedAndDrawnWhite) {
    const std::string path = mDir.File("picture.png");
    Texture picture;
    LogCapture capture;
    gRealGetIntegerv = vgl::glGetIntegerv;
    vgl::glGetIntegerv = SmallTextureLimit;
    EXPECT_EQ(LoadTexture(path.c_str(), &picture), 0);
    vgl::glGetIntegerv = gRealGetIntegerv;
    EXPECT_EQ(picture.mId, 0u);
    EXPECT_TRUE(capture.HasLine("[E]  [Texture] Error while loading texture \"" + path +
                                "\": image larger than the GPU allows (8 x 8, limit 4)"))
        << capture.Text();
    SceneGraphNode root;
    root.mChildren.emplace_back(MakeSquare(-0.5f, 0.5f, nullptr), &picture);
    const std::vector<uint8_t> albedo = GeometryPass(&root);
    ExpectColour(At(albedo, 36, 42), kWhite, "upper half");
    ExpectColour(At(albedo, 20, 22), kWhite, "lower left");
}
