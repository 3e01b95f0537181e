// Mesh: buffers and vertex attributes as GL records them, refusal of a second
// CreateBuffers, the draw call, and the release of GL objects and zone blocks.
#include "scene/Mesh.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "memory/ZoneAllocator.h"
#include "support/GLTestContext.h"
#include "support/LogCapture.h"

namespace {

constexpr uint64_t kZoneSize = 1 << 20;

// Four corners of the clip-space square in strip order.
const std::vector<float> kQuad = {-1, -1, 0, 1, -1, 0, -1, 1, 0, 1, 1, 0};

template <class T> T* ZoneCopy(Allocator* zone, const std::vector<T>& values) {
    T* copy = static_cast<T*>(zone->Alloc(values.size() * sizeof(T), TAG_MODEL));
    std::copy(values.begin(), values.end(), copy);
    return copy;
}

std::vector<float> Ramp(size_t count) {
    std::vector<float> values(count);
    for (size_t i = 0; i < count; ++i)
        values[i] = 0.5f * float(i);
    return values;
}

class MeshTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(RequireGL());
        ASSERT_EQ(0, mZone.Init());
    }

    // A mesh over the square with positions and, when asked, every other array.
    std::unique_ptr<Mesh> MakeMesh(bool full, const std::vector<uint32_t>& indices) {
        auto mesh = std::make_unique<Mesh>();
        mesh->mAllocator = &mZone;
        mesh->mNumVertices = 4;
        mesh->mPositions = ZoneCopy(&mZone, kQuad);
        if (full) {
            mesh->mColors = ZoneCopy(&mZone, Ramp(16));
            mesh->mTexCoords = ZoneCopy(&mZone, Ramp(8));
            mesh->mNormals = ZoneCopy(&mZone, Ramp(12));
            mesh->mTangents = ZoneCopy(&mZone, Ramp(12));
            mesh->mBitangents = ZoneCopy(&mZone, Ramp(12));
        }
        if (!indices.empty()) {
            mesh->mNumIndices = uint32_t(indices.size());
            mesh->mIndices = ZoneCopy(&mZone, indices);
        }
        return mesh;
    }

    ZoneAllocator mZone{kZoneSize};
};

GLint AttribInt(GLuint location, GLenum query) {
    GLint value = 0;
    glGetVertexAttribiv(location, query, &value);
    return value;
}

GLint BufferSize(GLuint buffer) {
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    GLint size = 0;
    glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &size);
    return size;
}

// Swaps one GL entry point for a stub for the lifetime of the object.
template <class F> class StubGL {
public:
    StubGL(F& slot, F stub) : mSlot(slot), mSaved(slot) { slot = stub; }
    ~StubGL() { mSlot = mSaved; }

private:
    F& mSlot;
    F mSaved;
};

// The calls the stubs saw: how many, and the last draw's mode and count.
int gCalls = 0;
GLenum gMode = 0;
GLsizei gCount = 0;
void APIENTRY CountBindVertexArray(GLuint) {
    ++gCalls;
}
void APIENTRY CountDeleteNames(GLsizei, const GLuint*) {
    ++gCalls;
}
void APIENTRY RecordDrawArrays(GLenum mode, GLint, GLsizei count) {
    ++gCalls;
    gMode = mode;
    gCount = count;
}
void APIENTRY RecordDrawElements(GLenum mode, GLsizei count, GLenum, const void*) {
    ++gCalls;
    gMode = mode;
    gCount = count;
}

// Runs Draw with the draw calls recorded instead of issued.
void RecordDraw(Mesh* mesh) {
    gCalls = 0;
    StubGL<PFNGLDRAWARRAYSPROC> arrays(vgl::glDrawArrays, RecordDrawArrays);
    StubGL<PFNGLDRAWELEMENTSPROC> elements(vgl::glDrawElements, RecordDrawElements);
    mesh->Draw();
}

} // namespace

