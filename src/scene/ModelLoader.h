// ModelLoader: imports the scene file with Assimp into the system's own data:
// a counted zone array of Meshes (with their vertex arrays), a counted zone
// array of material Textures, and one child node per mesh under the root.
#pragma once

class Allocator;
class SceneGraphNode;
class Mesh;
class Texture;

constexpr const char* kModelPath = "models/sponza.obj";
// Assimp post-processing: tangent space, joined vertices, triangulation, smooth normals.
constexpr unsigned kModelImportFlags = 0x4B;

// Loads kModelPath. 0 on success, -1 on failure (logged with tag "Mesh"),
// which includes a path that is not a regular file and a scene without a
// single triangle to draw. Points and lines among the triangles are dropped
// with one warning that counts them. Whatever was handed out through meshes
// and textures belongs to the caller even on failure.
int LoadModel(Allocator* allocator, SceneGraphNode* root, Mesh** meshes, Texture** textures);
// The same for any path (tests load other models with it).
int LoadModelFile(const char* path, Allocator* allocator, SceneGraphNode* root, Mesh** meshes,
                  Texture** textures);
