// Model loader: real models imported into zone arrays, GL buffers and root
// children; colours, indices and the tangent frame against the importer's own
// data; textures as stored or beside the model; skipped meshes; failures
// that log, never crash, and leave every zone block releasable.
#include "scene/ModelLoader.h"

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

#include <assimp/Importer.hpp>
#include <assimp/scene.h>
#include <gtest/gtest.h>

#include "core/Engine.h"
#include "gpu/Texture.h"
#include "memory/CountedArray.h"
#include "memory/ZoneAllocator.h"
#include "scene/Mesh.h"
#include "scene/SceneGraphNode.h"
#include "support/GLTestContext.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

namespace {

const std::string kModels = "/usr/share/assimp/models/";
const std::string kObj = kModels + "OBJ/";
constexpr uint64_t kTestZoneSize = 64ull << 20;

bool HasLineStarting(LogCapture& log, const std::string& prefix) {
    for (const std::string& line : log.Lines()) {
        if (line.compare(0, prefix.size(), prefix) == 0)
            return true;
    }
    return false;
}

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> files;
    DIR* dir = opendir(folder.c_str());
    while (dirent* entry = dir ? readdir(dir) : nullptr) {
        std::string path = folder + entry->d_name;
        struct stat info;
        if (stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode))
            files.push_back(path);
    }
    if (dir)
        closedir(dir);
    std::sort(files.begin(), files.end());
    return files;
}

// Small models written for the cases the packaged ones don't cover.
class Fixtures {
public:
    Fixtures() {
        Write("quad.mtl", "newmtl Tex\nKd 0.25 0.5 0.75\nmap_Kd " + kObj + "SpiderTex.jpg\n" +
                              "newmtl Gone\nmap_Kd missing\\gone.png\n");
        const std::string quad = "mtllib quad.mtl\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n"
                                 "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nvn 0 0 1\n";
        Write("textured.obj", quad + "usemtl Tex\nf 1/1/1 2/2/1 3/3/1 4/4/1\n");
        Write("gone.obj", quad + "usemtl Gone\nf 1/1/1 2/2/1 3/3/1\n");
        Write("nomeshes.obj", "mtllib quad.mtl\n");
        // A texture before any material: the importer would crash reading it.
        Write("early.mtl", "map_Kd early.png\nnewmtl Late\nKd 1 0 0\n");
        Write("early.obj", "mtllib early.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl Late\nf 1 2 3\n");
        // Claims 100 vertices and holds 4: the importer leaves the face without indices.
        const std::string corners = "0 0 0\n1 0 0\n1 1 0\n0 1 0\n";
        Write("short.off", "OFF\n100 1 0\n" + corners + "4 0 1 2 3\n");
        Write("range.ply", "ply\nformat ascii 1.0\nelement vertex 4\nproperty float x\n"
                           "property float y\nproperty float z\nelement face 1\n"
                           "property list uchar int vertex_indices\nend_header\n" +
                               corners + "3 0 1 7\n");
    }
    std::string Path(const char* file) const { return mDir.File(file); }

private:
    void Write(const char* file, const std::string& text) { mDir.Write(file, text); }
    TempDir mDir{"modelloader"};
};

// Passes allocations to the zone until its budget is spent, then refuses them.
class RationedAllocator : public Allocator {
public:
    RationedAllocator(Allocator* zone, int budget) : mZone(zone), mBudget(budget) {}
    int Init() override { return 0; }
    void* Alloc(uint64_t size, int32_t tag) override {
        return mBudget-- > 0 ? mZone->Alloc(size, tag) : nullptr;
    }
    void Free(void* pointer) override { mZone->Free(pointer); }
    uint64_t GetAllocCount() override { return mZone->GetAllocCount(); }

private:
    Allocator* mZone;
    int mBudget;
};

class ModelLoaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(RequireGL());
        ASSERT_EQ(0, mZone.Init());
    }
    void TearDown() override {
        Release();
        EXPECT_EQ(0u, mZone.GetAllocCount()) << "zone blocks left in use";
    }

    int Load(const std::string& path, Allocator* allocator = nullptr) {
        Release();
        return LoadModelFile(path.c_str(), allocator ? allocator : &mZone, &mRoot, &mMeshes,
                             &mTextures);
    }
    // What the demo's shutdown does: destroy the elements, then free the blocks.
    void Release() {
        DeleteCountedArray<Mesh>(&mZone, mMeshes);
        DeleteCountedArray<Texture>(&mZone, mTextures);
        mMeshes = nullptr;
        mTextures = nullptr;
        mRoot = SceneGraphNode();
    }
    // Every mesh we kept against the importer's own result for the same file.
    void ExpectMeshesMatchImporter(const std::string& path);

    ZoneAllocator mZone{kTestZoneSize};
    SceneGraphNode mRoot;
    Mesh* mMeshes = nullptr;
    Texture* mTextures = nullptr;
};

