// AoScene: occlusion of synthetic scenes with a known answer (open plane,
// wall beside a floor point, ceiling above it), primary hits that keep only
// front faces and opaque texels, and the texture conventions.
#include "ssao/AoScene.h"

#include <cmath>
#include <memory>
#include <random>

#include <gtest/gtest.h>

namespace {

constexpr float kPi = 3.14159265358979f;
constexpr int kRays = 4096;
constexpr float kRadius = 1.0f;
constexpr float kBig = 1000.0f;

// Three standard deviations of the fraction of n independent rays that
// escape when the true fraction is p: the lattice does better, never worse.
float Tolerance(float p, int n) {
    return 3.0f * std::sqrt(std::max(p * (1.0f - p), 0.25f / n) / float(n)) + 1e-3f;
}

// A rectangle as two triangles with corners a, b, c, d in order; the front
// face is the one from which they run counter-clockwise.
struct Quad {
    std::vector<float> positions;
    std::vector<uint32_t> indices{0, 1, 2, 0, 2, 3};
    std::vector<float> texCoords{0, 0, 1, 0, 1, 1, 0, 1};
};

Quad MakeQuad(glm::vec3 a, glm::vec3 b, glm::vec3 c, glm::vec3 d) {
    Quad q;
    for (glm::vec3 p : {a, b, c, d})
        q.positions.insert(q.positions.end(), {p.x, p.y, p.z});
    return q;
}

void Add(AoScene& scene, const Quad& q, std::shared_ptr<const AlphaMask> mask = nullptr) {
    ASSERT_EQ(scene.AddMesh(q.positions.data(), 4, q.indices.data(), 6, glm::mat4(1.0f),
                            q.texCoords.data(), mask),
              0);
}

// The floor y = 0, front face up.
Quad Floor() {
    return MakeQuad({-kBig, 0, kBig}, {kBig, 0, kBig}, {kBig, 0, -kBig}, {-kBig, 0, -kBig});
}

// The wall x = 0 from the floor up to height, facing -x (toward the points
// the tests place at x < 0) or, with away, facing +x.
Quad Wall(float height, bool away) {
    glm::vec3 a(0, 0, -kBig), b(0, 0, kBig), c(0, height, kBig), d(0, height, -kBig);
    return away ? MakeQuad(a, b, c, d) : MakeQuad(b, a, d, c);
}

// The plane y = height, facing down.
Quad Ceiling(float height) {
    return MakeQuad({-kBig, height, -kBig}, {kBig, height, -kBig}, {kBig, height, kBig},
                    {-kBig, height, kBig});
}

float WallVisibility(float d, float radius) {
    float a = d / radius;
    if (a >= 1.0f)
        return 1.0f;
    return 1.0f - (std::acos(a) - a * std::sqrt(1.0f - a * a)) / kPi;
}

float FloorVisibility(const AoScene& scene, glm::vec3 p, float shiftU = 0.37f,
                      float shiftV = 0.71f) {
    return scene.Visibility(p, glm::vec3(0, 1, 0), 1.0f, kRadius, kRays, shiftU, shiftV);
}

} // namespace

TEST(AoScene, AnOpenPlaneIsFullyVisible) {
    AoScene scene;
    ASSERT_EQ(scene.Create(), 0);
    Add(scene, Floor());
    ASSERT_EQ(scene.Commit(), 0);
    EXPECT_EQ(FloorVisibility(scene, {0, 0, 0}), 1.0f);
    EXPECT_EQ(FloorVisibility(scene, {500, 0, -300}), 1.0f) << "no self-hits far from the origin";
}

TEST(AoScene, AWallBesideAFloorPointHidesTheCircularSegmentBeyondIt) {
    for (bool away : {false, true}) {
        AoScene scene;
        ASSERT_EQ(scene.Create(), 0);
        Add(scene, Floor());
        Add(scene, Wall(10.0f * kRadius, away));
        ASSERT_EQ(scene.Commit(), 0);
        for (float d : {0.001f, 0.1f, 0.25f, 0.5f, 0.75f, 0.95f, 1.2f, 3.0f}) {
            float expected = WallVisibility(d * kRadius, kRadius);
            EXPECT_NEAR(FloorVisibility(scene, {-d * kRadius, 0, 0}), expected,
                        Tolerance(expected, kRays))
                << "distance " << d << (away ? ", wall facing away" : ", wall facing the point");
        }
    }
}

