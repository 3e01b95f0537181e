// FetchFloor: the program of the fetch floor (FetchFloor.frag, a bare pass
// that only reads G-buffer texels) and its draw, with the target, textures
// and state the occlusion pass uses, so the two can be timed alike.
#pragma once

#include <cstdint>
#include <string>

#include <glm/glm.hpp>

#include "gpu/ShaderProgram.h"

constexpr const char* kFetchFloorVertexShader = "shaders/SSAO.vert";
constexpr const char* kFetchFloorShader = "tools/framebench/FetchFloor.frag";

// What the pass reads and writes: the occlusion pass's framebuffer, the
// G-buffer's position and normal textures and the full-screen quad.
struct FetchFloorTargets {
    uint32_t framebuffer = 0;
    uint32_t position = 0;
    uint32_t normal = 0;
    uint32_t quadVAO = 0;
};

class FetchFloor {
public:
    FetchFloor() = default;
    FetchFloor(const FetchFloor&) = delete;
    FetchFloor& operator=(const FetchFloor&) = delete;
    // Releases the program; needs the context it was made in.
    ~FetchFloor();

    // Builds the program and gives it the occlusion radius and projection
    // that set each pixel's footprint. 0, or -1 with *error.
    int Load(float radius, const glm::mat4& projection, std::string* error);
    // Clears the target's colour and reads `fetches` texels per covered pixel.
    void Draw(const FetchFloorTargets& targets, uint32_t fetches) const;

private:
    ShaderProgram mProgram;
    int32_t mFetchCount = -1;
};
