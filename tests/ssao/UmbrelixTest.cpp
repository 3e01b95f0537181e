// Tests of the deferred SSAO renderer against real Mesa: start-up order and
// messages, render targets, the quad, the parameter setters, and the frame
// passes on a known scene (a floor meeting a wall), read back from GL.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <numeric>

#include <glm/gtc/matrix_transform.hpp>

#include "gpu/Window.h"
#include "memory/ZoneAllocator.h"
#include "scene/Mesh.h"
#include "scene/SceneGraphNode.h"
#include "ssao/SSAOKernel.h"
#include "ssao/Umbrelix.h"
#include "support/GLTestContext.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

namespace {

constexpr int kWidth = 128; // a multiple of the 4x4 noise tile
constexpr int kHeight = 96;

// The message of a captured line: what follows "[<tag>] ".
std::string MessageOf(const std::string& line) {
    size_t tag = line.find(" [");
    size_t close = tag == std::string::npos ? std::string::npos : line.find("] ", tag);
    return close == std::string::npos ? line : line.substr(close + 2);
}

int TexLevelParameter(uint32_t texture, GLenum name) {
    glBindTexture(GL_TEXTURE_2D, texture);
    GLint value = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, name, &value);
    return value;
}

int TexParameter(uint32_t texture, GLenum name) {
    glBindTexture(GL_TEXTURE_2D, texture);
    GLint value = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, name, &value);
    return value;
}

// Level 0 of a texture as `channels` values per texel (GL_RED, GL_RGB or GL_RGBA).
template <class T>
std::vector<T> ReadTexture(uint32_t texture, GLenum format, int channels, GLenum type) {
    std::vector<T> texels(size_t(kWidth) * kHeight * channels);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, format, type, texels.data());
    return texels;
}

std::vector<uint8_t> ReadRed(uint32_t texture) {
    return ReadTexture<uint8_t>(texture, GL_RED, 1, GL_UNSIGNED_BYTE);
}

int UniformInt(uint32_t program, int32_t location) {
    GLint value = -1;
    glGetUniformiv(program, location, &value);
    return value;
}

float UniformFloat(uint32_t program, int32_t location) {
    GLfloat value = -1.0f;
    glGetUniformfv(program, location, &value);
    return value;
}

class UmbrelixTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(RequireGL());
        mWindow = std::make_unique<Window>("umbrelix-test", kWidth, kHeight, WINDOW_WINDOWED);
        ASSERT_EQ(mWindow->Init(), 0);
        mRenderer = std::make_unique<Umbrelix>(mWindow.get());
    }
    void TearDown() override {
        mRenderer.reset();
        mWindow.reset();
    }

    std::unique_ptr<Window> mWindow;
    std::unique_ptr<Umbrelix> mRenderer;
};

TEST_F(UmbrelixTest, InitLogsTheRenderTargetStepsInOrderAfterTheEightPrograms) {
    LogCapture capture;
    ASSERT_EQ(mRenderer->Init(), 0);
    std::vector<std::string> messages;
    for (const std::string& line : capture.Lines())
        messages.push_back(MessageOf(line));
    ASSERT_GE(messages.size(), 5u);
    const std::vector<std::string> tail(messages.end() - 5, messages.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"Quad VAO/VBO created for deferred rendering",
                                              "G-buffer created", "SSAO framebuffer created",
                                              "Blur framebuffer created",
                                              "Accumulation framebuffer created"}));
    // The text program, the four passes', the horizon estimator's and both
    // estimators' builds about the geometric normal.
    EXPECT_EQ(std::count(messages.begin(), messages.end(), "Shader program successfully linked"),
              8);
    EXPECT_EQ(capture.Lines().back().rfind("[I]  [Renderer] ", 0), 0u);
}

TEST_F(UmbrelixTest, RenderTargetsHaveTheirFormatsTheDrawableSizeAndAttachments) {
    ASSERT_EQ(mRenderer->Init(), 0);
    int width = 0, height = 0;
    SDL_GL_GetDrawableSize(mWindow->mSDLWindow, &width, &height);
    const Umbrelix& r = *mRenderer;
    const struct {
        uint32_t framebuffer, texture;
        GLenum attachment;
        GLint format;
    } targets[] = {
        {r.GBuffer(), r.GPosition(), GL_COLOR_ATTACHMENT0, GL_RGB16F},
        {r.GBuffer(), r.GNormal(), GL_COLOR_ATTACHMENT1, GL_RGB16F},
        {r.GBuffer(), r.GAlbedo(), GL_COLOR_ATTACHMENT2, GL_RGB8},
        {r.GBuffer(), r.GDepth(), GL_DEPTH_ATTACHMENT, GL_DEPTH_COMPONENT32F},
        {r.SSAOBuffer(), r.SSAOTexture(), GL_COLOR_ATTACHMENT0, GL_R8},
        {r.BlurBuffer(), r.BlurTexture(), GL_COLOR_ATTACHMENT0, GL_R8},
    };
    for (const auto& target : targets) {
        SCOPED_TRACE(target.texture);
        EXPECT_EQ(TexLevelParameter(target.texture, GL_TEXTURE_INTERNAL_FORMAT), target.format);
        EXPECT_EQ(TexLevelParameter(target.texture, GL_TEXTURE_WIDTH), width);
        EXPECT_EQ(TexLevelParameter(target.texture, GL_TEXTURE_HEIGHT), height);
        EXPECT_EQ(TexParameter(target.texture, GL_TEXTURE_MIN_FILTER), GL_NEAREST);
        EXPECT_EQ(TexParameter(target.texture, GL_TEXTURE_WRAP_T), GL_CLAMP_TO_EDGE);
        glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
        GLint attached = 0;
        glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, target.attachment,
                                              GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME, &attached);
        EXPECT_EQ(uint32_t(attached), target.texture);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, r.GBuffer());
    EXPECT_EQ(GetInteger(GL_DRAW_BUFFER2), GL_COLOR_ATTACHMENT2);
}

