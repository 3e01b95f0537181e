// Top-level generation: builds the courtyard, paints its textures and writes OBJ, MTL and PNGs
// into an output directory. Shared by the scenegen tool and its tests.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace scenegen {

constexpr const char* kObjFileName = "sponza.obj";
constexpr const char* kMtlFileName = "sponza.mtl";
constexpr const char* kTextureDirName = "textures";
constexpr const char* kDefaultTexturePrefix = "models/textures/";

struct GeneratorOptions {
    std::filesystem::path outputDir; // receives the OBJ, the MTL and a textures/ directory
    // Written in front of each texture file name in the MTL; the demo opens texture paths as
    // written, relative to its working directory (the repository root).
    std::string texturePrefix = kDefaultTexturePrefix;
    unsigned threads = 0; // texture workers; 0 = one per hardware thread
};

struct GeneratorResult {
    bool ok = false;
    std::string error;
    size_t meshes = 0;
    size_t triangles = 0;
    size_t materials = 0;
    size_t textures = 0;
};

GeneratorResult generate(const GeneratorOptions& options);

} // namespace scenegen
