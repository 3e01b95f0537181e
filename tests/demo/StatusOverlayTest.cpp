// StatusOverlay: the texts and colours of the six lines for given settings,
// how a frame sets and draws them (shadow first, one pixel right and down, in
// black), and a Create that replaces an earlier one.
#include "demo/StatusOverlay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "render/Renderer.h"
#include "gpu/Window.h"
#include "memory/ZoneAllocator.h"
#include "ssao/Umbrelix.h"
#include "support/GLTestContext.h"

namespace {

void ExpectColor(const glm::vec4& got, const glm::vec4& want) {
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(got[i], want[i], 1e-5f) << "component " << i;
}

} // namespace

TEST(StatusOverlay, DefaultSettingsReadAsTheStartState) {
    SSAOSettings renderer;
    OverlayContent content;
    BuildOverlayContent(renderer, 0.0f, &content);
    EXPECT_STREQ(content.text[LINE_FPS], "FPS: 0.00");
    EXPECT_STREQ(content.text[LINE_SSAO], "SSAO: Enabled");
    EXPECT_STREQ(content.text[LINE_BLUR], "SSAO Blur: Enabled");
    EXPECT_STREQ(content.text[LINE_SAMPLES], "SSAO Samples: 4");
    EXPECT_STREQ(content.text[LINE_RADIUS], "SSAO Radius: 0.90");
    EXPECT_STREQ(content.text[LINE_AMBIENT], "Ambient Factor: 0.75");
    ExpectColor(content.color[LINE_FPS], {1, 1, 1, 1});
    ExpectColor(content.color[LINE_SSAO], {0, 1, 0, 1});
    ExpectColor(content.color[LINE_BLUR], {0, 1, 0, 1});
    ExpectColor(content.color[LINE_SAMPLES], {0, 2, 0, 1});
    ExpectColor(content.color[LINE_RADIUS], {0, 1, 0, 1});
    ExpectColor(content.color[LINE_AMBIENT], {0, 1, 0, 1});
}

TEST(StatusOverlay, DisabledSwitchesReadDisabledInRed) {
    SSAOSettings renderer;
    renderer.ssaoEnabled = false;
    renderer.blurEnabled = false;
    renderer.radius = 2.5f;
    renderer.ambientFactor = 0.05f;
    OverlayContent content;
    BuildOverlayContent(renderer, 123.456f, &content);
    EXPECT_STREQ(content.text[LINE_FPS], "FPS: 123.46");
    EXPECT_STREQ(content.text[LINE_SSAO], "SSAO: Disabled");
    EXPECT_STREQ(content.text[LINE_BLUR], "SSAO Blur: Disabled");
    EXPECT_STREQ(content.text[LINE_RADIUS], "SSAO Radius: 2.50");
    EXPECT_STREQ(content.text[LINE_AMBIENT], "Ambient Factor: 0.05");
    ExpectColor(content.color[LINE_SSAO], {1, 0, 0, 1});
    ExpectColor(content.color[LINE_BLUR], {1, 0, 0, 1});
}

TEST(StatusOverlay, SamplesColourGoesFromGreenToRedAndMayExceedOne) {
    const struct {
        uint32_t size;
        glm::vec4 color;
    } table[] = {
        {4, {0.0f, 2.0f, 0, 1}},  {8, {0.4f, 1.6f, 0, 1}},  {16, {0.8f, 1.2f, 0, 1}},
        {32, {1.2f, 0.8f, 0, 1}}, {64, {1.6f, 0.4f, 0, 1}}, {128, {2.0f, 0.0f, 0, 1}},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.size);
        ExpectColor(SamplesColor(row.size), row.color);
    }
}

TEST(StatusOverlay, TheLargestFrameRateIsShownWholeWithTwoDecimals) {
    // The widest number the line can hold: every digit must survive the
    // formatting (no float precision lost, no cut before the buffer's end).
    SSAOSettings renderer;
    OverlayContent content;
    BuildOverlayContent(renderer, FLT_MAX, &content);
    EXPECT_STREQ(content.text[LINE_FPS], "FPS: 340282346638528859811704183484516925440.00");
    BuildOverlayContent(renderer, 59.996f, &content);
    EXPECT_STREQ(content.text[LINE_FPS], "FPS: 60.00") << "rounded, not truncated";
}

