// FetchFloor: loading the floor program and putting it in the occlusion
// pass's place for a frame.
#include "framebench/FetchFloor.h"

#include "ssao/Umbrelix.h"

FetchFloor::~FetchFloor() {
    Engage(false);
    DestroyShaderProgram(mProgram);
}

int FetchFloor::Load(std::string* error) {
    if (LoadShaderProgram(mProgram, kFetchFloorVertexShader, kFetchFloorShader) != 0) {
        *error = std::string("cannot build the fetch-floor program from ") + kFetchFloorShader +
                 " (see the log)";
        return -1;
    }
    return 0;
}

void FetchFloor::Engage(bool on) {
    mRenderer->ReplaceOcclusionProgram(on && mProgram.program != 0 ? &mProgram : nullptr);
}
