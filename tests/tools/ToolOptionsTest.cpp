// ToolOptions: what the shared option parsers accept and refuse, the fixed
// views, and that an aimed application's own frame step keeps the view.
#include "common/ToolOptions.h"

#include <gtest/gtest.h>

#include "demo/Camera.h"
#include "demo/Vesperon.h"

namespace {

// Runs TakeViewOption over a whole argument list, as a tool's main does.
bool ParseAll(std::vector<std::string> words, ViewOptions* options, std::string* error) {
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(&w[0]);
    int argc = int(argv.size());
    for (int i = 0; i < argc; ++i) {
        if (TakeViewOption(argc, argv.data(), &i, options, error) != OPTION_TAKEN)
            return false;
    }
    return FinishViewOptions(options, error);
}

void ExpectNear(const glm::vec3& a, const glm::vec3& b, float tolerance) {
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
}

} // namespace

TEST(ToolOptions, VectorsAreExactlyThreeFiniteNumbers) {
    glm::vec3 v(7.0f);
    std::string error;
    ASSERT_TRUE(ParseVector("92,6,50", &v, &error));
    EXPECT_EQ(v, glm::vec3(92.0f, 6.0f, 50.0f));
    ASSERT_TRUE(ParseVector("1,-0.25,.6", &v, &error));
    EXPECT_EQ(v, glm::vec3(1.0f, -0.25f, 0.6f));
    const glm::vec3 kept = v;
    for (const char* bad : {"", "1,2", "1,2,3,4", "1,,3", "1,2,", "a,b,c", "1,2,3x", "1, 2,3",
                            "nan,0,0", "0,inf,0", "1e50,0,0"}) {
        error.clear();
        EXPECT_FALSE(ParseVector(bad, &v, &error)) << bad;
        EXPECT_NE(error.find("vector \"" + std::string(bad) + "\""), std::string::npos) << bad;
        EXPECT_EQ(v, kept) << "a refused vector leaves the result alone";
    }
}

TEST(ToolOptions, KernelListsHoldDistinctSizesFromOneTo128InOrder) {
    std::vector<uint32_t> sizes;
    std::string error;
    ASSERT_TRUE(ParseKernelList("4,8,16,32,64,128", &sizes, &error));
    EXPECT_EQ(sizes, (std::vector<uint32_t>{4, 8, 16, 32, 64, 128}));
    ASSERT_TRUE(ParseKernelList("128,1", &sizes, &error));
    EXPECT_EQ(sizes, (std::vector<uint32_t>{128, 1}));
    for (const char* bad : {"", "0", "129", "-4", "4,,8", "4,8,", "4.5", "x", "8,4,8", "+4",
                            "99999999999999999999"}) {
        error.clear();
        EXPECT_FALSE(ParseKernelList(bad, &sizes, &error)) << bad;
        EXPECT_NE(error.find("bad kernel list"), std::string::npos) << bad;
    }
    EXPECT_EQ(sizes, (std::vector<uint32_t>{128, 1}));
}

TEST(ToolOptions, EstimatorIsHemisphereUnlessNamedAndNamesAreExact) {
    const struct {
        std::vector<std::string> words;
        bool accepted;
        std::vector<SSAOEstimator> estimators; // when accepted
        const char* message;                   // when refused
    } cases[] = {
        {{}, true, {ESTIMATOR_HEMISPHERE}, ""},
        {{"--estimator", "horizon"}, true, {ESTIMATOR_HORIZON}, ""},
        {{"--estimator", "hemisphere"}, true, {ESTIMATOR_HEMISPHERE}, ""},
        {{"--estimator", "horizon,hemisphere"},
         true,
         {ESTIMATOR_HORIZON, ESTIMATOR_HEMISPHERE},
         ""},
        {{"--estimator", "Horizon"}, false, {}, "\"Horizon\" is not hemisphere or horizon"},
        {{"--estimator", ""}, false, {}, "\"\" is not hemisphere or horizon"},
        {{"--estimator", "horizon,"}, false, {}, "bad estimator list \"horizon,\""},
        {{"--estimator", "horizon,horizon"}, false, {}, "horizon appears twice"},
        {{"--estimator"}, false, {}, "--estimator needs a value"},
    };
    for (const auto& c : cases) {
        ViewOptions options;
        std::string error;
        std::string words;
        for (const std::string& w : c.words)
            words += w + " ";
        EXPECT_EQ(ParseAll(c.words, &options, &error), c.accepted) << words << error;
        if (c.accepted)
            EXPECT_EQ(options.estimators, c.estimators) << words;
        else
            EXPECT_NE(error.find(c.message), std::string::npos) << words << ": " << error;
    }
    EXPECT_STREQ(EstimatorName(ESTIMATOR_HEMISPHERE), "hemisphere");
    EXPECT_STREQ(EstimatorName(ESTIMATOR_HORIZON), "horizon");
}

TEST(ToolOptions, RadiusMustBeFiniteAndPositiveCountsWithinTheirRange) {
    float r = 1.0f;
    std::string error;
    ASSERT_TRUE(ParseRadius("3.75", &r, &error));
    EXPECT_FLOAT_EQ(r, 3.75f);
    for (const char* bad : {"0", "-0.5", "-0", "", "abc", "inf", "nan", "0.9m"}) {
        EXPECT_FALSE(ParseRadius(bad, &r, &error)) << bad;
        EXPECT_NE(error.find("bad radius"), std::string::npos);
    }
    EXPECT_FLOAT_EQ(r, 3.75f);
    int n = 0;
    EXPECT_TRUE(ParseCount("5", 1, 10, &n, &error));
    EXPECT_EQ(n, 5);
    EXPECT_FALSE(ParseCount("0", 1, 10, &n, &error));
    EXPECT_FALSE(ParseCount("11", 1, 10, &n, &error));
    EXPECT_FALSE(ParseCount("3.0", 1, 10, &n, &error));
    EXPECT_EQ(n, 5);
}