// A target made again releases the one it replaces: each old name is gone,
// or (GL may hand a freed name out again) it is one of the new target's.
TEST_F(UmbrelixTest, MakingATargetAgainReleasesTheOneItReplaces) {
    ASSERT_EQ(mRenderer->Init(), 0);
    Umbrelix& r = *mRenderer;
    const struct {
        const char* target;
        std::function<int()> make;
        std::function<std::vector<uint32_t>()> textures, framebuffers;
    } kTargets[] = {
        {"G-buffer", [&] { return r.CreateGBuffer(kWidth, kHeight); },
         [&] {
             return std::vector<uint32_t>{r.GPosition(), r.GNormal(), r.GAlbedo(), r.GDepth()};
         },
         [&] { return std::vector<uint32_t>{r.GBuffer()}; }},
        {"SSAO", [&] { return r.CreateSSAOBuffer(kWidth, kHeight); },
         [&] { return std::vector<uint32_t>{r.SSAOTexture()}; },
         [&] { return std::vector<uint32_t>{r.SSAOBuffer()}; }},
        {"blur", [&] { return r.CreateBlurBuffer(kWidth, kHeight); },
         [&] { return std::vector<uint32_t>{r.BlurTexture()}; },
         [&] { return std::vector<uint32_t>{r.BlurBuffer()}; }},
    };
    auto gone = [](uint32_t old, const std::vector<uint32_t>& now, GLboolean exists) {
        return std::find(now.begin(), now.end(), old) != now.end() || !exists;
    };
    for (const auto& t : kTargets) {
        const std::vector<uint32_t> oldTextures = t.textures(), oldFramebuffers = t.framebuffers();
        ASSERT_EQ(t.make(), 0) << t.target;
        for (uint32_t old : oldTextures)
            EXPECT_TRUE(gone(old, t.textures(), glIsTexture(old)))
                << t.target << " texture " << old;
        for (uint32_t old : oldFramebuffers)
            EXPECT_TRUE(gone(old, t.framebuffers(), glIsFramebuffer(old)))
                << t.target << " framebuffer " << old;
        for (uint32_t now : t.textures())
            EXPECT_TRUE(glIsTexture(now)) << t.target;
    }
}

TEST_F(UmbrelixTest, InitLeavesTheQuadBoundWithFourCornersAsOneVec4) {
    ASSERT_EQ(mRenderer->Init(), 0);
    EXPECT_EQ(GetInteger(GL_FRAMEBUFFER_BINDING), 0);
    EXPECT_EQ(GetInteger(GL_TEXTURE_BINDING_2D), 0);
    EXPECT_EQ(GetInteger(GL_VERTEX_ARRAY_BINDING), int(mRenderer->QuadVAO()));
    ASSERT_EQ(GetInteger(GL_ARRAY_BUFFER_BINDING), int(mRenderer->QuadVBO()));
    const float expected[16] = {-1, 1, 0, 1, -1, -1, 0, 0, 1, 1, 1, 1, 1, -1, 1, 0};
    float data[16] = {};
    glGetBufferSubData(GL_ARRAY_BUFFER, 0, sizeof(data), data);
    EXPECT_EQ(std::memcmp(data, expected, sizeof(data)), 0);
    auto attribute = [](GLuint index, GLenum name) {
        GLint value = -1;
        glGetVertexAttribiv(index, name, &value);
        return value;
    };
    EXPECT_EQ(attribute(0, GL_VERTEX_ATTRIB_ARRAY_SIZE), 4);
    EXPECT_EQ(attribute(0, GL_VERTEX_ATTRIB_ARRAY_STRIDE), 16);
    EXPECT_EQ(attribute(0, GL_VERTEX_ATTRIB_ARRAY_ENABLED), 1);
    EXPECT_EQ(attribute(1, GL_VERTEX_ATTRIB_ARRAY_ENABLED), 0);
}

TEST_F(UmbrelixTest, NoiseTextureHoldsTheNoiseAsRepeatingNearestTexels) {
    ASSERT_EQ(mRenderer->Init(), 0);
    const uint32_t noise = mRenderer->NoiseTexture();
    EXPECT_EQ(TexLevelParameter(noise, GL_TEXTURE_INTERNAL_FORMAT), GL_RGB32F);
    EXPECT_EQ(TexParameter(noise, GL_TEXTURE_MAG_FILTER), GL_NEAREST);
    EXPECT_EQ(TexParameter(noise, GL_TEXTURE_WRAP_S), GL_REPEAT);
    ASSERT_EQ(TexLevelParameter(noise, GL_TEXTURE_WIDTH) *
                  TexLevelParameter(noise, GL_TEXTURE_HEIGHT),
              kNoiseCount);
    std::vector<glm::vec3> texels(kNoiseCount);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_FLOAT, texels.data());
    EXPECT_EQ(texels, mRenderer->Noise());
}

