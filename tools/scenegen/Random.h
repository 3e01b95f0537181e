// Deterministic random numbers for the scene generator. Hand-written so the output is identical
// across standard libraries (std:: distributions are implementation-defined).
#pragma once

#include <cstdint>

namespace scenegen {

// PCG32 (XSH-RR): small state, good statistical quality, plain integer arithmetic.
class Pcg32 {
public:
    explicit Pcg32(uint64_t seed, uint64_t stream = 0x5851f42d4c957f2dULL)
        : inc_((stream << 1u) | 1u) {
        next();
        state_ += seed;
        next();
    }

    uint32_t next() {
        const uint64_t old = state_;
        state_ = old * 6364136223846793005ULL + inc_;
        const auto xorshifted = static_cast<uint32_t>(((old >> 18u) ^ old) >> 27u);
        const auto rot = static_cast<uint32_t>(old >> 59u);
        return (xorshifted >> rot) | (xorshifted << ((32u - rot) & 31u));
    }

    // Uniform in [0, 1) built from the top 24 bits, exactly representable as float.
    float uniform() { return static_cast<float>(next() >> 8) * (1.0f / 16777216.0f); }
    float range(float lo, float hi) { return lo + (hi - lo) * uniform(); }

private:
    uint64_t state_ = 0;
    uint64_t inc_;
};

// Stateless integer hash used by the texture noise lattice, so any pixel can be evaluated
// independently (and textures can be painted on any thread).
inline uint32_t hash32(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

inline uint32_t hash3(uint32_t a, uint32_t b, uint32_t seed) {
    return hash32(a ^ hash32(b ^ hash32(seed)));
}

inline float hash01(uint32_t a, uint32_t b, uint32_t seed) {
    return static_cast<float>(hash3(a, b, seed) >> 8) * (1.0f / 16777216.0f);
}

} // namespace scenegen
