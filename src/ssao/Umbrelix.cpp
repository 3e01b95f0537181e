// Umbrelix: owns the deferred renderer's GL objects (the four pass programs,
// the full-screen quad, the G-buffer, SSAO and blur targets and the noise
// texture), their creation order at start-up and their release, and the SSAO
// parameters. The per-frame passes are in UmbrelixPasses.cpp.
#include "ssao/Umbrelix.h"

#include <cassert>

#include <glm/gtc/type_ptr.hpp>

#include "core/Logger.h"
#include "gpu/GLFunctions.h"
#include "gpu/Window.h"
#include "ssao/SSAOKernel.h"

namespace {

const char* const kTag = "Renderer";
// The line that builds an occlusion program's variant about the geometric normal.
const char* const kGeometricNormals = "#define GEOMETRIC_NORMALS\n";

// Positions in clip space, texture coordinates in [0, 1]; the strip's first
// triangle (top left, bottom left, top right) is counter-clockwise, so the
// quad survives back-face culling.
constexpr float kQuadVertices[kQuadVertexCount * kQuadComponents] = {
    -1.0f, 1.0f,  0.0f, 1.0f, //
    -1.0f, -1.0f, 0.0f, 0.0f, //
    1.0f,  1.0f,  1.0f, 1.0f, //
    1.0f,  -1.0f, 1.0f, 0.0f, //
};

// The kernel and noise go to GL as packed float triples.
static_assert(sizeof(glm::vec3) == 3 * sizeof(float), "vec3 must be three packed floats");

void SetTextureSampling(GLint filter, GLint wrap) {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
}

// Render targets are sampled texel for texel by the full-screen passes, so
// they are never filtered and never wrap.
void AllocateRenderTexture(uint32_t texture, GLint internalFormat, GLenum format, GLenum type,
                           int width, int height) {
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, internalFormat, width, height, 0, format, type, nullptr);
    SetTextureSampling(GL_NEAREST, GL_CLAMP_TO_EDGE);
}

// Checks the bound framebuffer and leaves the default one bound either way.
int FinishFramebuffer(const char* incompleteMessage) {
    const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    if (!complete)
        LogMessage(LOG_ERROR, kTag, "%s", incompleteMessage);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    return complete ? 0 : -1;
}

// One GL_R8 colour target; the texture stays bound afterwards.
int CreateOcclusionTarget(uint32_t* framebuffer, uint32_t* texture, int width, int height,
                          const char* incompleteMessage) {
    glGenFramebuffers(1, framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, *framebuffer);
    glGenTextures(1, texture);
    AllocateRenderTexture(*texture, GL_R8, GL_RED, GL_UNSIGNED_BYTE, width, height);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, *texture, 0);
    return FinishFramebuffer(incompleteMessage);
}

void DeleteTexture(uint32_t& name) {
    if (name != 0)
        glDeleteTextures(1, &name);
    name = 0;
}

void DeleteFramebuffer(uint32_t& name) {
    if (name != 0)
        glDeleteFramebuffers(1, &name);
    name = 0;
}

} // namespace

// The records are value-initialised so their locations read as zeros, not
// indeterminate values, until a link fills them.
Umbrelix::Umbrelix(Window* window) : Renderer(window) {}

// Reverse order of creation; the base destructor then deletes the context,
// so every name here goes while it still exists. Names belong to this
// renderer's context, which must be the current one when they are deleted.
Umbrelix::~Umbrelix() {
    if (mContext)
        SDL_GL_MakeCurrent(mWindow->mSDLWindow, mContext);
    ReleaseTruth();
    DeleteTexture(mAccumulationTexture);
    DeleteFramebuffer(mAccumulationBuffer);
    DeleteTexture(mNoiseTexture);
    DeleteTexture(mBlurTexture);
    DeleteFramebuffer(mBlurBuffer);
    DeleteTexture(mSSAOTexture);
    DeleteFramebuffer(mSSAOBuffer);
    ReleaseGBuffer();
    if (mQuadVBO != 0)
        glDeleteBuffers(1, &mQuadVBO);
    if (mQuadVAO != 0)
        glDeleteVertexArrays(1, &mQuadVAO);
    mQuadVBO = 0;
    mQuadVAO = 0;
    std::vector<glm::vec3>().swap(mNoise);
    std::vector<glm::vec3>().swap(mKernel);
    DestroyShaderPrograms(ProgramTable());
}

