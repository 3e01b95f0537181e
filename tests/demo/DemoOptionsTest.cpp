// DemoOptions: what the shared option parsers accept and refuse, the demo's
// command line and the one that reopens a view, and that an aimed
// application's own frame step keeps the view.
#include "demo/DemoOptions.h"

#include <gtest/gtest.h>

#include "demo/Camera.h"
#include "demo/Vesperon.h"

namespace {

void ExpectNear(const glm::vec3& a, const glm::vec3& b, float tolerance) {
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
}

} // namespace

TEST(DemoOptions, VectorsAreExactlyThreeFiniteNumbers) {
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

TEST(DemoOptions, RadiusMustBeFiniteAndPositiveCountsWithinTheirRange) {
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

TEST(DemoOptions, DirectionsTurnIntoTheCamerasPitchAndYaw) {
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

    // Round trip through the camera for directions all round.
    for (const glm::vec3& dir : {glm::vec3(1.0f, 0.0f, 0.0f), glm::vec3(1.0f, -0.25f, 0.6f),
                                 glm::vec3(0.0f, 1.1f, 1.0f), glm::vec3(1.0f, -0.06f, -0.1f),
                                 glm::vec3(-0.7f, 0.55f, 0.6f), glm::vec3(1.0f, -0.1f, 0.05f)}) {
        ASSERT_TRUE(DirectionToAngles(dir, &pitch, &yaw));
        Camera camera;
        camera.mPitch = pitch;
        camera.mYaw = yaw;
        camera.UpdateVectors();
        ExpectNear(camera.mFront, glm::normalize(dir), 1e-5f);
    }
}

TEST(DemoOptions, AnAimedAppKeepsItsViewThroughTheFramesCameraSteps) {
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

TEST(DemoOptions, AStraightUpDirectionIsHeldAtThePitchLimit) {
    Vesperon app;
    AimApp(app, glm::vec3(0.0f), glm::vec3(0.0f, 1.0f, 0.0f));
    EXPECT_FLOAT_EQ(app.mPitch, kPitchLimit);
    const glm::mat4 view = AimedViewMatrix(glm::vec3(0.0f), glm::vec3(0.0f, 1.0f, 0.0f));
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r)
            EXPECT_TRUE(std::isfinite(view[c][r])) << "the right vector stays defined";
}

namespace {

// ParseDemoOptions over words, the program name put in front.
bool ParseWords(std::vector<std::string> words, DemoOptions* options, std::string* error) {
    words.insert(words.begin(), "vesperon");
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(&w[0]);
    return ParseDemoOptions(int(argv.size()), argv.data(), options, error);
}

bool SameOptions(const DemoOptions& a, const DemoOptions& b) {
    return a.modelPath == b.modelPath && a.scale == b.scale && a.hasEye == b.hasEye &&
           a.hasDir == b.hasDir && a.eye == b.eye && a.dir == b.dir && a.kernel == b.kernel &&
           a.radius == b.radius && a.ambient == b.ambient && a.ssao == b.ssao && a.blur == b.blur &&
           a.estimator == b.estimator;
}

} // namespace

TEST(DemoOptions, WithoutOptionsTheDemoOpensItsOwnSceneAsAlways) {
    DemoOptions options;
    std::string error;
    ASSERT_TRUE(ParseWords({}, &options, &error)) << error;
    EXPECT_EQ(options.modelPath, "models/sponza.obj");
    EXPECT_FLOAT_EQ(options.scale, 0.075f);
    EXPECT_FALSE(options.hasEye);
    EXPECT_EQ(options.kernel, 4u);
    EXPECT_FLOAT_EQ(options.radius, 0.9f);
    EXPECT_FLOAT_EQ(options.ambient, 0.75f);
    EXPECT_TRUE(options.ssao && options.blur);
    EXPECT_FALSE(options.help);
    ASSERT_TRUE(ParseWords({"--ssao", "off"}, &options, &error));
    EXPECT_FALSE(options.blur) << "the blur is kept off while SSAO is off";
    ASSERT_TRUE(ParseWords({"--help"}, &options, &error));
    EXPECT_TRUE(options.help);
}

TEST(DemoOptions, BadOptionsAreRefusedWithAMessageNamingThem) {
    const struct {
        std::vector<std::string> words;
        const char* message;
    } kCases[] = {
        {{"--frobnicate"}, "unknown option \"--frobnicate\" (see --help)"},
        {{"model.obj"}, "unknown option \"model.obj\""},
        {{"--model"}, "--model needs a value"},
        {{"--model", ""}, "--model needs a path"},
        {{"--scale", "0"}, "bad scale \"0\": expected a finite number greater than 0"},
        {{"--scale", "-1"}, "bad scale \"-1\""},
        {{"--scale", "1e40"}, "bad scale \"1e40\": it is too large for a float"},
        {{"--scale", "inf"}, "bad scale \"inf\""},
        {{"--eye", "1,2"}, "malformed vector \"1,2\": expected three finite numbers x,y,z"},
        {{"--eye", "1,2,3"}, "--eye and --dir go together: give both or neither"},
        {{"--dir", "1,0,0"}, "--eye and --dir go together"},
        {{"--eye", "0,0,0", "--dir", "0,0,0"}, "bad direction \"0,0,0\": it has no length"},
        {{"--kernel", "2"}, "bad kernel size \"2\": expected a power of two from 4 to 128"},
        {{"--kernel", "256"}, "bad kernel size \"256\""},
        {{"--kernel", "12"}, "bad kernel size \"12\""},
        {{"--kernel", "8.0"}, "bad kernel size \"8.0\""},
        {{"--radius", "5.01"}, "bad radius \"5.01\": expected a number from 0 to 5"},
        {{"--radius", "-0.1"}, "bad radius \"-0.1\""},
        {{"--radius", "nan"}, "bad radius \"nan\""},
        {{"--ambient", "1.5"}, "bad ambient factor \"1.5\": expected a number from 0 to 1"},
        {{"--ambient", "x"}, "bad ambient factor \"x\""},
        {{"--ssao", "yes"}, "bad --ssao \"yes\": expected on or off"},
        {{"--estimator", "Horizon"}, "bad estimator \"Horizon\": hemisphere or horizon"},
        {{"--blur", "1"}, "bad --blur \"1\": expected on or off"},
        {{"--ssao", "off", "--blur", "on"},
         "--blur on needs --ssao on: the blur is kept off while SSAO is off"},
        {{"--radius"}, "--radius needs a value"},
    };
    for (const auto& c : kCases) {
        DemoOptions options;
        options.modelPath = "kept";
        std::string error;
        EXPECT_FALSE(ParseWords(c.words, &options, &error)) << c.words[0];
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        EXPECT_EQ(options.modelPath, "kept") << "a refused command line changes nothing";
    }
}

TEST(DemoOptions, EveryOptionAndTheReopeningArgumentsReadBackAsTheSameOptions) {
    DemoOptions defaults;
    DemoOptions custom;
    custom.modelPath = "/tmp/a b/it's.obj";
    custom.scale = 1.0f;
    custom.hasEye = custom.hasDir = true;
    custom.eye = glm::vec3(-95.123456f, 8.0f, 1e-7f);
    custom.dir = glm::vec3(0.3333333f, -0.25f, 0.6f);
    custom.kernel = 128; // the ends of the controls' ranges
    custom.radius = 5.0f;
    custom.ambient = 0.0f;
    custom.estimator = ESTIMATOR_HORIZON;
    DemoOptions off = defaults;
    off.ssao = off.blur = false;
    DemoOptions noBlur = defaults;
    noBlur.blur = false;
    for (const DemoOptions& options : {defaults, custom, off, noBlur}) {
        DemoOptions read;
        std::string error;
        ASSERT_TRUE(ParseWords(DemoArguments(options), &read, &error)) << error;
        EXPECT_TRUE(SameOptions(read, options)) << DemoCommandLine(options);
    }
}

TEST(DemoOptions, TheCommandLineQuotesWordsAShellWouldSplit) {
    DemoOptions options;
    options.program = "./build/vesperon";
    options.modelPath = "/tmp/a b/it's.obj";
    const std::string line = DemoCommandLine(options);
    EXPECT_EQ(line.rfind("./build/vesperon --model '/tmp/a b/it'\\''s.obj' --scale 0.075 ", 0), 0u)
        << line;
    EXPECT_NE(line.find("--kernel 4 --radius 0.9 --ambient 0.75 --ssao on --blur on"),
              std::string::npos)
        << line;
}