TEST_F(MeshTest, PositionsAndIndicesGiveTwoBuffersAndOnlyAttributeZero) {
    std::unique_ptr<Mesh> mesh = MakeMesh(false, {0, 1, 2, 2, 1, 3});
    ASSERT_EQ(0, mesh->CreateBuffers());
    EXPECT_EQ(0, GetInteger(GL_VERTEX_ARRAY_BINDING));
    ASSERT_TRUE(glIsVertexArray(mesh->mVao));
    for (int slot = 0; slot < kMeshBufferCount; ++slot) {
        bool expected = slot == ATTRIB_POSITION || slot == kIndexBufferSlot;
        EXPECT_EQ(expected, mesh->mVbo[slot] != 0) << "slot " << slot;
    }

    glBindVertexArray(mesh->mVao);
    EXPECT_EQ(GLint(mesh->mVbo[kIndexBufferSlot]), GetInteger(GL_ELEMENT_ARRAY_BUFFER_BINDING));
    EXPECT_EQ(1, AttribInt(0, GL_VERTEX_ATTRIB_ARRAY_ENABLED));
    EXPECT_EQ(GLint(mesh->mVbo[0]), AttribInt(0, GL_VERTEX_ATTRIB_ARRAY_BUFFER_BINDING));
    EXPECT_EQ(3, AttribInt(0, GL_VERTEX_ATTRIB_ARRAY_SIZE));
    for (GLuint location = 1; location <= ATTRIB_BITANGENT; ++location)
        EXPECT_EQ(0, AttribInt(location, GL_VERTEX_ATTRIB_ARRAY_ENABLED)) << location;

    std::vector<uint32_t> indices(6);
    glGetBufferSubData(GL_ELEMENT_ARRAY_BUFFER, 0, 24, indices.data());
    EXPECT_EQ((std::vector<uint32_t>{0, 1, 2, 2, 1, 3}), indices);
    glBindVertexArray(0);
    EXPECT_EQ(48, BufferSize(mesh->mVbo[0]));
}

TEST_F(MeshTest, FullMeshGivesSevenBuffersAndAttributesZeroToFive) {
    std::unique_ptr<Mesh> mesh = MakeMesh(true, {0, 1, 2});
    ASSERT_EQ(0, mesh->CreateBuffers());
    const GLint components[] = {3, 4, 2, 3, 3, 3};
    glBindVertexArray(mesh->mVao);
    for (GLuint location = 0; location <= ATTRIB_BITANGENT; ++location) {
        SCOPED_TRACE(location);
        EXPECT_EQ(1, AttribInt(location, GL_VERTEX_ATTRIB_ARRAY_ENABLED));
        EXPECT_EQ(components[location], AttribInt(location, GL_VERTEX_ATTRIB_ARRAY_SIZE));
        EXPECT_EQ(GL_FLOAT, AttribInt(location, GL_VERTEX_ATTRIB_ARRAY_TYPE));
        EXPECT_EQ(0, AttribInt(location, GL_VERTEX_ATTRIB_ARRAY_STRIDE));
        EXPECT_EQ(GLint(mesh->mVbo[location]),
                  AttribInt(location, GL_VERTEX_ATTRIB_ARRAY_BUFFER_BINDING));
    }
    glBindVertexArray(0);
    for (int slot = 0; slot < kMeshBufferCount; ++slot)
        EXPECT_NE(0u, mesh->mVbo[slot]) << "slot " << slot;
    EXPECT_EQ(64, BufferSize(mesh->mVbo[ATTRIB_COLOR]));
    EXPECT_EQ(32, BufferSize(mesh->mVbo[ATTRIB_TEXCOORD]));

    // The colour buffer holds the array as uploaded.
    std::vector<float> colors(16);
    glBindBuffer(GL_ARRAY_BUFFER, mesh->mVbo[ATTRIB_COLOR]);
    glGetBufferSubData(GL_ARRAY_BUFFER, 0, 64, colors.data());
    EXPECT_EQ(Ramp(16), colors);
}

TEST_F(MeshTest, SecondCreateBuffersIsRefusedAndKeepsTheWorkingVertexArray) {
    std::unique_ptr<Mesh> mesh = MakeMesh(false, {});
    ASSERT_EQ(0, mesh->CreateBuffers());
    uint32_t vao = mesh->mVao;
    uint32_t positions = mesh->mVbo[0];
    LogCapture log;
    EXPECT_EQ(-1, mesh->CreateBuffers());
    std::string expected = "VBO name \"" + std::to_string(positions) + "\" is an existing buffer";
    EXPECT_TRUE(log.HasLine("[E]  [Mesh] " + expected)) << log.Text();
    EXPECT_EQ(0, GetInteger(GL_VERTEX_ARRAY_BINDING));
    EXPECT_EQ(positions, mesh->mVbo[0]);
    for (int slot = 1; slot < kMeshBufferCount; ++slot)
        EXPECT_EQ(0u, mesh->mVbo[slot]);
    // Draw still binds the vertex array that holds the positions.
    ASSERT_EQ(vao, mesh->mVao);
    glBindVertexArray(mesh->mVao);
    EXPECT_EQ(GLint(positions), AttribInt(0, GL_VERTEX_ATTRIB_ARRAY_BUFFER_BINDING));
    glBindVertexArray(0);
}