void Umbrelix::ReleaseGBuffer() {
    DeleteTexture(mGDepth);
    DeleteTexture(mGAlbedo);
    DeleteTexture(mGNormal);
    DeleteTexture(mGPosition);
    DeleteFramebuffer(mGBuffer);
}

int Umbrelix::Init() {
    const int base = Renderer::Init();
    if (base != 0)
        return base;
    if (LoadPrograms() != 0 || CreateQuad() != 0 || CreateRenderTargets() != 0)
        return -1;
    SetKernelSize(mSettings.kernelSize);
    GenerateNoise(mNoise);
    AssignSamplerUnits();
    CreateNoiseTexture();
    return 0;
}

// The full-screen passes share one vertex shader that passes the quad through.
// The horizon estimator and both estimators built about the geometric normal
// come after the four the frame needs at start; they
// ship with them, so a missing or broken one is a broken installation and
// stops the start-up like theirs (F5 keeps the old program on a failed edit).
std::vector<ShaderSource> Umbrelix::ProgramTable() {
    return {
        {&mShaderTexture, "shaders/Texture.vert", "shaders/Texture.frag"},
        {&mShaderSSAO, "shaders/SSAO.vert", "shaders/SSAO.frag"},
        {&mShaderBlur, "shaders/SSAO.vert", "shaders/SSAOBlur.frag"},
        {&mShaderLighting, "shaders/SSAO.vert", "shaders/Lighting.frag"},
        {&mShaderHorizon, "shaders/SSAO.vert", "shaders/SSAOHorizon.frag"},
        {&mShaderSSAOGeometric, "shaders/SSAO.vert", "shaders/SSAO.frag", kGeometricNormals},
        {&mShaderHorizonGeometric, "shaders/SSAO.vert", "shaders/SSAOHorizon.frag",
         kGeometricNormals},
    };
}

int Umbrelix::LoadPrograms() {
    return LoadShaderPrograms(ProgramTable());
}

// Vertex array and buffer stay bound: every full-screen pass draws from them.
int Umbrelix::CreateQuad() {
    glGenVertexArrays(1, &mQuadVAO);
    glBindVertexArray(mQuadVAO);
    glGenBuffers(1, &mQuadVBO);
    glBindBuffer(GL_ARRAY_BUFFER, mQuadVBO);
    glBufferData(GL_ARRAY_BUFFER, sizeof(kQuadVertices), kQuadVertices, GL_STATIC_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, kQuadComponents, GL_FLOAT, GL_FALSE, kQuadComponents * sizeof(float),
                          nullptr);
    if (mQuadVAO == 0 || mQuadVBO == 0) {
        LogMessage(LOG_INFO, kTag, "Failed to create quad VAO/VBO");
        return -1;
    }
    LogMessage(LOG_INFO, kTag, "Quad VAO/VBO created for deferred rendering");
    return 0;
}

// Sized once from the drawable (pixels, larger than the window on high-DPI
// displays), which is also the viewport every pass renders at.
int Umbrelix::CreateRenderTargets() {
    int width = 0;
    int height = 0;
    SDL_GL_GetDrawableSize(mWindow->mSDLWindow, &width, &height);
    mTargetWidth = width;
    mTargetHeight = height;
    if (CreateGBuffer(width, height) != 0)
        return -1;
    LogMessage(LOG_INFO, kTag, "G-buffer created");
    if (CreateSSAOBuffer(width, height) != 0)
        return -1;
    LogMessage(LOG_INFO, kTag, "SSAO framebuffer created");
    if (CreateBlurBuffer(width, height) != 0)
        return -1;
    LogMessage(LOG_INFO, kTag, "Blur framebuffer created");
    return CreateAccumulationBuffer(width, height);
}

