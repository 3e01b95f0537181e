// FetchFloor: the program of the fetch floor (FetchFloor.frag, a bare pass
// that only reads G-buffer texels) and its place in the renderer's frame:
// while engaged, the occlusion pass runs it instead of the estimator's
// program, with the same target, textures, kernel size and radius, so the
// two are timed by the same frame.
#pragma once

#include <string>

#include "gpu/ShaderProgram.h"

class Umbrelix;

constexpr const char* kFetchFloorVertexShader = "shaders/SSAO.vert";
constexpr const char* kFetchFloorShader = "tools/framebench/FetchFloor.frag";

class FetchFloor {
public:
    explicit FetchFloor(Umbrelix* renderer) : mRenderer(renderer) {}
    FetchFloor(const FetchFloor&) = delete;
    FetchFloor& operator=(const FetchFloor&) = delete;
    // Takes the program out of the renderer's frame and releases it; needs
    // the context it was made in.
    ~FetchFloor();

    // Builds the program. 0, or -1 with *error.
    int Load(std::string* error);
    // On: the renderer's occlusion pass reads `kernel size` texels per
    // covered pixel and nothing else; off: the estimator's program again.
    void Engage(bool on);

private:
    Umbrelix* mRenderer = nullptr;
    ShaderProgram mProgram;
};
