// SceneGraphNode: the unit of the scene: a local and world transform, an
// optional mesh, a 32-entry texture table (entry 0 diffuse) and children held
// by value.
#pragma once

#include <vector>

#include <glm/glm.hpp>

class Mesh;
class Texture;

constexpr int kNodeTextureSlots = 32;

class SceneGraphNode {
public:
    SceneGraphNode();
    SceneGraphNode(Mesh* mesh, Texture* diffuse);
    SceneGraphNode(const SceneGraphNode& other); // deep copy of the subtree
    SceneGraphNode& operator=(const SceneGraphNode& other);
    virtual ~SceneGraphNode();

    // World = parent world x local, pre-order over the subtree. The scale is
    // not folded in: the renderer applies it at draw time.
    virtual void Update();
    // Draws this node's mesh only: no textures, uniforms or children.
    virtual void Draw();

    // Sets mScale on this node and every descendant.
    void SetScale(const glm::vec3& scale);

    SceneGraphNode* mParent;
    Mesh* mMesh;
    std::vector<Texture*> mTextures;
    glm::vec3 mScale;
    glm::mat4 mWorldTransform;
    glm::mat4 mLocalTransform;
    std::vector<SceneGraphNode> mChildren;
};