// Each target made again releases the one it replaces.
int Umbrelix::CreateGBuffer(int width, int height) {
    ReleaseGBuffer();
    glGenFramebuffers(1, &mGBuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, mGBuffer);
    glGenTextures(1, &mGPosition);
    glGenTextures(1, &mGNormal);
    glGenTextures(1, &mGAlbedo);
    glGenTextures(1, &mGDepth);
    // Positions and normals need sign and sub-unit precision; albedo is a colour.
    AllocateRenderTexture(mGPosition, GL_RGB16F, GL_RGB, GL_FLOAT, width, height);
    AllocateRenderTexture(mGNormal, GL_RGB16F, GL_RGB, GL_FLOAT, width, height);
    AllocateRenderTexture(mGAlbedo, GL_RGB8, GL_RGB, GL_UNSIGNED_BYTE, width, height);
    AllocateRenderTexture(mGDepth, GL_DEPTH_COMPONENT32F, GL_DEPTH_COMPONENT, GL_FLOAT, width,
                          height);
    glBindTexture(GL_TEXTURE_2D, 0);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + kGBufferPositionAttachment,
                           GL_TEXTURE_2D, mGPosition, 0);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + kGBufferNormalAttachment,
                           GL_TEXTURE_2D, mGNormal, 0);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + kGBufferAlbedoAttachment,
                           GL_TEXTURE_2D, mGAlbedo, 0);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D, mGDepth, 0);
    const GLenum drawBuffers[] = {GL_COLOR_ATTACHMENT0, GL_COLOR_ATTACHMENT1, GL_COLOR_ATTACHMENT2};
    glDrawBuffers(3, drawBuffers);
    return FinishFramebuffer("Scene framebuffer incomplete");
}

int Umbrelix::CreateSSAOBuffer(int width, int height) {
    DeleteTexture(mSSAOTexture);
    DeleteFramebuffer(mSSAOBuffer);
    return CreateOcclusionTarget(&mSSAOBuffer, &mSSAOTexture, width, height,
                                 "SSAO framebuffer incomplete");
}

int Umbrelix::CreateBlurBuffer(int width, int height) {
    DeleteTexture(mBlurTexture);
    DeleteFramebuffer(mBlurBuffer);
    return CreateOcclusionTarget(&mBlurBuffer, &mBlurTexture, width, height,
                                 "Blur framebuffer incomplete");
}

// The blur program is left out on purpose: its one sampler keeps GL's
// default unit 0, where the blur pass binds the raw occlusion.
void Umbrelix::AssignSamplerUnits() {
    glUseProgram(mShaderTexture.program);
    glUniform1i(mShaderTexture.texDiffuse, kUnitSource);

    for (const ShaderProgram* program : OcclusionPrograms())
        AssignOcclusionSamplers(*program);
    UploadRadius();

    glUseProgram(mShaderLighting.program);
    glUniform1i(mShaderLighting.texGPosition, kUnitGPosition);
    glUniform1i(mShaderLighting.texGNormal, kUnitGNormal);
    glUniform1i(mShaderLighting.texGAlbedo, kUnitGAlbedo);
    glUniform1i(mShaderLighting.texSSAO, kUnitOcclusion);
    UploadAmbientFactor();
}

void Umbrelix::AssignOcclusionSamplers(const ShaderProgram& program) {
    glUseProgram(program.program);
    glUniform1i(program.texGPosition, kUnitGPosition);
    glUniform1i(program.texGNormal, kUnitGNormal);
    glUniform1i(program.texSSAONoise, kUnitNoise);
    glUniform1i(program.texDiffuse, kUnitGDepth); // only the geometric builds read it
}

