// SceneCapture: builds the ray-tracing scene from the scene graph and reads
// the renderer's targets back.
#include "ssao/SceneCapture.h"

#include <algorithm>
#include <map>
#include <memory>

#include <SDL2/SDL.h>
#include <glm/gtc/matrix_transform.hpp>

#include "gpu/GLFunctions.h"
#include "gpu/Texture.h"
#include "gpu/TextureReadback.h"
#include "gpu/Window.h"
#include "scene/Mesh.h"
#include "scene/SceneGraphNode.h"
#include "ssao/AoScene.h"
#include "ssao/Umbrelix.h"

namespace {

constexpr int kReadBandRows = 64;

using MaskCache = std::map<uint32_t, std::shared_ptr<const AlphaMask>>;

// The alpha the scene shader sees at level 0, or null for a texture without
// alpha (it reads 1 everywhere, so nothing is ever cut). Images with alpha
// are uploaded as RGBA (alpha stored fourth) or, when grey, as RG (alpha
// stored second, swizzled into place when sampled).
std::shared_ptr<const AlphaMask> ReadAlphaMask(uint32_t texture) {
    const TextureLevel level = QueryTextureLevel(texture);
    const int channels = level.internalFormat == GL_RGBA8 ? 4
                         : level.internalFormat == GL_RG8 ? 2
                                                          : 0;
    if (channels == 0)
        return nullptr;
    auto mask = std::make_shared<AlphaMask>();
    mask->width = level.width;
    mask->height = level.height;
    size_t texels = size_t(mask->width) * mask->height;
    std::vector<uint8_t> stored(texels * channels);
    ReadTextureLevel(texture, channels == 4 ? GL_RGBA : GL_RG, GL_UNSIGNED_BYTE, 1, stored.data());
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

int AddSceneGraph(const SceneGraphNode& root, AoScene* scene) {
    return AddSceneMeshes(CollectSceneGraph(root), scene);
}

std::vector<SceneMeshSource> CollectSceneGraph(const SceneGraphNode& root) {
    MaskCache masks;
    std::vector<SceneMeshSource> meshes;
    CollectNode(root, &masks, &meshes);
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

// Read as floats: an 8-bit target reads as its bytes over 255, the
// accumulated mean (32-bit floats) as it is, unrounded.
GreyImage ReadOcclusion(uint32_t texture, int width, int height) {
    std::vector<float> red(size_t(width) * height);
    ReadTextureLevel(texture, GL_RED, GL_FLOAT, 4, red.data());
    GreyImage image;
    image.width = width;
    image.height = height;
    image.pixels = FlipRows(red, width, height);
    return image;
}

std::vector<float> ReadViewDepth(uint32_t positionTexture, int width, int height) {
    std::vector<glm::vec3> positions(size_t(width) * height);
    ReadTextureLevel(positionTexture, GL_RGB, GL_FLOAT, 4, positions.data());
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

double DrawnFraction(const Umbrelix& renderer) {
    const int width = renderer.TargetWidth();
    const int height = renderer.TargetHeight();
    std::vector<glm::vec3> band(size_t(width) * kReadBandRows);
    glBindFramebuffer(GL_FRAMEBUFFER, renderer.GBuffer());
    glReadBuffer(GL_COLOR_ATTACHMENT0 + kGBufferPositionAttachment);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    size_t drawn = 0;
    for (int y = 0; y < height; y += kReadBandRows) {
        const int rows = std::min(kReadBandRows, height - y);
        glReadPixels(0, y, width, rows, GL_RGB, GL_FLOAT, band.data());
        for (size_t i = 0; i < size_t(width) * size_t(rows); ++i)
            drawn += band[i].z < 0.0f ? 1 : 0;
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    return width * height > 0 ? double(drawn) / (double(width) * double(height)) : 0.0;
}
