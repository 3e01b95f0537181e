// AoMetrics: how far an occlusion estimate is from the reference over the
// pixels that hold geometry: mean absolute and root-mean-square error, mean
// signed error (bias), structural similarity, and the same after the best
// linear map of the estimate onto the reference.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

// A single-channel image in [0, 1] (row order is the caller's, the same for all).
struct GreyImage {
    int width = 0;
    int height = 0;
    std::vector<float> pixels;
};

struct ErrorMetrics {
    double mae = 0.0;
    double rmse = 0.0;
    double bias = 0.0; // mean of estimate - reference
    double ssim = 0.0;
};

// a * estimate + b, fitted by least squares to the reference.
struct LinearMap {
    double gain = 1.0;
    double offset = 0.0;
};

struct Comparison {
    ErrorMetrics raw;
    LinearMap fit;
    ErrorMetrics fitted; // of fit applied to the estimate
    uint64_t pixels = 0; // pixels compared
};

// SSIM's window: 11 x 11 Gaussian, sigma 1.5; constants for a dynamic range of 1.
constexpr int kSsimRadius = 5;
constexpr double kSsimSigma = 1.5;
constexpr double kSsimC1 = 0.01 * 0.01;
constexpr double kSsimC2 = 0.03 * 0.03;

// Errors over the pixels where mask is non-zero. SSIM is the mean of the
// per-pixel index over those pixels, each window's statistics weighted by
// the Gaussian and restricted to masked pixels (a plain SSIM where the mask
// is full). Images and mask must have the same size; with no masked pixel
// every figure is 0 and pixels is 0.
// With stop given and set meanwhile, it returns early with meaningless
// figures (for callers that are shutting down).
ErrorMetrics MeasureErrors(const GreyImage& reference, const GreyImage& estimate,
                           const std::vector<uint8_t>& mask,
                           const std::atomic<bool>* stop = nullptr);
LinearMap FitLinear(const GreyImage& reference, const GreyImage& estimate,
                    const std::vector<uint8_t>& mask);
Comparison Compare(const GreyImage& reference, const GreyImage& estimate,
                   const std::vector<uint8_t>& mask);

// Largest |ours - reference| the heat map tells apart; beyond it the
// colour saturates.
constexpr float kHeatRange = 0.5f;
// Colour of a signed difference: blue where ours is darker (more occluded)
// than the reference, red where lighter, white where equal.
void HeatColour(float difference, uint8_t rgb[3]);
// Pixels left out of a comparison are shown in this grey.
constexpr uint8_t kEmptyGrey = 48;
