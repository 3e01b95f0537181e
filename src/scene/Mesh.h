// Mesh: one imported mesh held twice, as tightly packed arrays in zone memory
// and as a GL vertex array with one buffer per attribute at fixed locations.
#pragma once

#include <cstdint>
#include <string>

class Allocator;

// Vertex attribute locations every mesh shader relies on.
enum MeshAttribute : uint32_t {
    ATTRIB_POSITION = 0,
    ATTRIB_COLOR = 1,
    ATTRIB_TEXCOORD = 2,
    ATTRIB_NORMAL = 3,
    ATTRIB_TANGENT = 4,
    ATTRIB_BITANGENT = 5,
};

// Floats per vertex in each array (tightly packed, vertex order).
constexpr uint32_t kPositionComponents = 3;
constexpr uint32_t kColorComponents = 4; // r, g, b, a
constexpr uint32_t kTexCoordComponents = 2;
constexpr uint32_t kNormalComponents = 3;
constexpr uint32_t kTangentComponents = 3;
constexpr uint32_t kBitangentComponents = 3;

// Entries of mVbo: one per attribute in location order, then the indices.
constexpr int kMeshBufferCount = 7;
constexpr int kIndexBufferSlot = 6;

class Mesh {
public:
    Mesh();
    // A mesh owns its GL names and zone arrays; a copy would release them twice.
    Mesh(const Mesh&) = delete;
    Mesh& operator=(const Mesh&) = delete;
    // Deletes the GL objects (when created) and returns every array to mAllocator.
    virtual ~Mesh();
    // One draw call: indexed triangles, or a strip over all vertices when
    // unindexed. A mesh without colours is drawn in opaque white.
    virtual void Draw();

    // Builds the GL objects from the arrays; refuses a second call (-1, logged).
    int CreateBuffers();

    Allocator* mAllocator;
    std::string mName;
    uint32_t mVao;
    uint32_t mVbo[kMeshBufferCount];
    uint32_t mNumVertices;
    uint32_t mNumIndices;
    float* mPositions;
    float* mColors;
    float* mTexCoords;
    float* mNormals;
    float* mTangents;
    float* mBitangents;
    uint32_t* mIndices;
};
