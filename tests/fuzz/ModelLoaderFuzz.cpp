// The model loader on mutated small OBJ and MTL files, read through the SDL
// stream bridge like the real scene: the input is an OBJ text and, after the
// first zero byte, the MTL text it names (m.mtl), both written to a scratch
// directory beside a small valid texture. Whatever the importer makes of
// them, the load returns 0 or -1, the root gets at most one child per mesh,
// and every zone block comes back when the arrays are destroyed.
#include <cstdint>
#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "gpu/Texture.h"
#include "memory/CountedArray.h"
#include "memory/ZoneAllocator.h"
#include "scene/Mesh.h"
#include "scene/ModelLoader.h"
#include "scene/SceneGraphNode.h"
#include "support/TempDir.h"

namespace {

constexpr uint64_t kFuzzHeapSize = 16 << 20;

// A 2 x 2 RGB PNG, the texture the seed materials name (t.png).
const unsigned char kTinyPng[] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44,
    0x52, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x02, 0x08, 0x02, 0x00, 0x00, 0x00, 0xfd,
    0xd4, 0x9a, 0x73, 0x00, 0x00, 0x00, 0x12, 0x49, 0x44, 0x41, 0x54, 0x78, 0xda, 0x63, 0xf8,
    0xcf, 0xc0, 0xc0, 0x00, 0xc2, 0x0c, 0xff, 0x81, 0x00, 0x00, 0x1f, 0xee, 0x05, 0xfb, 0xf1,
    0xab, 0xba, 0x77, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82,
};

struct Fixture {
    Fixture() : zone(kFuzzHeapSize), dir("vesperon-fuzz-model") {
        QuietLog();
        RequireFuzzGL();
        FUZZ_CHECK(zone.Init() == 0, "no zone heap");
        FUZZ_CHECK(!dir.Path().empty(), "no scratch directory");
        FUZZ_CHECK(dir.Write("t.png", std::string(reinterpret_cast<const char*>(kTinyPng),
                                                  sizeof(kTinyPng))),
                   "could not write the texture");
    }
    ZoneAllocator zone;
    TempDir dir;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Fixture f;
    const char* text = reinterpret_cast<const char*>(data);
    const char* split = static_cast<const char*>(std::memchr(text, 0, size));
    std::string obj(text, split ? split : text + size);
    std::string mtl = split ? std::string(split + 1, text + size) : std::string();
    FUZZ_CHECK(f.dir.Write("m.obj", obj) && f.dir.Write("m.mtl", mtl), "could not write the model");

    SceneGraphNode root;
    Mesh* meshes = nullptr;
    Texture* textures = nullptr;
    int result = LoadModelFile(f.dir.File("m.obj").c_str(), &f.zone, &root, &meshes, &textures);
    FUZZ_CHECK(result == 0 || result == -1, "load result is neither 0 nor -1");
    if (result == 0)
        FUZZ_CHECK(meshes != nullptr && textures != nullptr, "a successful load without arrays");
    if (meshes)
        FUZZ_CHECK(root.mChildren.size() <= CountedArraySize(meshes), "more nodes than meshes");
    DeleteCountedArray<Mesh>(&f.zone, meshes);
    DeleteCountedArray<Texture>(&f.zone, textures);
    FUZZ_CHECK(f.zone.GetAllocCount() == 0, "zone blocks left after the model was destroyed");
    FUZZ_CHECK(f.zone.CheckHeap() == 0, "heap invariant broken");
    return 0;
}
