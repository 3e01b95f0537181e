// Umbrelix: the deferred renderer with screen-space ambient occlusion. Draws
// the scene into a G-buffer, estimates occlusion from it, blurs it and lights
// the picture in full-screen passes; also shows the G-buffer as debug views.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <glm/glm.hpp>

#include "render/Renderer.h"
#include "ssao/SSAOEstimator.h"
#include "ssao/SSAOSettings.h"

// The full-screen quad: four (x, y, u, v) vertices drawn as one triangle strip.
constexpr int kQuadVertexCount = 4;
constexpr int kQuadComponents = 4;

// The G-buffer's colour attachments, in the order the scene shader writes them.
constexpr int kGBufferPositionAttachment = 0;
constexpr int kGBufferNormalAttachment = 1;
constexpr int kGBufferAlbedoAttachment = 2;

// Texture units the passes bind to. Each program's samplers are pointed at
// them once in Init, so the passes only bind textures.
constexpr int kUnitGPosition = 0; // SSAO and lighting
constexpr int kUnitGNormal = 1;   // SSAO and lighting
constexpr int kUnitNoise = 2;     // SSAO
constexpr int kUnitGAlbedo = 2;   // lighting
constexpr int kUnitOcclusion = 3; // lighting
constexpr int kUnitSource = 0;    // the blur's input and the texture views
constexpr int kUnitTruth = 4;     // the traced truth (truth and difference views)
constexpr int kUnitGDepth = 5;    // SSAO about the geometric normal: the depth it is rebuilt from

// A view at rest shows the mean of this many frames, one set of the noise
// tile's directions each, once it holds them all (the tile's 16 sets).
constexpr int kAccumulationFrames = 16;

// The passes of one frame, in the order RenderFrame runs them.
enum FramePass {
    FRAME_GEOMETRY = 0, // clear, then the scene into the G-buffer
    FRAME_OCCLUSION,    // while SSAO is on
    FRAME_BLUR,         // while the blur is on (and the accumulated mean is not shown)
    FRAME_ACCUMULATE,   // while a view at rest accumulates (UmbrelixAccumulate.cpp)
    FRAME_FINAL,        // the lit picture or a debug view into the window
    FRAME_PASS_COUNT,
};

// What the final pass draws: the views the controls cycle through, or
// nothing (the caller draws its own view into the window afterwards).
enum FinalView {
    FINAL_LIT = 0,
    FINAL_GBUFFER = 1,
    FINAL_OCCLUSION = 2,
    FINAL_NONE = 3,
};

// Told before and after each pass RenderFrame runs (timers, read-backs,
// work that must sit between the occlusion and the final view).
class FrameObserver {
public:
    virtual ~FrameObserver() = default;
    virtual void BeforePass(FramePass) {}
    virtual void AfterPass(FramePass) {}
};

class Umbrelix : public Renderer {
public:
    explicit Umbrelix(Window* window);
    ~Umbrelix() override;

    int Init() override;
    void SetViewMatrix(const glm::mat4& m) override;
    void SetProjectionMatrix(const glm::mat4& m) override;
    void DrawNode(SceneGraphNode* node) override;
    void Clear() override;

    int CreateGBuffer(int width, int height);
    int CreateSSAOBuffer(int width, int height);
    int CreateBlurBuffer(int width, int height);

    // The settings now, and a whole new value applied, kept to the settings'
    // rule (no blur while SSAO is off): a new kernel size draws a fresh
    // kernel, a new radius or ambient factor is uploaded, the switches take
    // effect from the next frame; what did not change is left.
    const SSAOSettings& Settings() const { return mSettings; }
    void ApplySettings(const SSAOSettings& settings);
    // The setters of single values. SetKernelSize draws fresh samples also
    // for the current size and ignores a size over 128.
    void SetKernelSize(uint32_t n);
    void SetRadius(float r);
    void SetAmbientFactor(float a);
    // Which occlusion program the occlusion pass runs (part of the
    // settings); both hold the same kernel, radius and samplers, so a switch
    // shows from the next frame.
    void SetEstimator(SSAOEstimator estimator) { mSettings.estimator = estimator; }
    SSAOEstimator Estimator() const { return mSettings.estimator; }
    // Uses these samples as the kernel (their count is the size), so that a
    // measurement can come back to the very kernel it drew before.
    void UseKernel(const std::vector<glm::vec3>& samples);
    const std::vector<glm::vec3>& Kernel() const { return mKernel; }
    // Replaces the rotation noise with a fresh draw (it is made once, at
    // start-up), in the noise array and its texture.
    void RedrawNoise();

