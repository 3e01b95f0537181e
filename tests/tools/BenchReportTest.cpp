// BenchReport: medians, the measured configurations, and a JSON document
// that carries every setting and every pass of every configuration.
#include "framebench/BenchReport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "core/Json.h"
#include "support/TempDir.h"

namespace {

size_t Count(const std::string& text, const std::string& fragment) {
    size_t n = 0;
    for (size_t at = text.find(fragment); at != std::string::npos; at = text.find(fragment, at + 1))
        ++n;
    return n;
}

// Two views, SSAO off and kernels 8 and 32 with blur on and off; every pass
// time is distinct so that each can be found in the JSON.
BenchResult SampleResult() {
    BenchResult r;
    r.modelPath = "models/a \"quoted\"\\path.obj";
    r.glRenderer = "llvmpipe";
    r.width = 1440;
    r.height = 900;
    r.kernels = {8, 32};
    r.radius = 3.75f;
    r.frames = 3;
    r.warmupFrames = 1;
    r.startup.modelImportMs = 100.0;
    r.startup.textureLoadMs = 50.0;
    r.startup.rendererMs = 20.0;
    r.startup.programsMs = 5.0;
    r.peakResidentKiB = 123456;
    r.zoneBytesInUse = 3u << 20;
    r.zoneBlocks = 42;
    for (const NamedView& view : {DefaultViews()[0], DefaultViews()[3]}) {
        ViewResult v;
        v.view = view;
        v.coveredFraction = 0.5;
        double base = 1.0;
        for (const BenchConfig& config : BenchConfigs(r.kernels)) {
            ConfigSamples s{config, {}, {}};
            for (int p = 0; p < PASS_COUNT; ++p)
                s.pass[p] = {base + p, base + p + 0.25, base + p + 0.5};
            s.frame = {10 * base, 10 * base + 1, 10 * base + 2};
            v.configs.push_back(s);
            base += 10.0;
        }
        v.floors = {{8, {2.0, 2.0, 2.0}}, {32, {4.0, 5.0, 6.0}}};
        r.views.push_back(v);
    }
    return r;
}

} // namespace

TEST(BenchReport, MedianOfOddEvenAndEmptySamples) {
    EXPECT_DOUBLE_EQ(Median({3.0, 1.0, 2.0}), 2.0);
    EXPECT_DOUBLE_EQ(Median({4.0, 1.0, 3.0, 2.0}), 2.5);
    EXPECT_DOUBLE_EQ(Median({7.0}), 7.0);
    EXPECT_DOUBLE_EQ(Median({}), 0.0);
    EXPECT_DOUBLE_EQ(Median({100.0, 1.0, 1.0}), 1.0) << "one slow frame does not move it";
}

TEST(BenchReport, MeasuresSSAOOffThenEachKernelWithBlurOnAndOff) {
    std::vector<BenchConfig> configs = BenchConfigs({4, 128});
    ASSERT_EQ(configs.size(), 5u);
    EXPECT_FALSE(configs[0].ssao);
    EXPECT_FALSE(configs[0].blur) << "the controls keep blur off while SSAO is off";
    EXPECT_EQ(configs[0].Label(), "SSAO off");
    EXPECT_TRUE(configs[1].ssao && configs[1].blur && configs[1].kernel == 4);
    EXPECT_TRUE(configs[2].ssao && !configs[2].blur && configs[2].kernel == 4);
    EXPECT_EQ(configs[3].Label(), "128 + blur");
    EXPECT_EQ(configs[4].Label(), "128 no blur");
}

// Normals side by side within each estimator, named in the label only away
// from the estimator's own; accumulating frames follow each blurred pair.
TEST(BenchReport, NormalsAndAccumulatingFramesAreMeasuredSideBySide) {
    const std::vector<BenchConfig> own = BenchConfigs({16}, {ESTIMATOR_HORIZON});
    ASSERT_EQ(own.size(), 3u);
    EXPECT_EQ(own[1].normals, DefaultNormals(ESTIMATOR_HORIZON));
    EXPECT_EQ(own[1].Label(), "16 + blur, horizon");
    const std::vector<BenchConfig> both =
        BenchConfigs({16}, {ESTIMATOR_HEMISPHERE}, {NORMALS_SHADING, NORMALS_GEOMETRIC}, true);
    std::vector<std::string> labels;
    for (const BenchConfig& c : both)
        labels.push_back(c.Label());
    EXPECT_EQ(labels, (std::vector<std::string>{"SSAO off", "16 + blur", "16 no blur",
                                                "16 + blur, accumulating", "16 + blur, geometric",
                                                "16 no blur, geometric",
                                                "16 + blur, geometric, accumulating"}));
}

