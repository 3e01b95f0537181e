// UmbrelixAccumulate: the renderer's running mean of the occlusion of a view
// at rest: its target, when it restarts, the noise tile turned one set of
// directions per frame, and the pass that blends each frame into the mean.
#include <cassert>

#include <glm/gtc/type_ptr.hpp>

#include <SDL2/SDL.h>

#include "core/Logger.h"
#include "gpu/GLFunctions.h"
#include "gpu/Window.h"
#include "ssao/SSAOKernel.h"
#include "ssao/Umbrelix.h"

namespace {

const char* const kTag = "Renderer";

static_assert(kAccumulationFrames == kNoiseCount, "one frame for each cell of the noise tile");

} // namespace

// 32-bit floats: the mean of n 8-bit values needs more than 8 bits, and the
// blend below rounds each step only to the float's 24. Made again, it
// releases the target it replaces, and the mean starts anew.
int Umbrelix::CreateAccumulationBuffer(int width, int height) {
    if (mAccumulationTexture != 0)
        glDeleteTextures(1, &mAccumulationTexture);
    if (mAccumulationBuffer != 0)
        glDeleteFramebuffers(1, &mAccumulationBuffer);
    RestartAccumulation();
    glGenFramebuffers(1, &mAccumulationBuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, mAccumulationBuffer);
    glGenTextures(1, &mAccumulationTexture);
    glBindTexture(GL_TEXTURE_2D, mAccumulationTexture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_R32F, width, height, 0, GL_RED, GL_FLOAT, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D,
                           mAccumulationTexture, 0);
    const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    if (!complete) {
        LogMessage(LOG_ERROR, kTag, "Accumulation framebuffer incomplete");
        return -1;
    }
    LogMessage(LOG_INFO, kTag, "Accumulation framebuffer created");
    return 0;
}

void Umbrelix::RestartAccumulation() {
    mAccumulated = 0;
}

bool Umbrelix::AccumulationRuns() const {
    return mSettings.accumulate && mSettings.ssaoEnabled;
}

bool Umbrelix::ShowsAccumulation() const {
    return AccumulationRuns() && mAccumulated >= kAccumulationFrames;
}

// What the mean is of: the frame's view and projection, the scene drawn, the
// settings and the window's size. Whatever else changes the occlusion (a new
// kernel or noise, reloaded programs) restarts it where it happens.
void Umbrelix::PrepareAccumulation(const glm::mat4& view, const SceneGraphNode* root) {
    int width = 0;
    int height = 0;
    SDL_GL_GetDrawableSize(mWindow->mSDLWindow, &width, &height);
    const bool same = view == mAccumulatedView && mProjectionMatrix == mAccumulatedProjection &&
                      root == mAccumulatedScene && mSettings == mAccumulatedSettings &&
                      width == mAccumulatedDrawableWidth && height == mAccumulatedDrawableHeight;
    mAccumulatedView = view;
    mAccumulatedProjection = mProjectionMatrix;
    mAccumulatedScene = root;
    mAccumulatedSettings = mSettings;
    mAccumulatedDrawableWidth = width;
    mAccumulatedDrawableHeight = height;
    if (!same || !AccumulationRuns())
        mAccumulated = 0;
    // Without accumulation the tile is the one drawn, unturned: today's frame.
    const int turn = AccumulationRuns() ? mAccumulated % kAccumulationFrames : 0;
    if (turn != mNoiseTurn)
        UploadNoise(turn);
}

// The occlusion shaders read the noise texel under the pixel's own cell c;
// its z holds the turn k and tells the pixel to act as the cell k places on,
// c' = (c + (k mod 4, k / 4)) mod 4, whose jitter the texel's x and y then
// must hold. Turn 0 puts back the tile as drawn.
void Umbrelix::UploadNoise(int turn) {
    assert(mNoise.size() >= size_t(kNoiseCount) && "the noise must fill the whole 4x4 tile");
    std::vector<glm::vec3> turned(kNoiseCount);
    for (int y = 0; y < kNoiseSize; ++y)
        for (int x = 0; x < kNoiseSize; ++x) {
            const int cx = (x + (turn & 3)) & 3;
            const int cy = (y + (turn >> 2)) & 3;
            const glm::vec3& jitter = mNoise[size_t(cy * kNoiseSize + cx)];
            turned[size_t(y * kNoiseSize + x)] = glm::vec3(jitter.x, jitter.y, float(turn));
        }
    glBindTexture(GL_TEXTURE_2D, mNoiseTexture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, kNoiseSize, kNoiseSize, GL_RGB, GL_FLOAT,
                    glm::value_ptr(turned[0]));
    glBindTexture(GL_TEXTURE_2D, 0);
    mNoiseTurn = turn;
}

// The mean of n frames from that of n - 1 and the frame's raw occlusion x:
// m_n = m_(n-1) + (x - m_(n-1)) / n = x (1/n) + m_(n-1) (1 - 1/n), which is
// blending with the constant alpha 1/n. The first frame is written as it is
// (whatever the target held before counts for nothing).
void Umbrelix::AccumulatePass() {
    glBindFramebuffer(GL_FRAMEBUFFER, mAccumulationBuffer);
    glUseProgram(mShaderTexture.program);
    glUniform1i(mShaderTexture.singleChannel, 1);
    glUniformMatrix4fv(mShaderTexture.modelMatrix, 1, GL_FALSE, glm::value_ptr(glm::mat4(1.0f)));
    glActiveTexture(GL_TEXTURE0 + kUnitSource);
    glBindTexture(GL_TEXTURE_2D, mSSAOTexture);
    if (mAccumulated == 0) {
        glDisable(GL_BLEND);
    } else {
        glBlendColor(0.0f, 0.0f, 0.0f, 1.0f / float(mAccumulated + 1));
        glBlendFunc(GL_CONSTANT_ALPHA, GL_ONE_MINUS_CONSTANT_ALPHA);
    }
    glBindVertexArray(mQuadVAO);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, kQuadVertexCount);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_BLEND);
    ++mAccumulated;
}