void ExpectVectors(const aiVector3D* expected, const float* actual, uint32_t count) {
    ASSERT_NE(nullptr, actual);
    for (uint32_t v = 0; v < count; ++v) {
        EXPECT_EQ(expected[v].x, actual[3 * v]);
        EXPECT_EQ(expected[v].y, actual[3 * v + 1]);
        EXPECT_EQ(expected[v].z, actual[3 * v + 2]);
    }
}

void ExpectMeshMatches(const aiMesh* m, const aiColor4D& diffuse, const Mesh& r) {
    ASSERT_EQ(m->mNumVertices, r.mNumVertices);
    EXPECT_EQ(m->mName.C_Str(), r.mName);
    ExpectVectors(m->mVertices, r.mPositions, r.mNumVertices);
    ExpectVectors(m->mNormals, r.mNormals, r.mNumVertices);
    // The material colour wins over any vertex colour.
    for (uint32_t v = 0; v < r.mNumVertices; ++v)
        EXPECT_EQ(diffuse, aiColor4D(r.mColors[4 * v], r.mColors[4 * v + 1], r.mColors[4 * v + 2],
                                     r.mColors[4 * v + 3]));
    ASSERT_EQ(m->HasTextureCoords(0), r.mTexCoords != nullptr);
    for (uint32_t v = 0; r.mTexCoords && v < r.mNumVertices; ++v) {
        EXPECT_EQ(m->mTextureCoords[0][v].x, r.mTexCoords[2 * v]);
        EXPECT_EQ(m->mTextureCoords[0][v].y, r.mTexCoords[2 * v + 1]);
    }
    ASSERT_EQ(r.mTangents != nullptr, r.mBitangents != nullptr);
    ASSERT_EQ(m->mTangents != nullptr, r.mTangents != nullptr);
    if (r.mTangents) {
        ExpectVectors(m->mTangents, r.mTangents, r.mNumVertices);
        ExpectVectors(m->mBitangents, r.mBitangents, r.mNumVertices);
    }
    ASSERT_EQ(3 * m->mNumFaces, r.mNumIndices);
    for (uint32_t k = 0; k < m->mNumFaces; ++k) {
        for (uint32_t c = 0; c < 3; ++c)
            EXPECT_EQ(m->mFaces[k].mIndices[c], r.mIndices[3 * k + c]);
    }
    EXPECT_NE(0u, r.mVao);
}

void ModelLoaderTest::ExpectMeshesMatchImporter(const std::string& path) {
    SCOPED_TRACE(path);
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(path, kModelImportFlags);
    ASSERT_NE(nullptr, scene);
    ASSERT_EQ(scene->mNumMeshes, CountedArraySize(mMeshes));
    ASSERT_EQ(scene->mNumMaterials, CountedArraySize(mTextures));
    ASSERT_EQ(scene->mNumMeshes, mRoot.mChildren.size());
    for (unsigned i = 0; i < scene->mNumMeshes; ++i) {
        SCOPED_TRACE(i);
        const aiMesh* m = scene->mMeshes[i];
        aiColor4D diffuse;
        ASSERT_EQ(AI_SUCCESS, aiGetMaterialColor(scene->mMaterials[m->mMaterialIndex],
                                                 "$clr.diffuse", 0, 0, &diffuse));
        ExpectMeshMatches(m, diffuse, mMeshes[i]);
        const SceneGraphNode& node = mRoot.mChildren[i];
        EXPECT_EQ(&mRoot, node.mParent);
        EXPECT_EQ(&mMeshes[i], node.mMesh);
        EXPECT_EQ(&mTextures[m->mMaterialIndex], node.mTextures[0]);
        EXPECT_EQ(glm::mat4(1.0f), node.mLocalTransform);
    }
}

} // namespace

TEST_F(ModelLoaderTest, MeshesMatchTheImportersDataAndHangUnderTheRoot) {
    for (const char* model :
         {"box.obj", "spider.obj", "regr01.obj", "cube_usemtl.obj", "WusonOBJ.obj"}) {
        ASSERT_EQ(0, Load(kObj + model)) << model;
        ExpectMeshesMatchImporter(kObj + model);
    }
    // Six quads, triangulated; no material names a texture, so none has a GL name.
    LogCapture log;
    ASSERT_EQ(0, Load(kObj + "box.obj"));
    EXPECT_TRUE(log.HasLine("[I]  [Mesh] " + kObj + "box.obj loaded: contains 1 meshes"));
    EXPECT_EQ(36u, mMeshes[0].mNumIndices);
    EXPECT_EQ(0u, mMeshes[0].mVbo[ATTRIB_TANGENT]);
    EXPECT_EQ(0u, mTextures[0].mId);
    EXPECT_EQ(0u, mTextures[1].mId);
}

