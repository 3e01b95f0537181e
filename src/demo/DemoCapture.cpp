// DemoCapture: builds the ray-tracing scene from the demo's scene graph and
// reads the demo's render targets back.
#include "demo/DemoCapture.h"

#include <map>
#include <memory>

#include <SDL2/SDL.h>
#include <glm/gtc/matrix_transform.hpp>

#include "ssao/AoScene.h"
#include "core/Logger.h"
#include "demo/Vesperon.h"
#include "gpu/GLFunctions.h"
#include "gpu/Texture.h"
#include "gpu/Window.h"
#include "scene/Mesh.h"
#include "scene/SceneGraphNode.h"
#include "ssao/SSAOKernel.h"
#include "ssao/Umbrelix.h"

namespace {

const char* const kTag = "AoTruth";

PFNGLGETTEXIMAGEPROC gGetTexImage = nullptr;
PFNGLGETTEXLEVELPARAMETERIVPROC gGetTexLevelParameteriv = nullptr;
PFNGLFINISHPROC gFinish = nullptr;

using MaskCache = std::map<uint32_t, std::shared_ptr<const AlphaMask>>;

GLint LevelParameter(uint32_t texture, GLenum name) {
    GLint value = 0;
    glBindTexture(GL_TEXTURE_2D, texture);
    gGetTexLevelParameteriv(GL_TEXTURE_2D, 0, name, &value);
    return value;
}

// The alpha the scene shader sees at level 0, or null for a texture without
// alpha (it reads 1 everywhere, so nothing is ever cut). Images with alpha
// are uploaded as RGBA (alpha stored fourth) or, when grey, as RG (alpha
// stored second, swizzled into place when sampled).
std::shared_ptr<const AlphaMask> ReadAlphaMask(uint32_t texture) {
    GLint format = LevelParameter(texture, GL_TEXTURE_INTERNAL_FORMAT);
    int channels = format == GL_RGBA8 ? 4 : format == GL_RG8 ? 2 : 0;
    if (channels == 0)
        return nullptr;
    auto mask = std::make_shared<AlphaMask>();
    mask->width = LevelParameter(texture, GL_TEXTURE_WIDTH);
    mask->height = LevelParameter(texture, GL_TEXTURE_HEIGHT);
    size_t texels = size_t(mask->width) * mask->height;
    std::vector<uint8_t> stored(texels * channels);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    gGetTexImage(GL_TEXTURE_2D, 0, channels == 4 ? GL_RGBA : GL_RG, GL_UNSIGNED_BYTE,
                 stored.data());
    mask->alpha.resize(texels);
    bool opaque = true;
    for (size_t i = 0; i < texels; ++i) {
        mask->alpha[i] = stored[i * channels + channels - 1];
        opaque = opaque && mask->alpha[i] == 255;
    }
    if (opaque)
        return nullptr;
    return mask;
}

void CollectNode(const SceneGraphNode& node, MaskCache* masks, std::vector<SceneMeshSource>* out) {
    if (node.mMesh) {
        const Texture* diffuse = node.mTextures.empty() ? nullptr : node.mTextures[0];
        SceneMeshSource source;
        source.mesh = node.mMesh;
        if (diffuse && diffuse->mId != 0) {
            auto found = masks->find(diffuse->mId);
            if (found == masks->end())
                found = masks->emplace(diffuse->mId, ReadAlphaMask(diffuse->mId)).first;
            source.mask = found->second;
        }
        // The renderer applies the scale first, in the node's own frame.
        source.world = node.mWorldTransform * glm::scale(glm::mat4(1.0f), node.mScale);
        out->push_back(source);
    }
    for (const SceneGraphNode& child : node.mChildren)
        CollectNode(child, masks, out);
}

// GL rows run bottom to top; ours top to bottom.
template <typename T> std::vector<T> FlipRows(const std::vector<T>& in, int width, int height) {
    std::vector<T> out(in.size());
    for (int y = 0; y < height; ++y)
        std::copy(in.begin() + size_t(height - 1 - y) * width,
                  in.begin() + size_t(height - y) * width, out.begin() + size_t(y) * width);
    return out;
}

} // namespace

