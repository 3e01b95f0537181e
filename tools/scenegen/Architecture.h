// Assembles the default scene: an arcaded courtyard (two storeys of columns and arches round a
// tiled court, galleries with beamed ceilings, balustrades, drapes and planters) from primitives.
#pragma once

#include "Mesh.h"

namespace scenegen {

// Overall extent the courtyard is built to, in model units (floor at y = 0, centred on x = z = 0).
constexpr float kSceneLengthX = 3800.0f;
constexpr float kSceneHeightY = 1500.0f;
constexpr float kSceneDepthZ = 2200.0f;

// Fills scene with the material catalogue and all courtyard meshes. Deterministic.
void buildCourtyard(Scene& scene);

} // namespace scenegen