TEST(BenchReport, FloorRatioUsesTheFloorWithAsManyFetches) {
    BenchResult r = SampleResult();
    const ViewResult& v = r.views[0];
    EXPECT_DOUBLE_EQ(FloorMedian(v, 8), 2.0);
    EXPECT_DOUBLE_EQ(FloorMedian(v, 32), 5.0);
    EXPECT_LT(FloorMedian(v, 16), 0.0) << "not measured";
    // Configuration 1 is 8 + blur: occlusion samples 11+1, 11.25+1, 11.5+1.
    const Json json = Json::parse(ToJson(r));
    EXPECT_DOUBLE_EQ(json["views"][0]["configs"][1]["occlusion_to_floor"].get<double>(), 6.125);
    EXPECT_TRUE(json["views"][0]["configs"][0]["occlusion_to_floor"].is_null()) << "SSAO off";
}

TEST(BenchReport, JsonHasEverySettingAndEveryPassOfEveryConfiguration) {
    BenchResult r = SampleResult();
    const Json json = Json::parse(ToJson(r));
    const Json& settings = json["settings"];
    EXPECT_EQ(json["tool"], "framebench");
    EXPECT_EQ(settings["model"], "models/a \"quoted\"\\path.obj");
    EXPECT_EQ(settings["gl_renderer"], "llvmpipe");
    EXPECT_EQ(settings["width"], 1440);
    EXPECT_EQ(settings["height"], 900);
    EXPECT_EQ(settings["kernels"], Json::array({8, 32}));
    EXPECT_EQ(settings["radius"], 3.75);
    EXPECT_EQ(settings["frames"], 3);
    EXPECT_EQ(settings["warmup_frames"], 1);
    EXPECT_EQ(settings["floor_footprint"], kFloorFootprint);
    EXPECT_EQ(settings["normals"], Json::array()) << "each estimator's own";
    EXPECT_EQ(settings["accumulating"], false);
    EXPECT_EQ(json["peak_resident_kib"], 123456);
    EXPECT_EQ(json["zone_bytes_in_use"], 3145728);
    EXPECT_EQ(json["zone_blocks"], 42);
    EXPECT_EQ(json["startup_ms"]["model_import"], 100.0);
    EXPECT_EQ(json["startup_ms"]["texture_loading"], 50.0);
    EXPECT_EQ(json["startup_ms"]["gpu_setup"], 25.0);
    ASSERT_EQ(settings["views"].size(), 2u);
    ASSERT_EQ(json["views"].size(), 2u);
    const size_t configs = BenchConfigs(r.kernels).size();
    for (size_t v = 0; v < 2; ++v) {
        EXPECT_EQ(settings["views"][v]["name"], r.views[v].view.name);
        EXPECT_EQ(json["views"][v]["name"], r.views[v].view.name);
        ASSERT_EQ(json["views"][v]["configs"].size(), configs);
        for (const Json& config : json["views"][v]["configs"]) {
            EXPECT_TRUE(config["frame_ms"].is_number());
            EXPECT_EQ(config["normals"], config["ssao"] == true ? "shading" : "none") << config;
            EXPECT_EQ(config["accumulate"], false) << config;
            for (int p = 0; p < PASS_COUNT; ++p)
                EXPECT_TRUE(config["passes_ms"][kPassNames[p]].is_number()) << kPassNames[p];
        }
        EXPECT_EQ(json["views"][v]["fetch_floor"][1], Json({{"fetches", 32}, {"ms", 5.0}}));
    }
    // The last configuration of a view (32 no blur) has base 41; its
    // lighting pass is the fifth: median of 41 + 4 + {0, 0.25, 0.5}.
    EXPECT_EQ(json["views"][0]["configs"][4]["passes_ms"]["lighting"], 45.25);
    EXPECT_EQ(json["views"][0]["configs"][4]["frame_ms"], 411.0);
}

