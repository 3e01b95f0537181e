// ToolOptions: what the tools' option parsers accept and refuse (kernel
// lists, --eye with --dir) and the fixed views.
#include "common/ToolOptions.h"

#include <gtest/gtest.h>

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

} // namespace

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

TEST(ToolOptions, NormalsAreEachEstimatorsOwnUnlessNamedAndNamesAreExact) {
    const struct {
        std::vector<std::string> words;
        bool accepted;
        std::vector<SSAONormals> normals; // when accepted; empty: each estimator's own
        const char* message;              // when refused
    } cases[] = {
        {{}, true, {}, ""},
        {{"--normals", "geometric"}, true, {NORMALS_GEOMETRIC}, ""},
        {{"--normals", "shading,geometric"}, true, {NORMALS_SHADING, NORMALS_GEOMETRIC}, ""},
        {{"--normals", "Geometric"}, false, {}, "\"Geometric\" is not shading or geometric"},
        {{"--normals", "shading,shading"}, false, {}, "shading appears twice"},
        {{"--normals", ""}, false, {}, "bad normals list \"\""},
        {{"--normals"}, false, {}, "--normals needs a value"},
    };
    for (const auto& c : cases) {
        ViewOptions options;
        std::string error;
        const std::string first = c.words.empty() ? "(none)" : c.words.back();
        EXPECT_EQ(ParseAll(c.words, &options, &error), c.accepted) << first << error;
        if (c.accepted)
            EXPECT_EQ(options.normals, c.normals) << first;
        else
            EXPECT_NE(error.find(c.message), std::string::npos) << first << ": " << error;
    }
    EXPECT_STREQ(NormalsName(NORMALS_SHADING), "shading");
    EXPECT_STREQ(NormalsName(NORMALS_GEOMETRIC), "geometric");
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
