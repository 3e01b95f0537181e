// AoMetrics: error figures over a mask, SSIM by separable masked Gaussian
// sums, and the least-squares linear fit.
#include "ssao/AoMetrics.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cmath>

namespace {

// Normalised 1-D Gaussian taps of the SSIM window.
std::vector<double> GaussianTaps() {
    std::vector<double> taps(2 * kSsimRadius + 1);
    double sum = 0.0;
    for (int i = -kSsimRadius; i <= kSsimRadius; ++i) {
        taps[i + kSsimRadius] = std::exp(-double(i * i) / (2.0 * kSsimSigma * kSsimSigma));
        sum += taps[i + kSsimRadius];
    }
    for (double& t : taps)
        t /= sum;
    return taps;
}

// The planes of the SSIM sums are single precision: each sum is accumulated
// in double and stored once, so rounding does not pile up, and the index
// moves by under 1e-5 (its constants C1 and C2 dwarf a float's rounding of
// the variances). With each field made and blurred in turn (BlurredField),
// eight float planes are alive at the peak, 42 MB at 1440 x 900, where
// fourteen double planes took 145 MB: the demo computes figures beside the
// renderer and the tracer.
using Plane = std::vector<float>;

// One 1-D pass of the convolution along rows (step 1) or columns (step =
// width): lines of `length` pixels, `lines` of them, `lineStep` apart.
void BlurPass(const Plane& in, Plane& out, int length, int lines, size_t step, size_t lineStep,
              const std::vector<double>& taps, const std::atomic<bool>* stop) {
    for (int line = 0; line < lines; ++line) {
        if (stop && stop->load(std::memory_order_relaxed))
            return;
        for (int i = 0; i < length; ++i) {
            double sum = 0.0;
            for (int k = -kSsimRadius; k <= kSsimRadius; ++k) {
                int j = i + k;
                if (j >= 0 && j < length)
                    sum += taps[k + kSsimRadius] * in[line * lineStep + j * step];
            }
            out[line * lineStep + i * step] = float(sum);
        }
    }
}

// Gaussian-weighted sum around every pixel of the field value(i) (a
// separable 2-D convolution; taps past the border see nothing). The field is
// made here and its plane reused for the result, so that of all the fields
// only the blurred sums stay.
template <typename Value>
Plane BlurredField(int width, int height, const std::vector<double>& taps, Value value,
                   const std::atomic<bool>* stop) {
    size_t n = size_t(width) * height;
    Plane field(n), rows(n, 0.0f);
    for (size_t i = 0; i < n; ++i)
        field[i] = float(value(i));
    BlurPass(field, rows, width, height, 1, size_t(width), taps, stop);
    BlurPass(rows, field, height, width, size_t(width), 1, taps, stop);
    return field;
}

// Mean SSIM over the masked pixels, of the estimate y as given and of
// gain * y + offset. Each window's weights are the Gaussian times the mask,
// normalised: with W = sum of weights, mean = sum(w x) / W and variance =
// sum(w x^2) / W - mean^2. The weighted sums are separable convolutions of
// the masked fields m, m x, m y, m x^2, m y^2, m x y. A linear map changes
// the statistics of y in closed form (mean a mu + b, variance a^2 var,
// covariance a cov), so the mapped estimate needs no second pass.
void MaskedSsim(const GreyImage& a, const GreyImage& b, const std::vector<uint8_t>& mask,
                const LinearMap& map, double* plain, double* mapped,
                const std::atomic<bool>* stop = nullptr) {
    int w = a.width, h = a.height;
    size_t n = size_t(w) * h;
    std::vector<double> taps = GaussianTaps();
    auto on = [&](size_t i) { return mask[i] ? 1.0 : 0.0; };
    auto x = [&](size_t i) { return double(a.pixels[i]); };
    auto y = [&](size_t i) { return double(b.pixels[i]); };
    Plane sm = BlurredField(w, h, taps, on, stop);
    Plane sx = BlurredField(
        w, h, taps, [&](size_t i) { return on(i) * x(i); }, stop);
    Plane sy = BlurredField(
        w, h, taps, [&](size_t i) { return on(i) * y(i); }, stop);
    Plane sxx = BlurredField(
        w, h, taps, [&](size_t i) { return on(i) * x(i) * x(i); }, stop);
    Plane syy = BlurredField(
        w, h, taps, [&](size_t i) { return on(i) * y(i) * y(i); }, stop);
    Plane sxy = BlurredField(
        w, h, taps, [&](size_t i) { return on(i) * x(i) * y(i); }, stop);
    if (stop && stop->load()) {
        *plain = *mapped = 0.0;
        return;
    }
    auto index = [](double muX, double muY, double varX, double varY, double cov) {
        return ((2.0 * muX * muY + kSsimC1) * (2.0 * cov + kSsimC2)) /
               ((muX * muX + muY * muY + kSsimC1) * (varX + varY + kSsimC2));
    };
    double totalPlain = 0.0, totalMapped = 0.0;
    uint64_t count = 0;
    for (size_t i = 0; i < n; ++i) {
        if (!mask[i])
            continue;
        // A masked pixel is in its own window with a positive weight.
        double weight = sm[i];
        double muX = double(sx[i]) / weight, muY = double(sy[i]) / weight;
        double varX = std::max(0.0, double(sxx[i]) / weight - muX * muX);
        double varY = std::max(0.0, double(syy[i]) / weight - muY * muY);
        double cov = double(sxy[i]) / weight - muX * muY;
        totalPlain += index(muX, muY, varX, varY, cov);
        totalMapped += index(muX, map.gain * muY + map.offset, varX, map.gain * map.gain * varY,
                             map.gain * cov);
        ++count;
    }
    *plain = count ? totalPlain / double(count) : 0.0;
    *mapped = count ? totalMapped / double(count) : 0.0;
}

// MAE, RMSE and bias of gain * estimate + offset; SSIM is left alone.
ErrorMetrics PixelErrors(const GreyImage& reference, const GreyImage& estimate,
                         const std::vector<uint8_t>& mask, const LinearMap& map) {
    ErrorMetrics e;
    double absSum = 0.0, sqSum = 0.0, sum = 0.0;
    uint64_t count = 0;
    for (size_t i = 0; i < mask.size(); ++i) {
        if (!mask[i])
            continue;
        double d = map.gain * estimate.pixels[i] + map.offset - double(reference.pixels[i]);
        absSum += std::fabs(d);
        sqSum += d * d;
        sum += d;
        ++count;
    }
    if (count == 0)
        return e;
    e.mae = absSum / double(count);
    e.rmse = std::sqrt(sqSum / double(count));
    e.bias = sum / double(count);
    return e;
}

void CheckSizes(const GreyImage& reference, const GreyImage& estimate,
                const std::vector<uint8_t>& mask) {
    size_t n = size_t(reference.width) * reference.height;
    (void)n;
    assert(reference.width == estimate.width && reference.height == estimate.height &&
           reference.pixels.size() == n && estimate.pixels.size() == n && mask.size() == n &&
           "images and mask are compared pixel by pixel, so they must have one size");
}

} // namespace