int LoadCaptureFunctions() {
    gGetTexImage = reinterpret_cast<PFNGLGETTEXIMAGEPROC>(SDL_GL_GetProcAddress("glGetTexImage"));
    gGetTexLevelParameteriv = reinterpret_cast<PFNGLGETTEXLEVELPARAMETERIVPROC>(
        SDL_GL_GetProcAddress("glGetTexLevelParameteriv"));
    gFinish = reinterpret_cast<PFNGLFINISHPROC>(SDL_GL_GetProcAddress("glFinish"));
    if (!gGetTexImage || !gGetTexLevelParameteriv || !gFinish) {
        LogMessage(LOG_ERROR, kTag, "The GL driver lacks texture read-back");
        return -1;
    }
    return 0;
}

int AddSceneGraph(const SceneGraphNode& root, AoScene* scene) {
    return AddSceneMeshes(CollectSceneGraph(root), scene);
}

std::vector<SceneMeshSource> CollectSceneGraph(const SceneGraphNode& root) {
    MaskCache masks;
    std::vector<SceneMeshSource> meshes;
    CollectNode(root, &masks, &meshes);
    glBindTexture(GL_TEXTURE_2D, 0);
    return meshes;
}

int AddSceneMeshes(const std::vector<SceneMeshSource>& meshes, AoScene* scene) {
    for (const SceneMeshSource& source : meshes) {
        const Mesh& mesh = *source.mesh;
        const uint32_t* indices = mesh.mNumIndices > 0 ? mesh.mIndices : nullptr;
        if (scene->AddMesh(mesh.mPositions, mesh.mNumVertices, indices, mesh.mNumIndices,
                           source.world, mesh.mTexCoords, source.mask) != 0)
            return -1;
    }
    return 0;
}

CameraSetup DemoCamera(Vesperon& app) {
    Umbrelix* renderer = app.GetRenderer();
    CameraSetup camera;
    camera.view = renderer->mViewMatrix;
    camera.proj = renderer->mProjectionMatrix;
    // The render targets have the drawable size, which a high-DPI window
    // makes larger than the window.
    SDL_GL_GetDrawableSize(renderer->mWindow->mSDLWindow, &camera.width, &camera.height);
    return camera;
}

GreyImage ReadOcclusion(uint32_t texture, int width, int height) {
    gFinish();
    std::vector<uint8_t> red(size_t(width) * height);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    gGetTexImage(GL_TEXTURE_2D, 0, GL_RED, GL_UNSIGNED_BYTE, red.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    GreyImage image;
    image.width = width;
    image.height = height;
    image.pixels.resize(red.size());
    std::vector<uint8_t> flipped = FlipRows(red, width, height);
    for (size_t i = 0; i < flipped.size(); ++i)
        image.pixels[i] = float(flipped[i]) / 255.0f;
    return image;
}

std::vector<float> ReadViewDepth(uint32_t positionTexture, int width, int height) {
    gFinish();
    std::vector<glm::vec3> positions(size_t(width) * height);
    glBindTexture(GL_TEXTURE_2D, positionTexture);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    gGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_FLOAT, positions.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    std::vector<float> depth(positions.size());
    for (size_t i = 0; i < positions.size(); ++i)
        depth[i] = positions[i].z < 0.0f ? -positions[i].z : 0.0f;
    return FlipRows(depth, width, height);
}

std::vector<uint8_t> ReadGeometryMask(uint32_t positionTexture, int width, int height) {
    std::vector<float> depth = ReadViewDepth(positionTexture, width, height);
    std::vector<uint8_t> mask(depth.size());
    for (size_t i = 0; i < depth.size(); ++i)
        mask[i] = depth[i] > 0.0f ? 1 : 0;
    return mask;
}

void RedrawNoise(Umbrelix* renderer) {
    std::vector<glm::vec3> noise;
    GenerateNoise(noise);
    renderer->mNoise = noise;
    glBindTexture(GL_TEXTURE_2D, renderer->mNoiseTexture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, kNoiseSize, kNoiseSize, GL_RGB, GL_FLOAT, noise.data());
    glBindTexture(GL_TEXTURE_2D, 0);
}
