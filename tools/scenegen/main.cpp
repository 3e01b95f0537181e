// scenegen: writes the demo's default scene (OBJ, MTL and procedural PNG textures).
// Usage: scenegen <models-dir> [texture-path-prefix-in-mtl]
#include "Generator.h"
#include "core/StandardStreams.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (!OpenClosedStandardStreams("scenegen"))
        return 1;
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr,
                     "usage: %s <models-dir> [texture-prefix]\n"
                     "  writes <models-dir>/%s, %s and %s/*.png; the MTL names textures as\n"
                     "  <texture-prefix><name>.png (default \"%s\", relative to the directory\n"
                     "  the demo runs in)\n",
                     argv[0], scenegen::kObjFileName, scenegen::kMtlFileName,
                     scenegen::kTextureDirName, scenegen::kDefaultTexturePrefix);
        return 2;
    }
    scenegen::GeneratorOptions options;
    options.outputDir = argv[1];
    if (argc == 3)
        options.texturePrefix = argv[2];

    const scenegen::GeneratorResult result = scenegen::generate(options);
    if (!result.ok) {
        std::fprintf(stderr, "scenegen: %s\n", result.error.c_str());
        return 1;
    }
    std::printf("scenegen: %zu meshes, %zu triangles, %zu materials, %zu textures -> %s\n",
                result.meshes, result.triangles, result.materials, result.textures,
                options.outputDir.string().c_str());
    return 0;
}
