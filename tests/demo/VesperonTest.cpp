// Vesperon: the frame-rate ring, and the whole application through Init,
// frames, an Escape that ends the loop after its frame, and Shutdown.
#include "demo/Vesperon.h"

#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include "input/EventBus.h"
#include "input/InputDriver.h"
#include "memory/Allocator.h"
#include "scene/Mesh.h"
#include "ssao/Umbrelix.h"
#include "support/LogCapture.h"

TEST(FrameRateRing, ShowsTheMeanOfTheLastTenRatesStartingFromZero) {
    FrameRateRing ring;
    EXPECT_FLOAT_EQ(ring.Mean(), 0.0f) << "the first frame shows 0";
    ring.Add(10.0f); // 100 fps
    EXPECT_FLOAT_EQ(ring.Mean(), 10.0f) << "nine zeros still in the ring";
    for (int i = 0; i < 9; ++i)
        ring.Add(10.0f);
    EXPECT_NEAR(ring.Mean(), 100.0f, 1e-3f);
    for (int i = 0; i < 10; ++i)
        ring.Add(20.0f); // 50 fps replaces every sample
    EXPECT_NEAR(ring.Mean(), 50.0f, 1e-3f);
    EXPECT_EQ(ring.index, 0);
}

TEST(FrameRateRing, AFrameMeasuredAsZeroMillisecondsIsSkipped) {
    FrameRateRing ring;
    ring.Add(0.0f);
    EXPECT_EQ(ring.index, 0);
    EXPECT_FLOAT_EQ(ring.sum, 0.0f);
}

TEST(Vesperon, StartsRendersFramesQuitsOnEscapeAndShutsDownClean) {
    // Without the scene the demo would show its error box and wait for a user.
    SDL_RWops* scene = SDL_RWFromFile("models/sponza.obj", "rb");
    ASSERT_NE(scene, nullptr) << "the build generates models/";
    SDL_RWclose(scene);
    LogCapture capture;
    Vesperon app;
    ASSERT_EQ(app.Init(SUBSYSTEM_ALL), 0) << capture.Text();
    EXPECT_TRUE(capture.ContainsFragment("[Game] Initialising input subsystem"));
    EXPECT_LT(capture.Text().find("Initialising input subsystem"),
              capture.Text().find("Initialising rendering subsystem"))
        << "the demo creates its renderer after the engine's subsystems";
    ASSERT_NE(app.mMeshes, nullptr);
    ASSERT_FALSE(app.mSceneRoot.mChildren.empty());
    EXPECT_FLOAT_EQ(app.mSceneRoot.mChildren[0].mScale.x, kModelScale);
    EXPECT_EQ(app.mCurrentPosition, glm::vec3(0.0f, kEyeHeight, 0.0f));

    app.BeginRun();
    EXPECT_TRUE(app.mRunning);
    app.Frame();
    app.Frame();
    EXPECT_NEAR(app.mCamera.mFront.x, 1.0f, 1e-5f) << "the first frames look along +x";

    Event escape{};
    escape.type = EVENT_KEY;
    escape.key.key = KEY_ESCAPE;
    app.mEventBus->PostEvent(escape);
    app.Frame();
    EXPECT_FALSE(app.mRunning) << "the quit lands in the frame that handled Escape";
    app.EndRun();
    app.Shutdown(); // asserts that no zone block is left in use
    EXPECT_EQ(capture.Text().find("[E]"), std::string::npos) << capture.Text();
}