// A fresh draw replaces the tile, in the array and in the texture the
// shaders read (it used to be appended: the texture kept the first tile).
TEST_F(UmbrelixTest, RedrawnNoiseReplacesTheTileTheShadersRead) {
    ASSERT_EQ(mRenderer->Init(), 0);
    const std::vector<glm::vec3> first = mRenderer->Noise();
    for (int draw = 0; draw < 3; ++draw) {
        mRenderer->RedrawNoise();
        ASSERT_EQ(mRenderer->Noise().size(), size_t(kNoiseCount));
        EXPECT_NE(mRenderer->Noise(), first);
        std::vector<glm::vec3> texels(kNoiseCount);
        glBindTexture(GL_TEXTURE_2D, mRenderer->NoiseTexture());
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_FLOAT, texels.data());
        EXPECT_EQ(texels, mRenderer->Noise());
    }
}

TEST_F(UmbrelixTest, InitPointsSamplersAtTheirUnitsAndUploadsParameters) {
    ASSERT_EQ(mRenderer->Init(), 0);
    const ShaderProgram& ssao = mRenderer->ShaderSSAO();
    EXPECT_EQ(UniformInt(ssao.program, ssao.texGPosition), 0);
    EXPECT_EQ(UniformInt(ssao.program, ssao.texGNormal), 1);
    EXPECT_EQ(UniformInt(ssao.program, ssao.texSSAONoise), 2);
    EXPECT_EQ(UniformInt(ssao.program, ssao.ssaoKernelSize), 4);
    EXPECT_FLOAT_EQ(UniformFloat(ssao.program, ssao.ssaoRadius), 0.9f);
    const ShaderProgram& lighting = mRenderer->ShaderLighting();
    EXPECT_EQ(UniformInt(lighting.program, lighting.texGNormal), 1);
    EXPECT_EQ(UniformInt(lighting.program, lighting.texGAlbedo), 2);
    EXPECT_EQ(UniformInt(lighting.program, lighting.texSSAO), 3);
    EXPECT_FLOAT_EQ(UniformFloat(lighting.program, lighting.ambientFactor), 0.75f);
}

// The uniform value of ssaoSamples[i], read back from the SSAO program.
glm::vec3 UploadedSample(const Umbrelix& renderer, int i) {
    const uint32_t program = renderer.ShaderSSAO().program;
    const std::string name = "ssaoSamples[" + std::to_string(i) + "]";
    glm::vec3 value(-9.0f);
    glGetUniformfv(program, glGetUniformLocation(program, name.c_str()), &value.x);
    return value;
}

TEST_F(UmbrelixTest, SetKernelSizeAcceptsZeroToOneHundredTwentyEight) {
    ASSERT_EQ(mRenderer->Init(), 0);
    const ShaderProgram& ssao = mRenderer->ShaderSSAO();

    mRenderer->SetKernelSize(128);
    ASSERT_EQ(mRenderer->Kernel().size(), 128u);
    EXPECT_EQ(mRenderer->Settings().kernelSize, 128u);
    EXPECT_EQ(UniformInt(ssao.program, ssao.ssaoKernelSize), 128);
    EXPECT_EQ(UploadedSample(*mRenderer, 0), mRenderer->Kernel()[0]);
    EXPECT_EQ(UploadedSample(*mRenderer, 127), mRenderer->Kernel()[127]);

    // An oversize request changes nothing and touches no GL state.
    const std::vector<glm::vec3> before = mRenderer->Kernel();
    glUseProgram(0);
    mRenderer->SetKernelSize(129);
    EXPECT_EQ(GetInteger(GL_CURRENT_PROGRAM), 0);
    EXPECT_EQ(mRenderer->Settings().kernelSize, 128u);
    EXPECT_EQ(mRenderer->Kernel(), before);

    mRenderer->SetKernelSize(0);
    EXPECT_TRUE(mRenderer->Kernel().empty());
    EXPECT_EQ(mRenderer->Settings().kernelSize, 0u);
    EXPECT_EQ(UniformInt(ssao.program, ssao.ssaoKernelSize), 0);
}

TEST_F(UmbrelixTest, SettersStoreAndUploadValuesUnchanged) {
    ASSERT_EQ(mRenderer->Init(), 0);
    const ShaderProgram& ssao = mRenderer->ShaderSSAO();
    const ShaderProgram& lighting = mRenderer->ShaderLighting();
    mRenderer->SetRadius(-2.5f);
    mRenderer->SetAmbientFactor(0.3f);
    EXPECT_EQ(mRenderer->Settings().radius, -2.5f);
    EXPECT_EQ(mRenderer->Settings().ambientFactor, 0.3f);
    EXPECT_EQ(UniformFloat(ssao.program, ssao.ssaoRadius), -2.5f);
    EXPECT_EQ(UniformFloat(lighting.program, lighting.ambientFactor), 0.3f);
    // The view reaches the lighting program even with no current shader.
    const glm::mat4 view = glm::translate(glm::mat4(1.0f), glm::vec3(1.0f, 2.0f, 3.0f));
    mRenderer->SetViewMatrix(view);
    glm::mat4 uploaded(0.0f);
    glGetUniformfv(lighting.program, lighting.viewMatrix, &uploaded[0][0]);
    EXPECT_EQ(uploaded, view);
}

