// Scene graph node: construction, world transforms, deep copies, scale and draw.
#include "scene/SceneGraphNode.h"

#include <gtest/gtest.h>
#include <glm/gtc/matrix_transform.hpp>

#include "gpu/Texture.h"
#include "scene/Mesh.h"

namespace {

// Counts draws instead of issuing GL calls; never gets GL objects, so its
// destructor makes no GL call either.
class CountingMesh : public Mesh {
public:
    void Draw() override { ++mDraws; }
    int mDraws = 0;
};

const glm::mat4 kIdentity(1.0f);

glm::mat4 Translation(float x, float y, float z) {
    return glm::translate(kIdentity, glm::vec3(x, y, z));
}

glm::mat4 RotationZ(float degrees) {
    return glm::rotate(kIdentity, glm::radians(degrees), glm::vec3(0.0f, 0.0f, 1.0f));
}

void ExpectMatrixNear(const glm::mat4& expected, const glm::mat4& actual) {
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r)
            EXPECT_NEAR(expected[c][r], actual[c][r], 1e-5f) << "column " << c << " row " << r;
    }
}

// A child of parent, parented the way the loader does it.
SceneGraphNode& AddChild(SceneGraphNode& parent, const glm::mat4& local) {
    SceneGraphNode child;
    child.mParent = &parent;
    child.mLocalTransform = local;
    parent.mChildren.push_back(child);
    return parent.mChildren.back();
}

} // namespace

TEST(SceneGraphNode, DefaultNodeIsAnEmptyIdentityRoot) {
    SceneGraphNode node;
    EXPECT_EQ(nullptr, node.mParent);
    EXPECT_EQ(nullptr, node.mMesh);
    ASSERT_EQ(32u, node.mTextures.size());
    for (Texture* texture : node.mTextures)
        EXPECT_EQ(nullptr, texture);
    EXPECT_EQ(glm::vec3(1.0f), node.mScale);
    EXPECT_EQ(kIdentity, node.mWorldTransform);
    EXPECT_EQ(kIdentity, node.mLocalTransform);
    EXPECT_TRUE(node.mChildren.empty());
}

TEST(SceneGraphNode, MeshConstructorSetsOnlyTheDiffuseEntry) {
    CountingMesh mesh;
    Texture texture;
    SceneGraphNode textured(&mesh, &texture);
    EXPECT_EQ(&mesh, textured.mMesh);
    EXPECT_EQ(&texture, textured.mTextures[0]);
    for (size_t i = 1; i < textured.mTextures.size(); ++i)
        EXPECT_EQ(nullptr, textured.mTextures[i]);

    SceneGraphNode untextured(&mesh, nullptr);
    ASSERT_EQ(32u, untextured.mTextures.size());
    EXPECT_EQ(nullptr, untextured.mTextures[0]);
}

TEST(SceneGraphNode, UpdateComposesParentWorldOnTheLeftDownTheTree) {
    SceneGraphNode root;
    root.mLocalTransform = Translation(5.0f, 0.0f, 0.0f);
    SceneGraphNode& child = AddChild(root, RotationZ(90.0f));
    SceneGraphNode& grandchild = AddChild(child, Translation(0.0f, 2.0f, 0.0f));
    root.Update();

    ExpectMatrixNear(root.mLocalTransform, root.mWorldTransform);
    glm::mat4 childWorld = root.mLocalTransform * RotationZ(90.0f);
    ExpectMatrixNear(childWorld, child.mWorldTransform);
    // L x P would rotate the parent's translation to (0, 5, 0) instead.
    EXPECT_NEAR(5.0f, child.mWorldTransform[3].x, 1e-5f);
    ExpectMatrixNear(childWorld * Translation(0.0f, 2.0f, 0.0f), grandchild.mWorldTransform);
    // The grandchild's origin: up 2 in the child's frame is left 2 in the world.
    EXPECT_NEAR(3.0f, grandchild.mWorldTransform[3].x, 1e-5f);
    EXPECT_NEAR(0.0f, grandchild.mWorldTransform[3].y, 1e-5f);
}

