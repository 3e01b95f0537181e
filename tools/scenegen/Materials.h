// The scene's material catalogue: the names the architecture assigns to meshes, their MTL
// colours, and which procedural texture each textured material uses.
#pragma once

#include "Mesh.h"

#include <vector>

namespace scenegen::mat {

inline constexpr const char* kStoneBlocks = "stone_blocks";
inline constexpr const char* kStoneDark = "stone_dark";
inline constexpr const char* kBrick = "brick";
inline constexpr const char* kFloorTiles = "floor_tiles";
inline constexpr const char* kMosaic = "mosaic";
inline constexpr const char* kTerracottaTiles = "terracotta_tiles";
inline constexpr const char* kMarbleWhite = "marble_white";
inline constexpr const char* kMarbleGreen = "marble_green";
inline constexpr const char* kSandstone = "sandstone";
inline constexpr const char* kStoneBands = "stone_bands";
inline constexpr const char* kStoneSteps = "stone_steps";
inline constexpr const char* kPlaster = "plaster";
inline constexpr const char* kWoodBeams = "wood_beams";
inline constexpr const char* kWoodPanels = "wood_panels";
inline constexpr const char* kRoofTiles = "roof_tiles";
inline constexpr const char* kFabricRed = "fabric_red";
inline constexpr const char* kFabricGreen = "fabric_green";
inline constexpr const char* kFabricBlue = "fabric_blue";
inline constexpr const char* kTerracottaVase = "terracotta_vase";
inline constexpr const char* kFoliage = "foliage";
inline constexpr const char* kBanner = "banner";
// Colour-only materials (no diffuse map).
inline constexpr const char* kMetalDark = "metal_dark";
inline constexpr const char* kGlassDark = "glass_dark";
inline constexpr const char* kSoil = "soil";

// All materials in MTL order. Textured ones use the texture of the same name.
std::vector<Material> catalogue();

} // namespace scenegen::mat
