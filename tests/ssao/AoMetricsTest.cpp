// AoMetrics: error figures and SSIM on hand-made images: identical images,
// constant offsets, linear maps, and pixels outside the mask.
#include "ssao/AoMetrics.h"

#include <algorithm>
#include <cmath>
#include <random>

#include <gtest/gtest.h>

namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 48;

// Smooth shapes plus grain, inside [0.2, 0.8] so that offsets stay in range.
GreyImage Pattern(unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> grain(-0.05f, 0.05f);
    GreyImage image{kWidth, kHeight, std::vector<float>(size_t(kWidth) * kHeight)};
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            image.pixels[size_t(y) * kWidth + x] =
                0.5f + 0.2f * std::sin(0.3f * x) * std::cos(0.2f * y) + grain(random);
    return image;
}

// Everything but a border and a block in the middle.
std::vector<uint8_t> PartialMask() {
    std::vector<uint8_t> mask(size_t(kWidth) * kHeight, 0);
    for (int y = 3; y < kHeight - 3; ++y)
        for (int x = 3; x < kWidth - 3; ++x)
            mask[size_t(y) * kWidth + x] = !(x > 20 && x < 30 && y > 10 && y < 25);
    return mask;
}

GreyImage Mapped(const GreyImage& image, float gain, float offset) {
    GreyImage out = image;
    for (float& p : out.pixels)
        p = gain * p + offset;
    return out;
}

} // namespace

TEST(AoMetrics, IdenticalImagesHaveNoErrorAndSimilarityOne) {
    GreyImage image = Pattern(1);
    Comparison c = Compare(image, image, PartialMask());
    EXPECT_EQ(c.raw.mae, 0.0);
    EXPECT_EQ(c.raw.rmse, 0.0);
    EXPECT_EQ(c.raw.bias, 0.0);
    EXPECT_NEAR(c.raw.ssim, 1.0, 1e-12);
    EXPECT_NEAR(c.fit.gain, 1.0, 1e-9);
    EXPECT_NEAR(c.fit.offset, 0.0, 1e-9);
}

TEST(AoMetrics, AConstantOffsetIsTheMeanErrorAndTheBias) {
    GreyImage reference = Pattern(2);
    std::vector<uint8_t> mask = PartialMask();
    for (float offset : {0.1f, -0.15f}) {
        Comparison c = Compare(reference, Mapped(reference, 1.0f, offset), mask);
        EXPECT_NEAR(c.raw.mae, std::fabs(offset), 1e-6);
        EXPECT_NEAR(c.raw.rmse, std::fabs(offset), 1e-6);
        EXPECT_NEAR(c.raw.bias, offset, 1e-6);
        EXPECT_LT(c.raw.ssim, 1.0) << "the means differ";
        EXPECT_GT(c.raw.ssim, 0.5) << "the structure is the same";
        // The fit takes the offset back out.
        EXPECT_NEAR(c.fit.gain, 1.0, 1e-4);
        EXPECT_NEAR(c.fit.offset, -offset, 1e-4);
        EXPECT_NEAR(c.fitted.mae, 0.0, 1e-5);
        EXPECT_NEAR(c.fitted.ssim, 1.0, 1e-6);
    }
}

TEST(AoMetrics, TheBestLinearMapUndoesAGainAndOffset) {
    GreyImage reference = Pattern(3);
    Comparison c = Compare(reference, Mapped(reference, 0.5f, 0.3f), PartialMask());
    EXPECT_NEAR(c.fit.gain, 2.0, 1e-4);
    EXPECT_NEAR(c.fit.offset, -0.6, 1e-4);
    EXPECT_NEAR(c.fitted.rmse, 0.0, 1e-5);
    EXPECT_NEAR(c.fitted.bias, 0.0, 1e-6);
    EXPECT_NEAR(c.fitted.ssim, 1.0, 1e-6);
    EXPECT_GT(c.raw.mae, 0.01);
}