TEST(StatusOverlay, LinesSitFifteenPixelsApartBelowAFirstLineFourteenAbove) {
    EXPECT_EQ(kOverlayPositions[0], glm::ivec2(1, 1));
    for (int i = 2; i < kOverlayLines; ++i)
        EXPECT_EQ(kOverlayPositions[i].y - kOverlayPositions[i - 1].y, 15);
    EXPECT_EQ(kOverlayPositions[1].y - kOverlayPositions[0].y, 14);
}

// ---------------------------------------------------------------------------
// The overlay on a real renderer and font: each draw call's text, colour and
// position as the text program received them.

namespace {

// Eight outline draws and the text.
constexpr int kDrawsPerLine = 9;

struct TextDraw {
    GLint vertexArray;
    glm::vec4 colour;
    glm::vec2 at; // the model matrix's translation
};

PFNGLDRAWARRAYSPROC gRealDrawArrays = nullptr;
const ShaderProgram* gTextProgram = nullptr;
std::vector<TextDraw> gDraws;

void APIENTRY RecordTextDraw(GLenum mode, GLint first, GLsizei count) {
    TextDraw draw{GetInteger(GL_VERTEX_ARRAY_BINDING), glm::vec4(0.0f), glm::vec2(0.0f)};
    glm::mat4 model(0.0f);
    glGetUniformfv(gTextProgram->program, gTextProgram->textColor, &draw.colour[0]);
    glGetUniformfv(gTextProgram->program, gTextProgram->modelMatrix, &model[0][0]);
    draw.at = glm::vec2(model[3]);
    gDraws.push_back(draw);
    gRealDrawArrays(mode, first, count);
}

class StatusOverlayDrawing : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(RequireGL());
        ASSERT_EQ(mZone.Init(), 0);
        mWindow = std::make_unique<Window>("overlay-test", 320, 200, WINDOW_WINDOWED);
        ASSERT_EQ(mWindow->Init(), 0);
        mRenderer = std::make_unique<Renderer>(mWindow.get());
        ASSERT_EQ(mRenderer->Init(), 0);
        mOverlay.Create(&mZone, 96);
        ASSERT_NE(mOverlay.mAtlas->mId, 0u) << "fonts/ comes with the build";
    }
    void TearDown() override {
        mOverlay.Destroy();
        mRenderer.reset();
        mWindow.reset();
        EXPECT_EQ(mZone.GetAllocCount(), 0u);
    }
    std::vector<TextDraw> RecordDraw() {
        gDraws.clear();
        gTextProgram = &mRenderer->mShaderText;
        gRealDrawArrays = vgl::glDrawArrays;
        vgl::glDrawArrays = RecordTextDraw;
        mOverlay.Draw(mRenderer.get());
        vgl::glDrawArrays = gRealDrawArrays;
        return gDraws;
    }

    ZoneAllocator mZone{1 << 20};
    std::unique_ptr<Window> mWindow;
    std::unique_ptr<Renderer> mRenderer;
    SSAOSettings mSettings;
    StatusOverlay mOverlay;
};

} // namespace

TEST_F(StatusOverlayDrawing, EachLineDrawsABlackOutlineOnePixelAllRoundShadowFirstThenItsText) {
    mSettings.ssaoEnabled = false;
    mOverlay.Update(mSettings, 30.0f);
    const std::vector<TextDraw> draws = RecordDraw();
    ASSERT_EQ(draws.size(), size_t(kDrawsPerLine * kOverlayLines));
    for (int line = 0; line < kOverlayLines; ++line) {
        SCOPED_TRACE(mOverlay.mContent.text[line]);
        const TextDraw* first = &draws[kDrawsPerLine * line];
        const TextDraw& text = first[kDrawsPerLine - 1];
        const glm::vec2 at(kOverlayPositions[line]);
        EXPECT_EQ(first[0].at, at + glm::vec2(1.0f, 1.0f)) << "the drop shadow first";
        std::set<std::pair<float, float>> ring;
        for (int i = 0; i + 1 < kDrawsPerLine; ++i) {
            EXPECT_EQ(first[i].vertexArray, GLint(mOverlay.mTexts[line]->mVao));
            EXPECT_EQ(first[i].colour, glm::vec4(0.0f, 0.0f, 0.0f, 1.0f));
            const glm::vec2 offset = first[i].at - at;
            EXPECT_EQ(std::max(std::abs(offset.x), std::abs(offset.y)), 1.0f);
            ring.insert({offset.x, offset.y});
        }
        EXPECT_EQ(ring.size(), 8u) << "all eight neighbours";
        EXPECT_EQ(text.vertexArray, GLint(mOverlay.mTexts[line]->mVao));
        EXPECT_EQ(text.colour, mOverlay.mContent.color[line]);
        EXPECT_EQ(text.at, at);
    }
    EXPECT_EQ(draws[kDrawsPerLine * (LINE_SSAO + 1) - 1].colour, glm::vec4(1.0f, 0.0f, 0.0f, 1.0f));
}

