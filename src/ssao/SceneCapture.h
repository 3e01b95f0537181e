// SceneCapture: what the truth takes from the renderer and its scene: the
// scene graph as ray-tracing geometry (with the alpha of each diffuse
// texture read back from GL), and the occlusion and G-buffer targets read
// back after a frame. Rows are turned top first, as the
// reference and the images keep them (GL counts rows from the bottom).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <glm/glm.hpp>

#include "ssao/AoMetrics.h"
#include "ssao/AoTrace.h"

class AoScene;
struct AlphaMask;
class Mesh;
class SceneGraphNode;
class Umbrelix;

// Adds every mesh under root to scene with the node's world transform and
// scale, as the renderer draws it. 0, or -1 (logged).
int AddSceneGraph(const SceneGraphNode& root, AoScene* scene);

// The same in two steps, so that the ray-tracing scene can be built away
// from the GL thread: what each mesh adds (the alpha read back from GL, on
// the context's thread), then the adding itself (any thread; the meshes
// must stay alive until it returns).
struct SceneMeshSource {
    const Mesh* mesh = nullptr;
    glm::mat4 world{1.0f};
    std::shared_ptr<const AlphaMask> mask;
};
std::vector<SceneMeshSource> CollectSceneGraph(const SceneGraphNode& root);
int AddSceneMeshes(const std::vector<SceneMeshSource>& meshes, AoScene* scene);

// The red channel of a render target as [0, 1] floats.
GreyImage ReadOcclusion(uint32_t texture, int width, int height);
// Per pixel the distance in front of the eye (-z of the view-space
// position) of the surface in the G-buffer, or 0 where it holds none: the
// geometry pass writes z < 0 (everything drawn lies past the near plane),
// the clear leaves (0, 0, 0).
std::vector<float> ReadViewDepth(uint32_t positionTexture, int width, int height);
// 1 where the G-buffer holds a surface.
std::vector<uint8_t> ReadGeometryMask(uint32_t positionTexture, int width, int height);
// The share of the targets' pixels where the G-buffer holds a surface, read
// in bands of rows so that the read-back does not raise the peak memory.
double DrawnFraction(const Umbrelix& renderer);
