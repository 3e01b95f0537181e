// BenchReport: the benchmark's figures (settings, start-up, per-pass frame
// samples and their medians, the fetch floor), and their two renderings: the
// printed table and the JSON document.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/AppStart.h"
#include "common/ToolOptions.h"

// The passes of one frame, in the order the frame runs them.
enum BenchPass {
    PASS_GEOMETRY = 0,
    PASS_OCCLUSION,
    PASS_BLUR,
    PASS_ACCUMULATE, // only while a view at rest accumulates
    PASS_LIGHTING,
    PASS_OVERLAY_PRESENT,
    PASS_COUNT,
};

// JSON keys (and table headings) of the passes, in BenchPass order.
extern const char* const kPassNames[PASS_COUNT];

// The median of the values (the mean of the middle two for an even count);
// 0 for none.
double Median(std::vector<double> values);

// One configuration of the renderer: SSAO off (kernel 0, no blur) or a
// kernel size with the blur on or off.
struct BenchConfig {
    bool ssao = false;
    bool blur = false;
    uint32_t kernel = 0;
    SSAOEstimator estimator = ESTIMATOR_HEMISPHERE;
    SSAONormals normals = NORMALS_SHADING;
    // A view at rest accumulating: each measured frame is the first of a
    // fresh mean (the rounds switch configurations), so it times the
    // occlusion, the blur and the accumulation pass together.
    bool accumulate = false;
    std::string Label() const;
};

// Every configuration measured: SSAO off, then for each kernel, each
// estimator and each of the normals (side by side, so that their ratios see
// the same load; none given: the estimator's default) blur on and off, and
// with accumulating the blur on again while a view at rest accumulates.
std::vector<BenchConfig>
BenchConfigs(const std::vector<uint32_t>& kernels,
             const std::vector<SSAOEstimator>& estimators = {ESTIMATOR_HEMISPHERE},
             const std::vector<SSAONormals>& normals = {}, bool accumulating = false);

// Milliseconds of every measured frame of one configuration on one view.
struct ConfigSamples {
    BenchConfig config;
    std::vector<double> pass[PASS_COUNT]; // passes that did not run hold zeros
    std::vector<double> frame;
};

struct FloorSamples {
    uint32_t fetches = 0;
    std::vector<double> ms;
};

struct ViewResult {
    NamedView view;
    double coveredFraction = 0.0; // pixels with geometry, from the G-buffer
    std::vector<ConfigSamples> configs;
    std::vector<FloorSamples> floors; // one per kernel size, same order
};

struct BenchResult {
    std::string modelPath;
    std::string glRenderer;
    int width = 0;
    int height = 0;
    std::vector<uint32_t> kernels;
    std::vector<SSAOEstimator> estimators;
    std::vector<SSAONormals> normals; // empty: each estimator's default
    bool accumulating = false;
    float radius = 0.0f;
    int frames = 0;
    int warmupFrames = 0;
    StartupTimes startup;
    long peakResidentKiB = -1;
    uint64_t zoneBytesInUse = 0; // the scene's zone blocks after the run
    uint64_t zoneBlocks = 0;
    std::vector<ViewResult> views;
};

// Where the fetch floor reads: how its samples spread around the pixel.
extern const char* const kFloorFootprint;

// The fetch floor's median for `fetches` texels on a view, or a negative
// value when it was not measured.
double FloorMedian(const ViewResult& view, uint32_t fetches);

// The occlusion pass of c against the one with the view's first estimator
// at the same kernel and blur: the median of the per-round ratios (a round
// renders every configuration once, so its two frames saw about the same
// load, and the ratio moves less than either time). NaN for SSAO off, for
// the first estimator itself and without such a configuration.
double EstimatorRatio(const ViewResult& view, const ConfigSamples& c);

void PrintReport(FILE* out, const BenchResult& result);
std::string ToJson(const BenchResult& result);
// Writes ToJson(result) as path, whole or not at all, or on standard output
// for "-"; false with the reason when that fails (an earlier report there is
// then left as it was).
bool WriteJson(const std::string& path, const BenchResult& result, std::string* error);
