// Controls: the key table with its wrap-arounds and bounds, the release
// rules, the mouse clamp, and the touch halves and bands.
#include <algorithm>
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "demo/Controls.h"
#include "demo/Vesperon.h"
#include "gpu/Window.h"
#include "input/EventBus.h"
#include "input/InputDriver.h"
#include "memory/Allocator.h"
#include "ssao/Umbrelix.h"
#include "support/GLTestContext.h"

namespace {

// An application with the allocator, event bus, window and SSAO renderer up,
// but no model: enough for the handlers, which only touch settings.
class ControlsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        app = new Vesperon();
        ASSERT_EQ(app->Engine::Init(SUBSYSTEM_MEMORY | SUBSYSTEM_EVENTS | SUBSYSTEM_WINDOW), 0);
        app->mRenderer = new Umbrelix(app->mWindow);
        ASSERT_EQ(app->mRenderer->Init(), 0);
    }
    static void TearDownTestSuite() {
        app->Shutdown();
        delete app;
    }
    void SetUp() override {
        Umbrelix* r = app->GetRenderer();
        r->ApplySettings(SSAOSettings());
        r->SetKernelSize(kDefaultKernelSize);
        app->mViewMode = VIEW_LIT;
        app->mMoveForward = app->mMoveRight = app->mPitch = app->mYaw = 0.0f;
        app->mRunning = true;
    }

    static void Key(uint8_t key, bool released = false) {
        Event e{};
        e.type = EVENT_KEY;
        e.key.key = key;
        e.key.released = released ? 1 : 0;
        Vesperon::OnKey(&e, app);
    }
    static void Touch(uint8_t action, float x, float y, float dx = 0, float dy = 0) {
        Event e{};
        e.type = EVENT_TOUCH_FINGER;
        e.touch.action = action;
        e.touch.x = x;
        e.touch.y = y;
        e.touch.dx = dx;
        e.touch.dy = dy;
        Vesperon::OnTouch(&e, app);
    }
    // A finger position at window pixel (px, py) of the 1440 x 900 window.
    static float X(float px) { return px / 1440.0f; }
    static float Y(float py) { return py / 900.0f; }
    Umbrelix* R() { return app->GetRenderer(); }
    // Presses up and then as many down walk the same values back in reverse,
    // exact hundredths all the way, passing the top and 0 themselves.
    static void ExpectStepsRetraceExactly(uint8_t up, uint8_t down, int presses, float top,
                                          float (*read)()) {
        const float start = read();
        std::vector<float> upward{start};
        for (int i = 0; i < presses; ++i) {
            Key(up);
            upward.push_back(read());
        }
        for (float value : upward) {
            EXPECT_EQ(value, std::round(value * 100.0f) / 100.0f) << "not a whole hundredth";
            EXPECT_GE(value, 0.0f);
            EXPECT_LE(value, top);
        }
        EXPECT_NE(std::find(upward.begin(), upward.end(), top), upward.end()) << "top never shown";
        EXPECT_NE(std::find(upward.begin(), upward.end(), 0.0f), upward.end()) << "0 never shown";
        for (int i = presses - 1; i >= 0; --i) {
            Key(down);
            ASSERT_EQ(read(), upward[i]) << "press " << presses - i << " down";
        }
    }

    static Vesperon* app;
};

Vesperon* ControlsTest::app = nullptr;

} // namespace

TEST_F(ControlsTest, OSwitchesSSAOAndBlurTogetherAndPOnlyWhileSSAOIsOn) {
    Key(KEY_P);
    EXPECT_TRUE(R()->Settings().ssaoEnabled);
    EXPECT_FALSE(R()->Settings().blurEnabled);
    Key(KEY_O);
    EXPECT_FALSE(R()->Settings().ssaoEnabled);
    EXPECT_FALSE(R()->Settings().blurEnabled);
    Key(KEY_P);
    EXPECT_FALSE(R()->Settings().blurEnabled) << "P does nothing while SSAO is off";
    Key(KEY_O);
    EXPECT_TRUE(R()->Settings().ssaoEnabled);
    EXPECT_TRUE(R()->Settings().blurEnabled) << "switching SSAO on switches blur on";
}

