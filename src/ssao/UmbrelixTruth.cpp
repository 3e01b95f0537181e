// UmbrelixTruth: the renderer's side of the ray-traced truth: its program,
// its texture (visibility and traced depth per pixel) and the two full-screen
// views that show it.
#include <cassert>

#include "core/Logger.h"
#include "gpu/GLFunctions.h"
#include "ssao/Umbrelix.h"

namespace {

const char* const kTag = "Renderer";
constexpr int kTruthChannels = 2;

} // namespace

int Umbrelix::LoadTruthProgram() {
    mTruthAsked = true;
    if (mShaderTruth.program != 0)
        return 0;
    if (LoadShaderPrograms({TruthProgram()}) != 0)
        return -1;
    AssignTruthSamplers();
    return 0;
}

void Umbrelix::AssignTruthSamplers() {
    if (mShaderTruth.program == 0)
        return;
    glUseProgram(mShaderTruth.program);
    glUniform1i(mShaderTruth.texDiffuse, kUnitTruth);
    glUniform1i(mShaderTruth.texSSAO, kUnitOcclusion);
    glUniform1i(mShaderTruth.texGPosition, kUnitGPosition);
}

int Umbrelix::UploadTruth(const std::vector<float>& visibilityDepth, int width, int height) {
    if (width <= 0 || height <= 0 ||
        visibilityDepth.size() != size_t(width) * size_t(height) * kTruthChannels) {
        LogMessage(LOG_ERROR, kTag, "The truth image doesn't match its size %dx%d", width, height);
        return -1;
    }
    if (mTruthTexture == 0)
        glGenTextures(1, &mTruthTexture);
    glActiveTexture(GL_TEXTURE0 + kUnitTruth);
    glBindTexture(GL_TEXTURE_2D, mTruthTexture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    if (width != mTruthWidth || height != mTruthHeight) {
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RG32F, width, height, 0, GL_RG, GL_FLOAT,
                     visibilityDepth.data());
        // Texel for texel, like the render targets it is compared with.
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        mTruthWidth = width;
        mTruthHeight = height;
    } else {
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_RG, GL_FLOAT,
                        visibilityDepth.data());
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    glActiveTexture(GL_TEXTURE0);
    return 0;
}

void Umbrelix::DrawTruthView(bool difference, bool traced) {
    BindWindowFramebuffer();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (!traced || mShaderTruth.program == 0 || mTruthTexture == 0)
        return;
    glUseProgram(mShaderTruth.program);
    glUniform1i(mShaderTruth.singleChannel, difference ? 0 : 1);
    glActiveTexture(GL_TEXTURE0 + kUnitGPosition);
    glBindTexture(GL_TEXTURE_2D, mGPosition);
    glActiveTexture(GL_TEXTURE0 + kUnitOcclusion);
    glBindTexture(GL_TEXTURE_2D, OcclusionTexture());
    glActiveTexture(GL_TEXTURE0 + kUnitTruth);
    glBindTexture(GL_TEXTURE_2D, mTruthTexture);
    glActiveTexture(GL_TEXTURE0);
    DrawQuad();
}

void Umbrelix::ReleaseTruth() {
    if (mTruthTexture != 0)
        glDeleteTextures(1, &mTruthTexture);
    mTruthTexture = 0;
    mTruthWidth = mTruthHeight = 0;
    DestroyShaderProgram(mShaderTruth);
}