TEST_F(ModelLoaderTest, MaterialColourReplacesVertexColours) {
    ASSERT_EQ(0, Load(kObj + "cube_with_vertexcolors.obj"));
    const Mesh& cube = mMeshes[0];
    ASSERT_NE(nullptr, cube.mColors);
    for (uint32_t v = 0; v < cube.mNumVertices; ++v) {
        EXPECT_FLOAT_EQ(0.6f, cube.mColors[4 * v]);
        EXPECT_FLOAT_EQ(0.6f, cube.mColors[4 * v + 1]);
        EXPECT_FLOAT_EQ(0.6f, cube.mColors[4 * v + 2]);
        EXPECT_FLOAT_EQ(1.0f, cube.mColors[4 * v + 3]);
    }
}

TEST_F(ModelLoaderTest, TexturesNamedWithBackslashesLoadFromTheModelsFolder) {
    LogCapture log;
    ASSERT_EQ(0, Load(kObj + "spider.obj"));
    ASSERT_EQ(6u, CountedArraySize(mTextures));
    // Material 0 is the importer's default, without a texture.
    EXPECT_EQ(0u, mTextures[0].mId);
    for (int i = 1; i < 6; ++i) {
        EXPECT_NE(0u, mTextures[i].mId) << i;
        EXPECT_TRUE(glIsTexture(mTextures[i].mId)) << i;
    }
    EXPECT_TRUE(log.HasLine("[I]  [Texture] \"" + kObj +
                            "./SpiderTex.jpg\" successfully loaded; mipmaps generated"))
        << log.Text();
    EXPECT_FALSE(log.ContainsFragment("[E]")) << log.Text();
    for (const SceneGraphNode& node : mRoot.mChildren)
        EXPECT_NE(0u, node.mTextures[0]->mId);
}

TEST_F(ModelLoaderTest, TexturePathIsTriedAsStoredAndAMissingOneReportedAsStored) {
    Fixtures fixtures;
    ASSERT_EQ(0, Load(fixtures.Path("textured.obj")));
    ASSERT_EQ(3u, CountedArraySize(mTextures));
    EXPECT_NE(0u, mTextures[1].mId);
    ExpectMeshesMatchImporter(fixtures.Path("textured.obj"));

    LogCapture log;
    ASSERT_EQ(0, Load(fixtures.Path("gone.obj")));
    EXPECT_TRUE(
        HasLineStarting(log, "[E]  [Texture] Error while loading texture \"missing\\gone.png\""))
        << log.Text();
    // The node still carries its material's record, which has no GL name.
    ASSERT_EQ(1u, mRoot.mChildren.size());
    Texture* gone = mRoot.mChildren[0].mTextures[0];
    ASSERT_TRUE(gone >= mTextures && gone < mTextures + CountedArraySize(mTextures));
    EXPECT_EQ(0u, gone->mId);
}

TEST_F(ModelLoaderTest, PointAndLineMeshesAreSkippedWithAWarning) {
    for (const char* model :
         {"testline.obj", "testpoints.obj", "testmixed.obj", "point_cloud.obj"}) {
        SCOPED_TRACE(model);
        LogCapture log;
        ASSERT_EQ(0, Load(kObj + model));
        ASSERT_EQ(1u, CountedArraySize(mMeshes));
        EXPECT_TRUE(mRoot.mChildren.empty());
        EXPECT_EQ(0u, mMeshes[0].mVao);
        EXPECT_EQ(nullptr, mMeshes[0].mPositions);
        EXPECT_TRUE(HasLineStarting(log, "[W]  [Mesh] Skipping mesh \"")) << log.Text();
    }
}

TEST_F(ModelLoaderTest, SceneWithoutMeshesLoadsEmptyArrays) {
    Fixtures fixtures;
    ASSERT_EQ(0, Load(fixtures.Path("nomeshes.obj")));
    ASSERT_NE(nullptr, mMeshes);
    EXPECT_EQ(0u, CountedArraySize(mMeshes));
    EXPECT_TRUE(mRoot.mChildren.empty());
}

TEST_F(ModelLoaderTest, MaterialFileSettingATextureBeforeItsFirstMaterialIsLeftUnread) {
    Fixtures fixtures;
    LogCapture log;
    // The importer would crash on the file; without it the mesh still loads.
    ASSERT_EQ(0, Load(fixtures.Path("early.obj"))) << log.Text();
    EXPECT_EQ(1u, CountedArraySize(mMeshes));
    EXPECT_EQ(1u, mRoot.mChildren.size());
    EXPECT_TRUE(log.HasLine("[E]  [Mesh] \"" + fixtures.Path("early.mtl") +
                            "\" sets a material property before its first material (newmtl); not read"))
        << log.Text();
}

