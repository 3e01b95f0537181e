// UmbrelixReload: every program of the renderer built again from its files
// while the frame goes on with the old ones, and the window read back.
#include "core/Logger.h"
#include "gpu/GLFunctions.h"
#include "gpu/ShaderReload.h"
#include "ssao/Umbrelix.h"

namespace {

const char* const kTag = "Renderer";
constexpr int kRgbaChannels = 4;

} // namespace

int Umbrelix::ReloadPrograms(std::vector<std::string>* errors) {
    std::vector<ShaderSource> sources = {TextProgram()};
    for (const ShaderSource& source : ProgramTable())
        sources.push_back(source);
    // The truth's program once it was asked for, also when it failed then:
    // a reload that builds it brings the truth back.
    if (mTruthAsked)
        sources.push_back(TruthProgram());
    int result = 0;
    for (const ShaderSource& source : sources) {
        ShaderFailure failure;
        if (ReloadShaderProgram(source, &failure) != 0) {
            errors->push_back(failure.Line());
            result = -1;
        }
    }
    // Uniforms live in the programs: the new ones get the same samplers,
    // kernel, radius, ambient factor and matrices as the old ones had.
    AssignSamplerUnits();
    UploadKernel();
    AssignTruthSamplers();
    SetViewMatrix(mViewMatrix);
    SetProjectionMatrix(mProjectionMatrix);
    RestartAccumulation();
    return result;
}

// The horizon estimator reads no samples (its location is -1, which GL
// ignores); it takes the kernel size as its count of reads.
void Umbrelix::UploadKernel() {
    for (const ShaderProgram* program : OcclusionPrograms()) {
        glUseProgram(program->program);
        glUniform3fv(program->ssaoSamples, static_cast<GLsizei>(mKernel.size()),
                     reinterpret_cast<const float*>(mKernel.data()));
        glUniform1i(program->ssaoKernelSize, static_cast<GLint>(mSettings.kernelSize));
    }
}

int Umbrelix::ReadWindow(int width, int height, std::vector<uint8_t>* rgba) {
    if (width <= 0 || height <= 0) {
        LogMessage(LOG_ERROR, kTag, "Can't read the window back");
        return -1;
    }
    size_t row = size_t(width) * kRgbaChannels;
    std::vector<uint8_t> bottomUp(row * height);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, mWindowBottom, width, height, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
    rgba->resize(bottomUp.size());
    for (int y = 0; y < height; ++y)
        std::copy(bottomUp.begin() + (height - 1 - y) * row, bottomUp.begin() + (height - y) * row,
                  rgba->begin() + y * row);
    return 0;
}
