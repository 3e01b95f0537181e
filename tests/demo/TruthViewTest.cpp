// TruthView: which pixels are compared, the texels the renderer gets, the
// cycle of G, and what the overlay says before anything is traced.
#include "demo/TruthView.h"

#include <gtest/gtest.h>

namespace {

ReferenceImage Traced(std::vector<uint8_t> mask, std::vector<float> depth) {
    ReferenceImage image;
    image.width = int(mask.size());
    image.height = 1;
    image.visibility.assign(mask.size(), 0.5f);
    image.mask = std::move(mask);
    image.depth = std::move(depth);
    return image;
}

} // namespace

TEST(TruthView, OnlyPixelsWhereTracerAndGBufferSeeOneSurfaceAreCompared) {
    struct Case {
        const char* what;
        uint8_t hit;
        float traced, drawn;
        uint8_t compared;
    } cases[] = {
        {"the same depth", 1, 10.0f, 10.0f, 1},
        {"within half-float rounding", 1, 10.0f, 10.04f, 1},
        {"another surface behind", 1, 10.0f, 10.2f, 0},
        {"nothing traced", 0, 0.0f, 10.0f, 0},
        {"nothing drawn", 1, 10.0f, 0.0f, 0},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> mask =
            ComparedPixels(Traced({c.hit}, {c.traced}), std::vector<float>{c.drawn});
        ASSERT_EQ(mask.size(), 1u);
        EXPECT_EQ(mask[0], c.compared) << c.what;
    }
    std::vector<uint8_t> mismatched = ComparedPixels(Traced({1, 1}, {1, 1}), {1.0f});
    EXPECT_EQ(mismatched, (std::vector<uint8_t>{0, 0})) << "sizes that differ compare nothing";
}

TEST(TruthView, TexelsPairVisibilityWithTheTracedDepthOrZero) {
    ReferenceImage traced = Traced({1, 0}, {7.0f, 9.0f});
    traced.visibility = {0.25f, 1.0f};
    EXPECT_EQ(TruthTexels(traced), (std::vector<float>{0.25f, 7.0f, 1.0f, 0.0f}));
}

TEST(TruthView, GCyclesTruthDifferenceAndOffAndSaysNothingWhileOff) {
    TruthView view;
    std::string rays, figures;
    bool failed = true;
    view.StatusLines(&rays, &figures, &failed);
    EXPECT_TRUE(rays.empty() && figures.empty() && !failed);
    const TruthMode expected[] = {TRUTH_SHOWN, TRUTH_DIFFERENCE, TRUTH_OFF, TRUTH_SHOWN};
    for (TruthMode mode : expected) {
        view.Cycle();
        EXPECT_EQ(view.Mode(), mode);
    }
    view.StatusLines(&rays, &figures, &failed);
    EXPECT_EQ(rays, "Truth: building the ray-tracing scene");
    EXPECT_TRUE(figures.empty()) << "no figures before 16 rays";
    view.Stop();
    view.Stop();
}

TEST(TruthView, FiguresAreKeptForEachDoublingOfTheRays) {
    const int rays[][2] = {{0, 0}, {4, 4}, {16, 16}, {24, 16}, {48, 32}, {255, 128}, {256, 256}};
    for (const auto& r : rays)
        EXPECT_EQ(FigureRays(r[0]), r[1]) << r[0];
}
