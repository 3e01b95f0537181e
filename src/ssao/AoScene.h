// AoScene: the ray-traced copy of a triangle scene (Embree) and the two
// queries the reference needs: the surface a camera ray sees first, and the
// fraction of cosine-weighted rays that leave a surface point unblocked
// within a radius.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <glm/glm.hpp>

struct RTCDeviceTy;
struct RTCSceneTy;

// The alpha of one diffuse texture, rows in GL's order (row 0 at t = 0),
// sampled like GL_LINEAR with GL_REPEAT at level 0.
struct AlphaMask {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> alpha; // width * height
};

// Alpha of mask at GL texture coordinates (s, t), in [0, 1].
float SampleAlpha(const AlphaMask& mask, float s, float t);

// The GL coordinates the scene shader samples a diffuse texture at for a
// mesh's (u, v): model files put v = 0 at the image's bottom row, and images
// are uploaded top row first.
glm::vec2 ShaderTexCoord(glm::vec2 uv);

// The geometry pass discards texels with less alpha than this.
constexpr float kAlphaCutoff = 0.5f;

// One primary hit: where, and the unit geometric normal turned toward the ray.
struct SurfaceHit {
    glm::vec3 position;
    glm::vec3 normal;
    float distance;   // along the unit ray direction from the ray origin
    bool alphaTested; // the surface has cut-out texels
};

// Makes the Embree device from a configuration string (rtcNewDevice's
// signature); a caller may hand in another, e.g. one that fails, to see how
// the layers above report a device that can't be made.
using RayDeviceMaker = RTCDeviceTy* (*)(const char* config);

class AoScene {
public:
    // makeDevice: null for Embree's own rtcNewDevice.
    explicit AoScene(RayDeviceMaker makeDevice = nullptr);
    ~AoScene();
    AoScene(const AoScene&) = delete;
    AoScene& operator=(const AoScene&) = delete;

    // Creates the Embree device and scene. 0, or -1 (logged).
    int Create();
    // Adds triangles given by index triples (or, with no indices, a strip
    // over all vertices, as the mesh draws then), moved into world space by
    // world. texCoords (2 floats per vertex) and mask may be null; with a
    // mask, texels with alpha below the cut-off are holes (a mesh without
    // coordinates samples the texel at (0, 0) everywhere, as GL's generic
    // attribute value makes the shader do). The scene keeps its own copies.
    // 0, or -1 (logged).
    int AddMesh(const float* positions, uint32_t numVertices, const uint32_t* indices,
                uint32_t numIndices, const glm::mat4& world, const float* texCoords,
                std::shared_ptr<const AlphaMask> mask);
    // Builds the acceleration structure; call once after the last AddMesh.
    int Commit();

    uint32_t TriangleCount() const { return mTriangleCount; }

    // The first front face (counter-clockwise as seen from origin, as the
    // geometry pass keeps it with back-face culling) that dir meets in
    // [0, tfar], through alpha holes. dir need not be unit length.
    bool Intersect(const glm::vec3& origin, const glm::vec3& dir, float tfar,
                   SurfaceHit* hit) const;
    // Fraction of rays cosine-distributed around normal, starting at point
    // (lifted off the surface by a small distance that grows with
    // eyeDistance, against self-hits), that meet no surface (either side)
    // within radius. The directions are a rank-1 lattice rotated by
    // (shiftU, shiftV) in [0,1)^2: stratified, and unbiased over random shifts.
    float Visibility(const glm::vec3& point, const glm::vec3& normal, float eyeDistance,
                     float radius, int rays, float shiftU, float shiftV) const;
    // How many rays of Visibility's lattice of n rays escape, tracing only
    // the count lattice indices listed: lists that cover 0..n-1 once add up
    // to exactly what Visibility counts. fitPackets traces up to 4 or 8 rays
    // in packets of that width instead of 16 (Visibility keeps 16).
    int OpenRays(const glm::vec3& point, const glm::vec3& normal, float eyeDistance, float radius,
                 int rays, const int* indices, int count, float shiftU, float shiftV,
                 bool fitPackets = false) const;

    // What the filter callbacks read: one record per Embree geometry.
    struct MeshData;

private:
    RayDeviceMaker mMakeDevice;
    RTCDeviceTy* mDevice;
    RTCSceneTy* mScene;
    std::vector<std::unique_ptr<MeshData>> mMeshes;
    uint32_t mTriangleCount;
    bool mCommitted;
};

// Unit direction of the i-th of n rays of the lattice rotated by (shiftU,
// shiftV), in the frame where +z is the normal (cosine-distributed).
glm::vec3 CosineLatticeDirection(int i, int n, float shiftU, float shiftV);
