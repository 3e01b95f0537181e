// ModelLoader: imports the scene file with Assimp into the system's own data:
// a counted zone array of Meshes (with their vertex arrays), a counted zone
// array of material Textures, and one child node per mesh under the root.
#pragma once

#include <string>
#include <vector>

class Allocator;
class SceneGraphNode;
class Mesh;
class Texture;

constexpr const char* kModelPath = "models/sponza.obj";
// Assimp post-processing: tangent space, joined vertices, triangulation, smooth normals.
constexpr unsigned kModelImportFlags = 0x4B;

// Loads kModelPath. The textures of the scene share one budget, and a file
// named by several materials is loaded once, into the record of the first:
// the nodes of the others point at that record, and theirs stay without a
// name. 0 on success, -1 on failure (logged with tag "Mesh"),
// which includes a path that is not a regular file and a scene without a
// single triangle to draw. Points and lines among the triangles are dropped
// with one warning that counts them. Whatever was handed out through meshes
// and textures belongs to the caller even on failure.
int LoadModel(Allocator* allocator, SceneGraphNode* root, Mesh** meshes, Texture** textures);
// Every file a model reads: read holds the model and each material library
// the importer opened, in the order it opened them (each once); textures the
// diffuse texture of each material that names one, as LoadTexture is given it.
struct ModelFiles {
    std::vector<std::string> read;
    std::vector<std::string> textures;
};
// The same for any path (tests and the tools load other models with it);
// with files, it also lists every file the load read.
int LoadModelFile(const char* path, Allocator* allocator, SceneGraphNode* root, Mesh** meshes,
                  Texture** textures, ModelFiles* files = nullptr);
// Imports path with the checks and post-processing of LoadModelFile and
// lists its files, keeping nothing else (tools time the import with it and
// key caches on the files). 0, or -1 logged as LoadModelFile logs it.
int ImportModelFiles(const char* path, ModelFiles* files);
// Whether the importer reads path as a model LoadModelFile takes: its parse
// and checks without the post-processing, textures or GL, so a file that is
// not a model is refused before a window opens. True, or false with
// "cannot read model "<path>": <the importer's reason>" in *error, which is
// left to the caller to say (a material file the load would refuse is
// logged, once, as the load logs it).
bool CanReadModel(const std::string& path, std::string* error);
// Where a texture path stored in a material is read from: as stored when
// that file exists; else relative to the model's folder, with backslashes read as
// '/', when that exists; else as stored (its loader then says why it fails).
std::string TexturePath(const char* modelPath, const char* stored);
