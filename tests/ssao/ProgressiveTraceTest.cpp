// ProgressiveTrace: the rounds add up to exactly the one-shot trace, a new
// view throws the old rounds away, the same view does not restart, stopping
// mid-trace returns, and the round order covers every lattice index once.
#include "ssao/ProgressiveTrace.h"

#include <set>

#include <glm/gtc/matrix_transform.hpp>
#include <gtest/gtest.h>

#include "demo/Camera.h"
#include "support/TraceCamera.h"
#include "ssao/AoScene.h"

namespace {

constexpr int kWidth = kTraceTestWidth;
constexpr int kHeight = kTraceTestHeight;
constexpr int kWaitMs = 60000;

// The floor y = 0 and, for x >= 0, a tall wall facing -x.
class ProgressiveTraceTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::vector<float> floor{-50, 0, 50, 50, 0, 50, 50, 0, -50, -50, 0, -50};
        std::vector<float> wall{0, 0, 50, 0, 0, -50, 0, 40, -50, 0, 40, 50};
        std::vector<uint32_t> quad{0, 1, 2, 0, 2, 3};
        ASSERT_EQ(mScene.Create(), 0);
        ASSERT_EQ(
            mScene.AddMesh(floor.data(), 4, quad.data(), 6, glm::mat4(1.0f), nullptr, nullptr), 0);
        ASSERT_EQ(mScene.AddMesh(wall.data(), 4, quad.data(), 6, glm::mat4(1.0f), nullptr, nullptr),
                  0);
        ASSERT_EQ(mScene.Commit(), 0);
    }

    ReferenceImage OneShot(const CameraSetup& camera, float radius) {
        TraceSettings settings;
        settings.radius = radius;
        settings.rays = kTruthRays;
        settings.threads = 1;
        ReferenceImage image;
        EXPECT_EQ(TraceReference(mScene, camera, settings, &image), 0);
        return image;
    }

    AoScene mScene;
};

ProgressiveSettings TwoThreads(int firstRoundRays = 4, int raysPerRound = 16) {
    ProgressiveSettings settings;
    settings.threads = 2;
    settings.firstRoundRays = firstRoundRays;
    settings.raysPerRound = raysPerRound;
    settings.lowPriority = false;
    return settings;
}

} // namespace

namespace {

// A device maker that fails as Embree does when it can't make one.
RTCDeviceTy* NoDevice(const char*) {
    return nullptr;
}

} // namespace

TEST_F(ProgressiveTraceTest, AllRoundsTogetherGiveExactlyTheOneShotTrace) {
    CameraSetup camera = TraceCameraLookingAt({-3, 30, 0}, {-3, 0, 0});
    ReferenceImage expected = OneShot(camera, 1.0f);
    struct Rounds {
        int first, most;
    } schedules[] = {{4, 16}, {4, 4}, {16, 64}, {256, 256}};
    for (const Rounds& rounds : schedules) {
        ProgressiveTrace trace;
        ASSERT_EQ(trace.Start(&mScene, TwoThreads(rounds.first, rounds.most)), 0);
        trace.SetView(camera, 1.0f);
        ASSERT_TRUE(trace.WaitComplete(kWaitMs));
        uint64_t generation = 0;
        int rays = 0;
        TruthSnapshot snapshot;
        ASSERT_TRUE(trace.Snapshot(&generation, &rays, &snapshot));
        EXPECT_EQ(snapshot.rays, kTruthRays);
        EXPECT_EQ(snapshot.image.mask, expected.mask);
        EXPECT_EQ(snapshot.image.depth, expected.depth);
        EXPECT_EQ(snapshot.image.visibility, expected.visibility)
            << rounds.first << " then up to " << rounds.most << " a round";
        EXPECT_FALSE(trace.Snapshot(&generation, &rays, &snapshot)) << "nothing new since";
    }
}

TEST_F(ProgressiveTraceTest, EarlyRoundsAreAlreadyCloseToTheOneShotTrace) {
    CameraSetup camera = TraceCameraLookingAt({-3, 30, 0}, {-3, 0, 0});
    ReferenceImage expected = OneShot(camera, 1.0f);
    // Stop looking once 16 rays are in.
    ProgressiveSettings settings = TwoThreads();
    ProgressiveTrace trace;
    ASSERT_EQ(trace.Start(&mScene, settings), 0);
    trace.SetView(camera, 1.0f);
    uint64_t generation = 0;
    int rays = 0;
    TruthSnapshot early;
    while (rays < kTruthFiguresFromRays)
        trace.Snapshot(&generation, &rays, &early);
    trace.Stop();
    double error = 0.0;
    for (size_t i = 0; i < expected.visibility.size(); ++i)
        error += std::fabs(early.image.visibility[i] - expected.visibility[i]);
    error /= double(expected.visibility.size());
    EXPECT_LT(error, 0.05) << "after " << early.rays << " rays";
}