TEST(AoScene, TheCreaseIsHalfOpen) {
    AoScene scene;
    ASSERT_EQ(scene.Create(), 0);
    Add(scene, Floor());
    Add(scene, Wall(10.0f * kRadius, false));
    ASSERT_EQ(scene.Commit(), 0);
    EXPECT_NEAR(FloorVisibility(scene, {-1e-3f, 0, 0}), 0.5f, Tolerance(0.5f, kRays));
}

TEST(AoScene, ACeilingBelowTheRadiusLeavesTheSquaredHeightRatio) {
    for (float h : {0.2f, 0.5f, 0.8f, 0.99f, 1.5f}) {
        AoScene scene;
        ASSERT_EQ(scene.Create(), 0);
        Add(scene, Floor());
        Add(scene, Ceiling(h * kRadius));
        ASSERT_EQ(scene.Commit(), 0);
        float expected = h < 1.0f ? h * h : 1.0f;
        EXPECT_NEAR(FloorVisibility(scene, {3, 0, -2}), expected, Tolerance(expected, kRays))
            << "height " << h;
    }
}

TEST(AoScene, RandomRotationsOfTheLatticeAverageToTheExactAnswer) {
    AoScene scene;
    ASSERT_EQ(scene.Create(), 0);
    Add(scene, Floor());
    Add(scene, Wall(10.0f * kRadius, false));
    ASSERT_EQ(scene.Commit(), 0);
    std::mt19937 random(7);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    constexpr int kShifts = 64;
    constexpr int kFewRays = 256;
    double sum = 0.0;
    for (int i = 0; i < kShifts; ++i)
        sum += scene.Visibility({-0.4f, 0, 0}, {0, 1, 0}, 1.0f, kRadius, kFewRays, unit(random),
                                unit(random));
    float expected = WallVisibility(0.4f, kRadius);
    EXPECT_NEAR(sum / kShifts, expected, Tolerance(expected, kShifts * kFewRays));
}

TEST(AoScene, CosineLatticeDirectionsAreUnitAndCosineDistributed) {
    // The mean of cos(theta) under a cosine density on the hemisphere is 2/3.
    double meanZ = 0.0;
    for (int i = 0; i < kRays; ++i) {
        glm::vec3 d = CosineLatticeDirection(i, kRays, 0.3f, 0.6f);
        ASSERT_NEAR(glm::length(d), 1.0f, 1e-5f);
        ASSERT_GE(d.z, 0.0f);
        meanZ += d.z;
    }
    EXPECT_NEAR(meanZ / kRays, 2.0 / 3.0, 1e-3);
}

TEST(AoScene, PrimaryRaysSeeFrontFacesOnly) {
    AoScene scene;
    ASSERT_EQ(scene.Create(), 0);
    Add(scene, Floor());
    ASSERT_EQ(scene.Commit(), 0);
    SurfaceHit hit;
    ASSERT_TRUE(scene.Intersect({1, 5, 2}, {0, -2, 0}, 10.0f, &hit)) << "front face from above";
    EXPECT_NEAR(hit.position.y, 0.0f, 1e-5f);
    EXPECT_NEAR(hit.distance, 5.0f, 1e-4f);
    EXPECT_NEAR(hit.normal.y, 1.0f, 1e-6f);
    EXPECT_FALSE(scene.Intersect({1, -5, 2}, {0, 1, 0}, 10.0f, &hit)) << "culled from below";
    EXPECT_FALSE(scene.Intersect({1, 5, 2}, {0, -1, 0}, 4.0f, &hit)) << "beyond tfar";
}

TEST(AoScene, AnUnindexedMeshIsAStripWithGLWinding) {
    // Strip 0 1 2 3: triangles (0 1 2) and, with the first two swapped, (2 1 3).
    std::vector<float> strip{0, 0, 0, 1, 0, 0, 0, 0, -1, 1, 0, -1};
    AoScene scene;
    ASSERT_EQ(scene.Create(), 0);
    ASSERT_EQ(scene.AddMesh(strip.data(), 4, nullptr, 0, glm::mat4(1.0f), nullptr, nullptr), 0);
    ASSERT_EQ(scene.Commit(), 0);
    EXPECT_EQ(scene.TriangleCount(), 2u);
    SurfaceHit hit;
    EXPECT_TRUE(scene.Intersect({0.25f, 1, -0.25f}, {0, -1, 0}, 2.0f, &hit)) << "first triangle";
    EXPECT_TRUE(scene.Intersect({0.75f, 1, -0.75f}, {0, -1, 0}, 2.0f, &hit)) << "second triangle";
}