// A copy of shaders/ whose blur fragment compiles but cannot link.
class BrokenShaderDirectory {
public:
    BrokenShaderDirectory() : mPrevious(std::filesystem::current_path()) {
        std::filesystem::copy("shaders", mRoot.File("shaders"));
        mRoot.Write(
            "shaders/SSAOBlur.frag",
            "out float result;\nfloat Undefined();\nvoid main() { result = Undefined(); }\n");
        std::filesystem::current_path(mRoot.Path());
    }
    ~BrokenShaderDirectory() { std::filesystem::current_path(mPrevious); }

private:
    std::filesystem::path mPrevious;
    TempDir mRoot{"umbrelix-shaders"};
};

TEST_F(UmbrelixTest, FailingBlurProgramStopsInitBeforeAnythingElseIsCreated) {
    LogCapture capture;
    {
        BrokenShaderDirectory shaders;
        EXPECT_EQ(mRenderer->Init(), -1);
    }
    EXPECT_NE(mRenderer->ShaderSSAO().program, 0u);
    EXPECT_NE(mRenderer->ShaderBlur().program, 0u); // kept for the destructor
    EXPECT_EQ(mRenderer->ShaderLighting().program, 0u);
    EXPECT_EQ(mRenderer->QuadVAO(), 0u);
    EXPECT_EQ(mRenderer->QuadVBO(), 0u);
    EXPECT_EQ(mRenderer->GBuffer(), 0u);
    EXPECT_EQ(mRenderer->SSAOBuffer(), 0u);
    EXPECT_EQ(mRenderer->BlurBuffer(), 0u);
    EXPECT_EQ(mRenderer->NoiseTexture(), 0u);
    EXPECT_TRUE(mRenderer->Kernel().empty());
    EXPECT_TRUE(mRenderer->Noise().empty());
    EXPECT_TRUE(capture.ContainsFragment("Error linking shader program"));
    EXPECT_FALSE(capture.ContainsFragment("Quad VAO/VBO"));
}

// ---------------------------------------------------------------------------
// Frame passes on a known scene: a floor (y = 0) meeting a wall (z = -4) that
// faces the camera, both white, seen from above the floor. The open floor is
// far from the wall compared with the SSAO radius; the crease is within it.

constexpr uint64_t kZoneBytes = 4ull << 20;
const glm::vec3 kEye(0.0f, 1.5f, 1.0f);
const glm::vec3 kTarget(0.0f, 0.8f, -4.0f);
const glm::vec3 kCrease(0.0f, 0.05f, -4.0f);   // on the wall, just above the floor
const glm::vec3 kOpenFloor(0.0f, 0.0f, -1.5f); // 2.5 from the wall
// 4.5 from the wall: from afar a pixel spans more than a unit of this floor,
// and the rows of a block around kOpenFloor reach the crease.
const glm::vec3 kFarOpenFloor(0.0f, 0.0f, 0.5f);
const glm::vec3 kAboveWall(0.0f, 3.0f, -4.0f); // sky above the wall's top edge

// Two quads, counter-clockwise seen from the side their normal points to.
const float kScenePositions[] = {
    -5, 0, 3,  5, 0, 3,  5, 0,   -4, -5, 0,   -4, // floor
    -5, 0, -4, 5, 0, -4, 5, 2.5, -4, -5, 2.5, -4, // wall
};
const float kSceneNormals[] = {
    0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, //
    0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1, //
};
const uint32_t kSceneIndices[] = {0, 1, 2, 0, 2, 3, 4, 5, 6, 4, 6, 7};

template <class T> T* CopyToZone(ZoneAllocator& zone, const T* data, size_t bytes) {
    T* copy = static_cast<T*>(zone.Alloc(bytes, TAG_MODEL));
    std::memcpy(copy, data, bytes);
    return copy;
}

class UmbrelixSceneTest : public UmbrelixTest {
protected:
    void SetUp() override {
        UmbrelixTest::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_EQ(mZone.Init(), 0);
        ASSERT_EQ(mRenderer->Init(), 0);
        ASSERT_EQ(LoadShaderProgram(mSceneProgram, "shaders/Scene.vert", "shaders/Scene.frag"), 0);
        BuildMesh();
        mRoot = std::make_unique<SceneGraphNode>(mMesh.get(), nullptr);
        mRoot->Update();
        mView = glm::lookAt(kEye, kTarget, glm::vec3(0.0f, 1.0f, 0.0f));
        mProjection = glm::perspective(glm::radians(60.0f), float(kWidth) / kHeight, 0.1f, 50.0f);
        mRenderer->UseShader(&mSceneProgram);
        mRenderer->SetProjectionMatrix(mProjection);
        mRenderer->SetKernelSize(64); // enough samples for stable averages
    }
    void TearDown() override {
        mRoot.reset();
        mMesh.reset(); // its GL buffers go while the renderer's context exists
        DestroyShaderProgram(mSceneProgram);
        UmbrelixTest::TearDown();
        EXPECT_EQ(mZone.GetAllocCount(), 0u);
    }

