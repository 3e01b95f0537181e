// StatusOverlay: the texts and colours of the six lines for given settings.
#include "demo/StatusOverlay.h"

#include <gtest/gtest.h>

#include <string>

#include "ssao/Umbrelix.h"

namespace {

void ExpectColor(const glm::vec4& got, const glm::vec4& want) {
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(got[i], want[i], 1e-5f) << "component " << i;
}

} // namespace

TEST(StatusOverlay, DefaultSettingsReadAsTheStartState) {
    Umbrelix renderer(nullptr); // settings only: no GL object is made
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
    Umbrelix renderer(nullptr);
    renderer.mSSAOEnabled = false;
    renderer.mBlurEnabled = false;
    renderer.mRadius = 2.5f;
    renderer.mAmbientFactor = 0.05f;
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

TEST(StatusOverlay, AnAbsurdFrameRateIsCutToTheBufferNotOverflowed) {
    Umbrelix renderer(nullptr);
    OverlayContent content;
    BuildOverlayContent(renderer, 3.0e38f, &content);
    EXPECT_LT(std::string(content.text[LINE_FPS]).size(), size_t(kOverlayBufferSize));
    EXPECT_EQ(std::string(content.text[LINE_FPS]).rfind("FPS: ", 0), 0u);
}

TEST(StatusOverlay, LinesSitFifteenPixelsApartBelowAFirstLineFourteenAbove) {
    EXPECT_EQ(kOverlayPositions[0], glm::ivec2(1, 1));
    for (int i = 2; i < kOverlayLines; ++i)
        EXPECT_EQ(kOverlayPositions[i].y - kOverlayPositions[i - 1].y, 15);
    EXPECT_EQ(kOverlayPositions[1].y - kOverlayPositions[0].y, 14);
}
