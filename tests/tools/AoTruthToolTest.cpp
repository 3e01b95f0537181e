// AoTruthTool: every unusable input is refused with a clear message and
// the bad-input status before the demo starts.
#include "aotruth/AoTruthTool.h"

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "core/Json.h"
#include "ssao/SSAOEstimator.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

namespace {

// Runs the tool with args after the program name; returns its status.
int RunTool(std::initializer_list<std::string> args) {
    std::vector<std::string> words{"aotruth"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(&w[0]);
    return RunAoTruth(int(argv.size()), argv.data());
}

} // namespace

TEST(AoTruthTool, RefusesMissingAndIrregularModelsAsTheBenchmarkDoesWithoutOpeningThem) {
    TempDir dir("aotruth-tool");
    ASSERT_EQ(mkfifo(dir.File("fifo.obj").c_str(), 0600), 0);
    const std::pair<std::string, const char*> cases[] = {
        {dir.File("missing.obj"), "cannot open model"},
        {dir.File("fifo.obj"), "not a regular file (it is a FIFO)"}, // opening it would block
        {dir.Path(), "not a regular file (it is a directory)"},
    };
    for (const auto& c : cases) {
        LogCapture log;
        EXPECT_EQ(RunTool({"--model", c.first, "--out", dir.File("out")}), kExitFailed) << c.first;
        EXPECT_TRUE(log.ContainsFragment(c.second)) << log.Text();
    }
}

TEST(AoTruthTool, RefusesAnUnwritableOutputPlace) {
    TempDir dir("aotruth-tool");
    ASSERT_TRUE(dir.Write("file", "a file, not a directory"));
    for (const std::string& out : {dir.File("file"), dir.File("file") + "/below"}) {
        LogCapture log;
        EXPECT_EQ(RunTool({"--out", out}), kExitBadInput) << out;
        EXPECT_TRUE(log.ContainsFragment("output directory \"" + out + "\"")) << log.Text();
    }
}

TEST(AoTruthTool, RefusesMalformedVectors) {
    for (std::string vector : {"1,2", "1,2,3,4", "a,b,c", "1,,3", "", "1,2,nan"}) {
        LogCapture log;
        EXPECT_EQ(RunTool({"--eye", vector, "--dir", "1,0,0"}), kExitBadInput) << vector;
        EXPECT_TRUE(log.ContainsFragment("[AoTruth]")) << log.Text();
    }
    LogCapture log;
    EXPECT_EQ(RunTool({"--eye", "0,10,0", "--dir", "0,0,0"}), kExitBadInput) << "no direction";
    EXPECT_EQ(RunTool({"--eye", "0,10,0"}), kExitBadInput) << "an eye without a direction";
}

TEST(AoTruthTool, RefusesARadiusThatIsNotPositive) {
    for (std::string radius : {"0", "-1", "-0.5", "abc", "inf", "nan"}) {
        LogCapture log;
        EXPECT_EQ(RunTool({"--radius", radius}), kExitBadInput) << radius;
        EXPECT_TRUE(log.ContainsFragment("radius")) << log.Text();
    }
}

TEST(AoTruthTool, RefusesUnknownOptionsBadCountsAndMissingValues) {
    LogCapture log;
    EXPECT_EQ(RunTool({"--colour", "red"}), kExitBadInput);
    EXPECT_TRUE(log.ContainsFragment("unknown option \"--colour\""));
    EXPECT_EQ(RunTool({"--rays", "8"}), kExitBadInput) << "too few rays to mean anything";
    EXPECT_EQ(RunTool({"--draws", "0"}), kExitBadInput);
    EXPECT_EQ(RunTool({"--kernels", "4,256"}), kExitBadInput) << "the kernel holds at most 128";
    EXPECT_EQ(RunTool({"--out"}), kExitBadInput);
    EXPECT_TRUE(log.ContainsFragment("--out needs a value"));
    EXPECT_EQ(RunTool({"--accumulate", "0"}), kExitBadInput) << "at least the one frame";
    EXPECT_EQ(RunTool({"--normals", "shading,geometric"}), kExitBadInput);
    EXPECT_TRUE(log.ContainsFragment("aotruth measures one normal per run"));
}

namespace {

// A floor and, across it, a wall facing the origin, in model units (the
// demo scales by 0.075): the wall stands 15 units ahead of the eye.
const char* const kFloorAndWall = "v -1000 0 1000\n"
                                  "v 1000 0 1000\n"
                                  "v 1000 0 -1000\n"
                                  "v -1000 0 -1000\n"
                                  "v 200 0 1000\n"
                                  "v 200 0 -1000\n"
                                  "v 200 500 -1000\n"
                                  "v 200 500 1000\n"
                                  "f 1 2 3 4\n"
                                  "f 6 5 8 7\n";

std::string ReadText(const std::string& path) {
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
        return "";
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), file)) > 0)
        text.append(buffer, n);
    fclose(file);
    return text;
}