TEST(BenchReport, NonFiniteFiguresBecomeNullAndTheFileHoldsTheDocument) {
    BenchResult r = SampleResult();
    r.views[0].coveredFraction = NAN;
    r.views[0].configs[0].frame = {};
    r.views[0].configs[0].pass[0] = {INFINITY};
    const std::string json = ToJson(r);
    const Json parsed = Json::parse(json);
    EXPECT_TRUE(parsed["views"][0]["covered_fraction"].is_null());
    EXPECT_TRUE(parsed["views"][0]["configs"][0]["frame_ms_min"].is_null());
    EXPECT_TRUE(parsed["views"][0]["configs"][0]["passes_ms"]["geometry"].is_null());

    TempDir dir("benchreport");
    std::string error;
    ASSERT_TRUE(WriteJson(dir.File("r.json"), r, &error)) << error;
    std::ifstream in(dir.File("r.json"));
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), json);
    EXPECT_FALSE(WriteJson(dir.File("missing/r.json"), r, &error));
    EXPECT_NE(error.find("cannot write"), std::string::npos);
}

TEST(BenchReport, TheTableHasARowPerConfigurationOfEachView) {
    BenchResult r = SampleResult();
    char* buffer = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&buffer, &size);
    PrintReport(out, r);
    std::fclose(out);
    const std::string table(buffer, size);
    free(buffer);
    EXPECT_EQ(Count(table, "SSAO off"), 2u);
    EXPECT_EQ(Count(table, "32 no blur"), 2u);
    EXPECT_NE(table.find("view colonnade"), std::string::npos);
    EXPECT_NE(table.find("peak resident memory: 120.6 MiB; zone memory in use: 3.0 MiB in 42 "
                         "blocks"),
              std::string::npos)
        << table;
}

TEST(BenchReport, EstimatorRatioIsTheMedianOfEachRoundsRatioToTheFirstEstimator) {
    ViewResult v;
    v.view = DefaultViews()[0];
    // Occlusion samples per round for SSAO off, then kernel 8 blur on and off
    // with the hemisphere estimator, then the same with the horizon one.
    const std::vector<std::vector<double>> occlusion = {{0.0, 0.0, 0.0},
                                                        {10.0, 20.0, 40.0},
                                                        {10.0, 10.0, 10.0},
                                                        {15.0, 20.0, 100.0},
                                                        {5.0, 6.0, 7.0}};
    std::vector<BenchConfig> configs = BenchConfigs({8}, {ESTIMATOR_HEMISPHERE, ESTIMATOR_HORIZON});
    ASSERT_EQ(configs.size(), occlusion.size());
    for (size_t i = 0; i < configs.size(); ++i) {
        ConfigSamples s{configs[i], {}, {}};
        s.pass[PASS_OCCLUSION] = occlusion[i];
        v.configs.push_back(s);
    }
    struct Case {
        size_t config;
        double ratio; // NaN: none
    };
    // Round ratios 1.5, 1, 2.5 with the blur (the ratio of the medians would be 1), 0.5, 0.6, 0.7
    // without.
    const Case cases[] = {{0, NAN}, {1, NAN}, {2, NAN}, {3, 1.5}, {4, 0.6}};
    BenchResult r;
    r.views.push_back(v);
    const Json json = Json::parse(ToJson(r));
    for (const Case& c : cases) {
        SCOPED_TRACE(configs[c.config].Label());
        const Json& figure = json["views"][0]["configs"][c.config]["occlusion_to_first_estimator"];
        if (std::isnan(c.ratio)) {
            EXPECT_TRUE(std::isnan(EstimatorRatio(v, v.configs[c.config])));
            EXPECT_TRUE(figure.is_null());
        } else {
            EXPECT_DOUBLE_EQ(EstimatorRatio(v, v.configs[c.config]), c.ratio);
            EXPECT_DOUBLE_EQ(figure.get<double>(), c.ratio);
        }
    }
    char* buffer = nullptr;
    size_t length = 0;
    FILE* out = open_memstream(&buffer, &length);
    ASSERT_NE(out, nullptr);
    PrintReport(out, r);
    std::fclose(out);
    const std::string table(buffer, length);
    std::free(buffer);
    EXPECT_NE(table.find("8 + blur, horizon"), std::string::npos);
    EXPECT_NE(table.find("   1.50\n"), std::string::npos) << table;
    EXPECT_NE(table.find("   0.60\n"), std::string::npos) << table;
}
