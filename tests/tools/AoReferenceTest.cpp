// AoReference: camera rays through pixel centres (row 0 at the top), a
// traced view of a known scene, and the cache that must never hand back a
// reference made for other inputs.
#include "aotruth/AoReference.h"

#include <cstdio>

#include <unistd.h>

#include <glm/gtc/matrix_transform.hpp>
#include <gtest/gtest.h>

#include "ssao/AoScene.h"
#include "demo/Camera.h"
#include "support/TraceCamera.h"
#include "support/TempDir.h"

namespace {

constexpr int kWidth = kTraceTestWidth;
constexpr int kHeight = kTraceTestHeight;

ReferenceImage Sample() {
    ReferenceImage image;
    image.width = 3;
    image.height = 2;
    image.visibility = {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 1.0f};
    image.mask = {1, 1, 1, 1, 1, 0};
    image.depth = {3.0f, 3.5f, 4.0f, 4.5f, 5.0f, 0.0f};
    return image;
}

} // namespace

TEST(AoReference, CameraRaysRunFromTheNearToTheFarPlaneThroughPixelCentres) {
    glm::mat4 view = glm::lookAt(glm::vec3(0, 10, 0), glm::vec3(1, 10, 0), glm::vec3(0, 1, 0));
    glm::mat4 proj = MakeProjection(1440.0f, 900.0f);
    glm::mat4 inverse = glm::inverse(proj * view);
    // Pixel (719.5, 449.5) is the centre: average the four around it.
    glm::vec3 centre(0.0f);
    for (int x : {719, 720})
        for (int y : {449, 450})
            centre += glm::normalize(CameraRay(inverse, x, y, 1440, 900).dir);
    EXPECT_NEAR(glm::normalize(centre).x, 1.0f, 1e-6f);
    PixelRay middle = CameraRay(inverse, 720, 450, 1440, 900);
    EXPECT_NEAR(middle.origin.x, 1.0f, 1e-3f) << "the near plane is 1 unit ahead";
    EXPECT_NEAR(glm::length(middle.dir), 499.0f, 0.5f) << "the far plane is 500 units ahead";
    // Row 0 is the top of the picture, column 0 its left (-z when looking along +x).
    PixelRay topLeft = CameraRay(inverse, 0, 0, 1440, 900);
    EXPECT_GT(topLeft.dir.y, 0.0f);
    EXPECT_LT(topLeft.dir.z, 0.0f);
    PixelRay bottomRight = CameraRay(inverse, 1439, 899, 1440, 900);
    EXPECT_LT(bottomRight.dir.y, 0.0f);
    EXPECT_GT(bottomRight.dir.z, 0.0f);
}

TEST(AoReference, TracesAFloorBesideAWallFromAbove) {
    // The floor y = 0 and, for x >= 0, a tall wall face toward -x: the camera
    // above looks straight down at the crease.
    std::vector<float> floor{-50, 0, 50, 50, 0, 50, 50, 0, -50, -50, 0, -50};
    std::vector<float> wall{0, 0, 50, 0, 0, -50, 0, 40, -50, 0, 40, 50};
    std::vector<uint32_t> quad{0, 1, 2, 0, 2, 3};
    AoScene scene;
    ASSERT_EQ(scene.Create(), 0);
    ASSERT_EQ(scene.AddMesh(floor.data(), 4, quad.data(), 6, glm::mat4(1.0f), nullptr, nullptr), 0);
    ASSERT_EQ(scene.AddMesh(wall.data(), 4, quad.data(), 6, glm::mat4(1.0f), nullptr, nullptr), 0);
    ASSERT_EQ(scene.Commit(), 0);
    CameraSetup camera = TraceCameraLookingAt({-3, 30, 0}, {-3, 0, 0});
    TraceSettings settings;
    settings.radius = 1.0f;
    settings.rays = 256;
    settings.threads = 2;
    ReferenceImage image;
    ASSERT_EQ(TraceReference(scene, camera, settings, &image), 0);
    ASSERT_EQ(image.visibility.size(), size_t(kWidth * kHeight));
    // With "up" = -z on screen, +x (toward the wall) is to the right. The
    // left column is open floor; the right edge sees the wall's top or the
    // floor right beside it, both darker.
    int row = kHeight / 2;
    float left = image.visibility[size_t(row) * kWidth];
    EXPECT_EQ(image.mask[size_t(row) * kWidth], 1);
    EXPECT_EQ(left, 1.0f);
    EXPECT_NEAR(image.depth[size_t(row) * kWidth], 30.0f, 1e-3f)
        << "the open floor lies 30 units down the view axis";
    float nearest = 1.0f;
    for (int x = 0; x < kWidth; ++x)
        nearest = std::min(nearest, image.visibility[size_t(row) * kWidth + x]);
    EXPECT_LT(nearest, 0.75f) << "the floor beside the wall is occluded";
    EXPECT_GE(nearest, 0.45f) << "never darker than the crease";

    settings.radius = 0.0f;
    EXPECT_EQ(TraceReference(scene, camera, settings, &image), -1);
}