TEST(AoScene, AMeshIsMovedByItsWorldTransform) {
    Quad q = MakeQuad({-1, 0, 1}, {1, 0, 1}, {1, 0, -1}, {-1, 0, -1});
    glm::mat4 world(0.5f);
    world[3] = glm::vec4(10, 2, 0, 1); // scale by 1/2, then move
    AoScene scene;
    ASSERT_EQ(scene.Create(), 0);
    ASSERT_EQ(scene.AddMesh(q.positions.data(), 4, q.indices.data(), 6, world, nullptr, nullptr),
              0);
    ASSERT_EQ(scene.Commit(), 0);
    SurfaceHit hit;
    ASSERT_TRUE(scene.Intersect({10.4f, 5, 0.4f}, {0, -1, 0}, 10.0f, &hit));
    EXPECT_NEAR(hit.position.y, 2.0f, 1e-5f);
    EXPECT_FALSE(scene.Intersect({10.6f, 5, 0}, {0, -1, 0}, 10.0f, &hit))
        << "outside the half size";
}

TEST(AoScene, RefusesTrianglesNamingMissingVertices) {
    std::vector<float> positions{0, 0, 0, 1, 0, 0, 0, 1, 0};
    std::vector<uint32_t> indices{0, 1, 3};
    AoScene scene;
    ASSERT_EQ(scene.Create(), 0);
    EXPECT_EQ(
        scene.AddMesh(positions.data(), 3, indices.data(), 3, glm::mat4(1.0f), nullptr, nullptr),
        -1);
}

TEST(AoScene, PrimaryRaysPassThroughAlphaCutTexels) {
    // Left half of the image (s < 0.5) transparent, right half opaque.
    auto mask = std::make_shared<AlphaMask>();
    mask->width = 4;
    mask->height = 1;
    mask->alpha = {0, 0, 255, 255};
    AoScene scene;
    ASSERT_EQ(scene.Create(), 0);
    // A ceiling whose u runs along +x from x = -1 to 1, seen from below.
    Add(scene, MakeQuad({-1, 0.5f, -1}, {1, 0.5f, -1}, {1, 0.5f, 1}, {-1, 0.5f, 1}), mask);
    ASSERT_EQ(scene.Commit(), 0);
    SurfaceHit hit;
    EXPECT_FALSE(scene.Intersect({-0.6f, -1, 0}, {0, 1, 0}, 5.0f, &hit)) << "through the hole";
    EXPECT_TRUE(scene.Intersect({0.6f, -1, 0}, {0, 1, 0}, 5.0f, &hit)) << "opaque texels";
}

TEST(AoScene, AMaskedMeshWithoutTexCoordsSamplesOneTexelEverywhere) {
    for (bool cutAtOrigin : {true, false}) {
        auto mask = std::make_shared<AlphaMask>();
        mask->width = 1;
        mask->height = 1;
        mask->alpha = {uint8_t(cutAtOrigin ? 0 : 255)};
        Quad q = Floor();
        AoScene scene;
        ASSERT_EQ(scene.Create(), 0);
        ASSERT_EQ(scene.AddMesh(q.positions.data(), 4, q.indices.data(), 6, glm::mat4(1.0f),
                                nullptr, mask),
                  0);
        ASSERT_EQ(scene.Commit(), 0);
        SurfaceHit hit;
        for (glm::vec3 at : {glm::vec3(0, 1, 0), glm::vec3(300, 1, -200)})
            EXPECT_EQ(scene.Intersect(at, {0, -1, 0}, 2.0f, &hit), !cutAtOrigin);
    }
}

TEST(AoScene, OcclusionRaysPassThroughAlphaCutTexels) {
    for (uint8_t alpha : {uint8_t(0), uint8_t(100), uint8_t(200), uint8_t(255)}) {
        auto mask = std::make_shared<AlphaMask>();
        mask->width = 1;
        mask->height = 1;
        mask->alpha = {alpha};
        AoScene scene;
        ASSERT_EQ(scene.Create(), 0);
        Add(scene, Floor());
        Add(scene, Ceiling(0.5f * kRadius), mask);
        ASSERT_EQ(scene.Commit(), 0);
        float expected = alpha / 255.0f < kAlphaCutoff ? 1.0f : 0.25f;
        EXPECT_NEAR(FloorVisibility(scene, {0, 0, 0}), expected, Tolerance(expected, kRays))
            << "alpha " << int(alpha);
    }
}

