// SSAOSettings: the settings the user changes live, as one value (the two
// switches, the three parameters, the estimator, its normals and
// accumulation at rest), their ranges, and the one rule between them.
#pragma once

#include <cstdint>

#include "ssao/SSAOEstimator.h"

constexpr uint32_t kDefaultKernelSize = 4;
constexpr float kDefaultRadius = 0.9f;
constexpr float kDefaultAmbientFactor = 0.75f;
// The ranges the keys and the options keep: kernel sizes are powers of two,
// the radius and the ambient factor whole hundredths.
constexpr uint32_t kMinKernelSize = 4;
constexpr uint32_t kMaxKernelSizeSetting = 128;
constexpr int kMaxRadiusHundredths = 500;
constexpr int kMaxAmbientHundredths = 100;

// The rule: the blur smooths what the occlusion pass drew this frame, so it
// is never on while SSAO is off (the occlusion texture then holds an old
// frame). Every change goes through Kept(), WithSSAO() or WithBlur(), and
// the renderer applies only values that hold it (RuleHolds() checks).
struct SSAOSettings {
    bool ssaoEnabled = true; // the occlusion pass runs; lighting uses occlusion
    bool blurEnabled = true; // the blur pass runs; lighting reads its result
    uint32_t kernelSize = kDefaultKernelSize;
    float radius = kDefaultRadius;
    float ambientFactor = kDefaultAmbientFactor;
    SSAOEstimator estimator = ESTIMATOR_HEMISPHERE;
    // The normal the occlusion pass integrates about (the lighting keeps the
    // G-buffer's), and whether a view at rest accumulates its occlusion.
    SSAONormals normals = DefaultNormals(ESTIMATOR_HEMISPHERE);
    bool accumulate = false;

    bool RuleHolds() const { return ssaoEnabled || !blurEnabled; }
    // The same settings with the rule made to hold: blur off while SSAO is off.
    SSAOSettings Kept() const {
        SSAOSettings kept = *this;
        kept.blurEnabled = blurEnabled && ssaoEnabled;
        return kept;
    }
    // SSAO switched; the blur follows it (off with it, and on again with it).
    SSAOSettings WithSSAO(bool on) const {
        SSAOSettings next = *this;
        next.ssaoEnabled = next.blurEnabled = on;
        return next;
    }
    // The blur switched, which takes effect only while SSAO is on.
    SSAOSettings WithBlur(bool on) const {
        SSAOSettings next = *this;
        next.blurEnabled = on;
        return next.Kept();
    }

    bool operator==(const SSAOSettings& o) const {
        return ssaoEnabled == o.ssaoEnabled && blurEnabled == o.blurEnabled &&
               kernelSize == o.kernelSize && radius == o.radius &&
               ambientFactor == o.ambientFactor && estimator == o.estimator &&
               normals == o.normals && accumulate == o.accumulate;
    }
    bool operator!=(const SSAOSettings& o) const { return !(*this == o); }
};