TEST_F(StatusOverlayDrawing, EveryLineIsSetEveryFrame) {
    mOverlay.Update(mSettings, 0.0f);
    mSettings.ssaoEnabled = false;
    mSettings.blurEnabled = false;
    mSettings.kernelSize = 64;
    mSettings.radius = 2.5f;
    mSettings.ambientFactor = 0.3f;
    mOverlay.Update(mSettings, 59.5f);
    const char* expected[kOverlayLines] = {
        "FPS: 59.50",       "SSAO: Disabled",    "SSAO Blur: Disabled",
        "SSAO Samples: 64", "SSAO Radius: 2.50", "Ambient Factor: 0.30",
    };
    for (int line = 0; line < kOverlayLines; ++line)
        EXPECT_STREQ(mOverlay.mTexts[line]->mText, expected[line]);
}

TEST_F(StatusOverlayDrawing, ASecondCreateReleasesTheFirstAtlasAndTexts) {
    const uint64_t blocks = mZone.GetAllocCount();
    ASSERT_GT(blocks, 0u);
    mOverlay.Create(&mZone, 96);
    EXPECT_EQ(mZone.GetAllocCount(), blocks) << "the first texts' blocks went back";
    mOverlay.Destroy();
    EXPECT_EQ(mZone.GetAllocCount(), 0u);
    EXPECT_FALSE(mOverlay.Holds());
    mOverlay.Destroy(); // a second Destroy finds nothing to release
}

TEST_F(StatusOverlayDrawing, ExtraLinesDrawBelowTheSixOnlyWhileTheyHaveText) {
    mOverlay.Update(mSettings, 30.0f);
    mOverlay.SetExtraLine(0, "Truth (truth): 16 rays per pixel", glm::vec4(1.0f));
    mOverlay.SetExtraLine(1, "", glm::vec4(1.0f));
    mOverlay.SetExtraLine(2, "shaders/SSAO.frag: 0:3(1): error", glm::vec4(1, 0, 0, 1));
    mOverlay.SetExtraLine(kOverlayExtraLines, "out of range: ignored", glm::vec4(1.0f));
    std::vector<TextDraw> draws = RecordDraw();
    ASSERT_EQ(draws.size(), size_t(kDrawsPerLine * (kOverlayLines + 2)));
    const TextDraw* extra = &draws[kDrawsPerLine * kOverlayLines];
    EXPECT_EQ(extra[kDrawsPerLine - 1].at, glm::vec2(kOverlayExtraPositions[0]));
    EXPECT_EQ(extra[0].at, glm::vec2(kOverlayExtraPositions[0] + glm::ivec2(1, 1)));
    EXPECT_EQ(extra[2 * kDrawsPerLine - 1].at, glm::vec2(kOverlayExtraPositions[2]));
    EXPECT_EQ(extra[2 * kDrawsPerLine - 1].colour, glm::vec4(1, 0, 0, 1));
    EXPECT_GT(kOverlayExtraPositions[0].y, kOverlayPositions[kOverlayLines - 1].y);

    for (int i = 0; i < kOverlayExtraLines; ++i)
        mOverlay.SetExtraLine(i, "", glm::vec4(1.0f));
    EXPECT_EQ(RecordDraw().size(), size_t(kDrawsPerLine * kOverlayLines))
        << "emptied lines are not drawn";
}