std::vector<const ShaderProgram*> Umbrelix::OcclusionPrograms() const {
    std::vector<const ShaderProgram*> programs = {&mShaderSSAO, &mShaderHorizon,
                                                  &mShaderSSAOGeometric, &mShaderHorizonGeometric};
    if (mOcclusionReplacement)
        programs.push_back(mOcclusionReplacement);
    return programs;
}

void Umbrelix::ReplaceOcclusionProgram(const ShaderProgram* program) {
    mOcclusionReplacement = program;
    if (!program)
        return;
    AssignOcclusionSamplers(*program);
    UploadRadius();
    UploadKernel();
}

// Repeat wrapping tiles the 4x4 rotations over the screen; nearest filtering
// keeps each pixel's rotation one of the sixteen, which the 4x4 blur cancels.
void Umbrelix::CreateNoiseTexture() {
    assert(mNoise.size() >= size_t(kNoiseCount) && "the noise must fill the whole 4x4 tile");
    glGenTextures(1, &mNoiseTexture);
    glBindTexture(GL_TEXTURE_2D, mNoiseTexture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB32F, kNoiseSize, kNoiseSize, 0, GL_RGB, GL_FLOAT,
                 glm::value_ptr(mNoise[0]));
    SetTextureSampling(GL_NEAREST, GL_REPEAT);
    glBindTexture(GL_TEXTURE_2D, 0);
}

// GenerateNoise appends: the old draw goes first, or the texture would get
// the old tile again (and the array grow by a tile each time).
void Umbrelix::RedrawNoise() {
    // GenerateNoise appends: without the clear the upload below would send the
    // first tile again and the vector would grow by a tile per redraw.
    mNoise.clear();
    GenerateNoise(mNoise);
    UploadNoise(0);
    RestartAccumulation();
}

// The only writer of the switches: what it keeps holds the settings' rule,
// whoever asked (keys, options, tools).
void Umbrelix::ApplySettings(const SSAOSettings& asked) {
    const SSAOSettings settings = asked.Kept();
    const SSAOSettings before = mSettings;
    mSettings.ssaoEnabled = settings.ssaoEnabled;
    mSettings.blurEnabled = settings.blurEnabled;
    mSettings.estimator = settings.estimator;
    mSettings.normals = settings.normals;
    mSettings.accumulate = settings.accumulate;
    assert(mSettings.RuleHolds() && "the blur must never run without this frame's occlusion");
    if (settings.kernelSize != before.kernelSize)
        SetKernelSize(settings.kernelSize);
    if (settings.radius != before.radius)
        SetRadius(settings.radius);
    if (settings.ambientFactor != before.ambientFactor)
        SetAmbientFactor(settings.ambientFactor);
}

void Umbrelix::SetKernelSize(uint32_t n) {
    if (n > static_cast<uint32_t>(kMaxKernelSize))
        return;
    GenerateKernel(n, mKernel);
    mSettings.kernelSize = n;
    UploadKernel();
    RestartAccumulation();
}

void Umbrelix::UseKernel(const std::vector<glm::vec3>& samples) {
    if (samples.size() > size_t(kMaxKernelSize))
        return;
    mKernel = samples;
    mSettings.kernelSize = static_cast<uint32_t>(samples.size());
    UploadKernel();
    RestartAccumulation();
}

void Umbrelix::SetRadius(float r) {
    mSettings.radius = r;
    UploadRadius();
}

void Umbrelix::SetAmbientFactor(float a) {
    mSettings.ambientFactor = a;
    UploadAmbientFactor();
}

// Every occlusion program: switching between them needs no upload.
void Umbrelix::UploadRadius() {
    for (const ShaderProgram* program : OcclusionPrograms()) {
        glUseProgram(program->program);
        glUniform1f(program->ssaoRadius, mSettings.radius);
    }
}

void Umbrelix::UploadAmbientFactor() {
    glUseProgram(mShaderLighting.program);
    glUniform1f(mShaderLighting.ambientFactor, mSettings.ambientFactor);
}
