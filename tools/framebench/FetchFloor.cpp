// FetchFloor: loading the floor program and drawing it the way SSAOPass
// draws the occlusion: same framebuffer, texture units and blending.
#include "framebench/FetchFloor.h"

#include "gpu/GLFunctions.h"
#include "ssao/Umbrelix.h"

FetchFloor::~FetchFloor() {
    DestroyShaderProgram(mProgram);
}

int FetchFloor::Load(float radius, const glm::mat4& projection, std::string* error) {
    if (LoadShaderProgram(mProgram, kFetchFloorVertexShader, kFetchFloorShader) != 0) {
        *error = std::string("cannot build the fetch-floor program from ") + kFetchFloorShader +
                 " (see the log)";
        return -1;
    }
    mFetchCount = glGetUniformLocation(mProgram.program, "fetchCount");
    glUseProgram(mProgram.program);
    glUniform1i(mProgram.texGPosition, kUnitGPosition);
    glUniform1i(mProgram.texGNormal, kUnitGNormal);
    glUniform1f(mProgram.ssaoRadius, radius);
    glUniformMatrix4fv(mProgram.projMatrix, 1, GL_FALSE, &projection[0][0]);
    return 0;
}

void FetchFloor::Draw(const FetchFloorTargets& targets, uint32_t fetches) const {
    glBindFramebuffer(GL_FRAMEBUFFER, targets.framebuffer);
    glClear(GL_COLOR_BUFFER_BIT);
    glUseProgram(mProgram.program);
    glUniform1i(mFetchCount, GLint(fetches));
    glActiveTexture(GL_TEXTURE0 + kUnitGPosition);
    glBindTexture(GL_TEXTURE_2D, targets.position);
    glActiveTexture(GL_TEXTURE0 + kUnitGNormal);
    glBindTexture(GL_TEXTURE_2D, targets.normal);
    glDisable(GL_BLEND);
    glBindVertexArray(targets.quadVAO);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, kQuadVertexCount);
    glEnable(GL_BLEND);
}