ErrorMetrics MeasureErrors(const GreyImage& reference, const GreyImage& estimate,
                           const std::vector<uint8_t>& mask, const std::atomic<bool>* stop) {
    CheckSizes(reference, estimate, mask);
    LinearMap identity;
    ErrorMetrics e = PixelErrors(reference, estimate, mask, identity);
    double unused = 0.0;
    MaskedSsim(reference, estimate, mask, identity, &e.ssim, &unused, stop);
    return e;
}

LinearMap FitLinear(const GreyImage& reference, const GreyImage& estimate,
                    const std::vector<uint8_t>& mask) {
    CheckSizes(reference, estimate, mask);
    // Normal equations of min sum (a x + b - y)^2: a = cov(x, y) / var(x),
    // b = mean(y) - a mean(x). A constant estimate has no slope to fit:
    // a = 0 and b = mean(y), the best constant.
    double sx = 0.0, sy = 0.0;
    uint64_t count = 0;
    for (size_t i = 0; i < mask.size(); ++i) {
        if (mask[i]) {
            sx += estimate.pixels[i];
            sy += reference.pixels[i];
            ++count;
        }
    }
    LinearMap map;
    if (count == 0)
        return map;
    double meanX = sx / double(count), meanY = sy / double(count);
    double varX = 0.0, cov = 0.0;
    for (size_t i = 0; i < mask.size(); ++i) {
        if (mask[i]) {
            double dx = estimate.pixels[i] - meanX;
            varX += dx * dx;
            cov += dx * (reference.pixels[i] - meanY);
        }
    }
    constexpr double kFlat = 1e-12;
    map.gain = varX > kFlat * double(count) ? cov / varX : 0.0;
    map.offset = meanY - map.gain * meanX;
    return map;
}

Comparison Compare(const GreyImage& reference, const GreyImage& estimate,
                   const std::vector<uint8_t>& mask) {
    CheckSizes(reference, estimate, mask);
    Comparison c;
    for (uint8_t on : mask)
        c.pixels += on ? 1 : 0;
    c.fit = FitLinear(reference, estimate, mask);
    c.raw = PixelErrors(reference, estimate, mask, LinearMap{});
    c.fitted = PixelErrors(reference, estimate, mask, c.fit);
    MaskedSsim(reference, estimate, mask, c.fit, &c.raw.ssim, &c.fitted.ssim);
    return c;
}

void HeatColour(float difference, uint8_t rgb[3]) {
    float t = std::min(1.0f, std::fabs(difference) / kHeatRange);
    uint8_t fade = static_cast<uint8_t>(std::lround(255.0f * (1.0f - t)));
    // White fades into pure red (ours too open) or pure blue (ours too dark).
    rgb[0] = difference > 0.0f ? 255 : fade;
    rgb[1] = fade;
    rgb[2] = difference < 0.0f ? 255 : fade;
}