TEST(AoMetrics, FittedFiguresEqualThoseOfTheExplicitlyMappedEstimate) {
    GreyImage reference = Pattern(8);
    GreyImage estimate = Mapped(Pattern(9), 0.7f, 0.1f); // related, but not linearly
    std::vector<uint8_t> mask = PartialMask();
    Comparison c = Compare(reference, estimate, mask);
    ErrorMetrics direct =
        MeasureErrors(reference, Mapped(estimate, float(c.fit.gain), float(c.fit.offset)), mask);
    EXPECT_NEAR(c.fitted.mae, direct.mae, 1e-6);
    EXPECT_NEAR(c.fitted.rmse, direct.rmse, 1e-6);
    EXPECT_NEAR(c.fitted.ssim, direct.ssim, 1e-6);
    EXPECT_NEAR(c.fitted.bias, 0.0, 1e-6) << "a least-squares fit leaves no mean error";
    EXPECT_LE(c.fitted.rmse, c.raw.rmse) << "the fit can only lower the squared error";
}

TEST(AoMetrics, AConstantEstimateIsFittedByTheReferenceMean) {
    GreyImage reference = Pattern(4);
    std::vector<uint8_t> mask(reference.pixels.size(), 1);
    GreyImage flat{kWidth, kHeight, std::vector<float>(reference.pixels.size(), 0.9f)};
    LinearMap map = FitLinear(reference, flat, mask);
    double mean = 0.0;
    for (float p : reference.pixels)
        mean += p;
    mean /= double(reference.pixels.size());
    EXPECT_EQ(map.gain, 0.0);
    EXPECT_NEAR(map.offset, mean, 1e-9);
}

TEST(AoMetrics, PixelsOutsideTheMaskDoNotCount) {
    GreyImage reference = Pattern(5);
    GreyImage estimate = Mapped(reference, 0.8f, 0.05f);
    std::vector<uint8_t> mask = PartialMask();
    Comparison clean = Compare(reference, estimate, mask);
    GreyImage spoiled = estimate;
    std::mt19937 random(9);
    std::uniform_real_distribution<float> noise(0.0f, 1.0f);
    for (size_t i = 0; i < mask.size(); ++i)
        if (!mask[i])
            spoiled.pixels[i] = noise(random);
    Comparison c = Compare(reference, spoiled, mask);
    EXPECT_DOUBLE_EQ(c.raw.mae, clean.raw.mae);
    EXPECT_DOUBLE_EQ(c.raw.bias, clean.raw.bias);
    EXPECT_DOUBLE_EQ(c.raw.ssim, clean.raw.ssim) << "windows near the mask's edge ignore the rest";
    EXPECT_DOUBLE_EQ(c.fit.gain, clean.fit.gain);
}

TEST(AoMetrics, SimilarityDropsWithStructureNotJustWithError) {
    GreyImage reference = Pattern(6);
    std::vector<uint8_t> mask = PartialMask();
    // Same pixel values, shuffled: the means match, the structure is gone.
    GreyImage shuffled = reference;
    std::mt19937 random(11);
    std::shuffle(shuffled.pixels.begin(), shuffled.pixels.end(), random);
    Comparison c = Compare(reference, shuffled, mask);
    EXPECT_LT(c.raw.ssim, 0.3);
    // Inverted around the mean: perfectly anti-correlated.
    Comparison inverted = Compare(reference, Mapped(reference, -1.0f, 1.0f), mask);
    EXPECT_LT(inverted.raw.ssim, 0.0);
    EXPECT_NEAR(inverted.fit.gain, -1.0, 1e-4);
}

TEST(AoMetrics, AnEmptyMaskGivesZeros) {
    GreyImage image = Pattern(7);
    std::vector<uint8_t> none(image.pixels.size(), 0);
    Comparison c = Compare(image, Mapped(image, 1.0f, 0.2f), none);
    EXPECT_EQ(c.pixels, 0u);
    EXPECT_EQ(c.raw.mae, 0.0);
    EXPECT_EQ(c.raw.ssim, 0.0);
}