TEST(AoReference, SkyPixelsAreOutsideTheMask) {
    std::vector<float> floor{-1, 0, 1, 1, 0, 1, 1, 0, -1, -1, 0, -1};
    std::vector<uint32_t> quad{0, 1, 2, 0, 2, 3};
    AoScene scene;
    ASSERT_EQ(scene.Create(), 0);
    ASSERT_EQ(scene.AddMesh(floor.data(), 4, quad.data(), 6, glm::mat4(1.0f), nullptr, nullptr), 0);
    ASSERT_EQ(scene.Commit(), 0);
    TraceSettings settings{1.0f, 64, 1, false};
    ReferenceImage image;
    ASSERT_EQ(TraceReference(scene, TraceCameraLookingAt({0, 10, 0}, {0, 0, 0}), settings, &image),
              0);
    EXPECT_EQ(image.mask[0], 0) << "the corner misses the small floor";
    EXPECT_EQ(image.mask[size_t(kHeight / 2) * kWidth + kWidth / 2], 1);
}

// A camera the size of Sample().
CameraSetup SampleCamera(glm::vec3 eye) {
    CameraSetup camera = TraceCameraLookingAt(eye, {0, 0, 0});
    camera.width = 3;
    camera.height = 2;
    return camera;
}

TEST(AoReference, TheCacheReturnsOnlyWhatWasStoredForTheSameKey) {
    TempDir dir("aoreference");
    ASSERT_FALSE(dir.Path().empty());
    CameraSetup camera = SampleCamera({0, 10, 0});
    TraceSettings settings{0.9f, 256, 1, false};
    std::string key = ReferenceKey("models/none.obj", {}, camera, settings);
    std::string path = ReferenceCachePath(dir.Path(), key);
    ReferenceImage stored = Sample(), loaded;
    EXPECT_EQ(LoadReference(path, key, camera, &loaded), -1) << "nothing stored yet";
    ASSERT_EQ(SaveReference(path, key, stored), 0);
    ASSERT_EQ(LoadReference(path, key, camera, &loaded), 0);
    EXPECT_EQ(loaded.width, 3);
    EXPECT_EQ(loaded.visibility, stored.visibility);
    EXPECT_EQ(loaded.mask, stored.mask);
    EXPECT_EQ(loaded.depth, stored.depth);

    // Any input that changes the picture changes the key.
    TraceSettings moreRays = settings;
    moreRays.rays = 512;
    TraceSettings wider = settings;
    wider.radius = 3.75f;
    CameraSetup moved = SampleCamera({0, 11, 0});
    for (const std::string& other : {ReferenceKey("models/none.obj", {}, camera, moreRays),
                                     ReferenceKey("models/none.obj", {}, camera, wider),
                                     ReferenceKey("models/none.obj", {}, moved, settings),
                                     ReferenceKey("models/other.obj", {}, camera, settings)}) {
        EXPECT_NE(other, key);
        EXPECT_EQ(LoadReference(path, other, camera, &loaded), -1) << "stored for another key";
    }
    // So does an edit of any file the model reads, a cut-out texture say.
    ASSERT_TRUE(dir.Write("leaves.png", "first"));
    const std::vector<std::string> files{"models/none.obj", dir.File("leaves.png")};
    std::string before = ReferenceKey("models/none.obj", files, camera, settings);
    ASSERT_TRUE(dir.Write("leaves.png", "edited"));
    EXPECT_NE(ReferenceKey("models/none.obj", files, camera, settings), before);

    // A truncated file is traced again, not half read.
    FILE* file = fopen(path.c_str(), "r+b");
    ASSERT_NE(file, nullptr);
    fseek(file, 0, SEEK_END);
    long size = ftell(file);
    fclose(file);
    ASSERT_EQ(truncate(path.c_str(), size - 3), 0);
    EXPECT_EQ(LoadReference(path, key, camera, &loaded), -1);
}

