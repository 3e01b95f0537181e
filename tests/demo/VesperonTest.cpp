// Vesperon: the frame-rate ring, and the whole application through Init,
// frames, an Escape that ends the loop after its frame, and Shutdown; which
// passes a frame draws for each setting, and the overlay's release.
#include "demo/Vesperon.h"
#include "demo/DemoOptions.h"

#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "gpu/GLFunctions.h"
#include "input/EventBus.h"
#include "input/Event.h"
#include "input/InputDriver.h"
#include "memory/Allocator.h"
#include "support/RunningDemo.h"
#include "scene/Mesh.h"
#include "ssao/Umbrelix.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

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

TEST(Vesperon, OptionsOpenTheirModelScaleSettingsAndExactlyTheirFirstView) {
    TempDir dir("vesperon-options");
    ASSERT_TRUE(dir.Write("box.obj", "v -1 0 -1\nv 1 0 -1\nv 1 0 1\nv -1 0 1\nv 0 2 0\n"
                                     "f 1 2 5\nf 2 3 5\nf 3 4 5\nf 4 1 5\nf 1 3 2\nf 1 4 3\n"));
    const std::string model = dir.File("box.obj");
    std::vector<std::string> words = {"vesperon", "--model",  model,   "--scale",      "2",
                                      "--eye",    "6,1.5,5",  "--dir", "-1,-0.2,-0.8", "--kernel",
                                      "16",       "--radius", "2.5",   "--ambient",    "0.3",
                                      "--blur",   "off"};
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(&w[0]);
    LogCapture capture;
    Vesperon app;
    std::string error;
    ASSERT_TRUE(ParseDemoOptions(int(argv.size()), argv.data(), &app.mOptions, &error)) << error;
    ASSERT_EQ(app.Init(SUBSYSTEM_ALL), 0) << capture.Text();
    ASSERT_FALSE(app.mSceneRoot.mChildren.empty());
    EXPECT_FLOAT_EQ(app.mSceneRoot.mChildren[0].mScale.x, 2.0f);
    const Umbrelix* renderer = app.GetRenderer();
    EXPECT_EQ(renderer->Settings().kernelSize, 16u);
    EXPECT_FLOAT_EQ(renderer->Settings().radius, 2.5f);
    EXPECT_FLOAT_EQ(renderer->Settings().ambientFactor, 0.3f);
    EXPECT_TRUE(renderer->Settings().ssaoEnabled);
    EXPECT_FALSE(renderer->Settings().blurEnabled);

    // The first frame's view is the tools' camera for the same eye and direction.
    const glm::mat4 expected =
        AimedViewMatrix(glm::vec3(6.0f, 1.5f, 5.0f), glm::vec3(-1.0f, -0.2f, -0.8f));
    app.BeginRun();
    app.Frame();
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r)
            EXPECT_NEAR(renderer->mViewMatrix[c][r], expected[c][r], 1e-5f) << c << "," << r;
    app.EndRun();
    app.Shutdown();
    EXPECT_EQ(capture.Text().find("[E]"), std::string::npos) << capture.Text();
}

// ---------------------------------------------------------------------------
// Frame order: which passes one Frame draws, in which order, for the SSAO and
// blur switches and each view mode, seen as the program current at every
// draw call the real frame makes.

