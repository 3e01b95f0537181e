// SSAOEstimator: which occlusion shader the SSAO pass runs and which normal
// it stands its integral on, and their names as the overlay, the options
// and the reports spell them.
#pragma once

#include <cstring>

enum SSAOEstimator {
    ESTIMATOR_HEMISPHERE = 0, // rays tested at points (shaders/SSAO.frag), the default
    ESTIMATOR_HORIZON = 1,    // slices integrated between horizons (shaders/SSAOHorizon.frag)
};

constexpr int kEstimatorCount = 2;

inline const char* EstimatorName(SSAOEstimator estimator) {
    return estimator == ESTIMATOR_HORIZON ? "horizon" : "hemisphere";
}

// The estimator called name exactly; false (out unchanged) for any other text.
inline bool EstimatorFromName(const char* name, SSAOEstimator* out) {
    for (int i = 0; i < kEstimatorCount; ++i)
        if (std::strcmp(name, EstimatorName(SSAOEstimator(i))) == 0) {
            *out = SSAOEstimator(i);
            return true;
        }
    return false;
}

// The normal the occlusion is integrated about (the lighting always uses the
// G-buffer's). Geometric: rebuilt from the depth of the pixel and its
// neighbours (the facet actually there); shading: the G-buffer's, smoothed
// across facets.
enum SSAONormals {
    NORMALS_SHADING = 0,
    NORMALS_GEOMETRIC = 1,
};

constexpr int kNormalsCount = 2;

// The normals each estimator starts with (and the tools measure it with
// unless told otherwise): measured against the ray-traced truth, geometric
// normals lower the horizon estimator's error over the fixed views at both
// radii, while the hemisphere estimator's grows on two views at radius 0.9.
constexpr SSAONormals DefaultNormals(SSAOEstimator estimator) {
    return estimator == ESTIMATOR_HORIZON ? NORMALS_GEOMETRIC : NORMALS_SHADING;
}

inline const char* NormalsName(SSAONormals normals) {
    return normals == NORMALS_GEOMETRIC ? "geometric" : "shading";
}

// The normals called name exactly; false (out unchanged) for any other text.
inline bool NormalsFromName(const char* name, SSAONormals* out) {
    for (int i = 0; i < kNormalsCount; ++i)
        if (std::strcmp(name, NormalsName(SSAONormals(i))) == 0) {
            *out = SSAONormals(i);
            return true;
        }
    return false;
}
