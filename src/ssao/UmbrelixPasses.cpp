// UmbrelixPasses: the per-frame work of the deferred renderer: the geometry
// pass into the G-buffer, occlusion, blur, lighting and the debug views, with
// every framebuffer, program, texture unit and blending change they make.
#include "ssao/Umbrelix.h"

#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>

#include <SDL2/SDL.h>

#include "gpu/GLFunctions.h"
#include "gpu/Window.h"

namespace {

void BindTexture(int unit, uint32_t texture) {
    glActiveTexture(GL_TEXTURE0 + unit);
    glBindTexture(GL_TEXTURE_2D, texture);
}

void UploadMatrix(int32_t location, const glm::mat4& m) {
    glUniformMatrix4fv(location, 1, GL_FALSE, glm::value_ptr(m));
}

// One quarter of the overview: where the full-screen quad is moved to, and what it shows.
struct QuarterView {
    glm::vec3 translation;
    uint32_t texture;
    int singleChannel;
};

} // namespace

// The lighting program also needs the view matrix (its light direction is
// given in world space), whatever program is current.
void Umbrelix::SetViewMatrix(const glm::mat4& m) {
    Renderer::SetViewMatrix(m);
    glUseProgram(mShaderLighting.program);
    UploadMatrix(mShaderLighting.viewMatrix, mViewMatrix);
}

void Umbrelix::SetProjectionMatrix(const glm::mat4& m) {
    Renderer::SetProjectionMatrix(m);
    glUseProgram(mShaderLighting.program);
    UploadMatrix(mShaderLighting.projMatrix, mProjectionMatrix);
}

void Umbrelix::Clear() {
    PlaceViewport(0);
    glBindFramebuffer(GL_FRAMEBUFFER, mGBuffer);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

// The one place the passes of a frame are put in order.
void Umbrelix::RenderFrame(const glm::mat4& view, SceneGraphNode* root, FinalView finalView,
                           FrameObserver* observer) {
    FrameObserver none;
    FrameObserver& watch = observer ? *observer : none;
    SetViewMatrix(view);
    watch.BeforePass(FRAME_GEOMETRY);
    Clear();
    DrawNode(root);
    watch.AfterPass(FRAME_GEOMETRY);
    // A complete mean is shown as it is: nothing to draw, blur or add.
    PrepareAccumulation(view, root);
    const bool resting = ShowsAccumulation();
    const bool accumulating = AccumulationRuns() && !resting;
    if (mSettings.ssaoEnabled && !resting) {
        watch.BeforePass(FRAME_OCCLUSION);
        SSAOPass();
        watch.AfterPass(FRAME_OCCLUSION);
    }
    // The settings never hold the blur on while SSAO is off (ApplySettings
    // keeps their rule), so the blur smooths this frame's occlusion only.
    // The frame that completes the mean shows it instead.
    if (mSettings.blurEnabled && !resting &&
        !(accumulating && mAccumulated + 1 >= kAccumulationFrames)) {
        watch.BeforePass(FRAME_BLUR);
        BlurPass();
        watch.AfterPass(FRAME_BLUR);
    }
    if (accumulating) {
        watch.BeforePass(FRAME_ACCUMULATE);
        AccumulatePass();
        watch.AfterPass(FRAME_ACCUMULATE);
    }
    watch.BeforePass(FRAME_FINAL);
    DrawFinalView(finalView);
    watch.AfterPass(FRAME_FINAL);
}

void Umbrelix::DrawFinalView(FinalView finalView) {
    switch (finalView) {
    case FINAL_LIT:
        LightingPass();
        break;
    case FINAL_GBUFFER:
        DrawTextureView(false);
        break;
    case FINAL_OCCLUSION:
        DrawTextureView(true);
        break;
    case FINAL_NONE:
        break; // the caller draws into the window
    }
}

// The base recurses through this override, so every node rebinds the G-buffer.
void Umbrelix::DrawNode(SceneGraphNode* node) {
    glBindFramebuffer(GL_FRAMEBUFFER, mGBuffer);
    Renderer::DrawNode(node);
}

// Every pass renders at the targets' size. Into the window, the picture keeps
// its top-left corner at the window's (GL counts rows from the bottom): a
// window resized after start-up shows it unscaled, cut or bordered at the
// right and bottom, with the overlay in its corner as before.
void Umbrelix::BindWindowFramebuffer() {
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    int width = 0;
    int height = 0;
    SDL_GL_GetDrawableSize(mWindow->mSDLWindow, &width, &height);
    PlaceViewport(height - mTargetHeight);
}

void Umbrelix::PlaceViewport(int bottom) {
    if (bottom == mWindowBottom)
        return;
    glViewport(0, bottom, mTargetWidth, mTargetHeight);
    mWindowBottom = bottom;
}

uint32_t Umbrelix::OcclusionTexture() const {
    if (ShowsAccumulation())
        return mAccumulationTexture;
    return mSettings.blurEnabled ? mBlurTexture : mSSAOTexture;
}

const ShaderProgram& Umbrelix::OcclusionProgram() const {
    if (mOcclusionReplacement)
        return *mOcclusionReplacement;
    const bool geometric = mSettings.normals == NORMALS_GEOMETRIC;
    if (mSettings.estimator == ESTIMATOR_HORIZON)
        return geometric ? mShaderHorizonGeometric : mShaderHorizon;
    return geometric ? mShaderSSAOGeometric : mShaderSSAO;
}

void Umbrelix::DrawQuad() {
    glBindVertexArray(mQuadVAO);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, kQuadVertexCount);
}

