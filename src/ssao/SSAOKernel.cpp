// SSAOKernel: owns the process-wide random source and turns it into the
// cosine-weighted hemisphere kernel and the 4x4 rotation noise of the SSAO pass.
#include "ssao/SSAOKernel.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace {

constexpr double kTwoPow32 = 4294967296.0;
constexpr double kTwoPow64 = kTwoPow32 * kTwoPow32;
constexpr double kQuarterPi = 0.7853981633974483;

// Created on first use (thread-safe static initialisation) and seeded once
// (tests may seed it again), so every kernel and the noise draw from one stream.
std::mt19937& Generator() {
    static std::mt19937 generator(std::random_device{}());
    return generator;
}

} // namespace

void SeedRandom(uint32_t seed) {
    Generator().seed(seed);
}

float RandomFloat(float min, float max) {
    std::mt19937& generator = Generator();
    // Two separate statements: the draw order (x1 low word, x2 high word) must
    // not depend on the compiler's evaluation order.
    const double x1 = generator();
    const double x2 = generator();
    // 64 random bits squeezed into a 53-bit mantissa: the sum rounds, and for
    // x2 = 2^32 - 1 with a large x1 it rounds up to exactly 2^64, i.e. c = 1.
    const double c = (x1 + x2 * kTwoPow32) / kTwoPow64;
    float result = static_cast<float>(c * (static_cast<double>(max) - min) + min);
    // Both that c = 1 and the final rounding to float can land on max itself;
    // the interval is half-open, so pull such results down to the last float
    // below max. Rounding is monotonic, so the lower end already holds.
    if (max > min && result >= max)
        result = std::nextafter(max, min);
    return result;
}

void ConcentricSampleDisk(float u, float v, float* x, float* y) {
    const float a = 2.0f * u - 1.0f;
    const float b = 2.0f * v - 1.0f;
    if (a == 0.0f && b == 0.0f) {
        *x = 0.0f;
        *y = 0.0f;
        return;
    }
    // The square [-1,1]^2 splits into four wedges along its diagonals; in each,
    // the larger coordinate (in magnitude) is the radius and the ratio of the
    // two walks the angle through one eighth of the circle per unit.
    float r;
    float phi;
    if (a >= -b) {
        if (a > b) {
            r = a;
            phi = b / a;
            if (!(b > 0.0f))
                phi += 8.0f;
        } else {
            r = b;
            phi = 2.0f - a / b;
        }
    } else {
        if (b >= a) {
            r = -a;
            phi = 4.0f - b / (-a);
        } else {
            r = -b;
            phi = 6.0f + a / (-b);
        }
    }
    const float angle = static_cast<float>(phi * kQuarterPi);
    *x = std::cos(angle) * r;
    *y = std::sin(angle) * r;
}

void GenerateKernel(uint32_t n, std::vector<glm::vec3>& kernel) {
    kernel.clear();
    for (uint32_t i = 0; i < n; ++i) {
        const float u = RandomFloat(0.0f, 1.0f);
        const float v = RandomFloat(0.0f, 1.0f);
        float x;
        float y;
        ConcentricSampleDisk(u, v, &x, &y);
        // Lifting a uniform disk point straight up onto the unit hemisphere
        // gives directions with density proportional to cos(theta) (Malley).
        const float z = std::sqrt(std::max(1.0f - x * x - y * y, 0.0f));
        kernel.emplace_back(x, y, z);
    }
}

void GenerateNoise(std::vector<glm::vec3>& noise) {
    for (int i = 0; i < kNoiseCount; ++i) {
        const float a = RandomFloat(-1.0f, 1.0f);
        const float b = RandomFloat(-1.0f, 1.0f);
        noise.emplace_back(b, a, 0.0f);
    }
}