TEST(SceneGraphNode, CopyIsDeepAndItsChildrenNameTheCopyAsParent) {
    CountingMesh mesh;
    Texture texture;
    SceneGraphNode outer;
    SceneGraphNode original(&mesh, &texture);
    original.mParent = &outer;
    original.mScale = glm::vec3(2.0f);
    original.mLocalTransform = Translation(1.0f, 2.0f, 3.0f);
    SceneGraphNode& child = AddChild(original, RotationZ(30.0f));
    AddChild(child, Translation(0.0f, 0.0f, 1.0f));

    SceneGraphNode copy(original);
    EXPECT_EQ(&outer, copy.mParent);
    EXPECT_EQ(&mesh, copy.mMesh);
    EXPECT_EQ(original.mTextures, copy.mTextures);
    EXPECT_NE(original.mTextures.data(), copy.mTextures.data());
    EXPECT_EQ(glm::vec3(2.0f), copy.mScale);
    EXPECT_EQ(original.mLocalTransform, copy.mLocalTransform);
    ASSERT_EQ(1u, copy.mChildren.size());
    ASSERT_EQ(1u, copy.mChildren[0].mChildren.size());
    EXPECT_EQ(&copy, copy.mChildren[0].mParent);
    EXPECT_EQ(&copy.mChildren[0], copy.mChildren[0].mChildren[0].mParent);

    // Changing the original leaves the copy alone.
    child.mLocalTransform = kIdentity;
    child.mChildren.clear();
    EXPECT_EQ(RotationZ(30.0f), copy.mChildren[0].mLocalTransform);
    EXPECT_EQ(1u, copy.mChildren[0].mChildren.size());
}

TEST(SceneGraphNode, GrandchildrenFollowTheirParentWhenSiblingsReallocate) {
    SceneGraphNode root;
    SceneGraphNode& first = AddChild(root, Translation(1.0f, 0.0f, 0.0f));
    AddChild(first, Translation(0.0f, 1.0f, 0.0f));
    // Enough siblings to move the first child several times.
    for (int i = 0; i < 40; ++i)
        AddChild(root, kIdentity);
    root.Update();

    const SceneGraphNode& moved = root.mChildren[0];
    ASSERT_EQ(&moved, moved.mChildren[0].mParent);
    ExpectMatrixNear(Translation(1.0f, 1.0f, 0.0f), moved.mChildren[0].mWorldTransform);
}

TEST(SceneGraphNode, AssignmentCopiesTheTreeEvenFromItsOwnDescendant) {
    SceneGraphNode root;
    SceneGraphNode& child = AddChild(root, Translation(1.0f, 0.0f, 0.0f));
    AddChild(child, Translation(0.0f, 1.0f, 0.0f));
    AddChild(child, Translation(0.0f, 2.0f, 0.0f));

    SceneGraphNode target;
    target = root;
    ASSERT_EQ(1u, target.mChildren.size());
    EXPECT_EQ(&target, target.mChildren[0].mParent);
    EXPECT_EQ(&target.mChildren[0], target.mChildren[0].mChildren[1].mParent);

    // The child's subtree replaces root's own, which held the source.
    root = root.mChildren[0];
    ASSERT_EQ(2u, root.mChildren.size());
    EXPECT_EQ(&root, root.mChildren[1].mParent);
    EXPECT_EQ(Translation(0.0f, 2.0f, 0.0f), root.mChildren[1].mLocalTransform);
}

TEST(SceneGraphNode, SetScaleReachesEveryNodeAndLeavesWorldTransformsAlone) {
    SceneGraphNode root;
    root.mLocalTransform = Translation(0.0f, 3.0f, 0.0f);
    AddChild(root, RotationZ(45.0f));
    SceneGraphNode& second = AddChild(root, Translation(2.0f, 0.0f, 0.0f));
    AddChild(second, kIdentity);
    root.Update();
    glm::mat4 before = second.mChildren[0].mWorldTransform;

    root.SetScale(glm::vec3(0.075f));
    EXPECT_EQ(glm::vec3(0.075f), root.mScale);
    EXPECT_EQ(glm::vec3(0.075f), root.mChildren[0].mScale);
    EXPECT_EQ(glm::vec3(0.075f), second.mScale);
    EXPECT_EQ(glm::vec3(0.075f), second.mChildren[0].mScale);
    root.Update();
    EXPECT_EQ(before, second.mChildren[0].mWorldTransform);
}

TEST(SceneGraphNode, DrawDrawsOnlyItsOwnMesh) {
    CountingMesh own;
    CountingMesh childMesh;
    SceneGraphNode bare;
    bare.mChildren.push_back(SceneGraphNode(&childMesh, nullptr));
    bare.Draw();
    EXPECT_EQ(0, childMesh.mDraws);

    SceneGraphNode node(&own, nullptr);
    node.mChildren.push_back(SceneGraphNode(&childMesh, nullptr));
    node.Draw();
    EXPECT_EQ(1, own.mDraws);
    EXPECT_EQ(0, childMesh.mDraws);
}
