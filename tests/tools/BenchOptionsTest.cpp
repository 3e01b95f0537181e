// BenchOptions: the benchmark's defaults, its own options, and the refusals
// it makes before measuring anything.
#include "framebench/BenchOptions.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "support/TempDir.h"

namespace {

bool Parse(std::vector<std::string> words, BenchOptions* options, std::string* error) {
    words.insert(words.begin(), "framebench");
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(&w[0]);
    return ParseBenchOptions(int(argv.size()), argv.data(), options, error);
}

bool Exists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

} // namespace

TEST(BenchOptions, DefaultsAreTheDemosModelTheFixedViewsAndEveryKernelSize) {
    BenchOptions options;
    std::string error;
    ASSERT_TRUE(Parse({}, &options, &error)) << error;
    EXPECT_EQ(options.view.modelPath, "models/sponza.obj");
    EXPECT_EQ(options.view.kernels, (std::vector<uint32_t>{4, 8, 16, 32, 64, 128}));
    EXPECT_FLOAT_EQ(options.view.radius, 0.9f);
    EXPECT_EQ(options.view.views.size(), DefaultViews().size());
    EXPECT_EQ(options.frames, kDefaultMeasuredFrames);
    EXPECT_TRUE(options.jsonPath.empty());
    EXPECT_FALSE(options.help);
}

TEST(BenchOptions, TakesEveryOptionInAnyOrder) {
    BenchOptions options;
    std::string error;
    ASSERT_TRUE(Parse({"--json", "out.json", "--frames", "3", "--radius", "3.75", "--dir", "0,0,1",
                       "--kernels", "16,4", "--eye", "1,2,3", "--model", "m.obj", "--normals",
                       "geometric,shading", "--accumulating"},
                      &options, &error))
        << error;
    EXPECT_EQ(options.view.normals, (std::vector<SSAONormals>{NORMALS_GEOMETRIC, NORMALS_SHADING}));
    EXPECT_TRUE(options.accumulating);
    EXPECT_EQ(options.jsonPath, "out.json");
    EXPECT_EQ(options.frames, 3);
    EXPECT_FLOAT_EQ(options.view.radius, 3.75f);
    EXPECT_EQ(options.view.kernels, (std::vector<uint32_t>{16, 4}));
    EXPECT_EQ(options.view.modelPath, "m.obj");
    ASSERT_EQ(options.view.views.size(), 1u);
    EXPECT_EQ(options.view.views[0].eye, glm::vec3(1.0f, 2.0f, 3.0f));
    BenchOptions help;
    ASSERT_TRUE(Parse({"--help"}, &help, &error));
    EXPECT_TRUE(help.help);
}

TEST(BenchOptions, RefusesBadInputWithAMessageNamingIt) {
    struct Case {
        std::vector<std::string> words;
        const char* message;
    };
    const Case cases[] = {
        {{"--eye", "1,2", "--dir", "1,0,0"}, "malformed vector \"1,2\""},
        {{"--eye", "1,2,3", "--dir", "x,0,0"}, "malformed vector \"x,0,0\""},
        {{"--radius", "0"}, "bad radius \"0\""},
        {{"--radius", "-1"}, "bad radius \"-1\""},
        {{"--kernels", "4,256"}, "bad kernel list \"4,256\""},
        {{"--kernels", ""}, "bad kernel list"},
        {{"--frames", "0"}, "bad count \"0\""},
        {{"--frames"}, "--frames needs a value"},
        {{"--json"}, "--json needs a value"},
        {{"--json", ""}, "--json needs a path"},
        {{"--eye", "1,2,3"}, "--eye and --dir go together"},
        {{"--fast"}, "unknown option \"--fast\""},
    };
    for (const Case& c : cases) {
        BenchOptions options;
        std::string error;
        EXPECT_FALSE(Parse(c.words, &options, &error)) << c.message;
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
}

TEST(BenchOptions, AReportPathMustBeWritableAndIsNotLeftBehind) {
    TempDir dir("benchoptions");
    std::string error;
    const std::string fresh = dir.File("report.json");
    EXPECT_TRUE(CheckWritable(fresh, &error)) << error;
    EXPECT_FALSE(Exists(fresh)) << "the check removes the file it created";

    ASSERT_TRUE(dir.Write("old.json", "{}"));
    EXPECT_TRUE(CheckWritable(dir.File("old.json"), &error));
    EXPECT_TRUE(Exists(dir.File("old.json"))) << "an existing report is kept until the new one";

    EXPECT_FALSE(CheckWritable(dir.Path(), &error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    EXPECT_FALSE(CheckWritable(dir.File("no/such/dir/report.json"), &error));
    EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
}

TEST(BenchOptions, DashSendsTheReportToStandardOutputAndItsOtherNamesAreRefused) {
    BenchOptions options;
    std::string error;
    ASSERT_TRUE(Parse({"--json", "-"}, &options, &error)) << error;
    EXPECT_EQ(options.jsonPath, "-");
    EXPECT_TRUE(CheckWritable("-", &error)) << error;
    for (const char* path : {"/dev/stdout", "/proc/self/fd/1"}) { // whatever the test's output is
        EXPECT_FALSE(CheckWritable(path, &error));
        EXPECT_EQ(error,
                  "--json: \"" + std::string(path) +
                      "\" is the tool's standard output; use --json - to write the JSON there");
    }
}
