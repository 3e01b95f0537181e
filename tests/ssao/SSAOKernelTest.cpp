// Tests of the SSAO kernel source: random range, the concentric disk mapping,
// the hemisphere kernel and the rotation noise.
#include <gtest/gtest.h>

#include <cmath>

#include "ssao/SSAOKernel.h"

namespace {

constexpr int kDraws = 20000;

TEST(RandomFloat, StaysInsideHalfOpenRange) {
    for (int i = 0; i < kDraws; ++i) {
        const float f = RandomFloat(-1.0f, 1.0f);
        EXPECT_GE(f, -1.0f);
        EXPECT_LT(f, 1.0f);
    }
}

TEST(RandomFloat, NeverRoundsUpToMaxOnARangeOfOneFloat) {
    // [1, next float above 1) holds a single float; half the draws land
    // nearer the upper end and round up to max unless they are held back.
    const float max = std::nextafter(1.0f, 2.0f);
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(RandomFloat(1.0f, max), 1.0f);
}

TEST(RandomFloat, SpreadsOverTheWholeRange) {
    int below = 0;
    float lowest = 1.0f;
    float highest = 0.0f;
    for (int i = 0; i < kDraws; ++i) {
        const float f = RandomFloat(0.0f, 1.0f);
        below += f < 0.5f;
        lowest = std::min(lowest, f);
        highest = std::max(highest, f);
    }
    EXPECT_NEAR(below / double(kDraws), 0.5, 0.03);
    EXPECT_LT(lowest, 0.01f);
    EXPECT_GT(highest, 0.99f);
}

struct DiskCase {
    float u, v, x, y;
};

TEST(ConcentricSampleDisk, MapsNamedPointsOfTheSquare) {
    const DiskCase cases[] = {
        {0.5f, 0.5f, 0.0f, 0.0f}, // centre
        {1.0f, 0.5f, 1.0f, 0.0f}, // first wedge with b = 0: angle 2 pi
        {0.5f, 1.0f, 0.0f, 1.0f}, // second wedge: angle pi / 2
        {0.0f, 0.5f, -1.0f, 0.0f}, {0.5f, 0.0f, 0.0f, -1.0f},
    };
    for (const DiskCase& c : cases) {
        float x = 99.0f, y = 99.0f;
        ConcentricSampleDisk(c.u, c.v, &x, &y);
        EXPECT_NEAR(x, c.x, 1e-6f) << "u=" << c.u << " v=" << c.v;
        EXPECT_NEAR(y, c.y, 1e-6f) << "u=" << c.u << " v=" << c.v;
    }
}

TEST(GenerateKernel, GivesUnitCosineDistributedHemisphereSamples) {
    std::vector<glm::vec3> kernel;
    GenerateKernel(kDraws, kernel);
    ASSERT_EQ(kernel.size(), size_t(kDraws));
    double sumZ = 0.0;
    for (const glm::vec3& s : kernel) {
        EXPECT_NEAR(glm::length(s), 1.0f, 1e-5f);
        EXPECT_GE(s.z, 0.0f);
        sumZ += s.z;
    }
    // For density cos(theta) on the hemisphere, E[cos theta] = 2/3 (a uniform
    // hemisphere would give 1/2).
    EXPECT_NEAR(sumZ / kDraws, 2.0 / 3.0, 0.01);
}

TEST(GenerateKernel, ReplacesThePreviousSamplesKeepingStorage) {
    std::vector<glm::vec3> kernel;
    GenerateKernel(128, kernel);
    const glm::vec3* storage = kernel.data();
    GenerateKernel(4, kernel);
    EXPECT_EQ(kernel.size(), 4u);
    EXPECT_EQ(kernel.data(), storage);
    GenerateKernel(0, kernel);
    EXPECT_TRUE(kernel.empty());
}

TEST(GenerateNoise, AppendsSixteenPlanarVectorsInRange) {
    std::vector<glm::vec3> noise(1, glm::vec3(7.0f));
    GenerateNoise(noise);
    ASSERT_EQ(noise.size(), size_t(kNoiseCount) + 1);
    EXPECT_EQ(noise[0], glm::vec3(7.0f));
    for (size_t i = 1; i < noise.size(); ++i) {
        EXPECT_EQ(noise[i].z, 0.0f);
        for (int c = 0; c < 2; ++c) {
            EXPECT_GE(noise[i][c], -1.0f);
            EXPECT_LT(noise[i][c], 1.0f);
        }
    }
}

} // namespace
