// Umbrelix: the deferred renderer with screen-space ambient occlusion. Draws
// the scene into a G-buffer, estimates occlusion from it, blurs it and lights
// the picture in full-screen passes; also shows the G-buffer as debug views.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <glm/glm.hpp>

#include "render/Renderer.h"

constexpr uint32_t kDefaultKernelSize = 4;
constexpr float kDefaultRadius = 0.9f;
constexpr float kDefaultAmbientFactor = 0.75f;
// The full-screen quad: four (x, y, u, v) vertices drawn as one triangle strip.
constexpr int kQuadVertexCount = 4;
constexpr int kQuadComponents = 4;

// Texture units the passes bind to. Each program's samplers are pointed at
// them once in Init, so the passes only bind textures.
constexpr int kUnitGPosition = 0; // SSAO and lighting
constexpr int kUnitGNormal = 1;   // SSAO and lighting
constexpr int kUnitNoise = 2;     // SSAO
constexpr int kUnitGAlbedo = 2;   // lighting
constexpr int kUnitOcclusion = 3; // lighting
constexpr int kUnitSource = 0;    // the blur's input and the texture views
constexpr int kUnitTruth = 4;     // the traced truth (truth and difference views)

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

    void SetKernelSize(uint32_t n);
    // Replaces the rotation noise with a fresh draw (it is made once, at
    // start-up), in mNoise and its texture.
    void RedrawNoise();
    void SetRadius(float r);
    void SetAmbientFactor(float a);

    // Frame steps, driven by the main loop after the geometry pass.
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
    // The occlusion lighting and the occlusion view read now.
    uint32_t ShownOcclusionTexture() const { return OcclusionTexture(); }
    // The render targets' size: the drawable's at start-up, kept whatever the
    // window does later. Every read-back of a target uses it.
    int TargetWidth() const { return mTargetWidth; }
    int TargetHeight() const { return mTargetHeight; }

    bool mSSAOEnabled;
    bool mBlurEnabled;
    ShaderProgram mShaderTexture;
    ShaderProgram mShaderSSAO;
    ShaderProgram mShaderBlur;
    ShaderProgram mShaderLighting;
    uint32_t mQuadVAO;
    uint32_t mQuadVBO;
    uint32_t mGBuffer;
    uint32_t mGPosition;
    uint32_t mGAlbedo;
    uint32_t mGNormal;
    uint32_t mGDepth;
    uint32_t mKernelSize;
    float mRadius;
    uint32_t mSSAOBuffer;
    uint32_t mSSAOTexture;
    uint32_t mNoiseTexture;
    uint32_t mBlurBuffer;
    uint32_t mBlurTexture;
    float mAmbientFactor;
    std::vector<glm::vec3> mKernel;
    std::vector<glm::vec3> mNoise;
    ShaderProgram mShaderTruth{};
    uint32_t mTruthTexture = 0;
    int mTruthWidth = 0;
    int mTruthHeight = 0;

private:
    int mTargetWidth = 0;
    int mTargetHeight = 0;
    bool mTruthAsked = false; // LoadTruthProgram was called: reloads build it too
    int mWindowBottom = 0;    // the viewport's bottom row: 0, or where the window's top is

    // Binds the window's framebuffer with the picture in its top-left corner.
    void BindWindowFramebuffer();
    // The viewport at the targets' size, bottom at row bottom (0 for the targets).
    void PlaceViewport(int bottom);

    void AssignTruthSamplers();
    void UploadKernel();
    void ReleaseTruth();
    // Steps of Init, each 0 or -1 after logging why.
    int LoadPrograms();
    int CreateQuad();
    int CreateRenderTargets();
    void AssignSamplerUnits();
    void CreateNoiseTexture();
    // What lighting and the occlusion views read: the blurred result when the
    // blur runs, the raw one otherwise.
    uint32_t OcclusionTexture() const;
    void DrawQuad();
};