namespace {

PFNGLDRAWARRAYSPROC gRealDrawArrays = nullptr;
PFNGLDRAWELEMENTSPROC gRealDrawElements = nullptr;
std::vector<GLint> gDrawPrograms;

GLint CurrentProgram() {
    GLint program = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    return program;
}
void APIENTRY RecordDrawArrays(GLenum mode, GLint first, GLsizei count) {
    gDrawPrograms.push_back(CurrentProgram());
    gRealDrawArrays(mode, first, count);
}
void APIENTRY RecordDrawElements(GLenum mode, GLsizei count, GLenum type, const void* offset) {
    gDrawPrograms.push_back(CurrentProgram());
    gRealDrawElements(mode, count, type, offset);
}

// The passes of one frame in draw order, each with how many draws it made
// in a row, e.g. "scene*304 ssao lighting text*54" (the overlay: six lines,
// each an outline of eight draws and its text).
std::string PassesOf(const std::vector<GLint>& programs, const Vesperon& app) {
    const Umbrelix* r = app.GetRenderer();
    const std::pair<uint32_t, const char*> names[] = {
        {app.mSceneProgram.program, "scene"}, {r->ShaderSSAO().program, "ssao"},
        {r->ShaderBlur().program, "blur"},    {r->ShaderLighting().program, "lighting"},
        {r->ShaderTexture().program, "view"}, {r->mShaderText.program, "text"},
    };
    std::string passes;
    size_t i = 0;
    while (i < programs.size()) {
        size_t run = i;
        while (run < programs.size() && programs[run] == programs[i])
            ++run;
        std::string name = "program " + std::to_string(programs[i]);
        for (const auto& entry : names)
            if (GLint(entry.first) == programs[i])
                name = entry.second;
        if (!passes.empty())
            passes += " ";
        passes += name;
        if (name == "scene")
            passes += "*N"; // one draw per mesh
        else if (run - i > 1)
            passes += "*" + std::to_string(run - i);
        i = run;
    }
    return passes;
}

class VesperonFrames : public RunningDemo {
protected:
    // The passes of one frame.
    std::string Frame() {
        gDrawPrograms.clear();
        gRealDrawArrays = vgl::glDrawArrays;
        gRealDrawElements = vgl::glDrawElements;
        vgl::glDrawArrays = RecordDrawArrays;
        vgl::glDrawElements = RecordDrawElements;
        mApp.Frame();
        vgl::glDrawArrays = gRealDrawArrays;
        vgl::glDrawElements = gRealDrawElements;
        return PassesOf(gDrawPrograms, mApp);
    }
    void Switches(bool ssao, bool blur, int viewMode) {
        SSAOSettings settings = mApp.GetRenderer()->Settings();
        settings.ssaoEnabled = ssao;
        settings.blurEnabled = blur;
        mApp.GetRenderer()->ApplySettings(settings);
        mApp.mViewMode = viewMode;
    }
};

} // namespace

TEST_F(VesperonFrames, OcclusionAndBlurPassesFollowTheirOwnSwitches) {
    EXPECT_EQ(Frame(), "scene*N ssao blur lighting text*54") << "the start state";
    Switches(true, false, VIEW_LIT);
    EXPECT_EQ(Frame(), "scene*N ssao lighting text*54");
    Switches(false, false, VIEW_LIT);
    EXPECT_EQ(Frame(), "scene*N lighting text*54") << "no occlusion pass while SSAO is off";
}

namespace {

void PressKey(Vesperon* app, uint8_t key) {
    for (uint8_t released : {0, 1}) {
        Event e{};
        e.type = EVENT_KEY;
        e.key.key = key;
        e.key.released = released;
        Vesperon::OnKey(&e, app);
    }
}

SSAOSettings FromOptions(std::vector<std::string> words) {
    words.insert(words.begin(), "vesperon");
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(&w[0]);
    DemoOptions options;
    std::string error;
    EXPECT_TRUE(ParseDemoOptions(int(argv.size()), argv.data(), &options, &error)) << error;
    return options.settings;
}

} // namespace

// The blur smooths what this frame's occlusion pass drew: whichever way the
// settings change, a frame with SSAO off has no blur pass (it would smooth an
// old frame's occlusion into the picture).
TEST_F(VesperonFrames, SSAOOffNeverBlursWhicheverWayTheSettingsChange) {
    Umbrelix* renderer = mApp.GetRenderer();
    SSAOSettings blurWithoutSSAO = renderer->Settings();
    blurWithoutSSAO.ssaoEnabled = false;
    blurWithoutSSAO.blurEnabled = true;
    const struct {
        const char* way;
        std::function<void()> change;
    } kWays[] = {
        {"O", [&] { PressKey(&mApp, KEY_O); }},
        {"O then P", [&] { PressKey(&mApp, KEY_O), PressKey(&mApp, KEY_P); }},
        {"P, O, P",
         [&] { PressKey(&mApp, KEY_P), PressKey(&mApp, KEY_O), PressKey(&mApp, KEY_P); }},
        {"ApplySettings asking for the blur", [&] { renderer->ApplySettings(blurWithoutSSAO); }},
        {"WithBlur(true) after WithSSAO(false)",
         [&] { renderer->ApplySettings(renderer->Settings().WithSSAO(false).WithBlur(true)); }},
        {"--ssao off",
         [&] {
             renderer->ApplySettings(FromOptions({"--ssao", "off"}));
         }},
        {"--ssao off --kernel 8",
         [&] {
             renderer->ApplySettings(FromOptions({"--ssao", "off", "--kernel", "8"}));
         }},
    };
    for (const auto& w : kWays) {
        Switches(true, true, VIEW_LIT);
        w.change();
        EXPECT_FALSE(renderer->Settings().ssaoEnabled) << w.way;
        EXPECT_FALSE(renderer->Settings().blurEnabled) << w.way;
        EXPECT_EQ(Frame(), "scene*N lighting text*54") << w.way;
    }
}