TEST_F(MeshTest, DrawIssuesIndexedTrianglesOrAStripOverAllVertices) {
    std::unique_ptr<Mesh> strip = MakeMesh(false, {});
    ASSERT_EQ(0, strip->CreateBuffers());
    RecordDraw(strip.get());
    EXPECT_EQ(1, gCalls);
    EXPECT_EQ(GLenum(GL_TRIANGLE_STRIP), gMode);
    EXPECT_EQ(4, gCount);

    std::unique_ptr<Mesh> indexed = MakeMesh(false, {0, 1, 2, 2, 1, 3});
    ASSERT_EQ(0, indexed->CreateBuffers());
    RecordDraw(indexed.get());
    EXPECT_EQ(1, gCalls);
    EXPECT_EQ(GLenum(GL_TRIANGLES), gMode);
    EXPECT_EQ(6, gCount);
    EXPECT_EQ(GLint(indexed->mVao), GetInteger(GL_VERTEX_ARRAY_BINDING));
    glBindVertexArray(0);
}

TEST_F(MeshTest, MeshWithoutColoursDrawsWithTheGenericColourSetToWhite) {
    // The generic value is context state: whatever earlier code left there
    // must not tint the mesh (GL starts it at black, (0, 0, 0, 1)).
    glVertexAttrib4f(ATTRIB_COLOR, 0.2f, 0.3f, 0.4f, 0.5f);
    std::unique_ptr<Mesh> mesh = MakeMesh(false, {});
    ASSERT_EQ(0, mesh->CreateBuffers());
    RecordDraw(mesh.get());
    EXPECT_EQ(0, AttribInt(ATTRIB_COLOR, GL_VERTEX_ATTRIB_ARRAY_ENABLED));
    GLfloat colour[4] = {};
    glGetVertexAttribfv(ATTRIB_COLOR, GL_CURRENT_VERTEX_ATTRIB, colour);
    for (GLfloat component : colour)
        EXPECT_FLOAT_EQ(component, 1.0f);
    glBindVertexArray(0);
}

TEST_F(MeshTest, MeshWithoutGLObjectsMakesNoGLCallsAndStillReturnsItsBlocks) {
    uint64_t before = mZone.GetAllocCount();
    std::unique_ptr<Mesh> mesh = MakeMesh(true, {0, 1, 2});
    EXPECT_EQ(before + 7, mZone.GetAllocCount());
    {
        StubGL<PFNGLBINDVERTEXARRAYPROC> bind(vgl::glBindVertexArray, CountBindVertexArray);
        StubGL<PFNGLDELETEBUFFERSPROC> buffers(vgl::glDeleteBuffers, CountDeleteNames);
        StubGL<PFNGLDELETEVERTEXARRAYSPROC> vaos(vgl::glDeleteVertexArrays, CountDeleteNames);
        RecordDraw(mesh.get());
        mesh.reset();
    }
    EXPECT_EQ(0, gCalls);
    EXPECT_EQ(before, mZone.GetAllocCount());
}

TEST_F(MeshTest, DestructionDeletesGLObjectsAndReturnsEveryBlock) {
    uint64_t before = mZone.GetAllocCount();
    std::unique_ptr<Mesh> mesh = MakeMesh(true, {0, 1, 2});
    ASSERT_EQ(0, mesh->CreateBuffers());
    uint32_t vao = mesh->mVao;
    std::vector<uint32_t> buffers(mesh->mVbo, mesh->mVbo + kMeshBufferCount);
    mesh.reset();
    EXPECT_EQ(before, mZone.GetAllocCount());
    EXPECT_FALSE(glIsVertexArray(vao));
    for (uint32_t buffer : buffers)
        EXPECT_FALSE(glIsBuffer(buffer)) << buffer;
}