    void BuildMesh() {
        mMesh = std::make_unique<Mesh>();
        mMesh->mAllocator = &mZone;
        mMesh->mNumVertices = 8;
        mMesh->mNumIndices = 12;
        mMesh->mPositions = CopyToZone(mZone, kScenePositions, sizeof(kScenePositions));
        mMesh->mNormals = CopyToZone(mZone, kSceneNormals, sizeof(kSceneNormals));
        mMesh->mIndices = CopyToZone(mZone, kSceneIndices, sizeof(kSceneIndices));
        ASSERT_EQ(mMesh->CreateBuffers(), 0);
    }

    void GeometryPass() {
        mRenderer->SetViewMatrix(mView);
        mRenderer->Clear();
        mRenderer->DrawNode(mRoot.get());
    }

    // Texel index (x + y * width) of a world point.
    int PixelOf(const glm::vec3& world) const {
        glm::vec4 clip = mProjection * mView * glm::vec4(world, 1.0f);
        glm::vec2 ndc = glm::vec2(clip) / clip.w;
        int x = int((ndc.x * 0.5f + 0.5f) * kWidth);
        int y = int((ndc.y * 0.5f + 0.5f) * kHeight);
        EXPECT_TRUE(x >= 0 && x < kWidth && y >= 0 && y < kHeight) << "point off screen";
        return x + y * kWidth;
    }

    // Mean over a block of 16 x 4 pixels around a point: whole noise tiles,
    // so every kernel rotation is averaged in.
    static double BlockMean(const std::vector<uint8_t>& red, int index) {
        const int x0 = index % kWidth - 8;
        const int y0 = index / kWidth - 2;
        double sum = 0.0;
        for (int y = y0; y < y0 + 4; ++y)
            for (int x = x0; x < x0 + 16; ++x)
                sum += red[x + y * kWidth];
        return sum / 64.0;
    }

    ZoneAllocator mZone{kZoneBytes};
    ShaderProgram mSceneProgram;
    std::unique_ptr<Mesh> mMesh;
    std::unique_ptr<SceneGraphNode> mRoot;
    glm::mat4 mView;
    glm::mat4 mProjection;
};

TEST_F(UmbrelixSceneTest, GeometryPassFillsTheGBufferInViewSpace) {
    GeometryPass();
    EXPECT_EQ(GetInteger(GL_FRAMEBUFFER_BINDING), int(mRenderer->GBuffer()));
    const auto position = ReadTexture<float>(mRenderer->GPosition(), GL_RGB, 3, GL_FLOAT);
    const auto normal = ReadTexture<float>(mRenderer->GNormal(), GL_RGB, 3, GL_FLOAT);
    const auto albedo = ReadTexture<uint8_t>(mRenderer->GAlbedo(), GL_RGB, 3, GL_UNSIGNED_BYTE);
    const int floor = PixelOf(kOpenFloor);
    const glm::vec3 expected = glm::vec3(mView * glm::vec4(kOpenFloor, 1.0f));
    const glm::vec3 stored(position[floor * 3], position[floor * 3 + 1], position[floor * 3 + 2]);
    EXPECT_NEAR(glm::distance(stored, expected), 0.0f, 0.15f); // within a pixel's footprint
    const glm::vec3 up = glm::mat3(mView) * glm::vec3(0.0f, 1.0f, 0.0f);
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(normal[floor * 3 + c], up[c], 2e-3f);
    // No colour buffer and no texture: the mesh is white, not black.
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(albedo[floor * 3 + c], 255);
    const int sky = PixelOf(kAboveWall);
    EXPECT_EQ(normal[sky * 3 + 2], 0.0f);
    EXPECT_EQ(albedo[sky * 3], 0);
}

TEST_F(UmbrelixSceneTest, SSAOIsLowerAtTheCreaseThanOnTheOpenFloor) {
    GeometryPass();
    mRenderer->SSAOPass();
    EXPECT_EQ(GetInteger(GL_FRAMEBUFFER_BINDING), int(mRenderer->SSAOBuffer()));
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    const auto raw = ReadRed(mRenderer->SSAOTexture());
    const double crease = BlockMean(raw, PixelOf(kCrease));
    const double open = BlockMean(raw, PixelOf(kOpenFloor));
    // Measured over many random kernels: crease 180..205, open floor 255.
    EXPECT_GT(open, 245.0);
    EXPECT_LT(crease, open - 30.0);
    EXPECT_EQ(raw[PixelOf(kAboveWall)], 255); // nothing drawn: open
}

TEST_F(UmbrelixSceneTest, DistantOpenFloorDoesNotOccludeItself) {
    // From afar a floor texel spans more depth than the shortest samples
    // rise above it, and half-float positions lose precision.
    for (float distance : {20.0f, 40.0f}) {
        const glm::vec3 eye(0.0f, distance * 0.5f, distance);
        mView = glm::lookAt(eye, kFarOpenFloor, glm::vec3(0.0f, 1.0f, 0.0f));
        GeometryPass();
        mRenderer->SSAOPass();
        const auto raw = ReadRed(mRenderer->SSAOTexture());
        EXPECT_GT(BlockMean(raw, PixelOf(kFarOpenFloor)), 245.0) << "distance " << distance;
    }
}

