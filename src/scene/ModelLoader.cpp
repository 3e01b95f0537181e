// ModelLoader: runs the Assimp import over SDL streams and copies what the
// system keeps (meshes, material textures, one node per mesh) into zone memory
// and GL objects; nothing of the importer outlives the call.
#include "scene/ModelLoader.h"

#include <algorithm>
#include <cassert>
#include <cctype>
#include <map>
#include <string>

#include <sys/stat.h>

#include <assimp/Importer.hpp>
#include <assimp/material.h>
#include <assimp/scene.h>

#include <SDL2/SDL_rwops.h>

#include "core/AssetFile.h"
#include "core/Logger.h"
#include "gpu/ImageUpload.h"
#include "gpu/Texture.h"
#include "memory/CountedArray.h"
#include "scene/Mesh.h"
#include "scene/SDLIOSystem.h"
#include "scene/SceneGraphNode.h"

namespace {

const char* const kTag = "Mesh";
const char* const kDiffuseColorKey = "$clr.diffuse";
const char* const kNoTriangles = "it holds no triangle meshes";
const char* const kNotText = "it is not text, and the importer finds no meshes in it";
constexpr size_t kScanChunkSize = 64 * 1024;
constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kEndOfFileMark = 0x1a;
constexpr unsigned char kDelete = 0x7f;

constexpr uint32_t kTriangleCorners = 3;
constexpr uint32_t kLineCorners = 2;
constexpr uint32_t kPointCorners = 1;

float* AllocFloats(Allocator* allocator, uint32_t vertices, uint32_t components) {
    uint64_t bytes = uint64_t(vertices) * components * sizeof(float);
    return static_cast<float*>(allocator->Alloc(bytes, TAG_MODEL));
}

// One float array of `components` per vertex of the mesh; on failure the
// error names what it was for.
float* AllocAttribute(Mesh* r, uint32_t components, const char* what) {
    float* array = AllocFloats(r->mAllocator, r->mNumVertices, components);
    if (!array)
        LogMessage(LOG_ERROR, kTag, "Couldn't allocate memory for %d %s", int(r->mNumVertices),
                   what);
    return array;
}

// Copies count vectors of aiVector3D (x, y, z) into packed floats.
void CopyVectors(float* out, const aiVector3D* in, uint32_t count) {
    for (uint32_t v = 0; v < count; ++v) {
        out[v * 3 + 0] = in[v].x;
        out[v * 3 + 1] = in[v].y;
        out[v * 3 + 2] = in[v].z;
    }
}

// A path as stored in a material, read from the model's folder instead of
// the working directory, with Windows separators turned into '/' (material
// files written on Windows name their textures that way).
std::string ModelRelativePath(const char* modelPath, const char* stored) {
    std::string relative(stored);
    for (char& c : relative) {
        if (c == '\\')
            c = '/';
    }
    std::string model(modelPath);
    size_t slash = model.find_last_of("/\\");
    if (relative.empty() || relative[0] == '/' || slash == std::string::npos)
        return relative;
    return model.substr(0, slash + 1) + relative;
}

// The path the diffuse texture of material i is loaded from, or "" when it names none.
std::string DiffuseTexturePath(const aiScene* scene, unsigned i, const char* modelPath) {
    aiString stored;
    if (aiGetMaterialTexture(scene->mMaterials[i], aiTextureType_DIFFUSE, 0, &stored) != AI_SUCCESS)
        return "";
    return TexturePath(modelPath, stored.C_Str());
}

// Loads the diffuse texture of every material into textures[i], from the
// path TexturePath picks, and lists those paths in names when given.
// Whatever path that is, the texture loader reports why it can't be read
// (missing, a directory, a FIFO, empty...). Each distinct file is decoded
// once, against one budget for the whole scene: record[i] is the texture
// material i draws with, the first one loaded from its file.
void LoadMaterialTextures(const aiScene* scene, const char* modelPath, Texture* textures,
                          std::vector<std::string>* names, std::vector<unsigned>* record) {
    assert((!textures || record) && "loaded textures are shared through the record list");
    TextureBudget budget;
    std::map<std::string, unsigned> firstWithPath;
    if (record) {
        record->resize(scene->mNumMaterials);
        for (unsigned i = 0; i < scene->mNumMaterials; ++i)
            (*record)[i] = i;
    }
    for (unsigned i = 0; i < scene->mNumMaterials; ++i) {
        std::string path = DiffuseTexturePath(scene, i, modelPath);
        if (path.empty())
            continue;
        if (names)
            names->push_back(path);
        if (!textures)
            continue;
        auto loaded = firstWithPath.emplace(path, i);
        if (!loaded.second) {
            (*record)[i] = loaded.first->second;
            continue;
        }
        // A texture that fails has been logged and keeps mId 0; loading goes on.
        LoadTexture(path.c_str(), &textures[i], &budget);
    }
}

// A regular file by name and version, so that an edited file is a new one.
struct FileIdentity {
    std::string path;
    off_t size = 0;
    struct timespec modified {};
    bool operator==(const FileIdentity& o) const {
        return path == o.path && size == o.size && modified.tv_sec == o.modified.tv_sec &&
               modified.tv_nsec == o.modified.tv_nsec;
    }
};

bool Identify(const char* path, FileIdentity* id) {
    struct stat info{};
    if (stat(path, &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    *id = FileIdentity{path, info.st_size, info.st_mtim};
    return true;
}

// Regular files the stream guard refused (and said why), for the whole
// process: the importer asks for a material library several times in one
// import, and the tools import a model twice, so the refusal is repeated
// quietly while the file is unchanged instead of logged each time.
// Models load on the main thread only, so the list needs no lock.
std::vector<FileIdentity> gRefused;

bool WasRefused(const FileIdentity& id) {
    return std::find(gRefused.begin(), gRefused.end(), id) != gRefused.end();
}

// One entry per path (its latest version), so the list stays as short as
// the set of files ever refused.
void RememberRefused(const FileIdentity& id) {
    auto samePath = [&id](const FileIdentity& known) { return known.path == id.path; };
    auto known = std::find_if(gRefused.begin(), gRefused.end(), samePath);
    if (known != gRefused.end())
        *known = id;
    else
        gRefused.push_back(id);
}

// The importer's file access for models: each refusal said once, and
// (when opened is given) each file opened for reading noted once.
class ModelIOSystem : public SDLIOSystem {
public:
    explicit ModelIOSystem(std::vector<std::string>* opened = nullptr) : mOpened(opened) {}
    Assimp::IOStream* Open(const char* path, const char* mode) override {
        FileIdentity id;
        bool regular = Identify(path, &id);
        if (regular && WasRefused(id))
            return nullptr;
        Assimp::IOStream* stream = SDLIOSystem::Open(path, mode);
        if (!stream && regular)
            RememberRefused(id);
        if (stream && mOpened &&
            std::find(mOpened->begin(), mOpened->end(), path) == mOpened->end())
            mOpened->push_back(path);
        return stream;
    }

private:
    std::vector<std::string>* mOpened;
};

// Faces of a mesh by corner count. Triangulation leaves triangles, lines and
// points; other holds any polygon it could not split (none is expected).
struct PrimitiveCount {
    uint32_t triangles = 0;
    uint32_t points = 0;
    uint32_t lines = 0;
    uint32_t other = 0;

    uint32_t Dropped() const { return points + lines + other; }
    void Add(const PrimitiveCount& more) {
        triangles += more.triangles;
        points += more.points;
        lines += more.lines;
        other += more.other;
    }
};

PrimitiveCount CountPrimitives(const aiMesh* m) {
    PrimitiveCount count;
    for (unsigned k = 0; k < m->mNumFaces; ++k) {
        switch (m->mFaces[k].mNumIndices) {
        case kTriangleCorners:
            ++count.triangles;
            break;
        case kLineCorners:
            ++count.lines;
            break;
        case kPointCorners:
            ++count.points;
            break;
        default:
            ++count.other;
            break;
        }
    }
    return count;
}

// A mesh with a material that exists (its node carries that material's
// texture). Only its triangles are drawn; a mesh without any has nothing to draw.
bool HasValidMaterial(const aiScene* scene, const aiMesh* m) {
    if (m->mMaterialIndex >= scene->mNumMaterials) {
        LogMessage(LOG_WARNING, kTag, "Skipping mesh \"%s\": material %u does not exist",
                   m->mName.C_Str(), m->mMaterialIndex);
        return false;
    }
    return true;
}

bool Drawable(const aiScene* scene, const aiMesh* m) {
    return m->mMaterialIndex < scene->mNumMaterials && CountPrimitives(m).triangles > 0;
}

// The primitives of every mesh the loader keeps, counted once, so a stray
// line among a mesh's triangles costs one warning instead of the mesh. A file
// without meshes is an empty scene, which loads (its materials' textures
// too); -1 (logged) when meshes are there but none can be drawn.
int CheckPrimitives(const aiScene* scene, const char* path) {
    if (scene->mNumMeshes == 0) {
        LogMessage(LOG_WARNING, kTag, "\"%s\" holds no meshes: the scene is empty", path);
        return 0;
    }
    PrimitiveCount total;
    for (unsigned i = 0; i < scene->mNumMeshes; ++i) {
        if (HasValidMaterial(scene, scene->mMeshes[i]))
            total.Add(CountPrimitives(scene->mMeshes[i]));
    }
    if (total.triangles == 0) {
        LogMessage(LOG_ERROR, kTag, "Error while loading \"%s\": %s ", path, kNoTriangles);
        return -1;
    }
    if (total.Dropped() > 0)
        LogMessage(LOG_WARNING, kTag,
                   "Dropped %u faces of \"%s\" that are not triangles (points: %u, lines: %u); "
                   "only triangles are drawn",
                   total.Dropped(), path, total.points, total.lines);
    return 0;
}

int CopyPositions(const aiMesh* m, Mesh* r) {
    r->mPositions = AllocAttribute(r, kPositionComponents, "positions");
    if (!r->mPositions)
        return -1;
    CopyVectors(r->mPositions, m->mVertices, r->mNumVertices);
    return 0;
}

// The material's diffuse colour, when it has one, wins over vertex colours.
int CopyColors(const aiMesh* m, const aiMaterial* material, Mesh* r) {
    aiColor4D diffuse(0.0f, 0.0f, 0.0f, 0.0f);
    bool hasDiffuse = aiGetMaterialColor(material, kDiffuseColorKey, 0, 0, &diffuse) == AI_SUCCESS;
    bool hasVertexColors = m->HasVertexColors(0) && r->mNumVertices > 0;
    if (!hasDiffuse && !hasVertexColors)
        return 0;
    r->mColors = AllocAttribute(r, kColorComponents, "colors");
    if (!r->mColors)
        return -1;
    for (uint32_t v = 0; v < r->mNumVertices; ++v) {
        const aiColor4D& c = hasDiffuse ? diffuse : m->mColors[0][v];
        float* out = r->mColors + v * kColorComponents;
        out[0] = c.r;
        out[1] = c.g;
        out[2] = c.b;
        out[3] = c.a;
    }
    return 0;
}

int CopyTexCoords(const aiMesh* m, Mesh* r) {
    if (!m->HasTextureCoords(0) || r->mNumVertices == 0)
        return 0;
    r->mTexCoords = AllocAttribute(r, kTexCoordComponents, "texture coordinates");
    if (!r->mTexCoords)
        return -1;
    for (uint32_t v = 0; v < r->mNumVertices; ++v) {
        r->mTexCoords[v * kTexCoordComponents + 0] = m->mTextureCoords[0][v].x;
        r->mTexCoords[v * kTexCoordComponents + 1] = m->mTextureCoords[0][v].y;
    }
    return 0;
}

int CopyNormals(const aiMesh* m, Mesh* r) {
    if (!m->HasNormals() || r->mNumVertices == 0)
        return 0;
    r->mNormals = AllocAttribute(r, kNormalComponents, "normals");
    if (!r->mNormals)
        return -1;
    CopyVectors(r->mNormals, m->mNormals, r->mNumVertices);
    return 0;
}

// Tangents come only together with bitangents: a shader building the tangent
// frame needs both. Whichever array did allocate stays with the mesh on failure.
int CopyTangentFrame(const aiMesh* m, Mesh* r) {
    if (!m->mTangents || !m->mBitangents || r->mNumVertices == 0)
        return 0;
    r->mTangents = AllocFloats(r->mAllocator, r->mNumVertices, kTangentComponents);
    r->mBitangents = AllocFloats(r->mAllocator, r->mNumVertices, kBitangentComponents);
    if (!r->mTangents || !r->mBitangents) {
        LogMessage(LOG_ERROR, kTag, "Couldn't allocate memory for %d tangents/bitangents",
                   int(r->mNumVertices));
        return -1;
    }
    CopyVectors(r->mTangents, m->mTangents, r->mNumVertices);
    CopyVectors(r->mBitangents, m->mBitangents, r->mNumVertices);
    return 0;
}

// The triangles map to index triples in face order; points and lines among
// them are left out (CheckPrimitives has counted them).
int CopyIndices(const aiMesh* m, Mesh* r) {
    r->mNumIndices = kTriangleCorners * CountPrimitives(m).triangles;
    uint64_t bytes = uint64_t(r->mNumIndices) * sizeof(uint32_t);
    r->mIndices = static_cast<uint32_t*>(r->mAllocator->Alloc(bytes, TAG_MODEL));
    if (!r->mIndices) {
        LogMessage(LOG_ERROR, kTag, "Couldn't allocate memory for %d indices", int(r->mNumIndices));
        return -1;
    }
    uint32_t* out = r->mIndices;
    for (uint32_t k = 0; k < m->mNumFaces; ++k) {
        const aiFace& face = m->mFaces[k];
        if (face.mNumIndices != kTriangleCorners)
            continue;
        for (uint32_t corner = 0; corner < kTriangleCorners; ++corner)
            *out++ = face.mIndices[corner];
    }
    assert(out == r->mIndices + r->mNumIndices && "every triangle fills exactly its triple");
    return 0;
}

// Copies mesh m into r and creates its GL buffers. -1 (logged) on failure;
// whatever was allocated stays with r, which releases it when destroyed.
int BuildMesh(const aiMesh* m, const aiMaterial* material, Allocator* allocator, Mesh* r) {
    r->mAllocator = allocator;
    r->mName = m->mName.C_Str();
    r->mNumVertices = m->mNumVertices;
    if (CopyPositions(m, r) != 0 || CopyColors(m, material, r) != 0 || CopyTexCoords(m, r) != 0 ||
        CopyNormals(m, r) != 0 || CopyTangentFrame(m, r) != 0 || CopyIndices(m, r) != 0)
        return -1;
    return r->CreateBuffers() == 0 ? 0 : -1;
}

void AddNode(SceneGraphNode* root, Mesh* mesh, Texture* diffuse) {
    SceneGraphNode node(mesh, diffuse);
    node.mParent = root;
    root->mChildren.push_back(node);
}

// Hands the two counted arrays to the caller; -1 (logged) when the zone can't hold them.
int AllocateArrays(const aiScene* scene, Allocator* allocator, Mesh** meshes, Texture** textures) {
    *meshes = NewCountedArray<Mesh>(allocator, scene->mNumMeshes, TAG_MODEL);
    if (!*meshes) {
        LogMessage(LOG_ERROR, kTag, "Couldn't allocate memory for %d meshes",
                   int(scene->mNumMeshes));
        return -1;
    }
    *textures = NewCountedArray<Texture>(allocator, scene->mNumMaterials, TAG_MODEL);
    if (!*textures) {
        LogMessage(LOG_ERROR, kTag, "Couldn't allocate memory for %d textures",
                   int(scene->mNumMaterials));
        return -1;
    }
    return 0;
}

// What post-processing and the copy need to walk the scene safely: every
// listed mesh and material present, faces with indices that name existing
// vertices. The importer hands out malformed files (a huge vertex count and
// faces without indices, say) as scenes, and its post-processing then aborts
// or corrupts the process instead of failing. Returns the first violation, or null.
const char* MalformedScene(const aiScene* scene) {
    if ((scene->mNumMeshes > 0 && !scene->mMeshes) ||
        (scene->mNumMaterials > 0 && !scene->mMaterials))
        return "the mesh or material list is missing";
    for (unsigned i = 0; i < scene->mNumMaterials; ++i) {
        if (!scene->mMaterials[i])
            return "a material is missing";
    }
    for (unsigned i = 0; i < scene->mNumMeshes; ++i) {
        const aiMesh* m = scene->mMeshes[i];
        if (!m || (m->mNumVertices > 0 && !m->mVertices) || (m->mNumFaces > 0 && !m->mFaces))
            return "a mesh is missing its vertices or faces";
        for (unsigned k = 0; k < m->mNumFaces; ++k) {
            const aiFace& face = m->mFaces[k];
            if (face.mNumIndices == 0 || !face.mIndices)
                return "a face has no indices";
            for (unsigned c = 0; c < face.mNumIndices; ++c) {
                if (face.mIndices[c] >= m->mNumVertices)
                    return "a face names a vertex that does not exist";
            }
        }
    }
    return nullptr;
}

// Control bytes that no text holds: a binary file. NUL is allowed (UTF-16
// text of ASCII is half NULs), and so are white space and the end-of-file
// mark (0x1a) old editors leave.
bool IsBinaryByte(unsigned char c) {
    return (c < kFirstPrintable && c != '\0' && !std::isspace(c) && c != kEndOfFileMark) ||
           c == kDelete;
}

// Whether the file at path holds a byte that text never does; false when it
// can't be read (the importer has just read it).
bool HoldsBinaryBytes(const char* path) {
    SDL_RWops* file = OpenRegularFile(path);
    if (!file)
        return false;
    std::vector<unsigned char> chunk(kScanChunkSize);
    bool binary = false;
    size_t got = 0;
    while (!binary && (got = SDL_RWread(file, chunk.data(), 1, chunk.size())) > 0)
        binary = std::any_of(chunk.begin(), chunk.begin() + got, IsBinaryByte);
    SDL_RWclose(file);
    return binary;
}

// Parses path without post-processing and checks what it holds. An empty
// scene is what a text file of no faces is (comments, materials, a file cut
// before its first face); from a binary file it means the importer made
// nothing of it. Null with the reason in *reason on failure; nothing logged.
const aiScene* ParseScene(Assimp::Importer& importer, const char* path, std::string* reason) {
    // The importer would call a directory or a FIFO a missing file; say what it is.
    bool notRegular = false;
    if (SDL_RWops* probe = OpenRegularFile(path, &notRegular))
        SDL_RWclose(probe);
    if (notRegular) {
        *reason = SDL_GetError();
        return nullptr;
    }
    const aiScene* scene = importer.ReadFile(path, 0);
    const char* malformed = scene ? MalformedScene(scene) : nullptr;
    if (!scene || malformed) {
        *reason = malformed ? malformed : importer.GetErrorString();
        return nullptr;
    }
    if (scene->mNumMeshes == 0 && HoldsBinaryBytes(path)) {
        *reason = kNotText;
        return nullptr;
    }
    return scene;
}

// Parses path, checks the result, then post-processes it. Null (logged) on failure.
const aiScene* ReadScene(Assimp::Importer& importer, const char* path) {
    std::string reason;
    const aiScene* scene = ParseScene(importer, path, &reason);
    if (scene && !(scene = importer.ApplyPostProcessing(kModelImportFlags)))
        reason = importer.GetErrorString();
    if (!scene)
        LogMessage(LOG_ERROR, kTag, "Error while loading \"%s\": %s ", path, reason.c_str());
    return scene;
}

// Whether a parsed scene has a face that triangulation turns into
// triangles, in a mesh with a material: what CheckPrimitives finds after it.
bool HasPolygons(const aiScene* scene) {
    for (unsigned i = 0; i < scene->mNumMeshes; ++i) {
        const aiMesh* m = scene->mMeshes[i];
        if (m->mMaterialIndex >= scene->mNumMaterials)
            continue;
        for (unsigned k = 0; k < m->mNumFaces; ++k) {
            if (m->mFaces[k].mNumIndices >= kTriangleCorners)
                return true;
        }
    }
    return false;
}

} // namespace

std::string TexturePath(const char* modelPath, const char* stored) {
    if (PathExists(stored))
        return stored;
    std::string relative = ModelRelativePath(modelPath, stored);
    return PathExists(relative.c_str()) ? relative : std::string(stored);
}

bool CanReadModel(const std::string& path, std::string* error) {
    Assimp::Importer importer;
    importer.SetIOHandler(new ModelIOSystem()); // owned by the importer
    std::string reason;
    const aiScene* scene = ParseScene(importer, path.c_str(), &reason);
    if (scene && scene->mNumMeshes > 0 && !HasPolygons(scene))
        reason = kNoTriangles;
    if (!reason.empty())
        *error = "cannot read model \"" + path + "\": " + reason;
    return reason.empty();
}

int ImportModelFiles(const char* path, ModelFiles* files) {
    *files = ModelFiles();
    Assimp::Importer importer;
    importer.SetIOHandler(new ModelIOSystem(&files->read)); // owned by the importer
    const aiScene* scene = ReadScene(importer, path);
    if (!scene || CheckPrimitives(scene, path) != 0)
        return -1;
    LoadMaterialTextures(scene, path, nullptr, &files->textures, nullptr);
    return 0;
}

int LoadModel(Allocator* allocator, SceneGraphNode* root, Mesh** meshes, Texture** textures) {
    return LoadModelFile(kModelPath, allocator, root, meshes, textures);
}

int LoadModelFile(const char* path, Allocator* allocator, SceneGraphNode* root, Mesh** meshes,
                  Texture** textures, ModelFiles* files) {
    // Nothing is handed out yet: the caller may release both outputs on any result.
    *meshes = nullptr;
    *textures = nullptr;
    if (files)
        *files = ModelFiles();
    Assimp::Importer importer;
    // The importer owns and deletes its file access.
    importer.SetIOHandler(new ModelIOSystem(files ? &files->read : nullptr));
    const aiScene* scene = ReadScene(importer, path);
    if (!scene)
        return -1;
    LogMessage(LOG_INFO, kTag, "%s loaded: contains %d meshes", path, int(scene->mNumMeshes));
    if (CheckPrimitives(scene, path) != 0)
        return -1;
    if (AllocateArrays(scene, allocator, meshes, textures) != 0)
        return -1;
    std::vector<unsigned> textureOf;
    LoadMaterialTextures(scene, path, *textures, files ? &files->textures : nullptr, &textureOf);

    for (unsigned i = 0; i < scene->mNumMeshes; ++i) {
        const aiMesh* m = scene->mMeshes[i];
        if (!Drawable(scene, m))
            continue;
        const aiMaterial* material = scene->mMaterials[m->mMaterialIndex];
        if (BuildMesh(m, material, allocator, &(*meshes)[i]) != 0)
            return -1;
        AddNode(root, &(*meshes)[i], &(*textures)[textureOf[m->mMaterialIndex]]);
    }
    return 0;
}