// Blending is off while writing occlusion: the shader's alpha must not mix
// this frame's value with the last one.
void Umbrelix::SSAOPass() {
    glBindFramebuffer(GL_FRAMEBUFFER, mSSAOBuffer);
    glClear(GL_COLOR_BUFFER_BIT);
    const ShaderProgram& program = OcclusionProgram();
    glUseProgram(program.program);
    UploadMatrix(program.projMatrix, mProjectionMatrix);
    BindTexture(kUnitGPosition, mGPosition);
    BindTexture(kUnitGNormal, mGNormal);
    BindTexture(kUnitNoise, mNoiseTexture);
    if (mSettings.normals == NORMALS_GEOMETRIC)
        BindTexture(kUnitGDepth, mGDepth);
    glDisable(GL_BLEND);
    DrawQuad();
    glEnable(GL_BLEND);
}

void Umbrelix::BlurPass() {
    glBindFramebuffer(GL_FRAMEBUFFER, mBlurBuffer);
    glClear(GL_COLOR_BUFFER_BIT);
    glUseProgram(mShaderBlur.program);
    BindTexture(kUnitSource, mSSAOTexture);
    glDisable(GL_BLEND);
    DrawQuad();
    glEnable(GL_BLEND);
}

void Umbrelix::LightingPass() {
    BindWindowFramebuffer();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glUseProgram(mShaderLighting.program);
    glUniform1i(mShaderLighting.ssaoEnabled, mSettings.ssaoEnabled ? 1 : 0);
    BindTexture(kUnitGPosition, mGPosition);
    BindTexture(kUnitGNormal, mGNormal);
    BindTexture(kUnitGAlbedo, mGAlbedo);
    BindTexture(kUnitOcclusion, OcclusionTexture());
    DrawQuad();
}

void Umbrelix::DrawTextureView(bool ssaoOnly) {
    BindWindowFramebuffer();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glUseProgram(mShaderTexture.program);
    glActiveTexture(GL_TEXTURE0 + kUnitSource);
    glBindVertexArray(mQuadVAO);
    if (ssaoOnly) {
        glUniform1i(mShaderTexture.singleChannel, 1);
        UploadMatrix(mShaderTexture.modelMatrix, glm::mat4(1.0f));
        glBindTexture(GL_TEXTURE_2D, OcclusionTexture());
        DrawQuad();
        return;
    }
    // Top left, top right, bottom left, bottom right: each quarter is the
    // full-screen quad halved and moved to that quarter's centre.
    const QuarterView quarters[] = {
        {{-0.5f, 0.5f, 0.0f}, mGPosition, 0},
        {{0.5f, 0.5f, 0.0f}, mGNormal, 0},
        {{-0.5f, -0.5f, 0.0f}, mGAlbedo, 0},
        {{0.5f, -0.5f, 0.0f}, OcclusionTexture(), 1},
    };
    const glm::vec3 half(0.5f, 0.5f, 0.5f);
    int singleChannel = -1; // uploaded only when it changes: before the first and the last quarter
    for (const QuarterView& quarter : quarters) {
        if (quarter.singleChannel != singleChannel) {
            singleChannel = quarter.singleChannel;
            glUniform1i(mShaderTexture.singleChannel, singleChannel);
        }
        const glm::mat4 model =
            glm::scale(glm::translate(glm::mat4(1.0f), quarter.translation), half);
        UploadMatrix(mShaderTexture.modelMatrix, model);
        glBindTexture(GL_TEXTURE_2D, quarter.texture);
        DrawQuad();
    }
}
