// SSAOEstimator: which occlusion shader the SSAO pass runs, and its name as
// the overlay, the tools' options and their reports spell it.
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
