// DemoCapture: the ray-traced scene and camera agree with the demo's own
// frame: the silhouette against the sky in the traced mask and in the
// G-buffer match pixel for pixel; the occlusion read-back keeps rows top first.
#include "aotruth/DemoCapture.h"

#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include "aotruth/AoScene.h"
#include "common/ToolOptions.h"
#include "demo/Vesperon.h"
#include "ssao/Umbrelix.h"
#include "support/LogCapture.h"

namespace {

// The demo's picture has no sky from inside the building; from outside
// and above, the building stands against it.
const std::vector<NamedView> kSkyViews = {
    {"outside", {-260, 60, 0}, {1, 0, 0}},
    {"above", {-260, 180, -160}, {1, -0.6f, 0.6f}},
};
// Where an edge passes within rounding of a pixel centre, the rasteriser's
// fixed-point vertex snapping and the ray's float test may decide
// differently: a few such pixels along a long silhouette. A convention
// error (a flipped row order, a half-pixel offset, another projection)
// moves a large share of the silhouette instead.
constexpr double kMaxMismatchPerEdgePixel = 0.01;

struct MaskCounts {
    uint64_t traced = 0;
    uint64_t demo = 0;
    uint64_t mismatched = 0;
    uint64_t edge = 0; // demo pixels with a 4-neighbour of the other kind
};

MaskCounts CompareMasks(const AoScene& scene, const CameraSetup& camera,
                        const std::vector<uint8_t>& demo) {
    glm::mat4 inverse = glm::inverse(camera.proj * camera.view);
    int w = camera.width, h = camera.height;
    MaskCounts counts;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            PixelRay ray = CameraRay(inverse, x, y, w, h);
            SurfaceHit hit;
            bool traced = scene.Intersect(ray.origin, ray.dir, 1.0f, &hit);
            uint8_t drawn = demo[size_t(y) * w + x];
            counts.traced += traced;
            counts.demo += drawn;
            counts.mismatched += traced != bool(drawn);
            bool edge = (x > 0 && demo[size_t(y) * w + x - 1] != drawn) ||
                        (x + 1 < w && demo[size_t(y) * w + x + 1] != drawn) ||
                        (y > 0 && demo[size_t(y - 1) * w + x] != drawn) ||
                        (y + 1 < h && demo[size_t(y + 1) * w + x] != drawn);
            counts.edge += edge;
        }
    }
    return counts;
}

} // namespace

class DemoCaptureTest : public ::testing::Test {
protected:
    void SetUp() override {
        SDL_RWops* scene = SDL_RWFromFile("models/sponza.obj", "rb");
        ASSERT_NE(scene, nullptr) << "the build generates models/";
        SDL_RWclose(scene);
        ASSERT_EQ(mApp.Init(SUBSYSTEM_ALL), 0) << mLog.Text();
        mStarted = true;
        mApp.BeginRun();
        ASSERT_EQ(LoadCaptureFunctions(), 0);
        ASSERT_EQ(mScene.Create(), 0);
        ASSERT_EQ(AddSceneGraph(mApp.mSceneRoot, &mScene), 0);
        ASSERT_EQ(mScene.Commit(), 0);
    }
    void TearDown() override {
        if (mStarted)
            mApp.EndRun();
        mApp.Shutdown();
    }

    LogCapture mLog;
    Vesperon mApp;
    AoScene mScene;
    bool mStarted = false;
};

TEST_F(DemoCaptureTest, TheTracedSilhouetteMatchesTheDemosFramePixelForPixel) {
    for (const NamedView& view : kSkyViews) {
        AimApp(mApp, view.eye, view.dir);
        mApp.Frame();
        CameraSetup camera = DemoCamera(mApp);
        ASSERT_GT(camera.width, 0);
        std::vector<uint8_t> demo =
            ReadGeometryMask(mApp.GetRenderer()->mGPosition, camera.width, camera.height);
        MaskCounts counts = CompareMasks(mScene, camera, demo);
        uint64_t pixels = uint64_t(camera.width) * camera.height;
        EXPECT_GT(counts.demo, pixels / 10) << view.name << ": the building is in the picture";
        EXPECT_LT(counts.demo, pixels - pixels / 10) << view.name << ": and so is the sky";
        EXPECT_LE(double(counts.mismatched), kMaxMismatchPerEdgePixel * double(counts.edge))
            << view.name << ": " << counts.mismatched << " of " << counts.edge
            << " silhouette pixels differ; " << counts.traced << " traced and " << counts.demo
            << " drawn surface pixels";
    }
}

TEST_F(DemoCaptureTest, TheOcclusionReadBackKeepsTheDemosRowsTopFirst) {
    // From outside, the top rows are sky, which the occlusion pass leaves
    // fully open, and the bottom rows are the building's wall.
    AimApp(mApp, kSkyViews[1].eye, kSkyViews[1].dir);
    mApp.Frame();
    CameraSetup camera = DemoCamera(mApp);
    std::vector<uint8_t> demo =
        ReadGeometryMask(mApp.GetRenderer()->mGPosition, camera.width, camera.height);
    GreyImage occlusion =
        ReadOcclusion(mApp.GetRenderer()->mSSAOTexture, camera.width, camera.height);
    ASSERT_EQ(occlusion.pixels.size(), demo.size());
    EXPECT_EQ(demo[0], 0) << "the top-left corner is sky";
    EXPECT_EQ(demo[demo.size() / 2 + camera.width / 2], 1) << "the middle is the building";
    for (size_t i = 0; i < demo.size(); ++i) {
        if (!demo[i]) {
            ASSERT_EQ(occlusion.pixels[i], 1.0f) << "sky pixel " << i << " is fully open";
        }
    }
}
