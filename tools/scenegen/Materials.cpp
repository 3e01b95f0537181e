// Material catalogue. Textured materials keep a white diffuse colour so the map shows unaltered
// (MTL multiplies Kd by map_Kd); polished stone gets a little specular, cloth and clay none.
#include "Materials.h"

namespace scenegen::mat {

namespace {

constexpr Vec3 kWhite{1.0f, 1.0f, 1.0f};

Material textured(const char* name, float specular, float shininess) {
    return {name, kWhite, specular, shininess, name};
}

Material coloured(const char* name, Vec3 colour, float specular, float shininess) {
    return {name, colour, specular, shininess, ""};
}

} // namespace

std::vector<Material> catalogue() {
    return {
        textured(kStoneBlocks, 0.05f, 8.0f),
        textured(kStoneDark, 0.05f, 8.0f),
        textured(kBrick, 0.02f, 4.0f),
        textured(kFloorTiles, 0.25f, 32.0f),
        textured(kMosaic, 0.15f, 24.0f),
        textured(kTerracottaTiles, 0.05f, 8.0f),
        textured(kMarbleWhite, 0.35f, 48.0f),
        textured(kMarbleGreen, 0.35f, 48.0f),
        textured(kSandstone, 0.03f, 6.0f),
        textured(kStoneBands, 0.04f, 8.0f),
        textured(kStoneSteps, 0.05f, 8.0f),
        textured(kPlaster, 0.0f, 2.0f),
        textured(kWoodBeams, 0.08f, 12.0f),
        textured(kWoodPanels, 0.10f, 16.0f),
        textured(kRoofTiles, 0.04f, 8.0f),
        textured(kFabricRed, 0.0f, 2.0f),
        textured(kFabricGreen, 0.0f, 2.0f),
        textured(kFabricBlue, 0.0f, 2.0f),
        textured(kTerracottaVase, 0.1f, 12.0f),
        textured(kFoliage, 0.02f, 4.0f),
        textured(kBanner, 0.0f, 2.0f),
        coloured(kMetalDark, {0.12f, 0.11f, 0.10f}, 0.6f, 64.0f),
        coloured(kGlassDark, {0.08f, 0.10f, 0.12f}, 0.8f, 96.0f),
        coloured(kSoil, {0.20f, 0.13f, 0.08f}, 0.0f, 2.0f),
    };
}

} // namespace scenegen::mat