TEST_F(UmbrelixSceneTest, SSAOWithoutSamplesOrRadiusLeavesEverythingOpen) {
    GeometryPass();
    for (int variant = 0; variant < 2; ++variant) {
        if (variant == 0)
            mRenderer->SetKernelSize(0);
        else {
            mRenderer->SetKernelSize(64);
            mRenderer->SetRadius(0.0f);
        }
        mRenderer->SSAOPass();
        const auto raw = ReadRed(mRenderer->SSAOTexture());
        EXPECT_EQ(*std::min_element(raw.begin(), raw.end()), 255) << "variant " << variant;
    }
}

// Mean squared difference between horizontal neighbours, over covered pixels.
double Roughness(const std::vector<uint8_t>& red) {
    double sum = 0.0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x + 1 < kWidth; ++x) {
            double d = double(red[x + y * kWidth]) - red[x + 1 + y * kWidth];
            sum += d * d;
        }
    return sum / (kHeight * (kWidth - 1));
}

TEST_F(UmbrelixSceneTest, BlurSmoothsTheNoisePatternAndKeepsTheMean) {
    mRenderer->SetKernelSize(8); // few samples: the 4x4 rotation pattern shows
    GeometryPass();
    mRenderer->SSAOPass();
    mRenderer->BlurPass();
    EXPECT_EQ(GetInteger(GL_FRAMEBUFFER_BINDING), int(mRenderer->BlurBuffer()));
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    const auto raw = ReadRed(mRenderer->SSAOTexture());
    const auto blurred = ReadRed(mRenderer->BlurTexture());
    EXPECT_LT(Roughness(blurred), 0.5 * Roughness(raw));
    // A box blur moves occlusion around but keeps its total.
    auto mean = [](const std::vector<uint8_t>& red) {
        return std::accumulate(red.begin(), red.end(), 0.0) / red.size();
    };
    EXPECT_NEAR(mean(blurred), mean(raw), 1.0);
}

TEST_F(UmbrelixSceneTest, LightingDarkensTheCreaseOnlyWithSSAOEnabled) {
    mRenderer->SetAmbientFactor(0.5f); // keeps white albedo below saturation
    GeometryPass();
    mRenderer->SSAOPass();
    mRenderer->BlurPass();
    auto litRed = [&](bool ssao, const glm::vec3& point) {
        SSAOSettings settings = mRenderer->Settings();
        settings.ssaoEnabled = ssao;
        mRenderer->ApplySettings(settings);
        mRenderer->LightingPass();
        EXPECT_EQ(GetInteger(GL_FRAMEBUFFER_BINDING), 0);
        const int index = PixelOf(point);
        const auto pixel = ReadPixelsRGBA(index % kWidth, index / kWidth, 1, 1);
        EXPECT_EQ(pixel[3], 255);
        return int(pixel[0]);
    };
    const int creaseOff = litRed(false, kCrease);
    const int creaseOn = litRed(true, kCrease);
    const int openOff = litRed(false, kOpenFloor);
    const int openOn = litRed(true, kOpenFloor);
    EXPECT_LT(creaseOn, creaseOff - 15);
    EXPECT_NEAR(openOn, openOff, 4);
    // Where nothing was drawn the sky shows: a bluish background, not black.
    const int sky = PixelOf(kAboveWall);
    const auto background = ReadPixelsRGBA(sky % kWidth, sky / kWidth, 1, 1);
    EXPECT_GT(background[2], background[0]);
    EXPECT_EQ(background[3], 255);
}

TEST_F(UmbrelixSceneTest, OcclusionViewShowsTheTextureLightingUsesAsGrey) {
    for (bool blur : {true, false}) {
        SSAOSettings settings = mRenderer->Settings();
        settings.blurEnabled = blur;
        mRenderer->ApplySettings(settings);
        GeometryPass();
        mRenderer->SSAOPass();
        if (blur)
            mRenderer->BlurPass();
        mRenderer->DrawTextureView(true);
        const auto pixels = ReadPixelsRGBA(0, 0, kWidth, kHeight);
        const auto occlusion = ReadRed(blur ? mRenderer->BlurTexture() : mRenderer->SSAOTexture());
        for (int i = 0; i < kWidth * kHeight; ++i) {
            const glm::ivec3 shown(pixels[i * 4], pixels[i * 4 + 1], pixels[i * 4 + 2]);
            ASSERT_EQ(shown, glm::ivec3(occlusion[i])) << "pixel " << i << " blur " << blur;
        }
    }
}

// A texture as the overview shows it: 8-bit colour, GL clamping float texels
// to [0, 1]; single-channel textures spread to grey.
std::vector<glm::ivec3> AsShown(uint32_t texture, bool singleChannel) {
    std::vector<glm::ivec3> shown(size_t(kWidth) * kHeight);
    const auto rgb = ReadTexture<uint8_t>(texture, GL_RGB, 3, GL_UNSIGNED_BYTE);
    for (size_t i = 0; i < shown.size(); ++i)
        shown[i] = singleChannel ? glm::ivec3(rgb[i * 3])
                                 : glm::ivec3(rgb[i * 3], rgb[i * 3 + 1], rgb[i * 3 + 2]);
    return shown;
}