TEST_F(ModelLoaderTest, UnreadableModelsFailWithTheImportersReason) {
    const std::string missing = "/tmp/no-such-dir/missing.obj";
    const std::string bad[] = {missing, kModels + "invalid/empty.obj",
                               kModels + "invalid/malformed.obj"};
    for (const std::string& path : bad) {
        LogCapture log;
        EXPECT_EQ(-1, Load(path)) << path;
        EXPECT_TRUE(HasLineStarting(log, "[E]  [Mesh] Error while loading \"" + path + "\": "))
            << log.Text();
        EXPECT_EQ(nullptr, mMeshes);
        EXPECT_EQ(nullptr, mTextures);
        EXPECT_EQ(0u, mZone.GetAllocCount());
    }
}

TEST_F(ModelLoaderTest, MalformedFacesFailBeforePostProcessingTouchesThem) {
    // Post-processing either file brings the importer down: triangulation
    // asserts on the first, the second corrupts its heap.
    Fixtures fixtures;
    const std::pair<const char*, const char*> cases[] = {
        {"short.off", "a face has no indices"},
        {"range.ply", "a face names a vertex that does not exist"},
    };
    for (const auto& [file, reason] : cases) {
        LogCapture log;
        std::string path = fixtures.Path(file);
        EXPECT_EQ(-1, Load(path));
        EXPECT_TRUE(
            log.HasLine("[E]  [Mesh] Error while loading \"" + path + "\": " + reason + " "))
            << log.Text();
        EXPECT_EQ(0u, mZone.GetAllocCount());
    }
}

TEST_F(ModelLoaderTest, EveryRefusedAllocationFailsCleanly) {
    Fixtures fixtures;
    // Several meshes, and one with every array including the tangent frame.
    for (const std::string& path : {kObj + "cube_usemtl.obj", fixtures.Path("textured.obj")}) {
        SCOPED_TRACE(path);
        // Count the allocations a full load makes, then refuse each one in turn.
        RationedAllocator unlimited(&mZone, 1 << 30);
        ASSERT_EQ(0, Load(path, &unlimited));
        int needed = int(mZone.GetAllocCount());
        for (int budget = 0; budget < needed; ++budget) {
            SCOPED_TRACE(budget);
            RationedAllocator rationed(&mZone, budget);
            LogCapture log;
            EXPECT_EQ(-1, Load(path, &rationed));
            EXPECT_TRUE(HasLineStarting(log, "[E]  [Mesh] Couldn't allocate memory for "))
                << log.Text();
            Release();
            ASSERT_EQ(0u, mZone.GetAllocCount());
        }
    }
}

TEST_F(ModelLoaderTest, BadInputSweepLoadsOrFailsLoudlyAndLeaksNothing) {
    std::vector<std::string> files = FilesIn(kObj);
    for (const std::string& file : FilesIn(kModels + "invalid/")) {
        // Its header makes the importer zero-fill some 16 GiB of vertices
        // before anything of ours runs; short.off covers what it breaks.
        if (file.find("OutOfMemory") == std::string::npos)
            files.push_back(file);
    }
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        LogCapture log;
        int result = Load(path);
        ASSERT_TRUE(result == 0 || result == -1);
        if (result == -1) {
            EXPECT_TRUE(HasLineStarting(log, "[E]  [Mesh] ")) << log.Text();
        }
        for (const SceneGraphNode& node : mRoot.mChildren) {
            EXPECT_NE(nullptr, node.mMesh);
            EXPECT_NE(nullptr, node.mTextures[0]);
        }
        Release();
        ASSERT_EQ(0u, mZone.GetAllocCount());
    }
}

TEST_F(ModelLoaderTest, DemoSceneLoadsFromItsFixedPath) {
    FILE* scene = fopen(kModelPath, "rb");
    if (!scene)
        GTEST_SKIP() << kModelPath << " is not generated yet";
    fclose(scene);
    ZoneAllocator zone(kZoneHeapSize);
    ASSERT_EQ(0, zone.Init());
    SceneGraphNode root;
    Mesh* meshes = nullptr;
    Texture* textures = nullptr;
    EXPECT_EQ(0, LoadModel(&zone, &root, &meshes, &textures));
    EXPECT_EQ(CountedArraySize(meshes), root.mChildren.size());
    for (const SceneGraphNode& node : root.mChildren) {
        EXPECT_NE(0u, node.mMesh->mVao);
        EXPECT_NE(nullptr, node.mTextures[0]);
    }
    DeleteCountedArray(&zone, meshes);
    DeleteCountedArray(&zone, textures);
    EXPECT_EQ(0u, zone.GetAllocCount());
}
