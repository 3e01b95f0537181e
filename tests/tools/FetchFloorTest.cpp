// FetchFloor: run in the renderer's occlusion pass, the floor really reads
// its texels (a changed texel changes the result of the pixels whose
// footprint covers it), spreads them over the projected occlusion radius,
// and reads nothing for pixels without geometry.
#include "framebench/FetchFloor.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <memory>
#include <cmath>
#include <vector>

#include <glm/gtc/matrix_transform.hpp>

#include "gpu/GLFunctions.h"
#include "gpu/Window.h"
#include "ssao/Umbrelix.h"
#include "support/GLTestContext.h"

namespace {

constexpr int kSize = 48;
constexpr float kDepth = -2.0f; // every texel's view-space z
constexpr uint8_t kOpen = 255;  // what a pixel without geometry writes

// The real renderer on a kSize x kSize window, its G-buffer's position and
// normal texels written by the test, and the floor put in its occlusion
// pass's place.
class FloorScene {
public:
    FloorScene() {
        mWindow = std::make_unique<Window>("fetch-floor-test", kSize, kSize, WINDOW_WINDOWED);
        EXPECT_EQ(mWindow->Init(), 0);
        mRenderer = std::make_unique<Umbrelix>(mWindow.get());
        EXPECT_EQ(mRenderer->Init(), 0);
        mRenderer->SetProjectionMatrix(glm::perspective(45.0f, 1.0f, 1.0f, 500.0f));
        positions.assign(kSize * kSize, glm::vec3(0.1f, 0.1f, kDepth));
        normals.assign(kSize * kSize, glm::vec3(0.0f, 0.0f, 1.0f));
    }
    Umbrelix* Renderer() { return mRenderer.get(); }

    // Uploads positions and normals, runs the occlusion pass with the floor
    // in it at this radius and fetch count, reads the target back (row 0 at
    // the bottom, as GL stores it).
    std::vector<uint8_t> Draw(FetchFloor& floor, float radius, uint32_t fetches) {
        Upload(mRenderer->GPosition(), positions);
        Upload(mRenderer->GNormal(), normals);
        mRenderer->SetRadius(radius);
        mRenderer->SetKernelSize(fetches);
        floor.Engage(true);
        mRenderer->SSAOPass();
        floor.Engage(false);
        std::vector<uint8_t> out(kSize * kSize);
        glBindFramebuffer(GL_FRAMEBUFFER, mRenderer->SSAOBuffer());
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, kSize, kSize, GL_RED, GL_UNSIGNED_BYTE, out.data());
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        return out;
    }

    std::vector<glm::vec3> positions;
    std::vector<glm::vec3> normals;

private:
    static void Upload(uint32_t texture, const std::vector<glm::vec3>& texels) {
        glBindTexture(GL_TEXTURE_2D, texture);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, kSize, kSize, GL_RGB, GL_FLOAT, texels.data());
    }

    std::unique_ptr<Window> mWindow;
    std::unique_ptr<Umbrelix> mRenderer;
};

// The projection of a square target: P11 = 1 / tan(22.5 radians), as the demo's.
glm::mat4 Projection() {
    return glm::perspective(45.0f, 1.0f, 1.0f, 500.0f);
}

// Footprint in pixels of `radius` at kDepth: radius * P11 / -z * height / 2.
float ReachPx(float radius) {
    return radius * Projection()[1][1] / -kDepth * 0.5f * kSize;
}

// Pixels other than `marked` whose output differs between the two images,
// and the farthest of them from `marked`, in pixels.
struct Change {
    int pixels = 0;
    float farthest = 0.0f;
};

Change Changed(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int marked) {
    Change c;
    for (int i = 0; i < kSize * kSize; ++i) {
        if (i == marked || a[i] == b[i])
            continue;
        ++c.pixels;
        float dx = float(i % kSize - marked % kSize), dy = float(i / kSize - marked / kSize);
        c.farthest = std::max(c.farthest, std::sqrt(dx * dx + dy * dy));
    }
    return c;
}

// How the image changes when the position texel in the middle changes.
Change EffectOfOneTexel(float radius, uint32_t fetches) {
    FloorScene scene;
    FetchFloor floor(scene.Renderer());
    std::string error;
    EXPECT_EQ(floor.Load(&error), 0) << error;
    const int middle = (kSize / 2) * kSize + kSize / 2;
    std::vector<uint8_t> before = scene.Draw(floor, radius, fetches);
    scene.positions[middle].x += 0.3f; // same depth: the footprints stay as they were
    std::vector<uint8_t> after = scene.Draw(floor, radius, fetches);
    EXPECT_NE(before[middle], after[middle]) << "a pixel reads its own position";
    return Changed(before, after, middle);
}

} // namespace

TEST(FetchFloor, EveryFetchReachesTheResultFromWithinTheProjectedRadius) {
    ASSERT_TRUE(RequireGL());
    const float radius = 0.5f;
    Change none = EffectOfOneTexel(radius, 0);
    EXPECT_EQ(none.pixels, 0) << "without fetches a pixel reads only itself";
    Change some = EffectOfOneTexel(radius, 16);
    // Each of the 16 offsets, turned one of 16 ways, lands on the texel from
    // some pixel: many pixels read it, not one at a fixed offset.
    EXPECT_GE(some.pixels, 16);
    EXPECT_LE(some.farthest, ReachPx(radius) + 1.5f);
    EXPECT_GT(some.farthest, 0.5f * ReachPx(radius)) << "the outer part of the disc is read";
}

TEST(FetchFloor, TheFootprintGrowsWithTheRadius) {
    ASSERT_TRUE(RequireGL());
    Change narrow = EffectOfOneTexel(0.4f, 32);
    Change wide = EffectOfOneTexel(1.0f, 32);
    EXPECT_LE(narrow.farthest, ReachPx(0.4f) + 1.5f);
    EXPECT_GT(wide.farthest, ReachPx(0.4f) + 1.5f);
    EXPECT_LE(wide.farthest, ReachPx(1.0f) + 1.5f);
}

TEST(FetchFloor, PixelsWithoutGeometryReadNothingAndStayOpen) {
    ASSERT_TRUE(RequireGL());
    FloorScene scene;
    FetchFloor floor(scene.Renderer());
    std::string error;
    ASSERT_EQ(floor.Load(&error), 0) << error;
    for (int y = 0; y < kSize; ++y)
        for (int x = kSize / 2; x < kSize; ++x)
            scene.normals[y * kSize + x] = glm::vec3(0.0f); // right half: nothing drawn
    std::vector<uint8_t> out = scene.Draw(floor, 0.5f, 8);
    for (int y = 0; y < kSize; ++y) {
        EXPECT_EQ(out[y * kSize + kSize - 1], kOpen);
        EXPECT_NE(out[y * kSize], kOpen) << "covered pixels write their sum";
    }
}

TEST(FetchFloor, AMissingShaderIsReportedNotDrawn) {
    ASSERT_TRUE(RequireGL());
    // Run from elsewhere, the shader files are not found.
    char* previous = getcwd(nullptr, 0);
    FloorScene scene;
    ASSERT_EQ(chdir("/"), 0);
    FetchFloor floor(scene.Renderer());
    std::string error;
    EXPECT_EQ(floor.Load(&error), -1);
    EXPECT_NE(error.find("tools/framebench/FetchFloor.frag"), std::string::npos) << error;
    ASSERT_EQ(chdir(previous), 0);
    free(previous);
}