// H takes the other estimator on its own normals; N switches the normals
// and C accumulation at rest, each leaving the rest of the settings as it was.
TEST_F(ControlsTest, HSwitchesTheEstimatorOnItsOwnNormalsNTheNormalsAndCAccumulation) {
    const struct {
        uint8_t key;
        SSAOEstimator estimator;
        SSAONormals normals;
        bool accumulate;
    } kPresses[] = {
        {KEY_N, ESTIMATOR_HEMISPHERE, NORMALS_GEOMETRIC, false},
        {KEY_C, ESTIMATOR_HEMISPHERE, NORMALS_GEOMETRIC, true},
        {KEY_H, ESTIMATOR_HORIZON, DefaultNormals(ESTIMATOR_HORIZON), true},
        {KEY_N, ESTIMATOR_HORIZON,
         DefaultNormals(ESTIMATOR_HORIZON) == NORMALS_GEOMETRIC ? NORMALS_SHADING
                                                                : NORMALS_GEOMETRIC,
         true},
        {KEY_H, ESTIMATOR_HEMISPHERE, DefaultNormals(ESTIMATOR_HEMISPHERE), true},
        {KEY_C, ESTIMATOR_HEMISPHERE, DefaultNormals(ESTIMATOR_HEMISPHERE), false},
    };
    const SSAOSettings start = R()->Settings();
    int press = 0;
    for (const auto& p : kPresses) {
        Key(p.key);
        const SSAOSettings& now = R()->Settings();
        EXPECT_EQ(now.estimator, p.estimator) << "press " << press;
        EXPECT_EQ(now.normals, p.normals) << "press " << press;
        EXPECT_EQ(now.accumulate, p.accumulate) << "press " << press;
        EXPECT_EQ(now.kernelSize, start.kernelSize);
        EXPECT_EQ(now.radius, start.radius);
        EXPECT_TRUE(now.ssaoEnabled && now.blurEnabled);
        ++press;
    }
}

TEST_F(ControlsTest, TAndBackCycleLitThenOcclusionThenGBuffer) {
    Key(KEY_T);
    EXPECT_EQ(app->mViewMode, VIEW_OCCLUSION);
    Key(KEY_AC_BACK);
    EXPECT_EQ(app->mViewMode, VIEW_GBUFFER);
    Key(KEY_T);
    EXPECT_EQ(app->mViewMode, VIEW_LIT);
    app->mViewMode = 7;
    Key(KEY_T);
    EXPECT_EQ(app->mViewMode, VIEW_LIT) << "any other value goes back to the lit view";
}

TEST_F(ControlsTest, KernelSizeDoublesAndHalvesWithinFourTo128) {
    for (uint32_t expected : {8u, 16u, 32u, 64u, 128u, 128u}) {
        Key(KEY_EQUALS);
        EXPECT_EQ(R()->Settings().kernelSize, expected);
    }
    EXPECT_EQ(R()->Kernel().size(), 128u);
    for (uint32_t expected : {64u, 32u, 16u, 8u, 4u, 4u}) {
        Key(KEY_MINUS);
        EXPECT_EQ(R()->Settings().kernelSize, expected);
    }
}

TEST_F(ControlsTest, RadiusAndAmbientStepAndWrapWithStrictComparisons) {
    R()->SetRadius(5.0f);
    Key(KEY_APOSTROPHE);
    EXPECT_FLOAT_EQ(R()->Settings().radius, 0.0f);
    Key(KEY_SEMICOLON);
    EXPECT_FLOAT_EQ(R()->Settings().radius, 5.0f);
    Key(KEY_SEMICOLON);
    EXPECT_FLOAT_EQ(R()->Settings().radius, 4.95f);
    R()->SetRadius(4.95f);
    Key(KEY_APOSTROPHE);
    EXPECT_FLOAT_EQ(R()->Settings().radius, 4.95f + 0.05f)
        << "exactly the top is kept, not wrapped";

    R()->SetAmbientFactor(1.0f);
    Key(KEY_RIGHTBRACKET);
    EXPECT_FLOAT_EQ(R()->Settings().ambientFactor, 0.0f);
    Key(KEY_LEFTBRACKET);
    EXPECT_FLOAT_EQ(R()->Settings().ambientFactor, 1.0f);
    Key(KEY_LEFTBRACKET);
    EXPECT_FLOAT_EQ(R()->Settings().ambientFactor, 0.95f);
}

TEST_F(ControlsTest, LongRunsOfStepsKeepExactHundredthsAndReturnToTheStart) {
    ExpectStepsRetraceExactly(KEY_APOSTROPHE, KEY_SEMICOLON, 200, 5.0f,
                              [] { return app->GetRenderer()->Settings().radius; });
    EXPECT_EQ(R()->Settings().radius, kDefaultRadius);
    ExpectStepsRetraceExactly(KEY_RIGHTBRACKET, KEY_LEFTBRACKET, 100, 1.0f,
                              [] { return app->GetRenderer()->Settings().ambientFactor; });
    EXPECT_EQ(R()->Settings().ambientFactor, kDefaultAmbientFactor);
}

TEST(SettingSteps, HundredthsWrapStrictlyAtTheTopAndAtZero) {
    EXPECT_EQ(StepUpHundredths(495, kMaxRadiusHundredths), 500);
    EXPECT_EQ(StepUpHundredths(500, kMaxRadiusHundredths), 0);
    EXPECT_EQ(StepDownHundredths(5, kMaxAmbientHundredths), 0);
    EXPECT_EQ(StepDownHundredths(0, kMaxAmbientHundredths), 100);
    for (int n = 0; n <= kMaxRadiusHundredths; ++n)
        ASSERT_EQ(ToHundredths(FromHundredths(n)), n);
}