    // One frame with the camera's view: the geometry pass, the occlusion
    // and blur passes while their switches are on, then the final view;
    // observer (if any) is told before and after each pass that runs.
    void RenderFrame(const glm::mat4& view, SceneGraphNode* root, FinalView finalView,
                     FrameObserver* observer = nullptr);
    // Frame steps, in the order RenderFrame drives them.
    void SSAOPass();
    void BlurPass();
    void LightingPass();
    void DrawTextureView(bool ssaoOnly);

    // The ray-traced truth of the view (UmbrelixTruth.cpp). Its program is
    // loaded the first time the truth is shown; 0, or -1 (logged).
    int LoadTruthProgram();
    bool HasTruthProgram() const { return mShaderTruth.program != 0; }
    // visibilityDepth: per pixel, rows top first, the traced visibility and
    // the traced surface's view depth (0 where none). 0, or -1 (logged).
    int UploadTruth(const std::vector<float>& visibilityDepth, int width, int height);
    // Full screen: the truth as grey, or (difference) ours minus the truth
    // in signed colours where both see one surface, neutral elsewhere; only
    // a cleared screen while the uploaded truth is not of this view (traced false).
    void DrawTruthView(bool difference, bool traced);
    // Loads every program again from shaders/ (UmbrelixReload.cpp); a program
    // that fails keeps the old one. Settings, kernel and noise are uploaded
    // unchanged to the new programs. 0, or -1 with "file: first error line"
    // of each failure in *errors.
    int ReloadPrograms(std::vector<std::string>* errors);
    // The window's back buffer as shown, RGBA rows top first. 0, or -1 (logged).
    int ReadWindow(int width, int height, std::vector<uint8_t>* rgba);

    // What the renderer owns, for read-backs, measurements and tests (GL
    // names and records it keeps; nothing outside the renderer changes them).
    uint32_t GBuffer() const { return mGBuffer; }
    uint32_t GPosition() const { return mGPosition; }
    uint32_t GNormal() const { return mGNormal; }
    uint32_t GAlbedo() const { return mGAlbedo; }
    uint32_t GDepth() const { return mGDepth; }
    uint32_t SSAOBuffer() const { return mSSAOBuffer; }
    uint32_t SSAOTexture() const { return mSSAOTexture; }
    uint32_t BlurBuffer() const { return mBlurBuffer; }
    uint32_t BlurTexture() const { return mBlurTexture; }
    uint32_t NoiseTexture() const { return mNoiseTexture; }
    uint32_t QuadVAO() const { return mQuadVAO; }
    uint32_t QuadVBO() const { return mQuadVBO; }
    const std::vector<glm::vec3>& Noise() const { return mNoise; }
    const ShaderProgram& ShaderTexture() const { return mShaderTexture; }
    const ShaderProgram& ShaderSSAO() const { return mShaderSSAO; }
    const ShaderProgram& ShaderBlur() const { return mShaderBlur; }
    const ShaderProgram& ShaderLighting() const { return mShaderLighting; }
    // Runs program in the occlusion pass instead of the estimator's (null:
    // the estimator's again). It gets what the estimators get: the samplers'
    // units, the kernel and its size, the radius and the projection; a
    // measurement puts its own program there (the caller keeps it alive and
    // takes it back out before destroying it).
    void ReplaceOcclusionProgram(const ShaderProgram* program);

    // The occlusion lighting and the occlusion view read now.
    uint32_t ShownOcclusionTexture() const { return OcclusionTexture(); }