TEST_F(UmbrelixSceneTest, OverviewShowsEachTextureInItsQuarter) {
    GeometryPass();
    mRenderer->SSAOPass();
    mRenderer->BlurPass();
    mRenderer->DrawTextureView(false);
    const auto screen = ReadPixelsRGBA(0, 0, kWidth, kHeight);
    const struct {
        int qx, qy; // quarter: 0 left / bottom, 1 right / top
        std::vector<glm::ivec3> texels;
    } quarters[] = {
        {0, 1, AsShown(mRenderer->GPosition(), false)},
        {1, 1, AsShown(mRenderer->GNormal(), false)},
        {0, 0, AsShown(mRenderer->GAlbedo(), false)},
        {1, 0, AsShown(mRenderer->BlurTexture(), true)},
    };
    // Pixel (x, y) of a quarter samples its texture at texel (2x + 1, 2y + 1)
    // exactly on a texel edge, so it shows one of the four texels around it.
    auto matches = [&](const std::vector<glm::ivec3>& texels, const uint8_t* pixel, int x, int y) {
        const glm::ivec3 shown(pixel[0], pixel[1], pixel[2]);
        for (int dy = 0; dy < 2; ++dy)
            for (int dx = 0; dx < 2; ++dx) {
                const glm::ivec3 d = glm::abs(shown - texels[(2 * y + dy) * kWidth + 2 * x + dx]);
                if (d.x <= 1 && d.y <= 1 && d.z <= 1)
                    return true;
            }
        return false;
    };
    const int hw = kWidth / 2, hh = kHeight / 2;
    for (const auto& q : quarters) {
        int mismatches = 0;
        for (int y = 0; y < hh; ++y)
            for (int x = 0; x < hw; ++x)
                mismatches += !matches(
                    q.texels, &screen[((q.qy * hh + y) * kWidth + q.qx * hw + x) * 4], x, y);
        EXPECT_EQ(mismatches, 0) << "quarter " << q.qx << "," << q.qy;
    }
}

} // namespace

// The frame function is the passes in their order: with the same kernel and
// noise it draws exactly what they draw called one by one, for every switch
// setting and final view, and tells its observer of each pass that ran.
TEST_F(UmbrelixSceneTest, TheFrameDrawsWhatThePassesInOrderDrawAndNamesEachPass) {
    struct Recorder : FrameObserver {
        std::vector<int> seen;
        void BeforePass(FramePass pass) override { seen.push_back(pass); }
        void AfterPass(FramePass pass) override { seen.push_back(-1 - pass); }
    };
    struct Case {
        bool ssao, blur;
        FinalView view;
        std::vector<int> passes;
    } cases[] = {
        {true,
         true,
         FINAL_LIT,
         {FRAME_GEOMETRY, -1 - FRAME_GEOMETRY, FRAME_OCCLUSION, -1 - FRAME_OCCLUSION, FRAME_BLUR,
          -1 - FRAME_BLUR, FRAME_FINAL, -1 - FRAME_FINAL}},
        {true,
         false,
         FINAL_OCCLUSION,
         {FRAME_GEOMETRY, -1 - FRAME_GEOMETRY, FRAME_OCCLUSION, -1 - FRAME_OCCLUSION, FRAME_FINAL,
          -1 - FRAME_FINAL}},
        {false,
         false,
         FINAL_GBUFFER,
         {FRAME_GEOMETRY, -1 - FRAME_GEOMETRY, FRAME_FINAL, -1 - FRAME_FINAL}},
    };
    for (const Case& c : cases) {
        SSAOSettings settings = mRenderer->Settings();
        settings.ssaoEnabled = c.ssao;
        settings.blurEnabled = c.blur;
        mRenderer->ApplySettings(settings);
        Recorder recorder;
        mRenderer->RenderFrame(mView, mRoot.get(), c.view, &recorder);
        EXPECT_EQ(recorder.seen, c.passes);
        const auto framed = ReadPixelsRGBA(0, 0, kWidth, kHeight);
        const auto occlusion =
            ReadTexture<uint8_t>(mRenderer->ShownOcclusionTexture(), GL_RED, 1, GL_UNSIGNED_BYTE);
        GeometryPass();
        if (c.ssao)
            mRenderer->SSAOPass();
        if (c.blur)
            mRenderer->BlurPass();
        if (c.view == FINAL_LIT)
            mRenderer->LightingPass();
        else
            mRenderer->DrawTextureView(c.view == FINAL_OCCLUSION);
        EXPECT_EQ(ReadPixelsRGBA(0, 0, kWidth, kHeight), framed) << "the window, bit for bit";
        EXPECT_EQ(
            ReadTexture<uint8_t>(mRenderer->ShownOcclusionTexture(), GL_RED, 1, GL_UNSIGNED_BYTE),
            occlusion);
    }
}

namespace {

// The passes a frame ran, in order (the start of each only).
struct PassRecorder : FrameObserver {
    std::vector<int> seen;
    void BeforePass(FramePass pass) override { seen.push_back(pass); }
};

void UseAccumulation(Umbrelix& renderer, bool on) {
    SSAOSettings settings = renderer.Settings();
    settings.accumulate = on;
    renderer.ApplySettings(settings);
}

} // namespace