TEST_F(ProgressiveTraceTest, ANewViewDiscardsTheOldRoundsAndTheSameViewKeepsThem) {
    CameraSetup first = TraceCameraLookingAt({-3, 30, 0}, {-3, 0, 0});
    CameraSetup second = TraceCameraLookingAt({-20, 30, 0}, {-20, 0, 0}); // open floor only
    ReferenceImage expected = OneShot(second, 1.0f);
    ProgressiveTrace trace;
    ASSERT_EQ(trace.Start(&mScene, TwoThreads()), 0);
    trace.SetView(first, 1.0f);
    ASSERT_TRUE(trace.WaitComplete(kWaitMs));
    uint64_t generation = trace.Generation();
    trace.SetView(first, 1.0f);
    EXPECT_EQ(trace.Generation(), generation) << "the same view goes on";
    EXPECT_EQ(trace.RaysDone(), kTruthRays);

    trace.SetView(second, 1.0f);
    EXPECT_NE(trace.Generation(), generation);
    EXPECT_LT(trace.RaysDone(), kTruthRays) << "the rays of the old view are not counted";
    ASSERT_TRUE(trace.WaitComplete(kWaitMs));
    uint64_t seen = 0;
    int rays = 0;
    TruthSnapshot snapshot;
    ASSERT_TRUE(trace.Snapshot(&seen, &rays, &snapshot));
    EXPECT_EQ(snapshot.image.visibility, expected.visibility);

    // A new radius is a new view as well.
    generation = trace.Generation();
    trace.SetView(second, 2.0f);
    EXPECT_NE(trace.Generation(), generation);
}

TEST_F(ProgressiveTraceTest, UnusableSettingsAreRefused) {
    struct Case {
        int threads, first, most, total;
    } cases[] = {
        {0, 4, 16, 256},   // no worker
        {2, 0, 16, 256},   // an empty first round
        {2, 3, 3, 256},    // slices that don't divide the lattice
        {2, 4, 4, 12},     // three slices: no bit-reversed order
        {2, 4, 6, 256},    // rounds that cut a slice
        {2, 4, 2, 256},    // later rounds smaller than the first
        {2, 1, 1, 131072}, // more rays than a pixel's count holds
    };
    for (const Case& c : cases) {
        ProgressiveSettings settings;
        settings.threads = c.threads;
        settings.firstRoundRays = c.first;
        settings.raysPerRound = c.most;
        settings.totalRays = c.total;
        ProgressiveTrace trace;
        EXPECT_EQ(trace.Start(&mScene, settings), -1) << c.first << " " << c.most << " " << c.total;
        EXPECT_FALSE(trace.Running());
    }
    ProgressiveTrace trace;
    EXPECT_EQ(trace.Start(nullptr, TwoThreads()), -1);
}

TEST(ProgressiveTraceRounds, EveryResidueIsTracedOnceAndEarlyRoundsSpreadOut) {
    for (int rounds : {1, 2, 16, 64}) {
        std::set<int> residues;
        for (int r = 0; r < rounds; ++r)
            residues.insert(ProgressiveTrace::RoundResidue(r, rounds));
        EXPECT_EQ(int(residues.size()), rounds);
        EXPECT_EQ(*residues.rbegin(), rounds - 1);
    }
    EXPECT_EQ(ProgressiveTrace::RoundResidue(1, 64), 32) << "the second round fills the middle";
}

TEST(AoSceneFailure, ADeviceThatCannotBeMadeFailsCreate) {
    AoScene scene(NoDevice);
    EXPECT_EQ(scene.Create(), -1);
    AoScene embree;
    EXPECT_EQ(embree.Create(), 0) << "Embree's own device by default";
}

TEST_F(ProgressiveTraceTest, AViewChangedEveryFrameThenHeldStillIsTracedToTheEnd) {
    ProgressiveTrace trace;
    for (int cycle = 0; cycle < 3; ++cycle) {
        ASSERT_EQ(trace.Start(&mScene, TwoThreads()), 0);
        for (int frame = 0; frame < 200; ++frame)
            trace.SetView(TraceCameraLookingAt({-3.0f + 0.01f * frame, 30, 0}, {-3, 0, 0}), 1.0f);
        CameraSetup still = TraceCameraLookingAt({-10, 30, 0}, {-10, 0, 0});
        trace.SetView(still, 1.0f);
        ASSERT_TRUE(trace.WaitComplete(kWaitMs)) << "cycle " << cycle;
        EXPECT_EQ(trace.RaysDone(), kTruthRays);
        trace.Stop();
    }
}

// Stopped at any moment mid-trace it returns (a second Stop is harmless),
// and started again it traces the same view to the end.
TEST_F(ProgressiveTraceTest, StoppedAndStartedAgainOnTheSameViewTracesItToTheEnd) {
    CameraSetup camera = TraceCameraLookingAt({-3, 30, 0}, {-3, 0, 0});
    camera.width = 200;
    camera.height = 150;
    camera.proj = MakeProjection(200.0f, 150.0f);
    ProgressiveTrace trace;
    for (int delayMs : {0, 1, 5, 20, 50}) {
        ASSERT_EQ(trace.Start(&mScene, TwoThreads()), 0);
        trace.SetView(camera, 1.0f);
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        trace.Stop();
        EXPECT_FALSE(trace.Running());
        if (delayMs <= 5) // far from the millions of rays this view takes
            EXPECT_LT(trace.RaysDone(), kTruthRays) << "stopped " << delayMs << " ms in";
        trace.Stop();
    }
    ASSERT_EQ(trace.Start(&mScene, TwoThreads()), 0);
    trace.SetView(camera, 1.0f);
    ASSERT_TRUE(trace.WaitComplete(kWaitMs));
    EXPECT_EQ(trace.RaysDone(), kTruthRays);
}
