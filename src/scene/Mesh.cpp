// Mesh: owns one mesh's zone arrays and the GL vertex array and buffers made
// from them; draws itself with a single call.
#include "scene/Mesh.h"

#include <cassert>

#include "core/Logger.h"
#include "gpu/GLFunctions.h"
#include "memory/Allocator.h"

namespace {

const char* const kTag = "Mesh";

// Generates one buffer into *name, binds it to target and uploads bytes from data.
void UploadBuffer(GLenum target, GLuint* name, GLsizeiptr bytes, const void* data) {
    glGenBuffers(1, name);
    glBindBuffer(target, *name);
    glBufferData(target, bytes, data, GL_STATIC_DRAW);
}

// One non-interleaved float attribute: its own buffer, tightly packed (stride 0).
void UploadAttribute(GLuint* name, uint32_t location, int components, uint32_t vertices,
                     const float* data) {
    GLsizeiptr bytes = static_cast<GLsizeiptr>(vertices) * components * sizeof(float);
    UploadBuffer(GL_ARRAY_BUFFER, name, bytes, data);
    glEnableVertexAttribArray(location);
    glVertexAttribPointer(location, components, GL_FLOAT, GL_FALSE, 0, nullptr);
}

} // namespace

Mesh::Mesh()
    : mAllocator(nullptr), mVao(0), mVbo{}, mNumVertices(0), mNumIndices(0), mPositions(nullptr),
      mColors(nullptr), mTexCoords(nullptr), mNormals(nullptr), mTangents(nullptr),
      mBitangents(nullptr), mIndices(nullptr) {}

Mesh::~Mesh() {
    if (mVao != 0) {
        // Zero entries are silently ignored by GL, so one call covers every buffer.
        glDeleteBuffers(kMeshBufferCount, mVbo);
        glDeleteVertexArrays(1, &mVao);
    }
    void* arrays[] = {mPositions, mColors, mTexCoords, mNormals, mTangents, mBitangents, mIndices};
    for (void* array : arrays) {
        if (!array)
            continue;
        assert(mAllocator && "a mesh holding arrays must know the allocator they came from");
        mAllocator->Free(array);
    }
}

int Mesh::CreateBuffers() {
    // Names are checked before a vertex array is made: a refused call must
    // neither replace a working vertex array (a second call would leave the
    // mesh drawing from an empty one) nor make this mesh the deleter of
    // buffers it doesn't own.
    for (GLuint name : mVbo) {
        if (glIsBuffer(name)) {
            LogMessage(LOG_ERROR, kTag, "VBO name \"%d\" is an existing buffer",
                       static_cast<int>(name));
            glBindVertexArray(0);
            return -1;
        }
    }
    glGenVertexArrays(1, &mVao);
    glBindVertexArray(mVao);

    UploadAttribute(&mVbo[ATTRIB_POSITION], ATTRIB_POSITION, kPositionComponents, mNumVertices,
                    mPositions);
    const struct {
        uint32_t location;
        int components;
        const float* data;
    } optional[] = {
        {ATTRIB_COLOR, kColorComponents, mColors},
        {ATTRIB_TEXCOORD, kTexCoordComponents, mTexCoords},
        {ATTRIB_NORMAL, kNormalComponents, mNormals},
        {ATTRIB_TANGENT, kTangentComponents, mTangents},
        {ATTRIB_BITANGENT, kBitangentComponents, mBitangents},
    };
    for (const auto& attribute : optional) {
        if (attribute.data)
            UploadAttribute(&mVbo[attribute.location], attribute.location, attribute.components,
                            mNumVertices, attribute.data);
    }

    // The element buffer binding is part of the vertex array's state, so it
    // must be bound while the vertex array is.
    if (mIndices) {
        GLsizeiptr bytes = static_cast<GLsizeiptr>(mNumIndices) * sizeof(uint32_t);
        UploadBuffer(GL_ELEMENT_ARRAY_BUFFER, &mVbo[kIndexBufferSlot], bytes, mIndices);
    }
    glBindVertexArray(0);
    return 0;
}

// The colour a mesh without a colour buffer is drawn in: it leaves its
// texture untinted, where GL's initial generic value (0, 0, 0, 1) would
// paint it black.
constexpr float kNoVertexColor[kColorComponents] = {1.0f, 1.0f, 1.0f, 1.0f};

void Mesh::Draw() {
    if (mVao == 0)
        return;
    glBindVertexArray(mVao);
    // With the colour array disabled the shader reads the generic value,
    // which is context state, not vertex-array state: it is set for every
    // such draw rather than trusting what other code left there.
    if (mVbo[ATTRIB_COLOR] == 0)
        glVertexAttrib4f(ATTRIB_COLOR, kNoVertexColor[0], kNoVertexColor[1], kNoVertexColor[2],
                         kNoVertexColor[3]);
    if (mVbo[kIndexBufferSlot] != 0)
        glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(mNumIndices), GL_UNSIGNED_INT, nullptr);
    else
        glDrawArrays(GL_TRIANGLE_STRIP, 0, static_cast<GLsizei>(mNumVertices));
}