TEST(AoReference, SavingIntoAMissingDirectoryOrAnIncompleteImageFails) {
    EXPECT_EQ(SaveReference("/nonexistent-dir/ref.bin", "key", Sample()), -1);
    TempDir dir("aoreference");
    ReferenceImage noDepth = Sample();
    noDepth.depth.clear();
    EXPECT_EQ(SaveReference(dir.File("ref.bin"), "key", noDepth), -1);
    ReferenceImage loaded;
    EXPECT_EQ(LoadReference(dir.File("ref.bin"), "key", SampleCamera({0, 10, 0}), &loaded), -1)
        << "nothing left behind";
}

// A file of the right key whose width and height were altered: each is
// refused from its header and the file's length, before any plane is sized
// from it (the huge ones would abort or take gigabytes otherwise).
TEST(AoReference, ACacheWhoseSizeFieldsDisagreeWithTheCameraIsTracedAgain) {
    TempDir dir("aoreference");
    CameraSetup camera = SampleCamera({0, 10, 0});
    std::string key = ReferenceKey("models/none.obj", {}, camera, TraceSettings{0.9f, 16, 1});
    std::string path = ReferenceCachePath(dir.Path(), key);
    const long sizeOffset = long(std::string("aotruth-reference 2\n").size() + 8 + key.size());
    struct Altered {
        int32_t width, height;
        const char* what;
    };
    const Altered table[] = {{6, 1, "the same pixel count in another shape"},
                             {2, 3, "width and height swapped"},
                             {2147483647, 2147483647, "the largest int32 squared"},
                             {40000, 40000, "gigabytes of pixels"},
                             {-3, 2, "a negative width"},
                             {0, 0, "no pixels"}};
    for (const Altered& altered : table) {
        ASSERT_EQ(SaveReference(path, key, Sample()), 0);
        FILE* file = fopen(path.c_str(), "r+b");
        ASSERT_NE(file, nullptr);
        int32_t size[2] = {altered.width, altered.height};
        ASSERT_EQ(fseek(file, sizeOffset, SEEK_SET), 0);
        ASSERT_EQ(fwrite(size, sizeof(size), 1, file), 1u);
        fclose(file);
        ReferenceImage loaded;
        EXPECT_EQ(LoadReference(path, key, camera, &loaded), -1) << altered.what;
        EXPECT_TRUE(loaded.visibility.empty()) << altered.what;
    }
    // The right size in a file with bytes added is damaged too.
    ASSERT_EQ(SaveReference(path, key, Sample()), 0);
    FILE* file = fopen(path.c_str(), "ab");
    ASSERT_NE(file, nullptr);
    fputs("extra", file);
    fclose(file);
    ReferenceImage loaded;
    EXPECT_EQ(LoadReference(path, key, camera, &loaded), -1);
    // And a file that holds another camera's size under this key is not reused.
    CameraSetup wider = camera;
    wider.width = 6;
    wider.height = 1;
    ASSERT_EQ(SaveReference(path, key, Sample()), 0);
    EXPECT_EQ(LoadReference(path, key, wider, &loaded), -1);
    EXPECT_EQ(LoadReference(path, key, camera, &loaded), 0) << "the intact file still loads";
}

TEST(AoReference, DepthsOfOneSurfaceAgreeWithinHalfFloatRounding) {
    EXPECT_TRUE(SameSurface(100.0f, 100.0f));
    EXPECT_TRUE(SameSurface(100.0f, 100.0f * (1.0f + 1.0f / 2048.0f))) << "one half-float step";
    EXPECT_FALSE(SameSurface(100.0f, 101.0f)) << "a surface one percent behind";
    EXPECT_FALSE(SameSurface(2.0f, 0.0f)) << "a surface against nothing";
}
