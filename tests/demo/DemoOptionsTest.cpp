// DemoOptions: the demo's command line and the one that reopens a view.
#include "demo/DemoOptions.h"

#include <gtest/gtest.h>

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
           a.hasDir == b.hasDir && a.eye == b.eye && a.dir == b.dir && a.settings == b.settings;
}

} // namespace

TEST(DemoOptions, WithoutOptionsTheDemoOpensItsOwnSceneAsAlways) {
    DemoOptions options;
    std::string error;
    ASSERT_TRUE(ParseWords({}, &options, &error)) << error;
    EXPECT_EQ(options.modelPath, "models/sponza.obj");
    EXPECT_FLOAT_EQ(options.scale, 0.075f);
    EXPECT_FALSE(options.hasEye);
    EXPECT_EQ(options.settings, SSAOSettings()) << "the renderer's own start settings";
    EXPECT_FALSE(options.help);
    ASSERT_TRUE(ParseWords({"--ssao", "off"}, &options, &error));
    EXPECT_FALSE(options.settings.blurEnabled) << "the blur is kept off while SSAO is off";
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
        {{"--radius", "1e-45"}, "bad radius \"1e-45\": the setting is kept in hundredths (e.g. 0)"},
        {{"--radius", "0.905"}, "bad radius \"0.905\": the setting is kept in hundredths"},
        {{"--ambient", "0.333"}, "bad ambient factor \"0.333\": the setting is kept in hundredths"},
        {{"--ambient", "1.5"}, "bad ambient factor \"1.5\": expected a number from 0 to 1"},
        {{"--ambient", "x"}, "bad ambient factor \"x\""},
        {{"--ssao", "yes"}, "bad --ssao \"yes\": expected on or off"},
        {{"--estimator", "Horizon"}, "bad estimator \"Horizon\": hemisphere or horizon"},
        {{"--normals", "smooth"}, "bad normals \"smooth\": shading or geometric"},
        {{"--normals"}, "--normals needs a value"},
        {{"--accumulate", "16"}, "bad --accumulate \"16\": expected on or off"},
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
    custom.settings.kernelSize = 128; // the ends of the controls' ranges
    custom.settings.radius = 5.0f;
    custom.settings.ambientFactor = 0.0f;
    custom.settings.estimator = ESTIMATOR_HORIZON;
    DemoOptions off = defaults;
    off.settings = off.settings.WithSSAO(false);
    DemoOptions noBlur = defaults;
    noBlur.settings = noBlur.settings.WithBlur(false);
    DemoOptions resting = defaults; // away from the estimator's own normals, accumulating
    resting.settings.normals = NORMALS_GEOMETRIC;
    resting.settings.accumulate = true;
    DemoOptions horizonOwn = custom; // the horizon estimator on its own normals
    horizonOwn.settings.normals = DefaultNormals(ESTIMATOR_HORIZON);
    for (const DemoOptions& options : {defaults, custom, off, noBlur, resting, horizonOwn}) {
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

TEST(DemoOptions, EachEstimatorStartsOnItsOwnNormalsUnlessToldAndTheCommandNamesOnlyOthers) {
    const struct {
        std::vector<std::string> words;
        SSAONormals normals;
        bool accumulate;
        const char* named; // in the reopening command ("" for none)
    } kCases[] = {
        {{}, DefaultNormals(ESTIMATOR_HEMISPHERE), false, ""},
        {{"--estimator", "horizon"}, DefaultNormals(ESTIMATOR_HORIZON), false, ""},
        {{"--normals", "geometric"}, NORMALS_GEOMETRIC, false, "--normals geometric"},
        {{"--normals", "shading", "--estimator", "horizon"},
         NORMALS_SHADING,
         false,
         "--normals shading"},
        {{"--estimator", "horizon", "--normals", "geometric", "--accumulate", "on"},
         NORMALS_GEOMETRIC,
         true,
         "--accumulate on"},
        {{"--accumulate", "off"}, DefaultNormals(ESTIMATOR_HEMISPHERE), false, ""},
    };
    for (const auto& c : kCases) {
        DemoOptions options;
        std::string error;
        ASSERT_TRUE(ParseWords(c.words, &options, &error)) << error;
        EXPECT_EQ(options.settings.normals, c.normals);
        EXPECT_EQ(options.settings.accumulate, c.accumulate);
        const std::string line = DemoCommandLine(options);
        if (*c.named)
            EXPECT_NE(line.find(c.named), std::string::npos) << line;
        const bool namesNormals = line.find("--normals") != std::string::npos;
        EXPECT_EQ(namesNormals, c.normals != DefaultNormals(options.settings.estimator)) << line;
        EXPECT_EQ(line.find("--accumulate") != std::string::npos, c.accumulate) << line;
    }
}