namespace {

constexpr int kTestWidth = 320;
constexpr int kTestHeight = 200;
constexpr uint8_t kFullCoverage = 250;
// The contrast ratio ordinary text needs to be read comfortably.
constexpr double kLegibleContrast = 4.5;

// Relative luminance of an sRGB pixel (0 black to 1 white).
double Luminance(const uint8_t* p) {
    double sum = 0.0;
    const double weights[3] = {0.2126, 0.7152, 0.0722};
    for (int c = 0; c < 3; ++c) {
        double v = p[c] / 255.0;
        sum += weights[c] * (v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4));
    }
    return sum;
}

// The window's pixels after clearing it to grey and drawing.
template <typename Draw> std::vector<uint8_t> Drawn(float grey, Draw draw) {
    glClearColor(grey, grey, grey, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    draw();
    return ReadPixelsRGBA(0, 0, kTestWidth, kTestHeight);
}

} // namespace

// Each line's fully covered glyph pixels against the pixels right round them
// (touching them, not covered by any line's glyphs), over white, mid grey
// and black: without a dark ring, white text on a white picture is gone.
TEST_F(StatusOverlayDrawing, EveryLineStandsOutFromWhatSurroundsItOnLightAndDarkPictures) {
    mSettings.ssaoEnabled = false;
    mSettings.kernelSize = 32;
    mOverlay.Update(mSettings, 30.0f);
    mOverlay.SetExtraLine(0, "Truth: 32 rays per pixel", glm::vec4(0.7f, 0.7f, 0.7f, 1.0f));
    mOverlay.SetExtraLine(1, "MAE 0.041 bias +0.012 SSIM 0.873", glm::vec4(0, 1, 0, 1));
    mOverlay.SetExtraLine(2, "Screenshot not written: disk full", glm::vec4(1, 0, 0, 1));
    mOverlay.SetExtraLine(3, "Estimator: horizon", glm::vec4(1.0f));
    std::vector<std::pair<DynamicText*, glm::ivec2>> lines;
    for (int i = 0; i < kOverlayLines; ++i)
        lines.push_back({mOverlay.mTexts[i], kOverlayPositions[i]});
    for (int i = 0; i < kOverlayExtraLines; ++i)
        lines.push_back({mOverlay.mExtraTexts[i], kOverlayExtraPositions[i]});
    // Where each line's glyphs lie: the line alone, white on black.
    std::vector<std::vector<uint8_t>> cover;
    std::vector<uint8_t> anyGlyph(size_t(kTestWidth) * kTestHeight * 4, 0);
    for (const auto& line : lines) {
        cover.push_back(Drawn(0.0f, [&] {
            mRenderer->DrawText(line.first, line.second.x, line.second.y, glm::vec4(1.0f));
        }));
        for (size_t i = 0; i < anyGlyph.size(); ++i)
            anyGlyph[i] = std::max(anyGlyph[i], cover.back()[i]);
    }
    for (float background : {1.0f, 0.5f, 0.0f}) {
        const std::vector<uint8_t> shown =
            Drawn(background, [&] { mOverlay.Draw(mRenderer.get()); });
        for (size_t l = 0; l < lines.size(); ++l) {
            SCOPED_TRACE(testing::Message() << "background " << background << ", line " << l);
            auto covered = [&](int x, int y) {
                return cover[l][4 * (y * kTestWidth + x)] >= kFullCoverage;
            };
            double sums[2] = {0.0, 0.0}; // glyph, ring
            int counts[2] = {0, 0};
            for (int y = 1; y + 1 < kTestHeight; ++y) {
                for (int x = 1; x + 1 < kTestWidth; ++x) {
                    bool touches = false;
                    for (int d = 0; d < 9; ++d)
                        touches = touches || covered(x + d % 3 - 1, y + d / 3 - 1);
                    const size_t i = 4 * (size_t(y) * kTestWidth + x);
                    int kind = covered(x, y) ? 0 : (touches && anyGlyph[i] == 0) ? 1 : -1;
                    if (kind >= 0) {
                        sums[kind] += Luminance(&shown[i]);
                        ++counts[kind];
                    }
                }
            }
            ASSERT_GT(counts[0], 20);
            ASSERT_GT(counts[1], 20);
            const double glyph = sums[0] / counts[0], ring = sums[1] / counts[1];
            EXPECT_GE((std::max(glyph, ring) + 0.05) / (std::min(glyph, ring) + 0.05),
                      kLegibleContrast);
        }
    }
}