// While the view rests, each frame adds its raw occlusion to the mean and
// the blur runs until the mean holds the tile's 16 sets; the frame that
// completes it and every one after show the mean, and later frames draw no
// occlusion at all.
TEST_F(UmbrelixSceneTest, AViewAtRestAccumulatesThenShowsTheMeanAndRests) {
    UseAccumulation(*mRenderer, true);
    const std::vector<int> accumulating = {FRAME_GEOMETRY, FRAME_OCCLUSION, FRAME_BLUR,
                                           FRAME_ACCUMULATE, FRAME_FINAL};
    const std::vector<int> completing = {FRAME_GEOMETRY, FRAME_OCCLUSION, FRAME_ACCUMULATE,
                                         FRAME_FINAL};
    const std::vector<int> resting = {FRAME_GEOMETRY, FRAME_FINAL};
    for (int frame = 1; frame <= kAccumulationFrames + 2; ++frame) {
        PassRecorder recorder;
        mRenderer->RenderFrame(mView, mRoot.get(), FINAL_LIT, &recorder);
        EXPECT_EQ(mRenderer->AccumulatedFrames(), std::min(frame, kAccumulationFrames));
        const bool complete = frame >= kAccumulationFrames;
        EXPECT_EQ(recorder.seen, frame < kAccumulationFrames    ? accumulating
                                 : frame == kAccumulationFrames ? completing
                                                                : resting)
            << "frame " << frame;
        EXPECT_EQ(mRenderer->ShownOcclusionTexture(),
                  complete ? mRenderer->AccumulationTexture() : mRenderer->BlurTexture())
            << "frame " << frame;
    }
}

// Whatever changes what the occlusion is of starts the mean again with the
// next frame, which then shows the blurred picture of that frame.
TEST_F(UmbrelixSceneTest, AnyChangeRestartsTheAccumulation) {
    SceneGraphNode otherScene(*mRoot);
    const struct {
        const char* name;
        std::function<void()> change;
    } changes[] = {
        {"the camera moves", [this] { mView[3][0] += 0.01f; }},
        {"the projection",
         [this] {
             mRenderer->SetProjectionMatrix(
                 glm::perspective(glm::radians(61.0f), float(kWidth) / kHeight, 0.1f, 50.0f));
         }},
        {"the radius", [this] { mRenderer->SetRadius(0.8f); }},
        {"the normals",
         [this] {
             SSAOSettings s = mRenderer->Settings();
             s.normals = s.normals == NORMALS_GEOMETRIC ? NORMALS_SHADING : NORMALS_GEOMETRIC;
             mRenderer->ApplySettings(s);
         }},
        {"the estimator",
         [this] {
             mRenderer->SetEstimator(mRenderer->Estimator() == ESTIMATOR_HORIZON
                                         ? ESTIMATOR_HEMISPHERE
                                         : ESTIMATOR_HORIZON);
         }},
        {"the ambient factor", [this] { mRenderer->SetAmbientFactor(0.5f); }},
        {"a fresh kernel", [this] { mRenderer->SetKernelSize(64); }},
        {"a fresh noise tile", [this] { mRenderer->RedrawNoise(); }},
        {"the programs reloaded",
         [this] {
             std::vector<std::string> errors;
             EXPECT_EQ(mRenderer->ReloadPrograms(&errors), 0);
         }},
        {"the window resized",
         [this] {
             SDL_SetWindowSize(mWindow->mSDLWindow, kWidth + 8, kHeight + 4);
             SDL_Delay(50);
             SDL_PumpEvents();
         }},
    };
    for (const auto& c : changes) {
        SCOPED_TRACE(c.name);
        UseAccumulation(*mRenderer, true);
        for (int f = 0; f < kAccumulationFrames; ++f)
            mRenderer->RenderFrame(mView, mRoot.get(), FINAL_LIT);
        ASSERT_EQ(mRenderer->ShownOcclusionTexture(), mRenderer->AccumulationTexture());
        c.change();
        mRenderer->RenderFrame(mView, mRoot.get(), FINAL_LIT);
        EXPECT_EQ(mRenderer->AccumulatedFrames(), 1);
        EXPECT_EQ(mRenderer->ShownOcclusionTexture(), mRenderer->BlurTexture());
    }
    // Another scene drawn from the same view.
    for (int f = 0; f < kAccumulationFrames; ++f)
        mRenderer->RenderFrame(mView, mRoot.get(), FINAL_LIT);
    mRenderer->RenderFrame(mView, &otherScene, FINAL_LIT);
    EXPECT_EQ(mRenderer->AccumulatedFrames(), 1) << "another scene";
}

// Accumulation switched off puts the noise tile back as drawn: the next
// frame is the frame of a renderer that never accumulated, bit for bit.
TEST_F(UmbrelixSceneTest, WithAccumulationOffTheFrameIsTheUsualOne) {
    mRenderer->RenderFrame(mView, mRoot.get(), FINAL_LIT);
    const auto usual = ReadPixelsRGBA(0, 0, kWidth, kHeight);
    UseAccumulation(*mRenderer, true);
    for (int f = 0; f < 5; ++f)
        mRenderer->RenderFrame(mView, mRoot.get(), FINAL_LIT);
    EXPECT_NE(ReadPixelsRGBA(0, 0, kWidth, kHeight), usual) << "the turned tile shows";
    UseAccumulation(*mRenderer, false);
    PassRecorder recorder;
    mRenderer->RenderFrame(mView, mRoot.get(), FINAL_LIT, &recorder);
    EXPECT_EQ(recorder.seen,
              (std::vector<int>{FRAME_GEOMETRY, FRAME_OCCLUSION, FRAME_BLUR, FRAME_FINAL}));
    EXPECT_EQ(mRenderer->AccumulatedFrames(), 0);
    EXPECT_EQ(ReadPixelsRGBA(0, 0, kWidth, kHeight), usual);
}
