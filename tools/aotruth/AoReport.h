// AoReport: what the ground-truth tool hands out: a table per view on
// standard output, every figure as JSON, and reference | ours | signed
// difference images side by side.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <glm/glm.hpp>

#include "ssao/AoMetrics.h"
#include "ssao/SSAOEstimator.h"

// One draw of a fresh kernel and noise, compared raw and after the blur.
struct DrawResult {
    Comparison raw;
    Comparison blurred;
};

struct KernelResult {
    uint32_t kernel = 0;
    std::vector<DrawResult> draws;
};

struct ViewResult {
    std::string name;
    glm::vec3 eye{0.0f};
    glm::vec3 dir{0.0f};
    int width = 0;
    int height = 0;
    uint64_t tracedPixels = 0;       // surface hit by the reference's primary rays
    uint64_t demoPixels = 0;         // surface in the demo's G-buffer
    uint64_t mismatchPixels = 0;     // in one of the two masks only
    uint64_t otherSurfacePixels = 0; // in both, but at different depths
    double meanReference = 0.0;      // mean visibility over the compared pixels
    bool cached = false;             // the reference came from the cache
    std::string image;               // the side-by-side PNG
    std::vector<KernelResult> kernels;
};

struct RunSettings {
    std::string model;
    float radius = 0.0f;
    int rays = 0;
    int draws = 0;
    SSAOEstimator estimator = ESTIMATOR_HEMISPHERE;
    SSAONormals normals = NORMALS_SHADING;
    // Frames drawn per draw before the read-back: 1 is one frame as the
    // demo draws it while moving; more accumulate a view at rest.
    int framesAtRest = 1;
};

// Mean of each figure over the comparisons (all zero for none).
Comparison MeanComparison(const std::vector<Comparison>& comparisons);

void PrintViewTable(FILE* out, const RunSettings& settings, const ViewResult& view);
std::string ResultsJson(const RunSettings& settings, const std::vector<ViewResult>& views);

// Writes reference | ours | heat map (rows top first) as one PNG; pixels
// outside mask are drawn in a flat dark grey in all three; written as
// WriteTextFile writes. 0, or -1 (logged).
int WriteSideBySide(const std::string& path, const GreyImage& reference, const GreyImage& ours,
                    const std::vector<uint8_t>& mask);

// Writes text (any bytes) as path, whole or not at all: a failed write
// leaves an earlier file there untouched. 0, or -1 (logged).
int WriteTextFile(const std::string& path, const std::string& text);