TEST(AoScene, AlphaIsSampledLinearlyWithRepeat) {
    AlphaMask mask;
    mask.width = 2;
    mask.height = 2;
    mask.alpha = {0, 255, 255, 255}; // row 0 (t < 0.5): 0, 255
    EXPECT_FLOAT_EQ(SampleAlpha(mask, 0.25f, 0.25f), 0.0f) << "texel centre";
    EXPECT_FLOAT_EQ(SampleAlpha(mask, 0.75f, 0.25f), 1.0f);
    EXPECT_FLOAT_EQ(SampleAlpha(mask, 0.5f, 0.25f), 0.5f) << "half way between two texels";
    EXPECT_FLOAT_EQ(SampleAlpha(mask, 1.25f, -0.75f), 0.0f) << "repeats in both directions";
    EXPECT_FLOAT_EQ(SampleAlpha(mask, 0.0f, 0.25f), 0.5f) << "the left edge wraps to the right";
}

TEST(AoScene, TheShaderReadsModelVFromTheImageBottom) {
    // Images are stored top row first (GL t = 0); a model's v = 0 is the bottom row.
    EXPECT_EQ(ShaderTexCoord({0.25f, 0.0f}), glm::vec2(0.25f, 1.0f));
    EXPECT_EQ(ShaderTexCoord({0.25f, 1.0f}), glm::vec2(0.25f, 0.0f));
}

TEST(AoScene, PointsFoundByCameraRaysDoNotOccludeThemselves) {
    // A tilted plane far from the origin: its hit points carry the rounding
    // of large coordinates and of the ray's length.
    glm::vec3 centre(250.0f, 40.0f, -180.0f);
    glm::vec3 n = glm::normalize(glm::vec3(0.3f, 1.0f, -0.2f));
    glm::vec3 t = glm::normalize(glm::cross(n, glm::vec3(0, 0, 1)));
    glm::vec3 b = glm::cross(n, t);
    float half = 100.0f;
    // Counter-clockwise as seen from the side n points to.
    Quad plane = MakeQuad(centre - t * half - b * half, centre + t * half - b * half,
                          centre + t * half + b * half, centre - t * half + b * half);
    AoScene scene;
    ASSERT_EQ(scene.Create(), 0);
    Add(scene, plane);
    ASSERT_EQ(scene.Commit(), 0);
    glm::vec3 eye = centre + n * 150.0f + t * 60.0f;
    std::mt19937 random(3);
    std::uniform_real_distribution<float> spread(-40.0f, 40.0f);
    for (int i = 0; i < 200; ++i) {
        glm::vec3 target = centre + t * spread(random) + b * spread(random);
        SurfaceHit hit;
        ASSERT_TRUE(scene.Intersect(eye, target - eye, 2.0f, &hit));
        EXPECT_EQ(scene.Visibility(hit.position, hit.normal, glm::length(hit.position - eye), 0.9f,
                                   256, 0.5f, 0.25f),
                  1.0f)
            << "hit " << i << " at distance " << glm::length(hit.position - eye);
    }
}

TEST(AoScene, NaNAndDegenerateTrianglesAreSkippedAndTheRestTraces) {
    const float nan = std::nanf("");
    // A triangle with a NaN corner, one with all corners equal, one flat as a
    // line, then a whole one: the broken ones must neither fail the build nor
    // block or be hit.
    std::vector<float> positions{nan, 1, 0, 1, 1, 0, 0, 1, 1,  //
                                 2,   2, 2, 2, 2, 2, 2, 2, 2,  //
                                 0,   1, 0, 1, 1, 0, 2, 1, 0}; //
    std::vector<uint32_t> indices{0, 1, 2, 3, 4, 5, 6, 7, 8};
    AoScene scene;
    ASSERT_EQ(scene.Create(), 0);
    ASSERT_EQ(
        scene.AddMesh(positions.data(), 9, indices.data(), 9, glm::mat4(1.0f), nullptr, nullptr),
        0);
    Add(scene, Floor());
    ASSERT_EQ(scene.Commit(), 0);
    EXPECT_EQ(FloorVisibility(scene, {10, 0, 10}), 1.0f);
    SurfaceHit hit;
    EXPECT_TRUE(scene.Intersect({10, 5, 10}, {0, -10, 0}, 1.0f, &hit));
    EXPECT_NEAR(hit.position.y, 0.0f, 1e-4f);
}
