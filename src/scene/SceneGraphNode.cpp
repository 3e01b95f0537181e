// SceneGraphNode: owns a node's transforms, texture table and children (by
// value); points at, but never owns, its mesh and textures.
//
// Children live by value in a vector, so they move whenever the vector
// reallocates or the tree is copied. A child's mParent must keep pointing at
// the node that holds it, or Update reads a stale parent. Vectors reallocate
// through the copy constructor (there is no move constructor), so the copy
// re-points each copied child whose mParent named the source node at the new
// copy. The invariant "mParent is the holder" then survives copies and
// reallocations at any depth. A child whose mParent named some other node (or
// none) keeps it unchanged: that was set on purpose by its owner.
#include "scene/SceneGraphNode.h"

#include "scene/Mesh.h"

namespace {

void Repoint(std::vector<SceneGraphNode>& children, const SceneGraphNode* from,
             SceneGraphNode* to) {
    for (SceneGraphNode& child : children) {
        if (child.mParent == from)
            child.mParent = to;
    }
}

} // namespace

SceneGraphNode::SceneGraphNode()
    : mParent(nullptr), mMesh(nullptr), mTextures(kNodeTextureSlots, nullptr), mScale(1.0f),
      mWorldTransform(1.0f), mLocalTransform(1.0f) {}

SceneGraphNode::SceneGraphNode(Mesh* mesh, Texture* diffuse) : SceneGraphNode() {
    mMesh = mesh;
    if (diffuse)
        mTextures[0] = diffuse;
}

SceneGraphNode::SceneGraphNode(const SceneGraphNode& other)
    : mParent(other.mParent), mMesh(other.mMesh), mTextures(other.mTextures), mScale(other.mScale),
      mWorldTransform(other.mWorldTransform), mLocalTransform(other.mLocalTransform),
      mChildren(other.mChildren) {
    Repoint(mChildren, &other, this);
}

SceneGraphNode& SceneGraphNode::operator=(const SceneGraphNode& other) {
    if (this == &other)
        return *this;
    // Copy the children aside first: other may sit inside this node's own
    // subtree, which the swap below releases.
    std::vector<SceneGraphNode> children(other.mChildren);
    Repoint(children, &other, this);
    mParent = other.mParent;
    mMesh = other.mMesh;
    mTextures = other.mTextures;
    mScale = other.mScale;
    mWorldTransform = other.mWorldTransform;
    mLocalTransform = other.mLocalTransform;
    // Swapping keeps the new children's addresses, so their pointers stay valid;
    // the old subtree is destroyed with the local vector.
    mChildren.swap(children);
    return *this;
}

SceneGraphNode::~SceneGraphNode() = default;

void SceneGraphNode::Update() {
    mWorldTransform = mParent ? mParent->mWorldTransform * mLocalTransform : mLocalTransform;
    for (SceneGraphNode& child : mChildren)
        child.Update();
}

void SceneGraphNode::Draw() {
    if (mMesh)
        mMesh->Draw();
}

void SceneGraphNode::SetScale(const glm::vec3& scale) {
    mScale = scale;
    for (SceneGraphNode& child : mChildren)
        child.SetScale(scale);
}