TEST_F(VesperonFrames, EachViewModeDrawsItsViewAndAnUnknownModeNone) {
    Switches(true, true, VIEW_GBUFFER);
    EXPECT_EQ(Frame(), "scene*N ssao blur view*4 text*54") << "four quarter-screen quads";
    Switches(true, true, VIEW_OCCLUSION);
    EXPECT_EQ(Frame(), "scene*N ssao blur view text*54") << "the occlusion fills the screen";
    Switches(true, true, 7);
    EXPECT_EQ(Frame(), "scene*N ssao blur text*54");
}

// A run that ends without EndRun (a test, an early return) must not leave the
// overlay's texts and atlas for after the context and zone are gone.
TEST(VesperonShutdown, ReleasesAnOverlayTheRunLeftBehind) {
    SDL_RWops* scene = SDL_RWFromFile("models/sponza.obj", "rb");
    ASSERT_NE(scene, nullptr) << "the build generates models/";
    SDL_RWclose(scene);
    LogCapture capture;
    Vesperon app;
    ASSERT_EQ(app.Init(SUBSYSTEM_ALL), 0);
    app.BeginRun();
    app.Frame();
    ASSERT_TRUE(app.mOverlay.Holds());
    app.Shutdown(); // asserts that no zone block is left in use
    EXPECT_FALSE(app.mOverlay.Holds());
    EXPECT_EQ(capture.Text().find("[E]"), std::string::npos) << capture.Text();
}

namespace {

void ExpectNear(const glm::vec3& a, const glm::vec3& b, float tolerance) {
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
}

} // namespace

TEST(VesperonAim, AnAimedAppKeepsItsViewThroughTheFramesCameraSteps) {
    Vesperon app; // not started: only its camera and motion state are used
    const glm::vec3 eye(92.0f, 6.0f, 50.0f);
    const glm::vec3 dir(1.0f, -0.25f, 0.6f);
    app.Aim(eye, dir);
    const glm::mat4 expected = AimedViewMatrix(eye, dir);
    for (int frame = 0; frame < 5; ++frame) {
        // The camera part of Vesperon::Frame, with a frame time of 16 ms.
        MotionStep(app.mPreviousPosition, app.mCurrentPosition, app.mMoveForward, app.mMoveRight,
                   app.mCamera, 0.016f);
        app.mCamera.mPitch = ClampPitch(app.mPitch);
        app.mCamera.mYaw = app.mYaw;
        app.mCamera.UpdateVectors();
        EXPECT_EQ(app.mCamera.mPosition, eye) << "frame " << frame;
        ExpectNear(app.mCamera.mFront, glm::normalize(dir), 1e-5f);
        const glm::mat4 view = app.mCamera.GetViewMatrix();
        for (int c = 0; c < 4; ++c)
            ExpectNear(glm::vec3(view[c]), glm::vec3(expected[c]), 1e-5f);
    }
    // The eye really is at `eye`: the view matrix takes it to the origin.
    ExpectNear(glm::vec3(expected * glm::vec4(eye, 1.0f)), glm::vec3(0.0f), 1e-4f);
}

TEST(VesperonAim, AStraightUpDirectionIsHeldAtThePitchLimit) {
    Vesperon app;
    app.Aim(glm::vec3(0.0f), glm::vec3(0.0f, 1.0f, 0.0f));
    EXPECT_FLOAT_EQ(app.mPitch, kPitchLimit);
    const glm::mat4 view = AimedViewMatrix(glm::vec3(0.0f), glm::vec3(0.0f, 1.0f, 0.0f));
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r)
            EXPECT_TRUE(std::isfinite(view[c][r])) << "the right vector stays defined";
}