TEST(ToolOptions, WithoutEyeAndDirTheFixedViewsAreMeasured) {
    ViewOptions options;
    std::string error;
    ASSERT_TRUE(ParseAll({"--model", "x.obj", "--kernels", "8", "--radius", "2"}, &options, &error))
        << error;
    EXPECT_EQ(options.modelPath, "x.obj");
    EXPECT_EQ(options.kernels, (std::vector<uint32_t>{8}));
    EXPECT_FLOAT_EQ(options.radius, 2.0f);
    ASSERT_EQ(options.views.size(), 6u);
    EXPECT_EQ(options.views[0].name, "start");
    EXPECT_EQ(options.views[0].eye, glm::vec3(0.0f, 10.0f, 0.0f));
    EXPECT_EQ(options.views[0].dir, glm::vec3(1.0f, 0.0f, 0.0f));
    EXPECT_EQ(options.views[1].name, "corner");
    EXPECT_EQ(options.views[1].eye, glm::vec3(92.0f, 6.0f, 50.0f));
    EXPECT_EQ(options.views[2].name, "gallery");
    EXPECT_EQ(options.views[2].dir, glm::vec3(0.0f, 1.1f, 1.0f));
    EXPECT_EQ(options.views[3].name, "colonnade");
    EXPECT_EQ(options.views[4].name, "arch");
    EXPECT_EQ(options.views[5].name, "balustrade");
}

TEST(ToolOptions, EyeAndDirGiveOneViewAndComeTogether) {
    ViewOptions options;
    std::string error;
    ASSERT_TRUE(ParseAll({"--eye", "1,2,3", "--dir", "0,0,-1"}, &options, &error)) << error;
    ASSERT_EQ(options.views.size(), 1u);
    EXPECT_EQ(options.views[0].eye, glm::vec3(1.0f, 2.0f, 3.0f));
    EXPECT_EQ(options.views[0].dir, glm::vec3(0.0f, 0.0f, -1.0f));

    ViewOptions eyeOnly;
    EXPECT_FALSE(ParseAll({"--eye", "1,2,3"}, &eyeOnly, &error));
    EXPECT_NE(error.find("--eye and --dir go together"), std::string::npos);
    ViewOptions zeroDir;
    EXPECT_FALSE(ParseAll({"--eye", "1,2,3", "--dir", "0,0,0"}, &zeroDir, &error));
    EXPECT_NE(error.find("bad direction"), std::string::npos);
    ViewOptions missingValue;
    EXPECT_FALSE(ParseAll({"--radius"}, &missingValue, &error));
    EXPECT_EQ(error, "--radius needs a value");
    ViewOptions emptyModel;
    EXPECT_FALSE(ParseAll({"--model", ""}, &emptyModel, &error));
}

TEST(ToolOptions, DirectionsTurnIntoTheCamerasPitchAndYaw) {
    float pitch = 0.0f, yaw = 0.0f;
    ASSERT_TRUE(DirectionToAngles(glm::vec3(1.0f, 0.0f, 0.0f), &pitch, &yaw));
    EXPECT_NEAR(pitch, 0.0f, 1e-5f);
    EXPECT_NEAR(yaw, 0.0f, 1e-5f);
    ASSERT_TRUE(DirectionToAngles(glm::vec3(0.0f, 0.0f, -3.0f), &pitch, &yaw));
    EXPECT_NEAR(yaw, -90.0f, 1e-4f) << "the camera's own default direction";
    ASSERT_TRUE(DirectionToAngles(glm::vec3(0.0f, 1.0f, 1.0f), &pitch, &yaw));
    EXPECT_NEAR(pitch, 45.0f, 1e-4f);
    EXPECT_NEAR(yaw, 90.0f, 1e-4f);
    EXPECT_FALSE(DirectionToAngles(glm::vec3(0.0f), &pitch, &yaw));
    EXPECT_FALSE(DirectionToAngles(glm::vec3(NAN, 0.0f, 1.0f), &pitch, &yaw));

    // Round trip through the camera for every fixed view.
    for (const NamedView& view : DefaultViews()) {
        ASSERT_TRUE(DirectionToAngles(view.dir, &pitch, &yaw));
        Camera camera;
        camera.mPitch = pitch;
        camera.mYaw = yaw;
        camera.UpdateVectors();
        ExpectNear(camera.mFront, glm::normalize(view.dir), 1e-5f);
    }
}

TEST(ToolOptions, AnAimedAppKeepsItsViewThroughTheFramesCameraSteps) {
    Vesperon app; // not started: only its camera and motion state are used
    const glm::vec3 eye(92.0f, 6.0f, 50.0f);
    const glm::vec3 dir(1.0f, -0.25f, 0.6f);
    AimApp(app, eye, dir);
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

TEST(ToolOptions, AStraightUpDirectionIsHeldAtThePitchLimit) {
    Vesperon app;
    AimApp(app, glm::vec3(0.0f), glm::vec3(0.0f, 1.0f, 0.0f));
    EXPECT_FLOAT_EQ(app.mPitch, kPitchLimit);
    const glm::mat4 view = AimedViewMatrix(glm::vec3(0.0f), glm::vec3(0.0f, 1.0f, 0.0f));
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r)
            EXPECT_TRUE(std::isfinite(view[c][r])) << "the right vector stays defined";
}