TEST_F(ControlsTest, MovementKeysSetInputsAndOnlyTheirReleaseClearsThem) {
    Key(KEY_W);
    EXPECT_FLOAT_EQ(app->mMoveForward, 1.0f);
    Key(KEY_S);
    EXPECT_FLOAT_EQ(app->mMoveForward, -1.0f);
    Key(KEY_S, true);
    EXPECT_FLOAT_EQ(app->mMoveForward, 0.0f) << "releasing S stops the axis although W is held";
    Key(KEY_A);
    EXPECT_FLOAT_EQ(app->mMoveRight, -1.0f);
    Key(KEY_D);
    EXPECT_FLOAT_EQ(app->mMoveRight, 1.0f);
    Key(KEY_O, true);
    EXPECT_TRUE(R()->Settings().ssaoEnabled) << "releases of other keys do nothing";
    Key(KEY_A, true);
    EXPECT_FLOAT_EQ(app->mMoveRight, 0.0f);
}

TEST_F(ControlsTest, EscapePostsAQuitThatEndsTheLoopInTheSameProcessEvents) {
    app->mEventBus->RegisterHandler(EVENT_QUIT, Vesperon::OnQuit, app);
    app->mEventBus->RegisterHandler(EVENT_KEY, Vesperon::OnKey, app);
    Event escape{};
    escape.type = EVENT_KEY;
    escape.key.key = KEY_ESCAPE;
    app->mEventBus->PostEvent(escape);
    app->mEventBus->ProcessEvents();
    EXPECT_FALSE(app->mRunning);
}

TEST_F(ControlsTest, MouseTurnsTenthOfADegreePerPixelAndClampsPitch) {
    Event e{};
    e.type = EVENT_MOUSE_MOTION;
    e.motion.xrel = 30;
    e.motion.yrel = -20;
    Vesperon::OnMouseMotion(&e, app);
    EXPECT_NEAR(app->mYaw, 3.0f, 1e-5f);
    EXPECT_NEAR(app->mPitch, 2.0f, 1e-5f) << "moving the mouse up looks up";
    e.motion.xrel = 0;
    e.motion.yrel = -1000;
    Vesperon::OnMouseMotion(&e, app);
    EXPECT_FLOAT_EQ(app->mPitch, 89.9f);
    e.motion.yrel = 5000;
    Vesperon::OnMouseMotion(&e, app);
    EXPECT_FLOAT_EQ(app->mPitch, -89.9f);
}

TEST_F(ControlsTest, TouchRightHalfTurnsLeftHalfMoves) {
    Touch(TOUCH_MOVED, X(1000), Y(400), 0.1f, -0.05f);
    EXPECT_NEAR(app->mYaw, 18.0f, 1e-4f);
    EXPECT_NEAR(app->mPitch, 9.0f, 1e-4f);
    EXPECT_FLOAT_EQ(app->mMoveForward, 0.0f);
    Touch(TOUCH_MOVED, X(300), Y(400), 0.02f, -0.01f);
    EXPECT_NEAR(app->mMoveForward, 0.3f, 1e-5f);
    EXPECT_NEAR(app->mMoveRight, 0.6f, 1e-5f);
    Touch(TOUCH_LIFTED, X(1000), Y(400));
    EXPECT_NEAR(app->mMoveForward, 0.3f, 1e-5f) << "a lift in the right half leaves the input";
    Touch(TOUCH_LIFTED, X(300), Y(400));
    EXPECT_FLOAT_EQ(app->mMoveForward, 0.0f);
    EXPECT_FLOAT_EQ(app->mMoveRight, 0.0f);
}

TEST_F(ControlsTest, TouchLiftsInTheOverlayBandsChangeThatRowsSetting) {
    Touch(TOUCH_LIFTED, X(20), Y(10));
    EXPECT_FALSE(R()->Settings().ssaoEnabled);
    Touch(TOUCH_LIFTED, X(20), Y(35));
    EXPECT_FALSE(R()->Settings().blurEnabled) << "blur band does nothing while SSAO is off";
    Touch(TOUCH_LIFTED, X(20), Y(29));
    Touch(TOUCH_LIFTED, X(20), Y(30.5f));
    EXPECT_FALSE(R()->Settings().blurEnabled);
    R()->SetKernelSize(128);
    Touch(TOUCH_LIFTED, X(20), Y(50));
    EXPECT_EQ(R()->Settings().kernelSize, 4u) << "the samples band wraps 128 to 4";
    Touch(TOUCH_LIFTED, X(20), Y(59));
    EXPECT_EQ(R()->Settings().kernelSize, 8u);
    Touch(TOUCH_LIFTED, X(20), Y(60.5f));
    EXPECT_EQ(R()->Settings().kernelSize, 8u) << "past 60 is below the bands";
    Touch(TOUCH_DOWN, X(20), Y(10));
    EXPECT_TRUE(R()->Settings().ssaoEnabled) << "touching down does nothing";
}