    // Accumulation (UmbrelixAccumulate.cpp). While the settings ask for it
    // and the view, the scene, the settings, the kernel, the noise, the
    // programs and the window stay as they were, each frame's raw occlusion
    // (with the tile's next set of directions) joins a running mean; once it
    // holds kAccumulationFrames frames, lighting and the occlusion views show
    // it unblurred and the occlusion pass rests. Anything else that changes
    // restarts it with the next frame.
    void RestartAccumulation();
    // Frames the mean holds (0 to kAccumulationFrames).
    int AccumulatedFrames() const { return mAccumulated; }
    // The mean is complete and shown.
    bool ShowsAccumulation() const;
    uint32_t AccumulationTexture() const { return mAccumulationTexture; }
    int CreateAccumulationBuffer(int width, int height);
    // The render targets' size: the drawable's at start-up, kept whatever the
    // window does later. Every read-back of a target uses it.
    int TargetWidth() const { return mTargetWidth; }
    int TargetHeight() const { return mTargetHeight; }

private:
    SSAOSettings mSettings;
    ShaderProgram mShaderTexture{};
    ShaderProgram mShaderSSAO{};
    ShaderProgram mShaderBlur{};
    ShaderProgram mShaderLighting{};
    uint32_t mQuadVAO = 0;
    uint32_t mQuadVBO = 0;
    uint32_t mGBuffer = 0;
    uint32_t mGPosition = 0;
    uint32_t mGAlbedo = 0;
    uint32_t mGNormal = 0;
    uint32_t mGDepth = 0;
    uint32_t mSSAOBuffer = 0;
    uint32_t mSSAOTexture = 0;
    uint32_t mNoiseTexture = 0;
    uint32_t mBlurBuffer = 0;
    uint32_t mBlurTexture = 0;
    std::vector<glm::vec3> mKernel;
    std::vector<glm::vec3> mNoise;
    ShaderProgram mShaderTruth{};
    uint32_t mTruthTexture = 0;
    int mTruthWidth = 0;
    int mTruthHeight = 0;
    // The horizon estimator's program: "shaders/SSAO.vert" +
    // "shaders/SSAOHorizon.frag", the same inputs and output as mShaderSSAO.
    ShaderProgram mShaderHorizon{};
    int mTargetWidth = 0;
    int mTargetHeight = 0;
    bool mTruthAsked = false; // LoadTruthProgram was called: reloads build it too
    const ShaderProgram* mOcclusionReplacement = nullptr; // not owned; see ReplaceOcclusionProgram
    int mWindowBottom = 0; // the viewport's bottom row: 0, or where the window's top is
    // Both estimators about the geometric normal: the same files built with
    // GEOMETRIC_NORMALS defined.
    ShaderProgram mShaderSSAOGeometric{};
    ShaderProgram mShaderHorizonGeometric{};
    // The running mean of a view at rest (GL_R32F), what it was taken of,
    // and the turn of the noise tile now uploaded.
    uint32_t mAccumulationBuffer = 0;
    uint32_t mAccumulationTexture = 0;
    int mAccumulated = 0;
    glm::mat4 mAccumulatedView{0.0f};
    glm::mat4 mAccumulatedProjection{0.0f};
    const SceneGraphNode* mAccumulatedScene = nullptr;
    SSAOSettings mAccumulatedSettings;
    int mAccumulatedDrawableWidth = 0;
    int mAccumulatedDrawableHeight = 0;
    int mNoiseTurn = 0;

    // Binds the window's framebuffer with the picture in its top-left corner.
    void BindWindowFramebuffer();
    // The viewport at the targets' size, bottom at row bottom (0 for the targets).
    void PlaceViewport(int bottom);
    void AssignTruthSamplers();
    // The renderer's programs with their files, in load order (the truth's
    // is loaded apart, on demand): loading, reloading and releasing use it.
    std::vector<ShaderSource> ProgramTable();
    ShaderSource TruthProgram() {
        return {&mShaderTruth, "shaders/SSAO.vert", "shaders/Truth.frag"};
    }
    // The programs the occlusion pass can run: both estimators' about either
    // normal, and a replacement.
    std::vector<const ShaderProgram*> OcclusionPrograms() const;
    void AssignOcclusionSamplers(const ShaderProgram& program);
    void ReleaseGBuffer();
    // Uploads the kernel and its size to the occlusion programs.
    void UploadKernel();
    void UploadRadius();
    void UploadAmbientFactor();
    // The program of the estimator and normals in use.
    const ShaderProgram& OcclusionProgram() const;
    // Accumulation's steps of a frame: whether this frame continues the mean
    // (a restart empties it), the noise turned to the frame's set, and the
    // raw occlusion blended into the mean.
    void PrepareAccumulation(const glm::mat4& view, const SceneGraphNode* root);
    bool AccumulationRuns() const;
    void UploadNoise(int turn);
    void AccumulatePass();
    void ReleaseTruth();
    // Steps of Init, each 0 or -1 after logging why.
    int LoadPrograms();
    int CreateQuad();
    int CreateRenderTargets();
    void AssignSamplerUnits();
    void CreateNoiseTexture();
    void DrawFinalView(FinalView finalView);
    // What lighting and the occlusion views read: the accumulated mean once
    // complete, else the blurred result when the blur runs, the raw one otherwise.
    uint32_t OcclusionTexture() const;
    void DrawQuad();
};