// Runs the tool in a child process, as a user would: each run brings SDL
// and the window up once in a fresh process. Returns its exit status.
int RunToolProcess(std::initializer_list<std::string> args) {
    fflush(stdout);
    pid_t child = fork();
    if (child == 0)
        _exit(RunTool(args));
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

bool Exists(const std::string& path) {
    FILE* file = fopen(path.c_str(), "rb");
    if (file)
        fclose(file);
    return file != nullptr;
}

} // namespace

TEST(AoTruthTool, MeasuresAnyModelAndReusesItsReference) {
    TempDir dir("aotruth-tool");
    // The importer would crash on this material file; the demo's loader refuses it.
    ASSERT_TRUE(dir.Write("early.mtl", "map_Kd foo.png\nnewmtl late\n"));
    ASSERT_TRUE(dir.Write("room.obj", std::string("mtllib early.mtl\n") + kFloorAndWall));
    std::string out = dir.File("out");
    auto run = [&] {
        return RunToolProcess({"--model", dir.File("room.obj"), "--eye", "0,5,0", "--dir",
                               "1,-0.3,0", "--kernels", "8,32", "--draws", "1", "--rays", "16",
                               "--radius", "3.75", "--out", out});
    };
    ASSERT_EQ(run(), kExitOk);
    const Json json = Json::parse(ReadText(out + "/results.json"), nullptr, false);
    ASSERT_FALSE(json.is_discarded());
    EXPECT_EQ(json["model"], dir.File("room.obj"));
    EXPECT_EQ(json["radius"], 3.75);
    ASSERT_EQ(json["views"].size(), 1u);
    const Json& view = json["views"][0];
    ASSERT_EQ(view["kernels"].size(), 2u);
    EXPECT_EQ(view["kernels"][0]["kernel"], 8);
    EXPECT_EQ(view["kernels"][1]["kernel"], 32);
    EXPECT_EQ(view["mismatch_pixels"], 0)
        << "the tool's camera and the demo's see the same surfaces";
    EXPECT_EQ(view["other_surface_pixels"], 0);
    EXPECT_EQ(view["cached_reference"], false);
    for (const char* image : {"/custom-k8-raw.png", "/custom-k8-blurred.png", "/custom-k32-raw.png",
                              "/custom-k32-blurred.png"})
        EXPECT_TRUE(Exists(out + image)) << image;

    EXPECT_EQ(json["normals"], NormalsName(DefaultNormals(ESTIMATOR_HEMISPHERE)));
    EXPECT_EQ(json["frames_at_rest"], 1);

    ASSERT_EQ(run(), kExitOk);
    EXPECT_EQ(Json::parse(ReadText(out + "/results.json"))["views"][0]["cached_reference"], true)
        << "the second run reuses the traced reference";

    // At rest with accumulation: the settings stand beside the estimator and
    // the figures of what the lighting uses (the mean) under "blurred".
    ASSERT_EQ(RunToolProcess({"--model",      dir.File("room.obj"),
                              "--eye",        "0,5,0",
                              "--dir",        "1,-0.3,0",
                              "--kernels",    "8",
                              "--draws",      "1",
                              "--rays",       "16",
                              "--radius",     "3.75",
                              "--normals",    "geometric",
                              "--accumulate", "16",
                              "--out",        out}),
              kExitOk);
    const Json rest = Json::parse(ReadText(out + "/results.json"), nullptr, false);
    ASSERT_FALSE(rest.is_discarded());
    EXPECT_EQ(rest["normals"], "geometric");
    EXPECT_EQ(rest["frames_at_rest"], 16);
    EXPECT_EQ(rest["views"][0]["cached_reference"], true);
    EXPECT_TRUE(rest["views"][0]["kernels"][0]["blurred"]["raw"]["mae"].is_number()) << rest;
}

TEST(AoTruthTool, AViewWhereNothingIsComparedFailsAndWritesNoFigures) {
    TempDir dir("aotruth-tool");
    ASSERT_TRUE(dir.Write("room.obj", kFloorAndWall));
    ASSERT_TRUE(dir.Write("triangle.obj", "v 0 0 0\nv 1 0 0\nv 0 0 1\nf 1 2 3\n"));
    const std::pair<const char*, const char*> cases[] = {
        {"room.obj", "0,50000,0"},  // far above the room, looking up
        {"triangle.obj", "0,10,0"}, // one tiny triangle below the eye
    };
    for (const auto& c : cases) {
        std::string out = dir.File(std::string("out-") + c.first);
        EXPECT_EQ(
            RunToolProcess({"--model", dir.File(c.first), "--eye", c.second, "--dir", "1,1000,0",
                            "--kernels", "4", "--draws", "1", "--rays", "16", "--out", out}),
            kExitFailed)
            << c.first;
        EXPECT_FALSE(Exists(out + "/results.json")) << c.first;
        EXPECT_FALSE(Exists(out + "/custom-k4-blurred.png")) << c.first;
    }
}
