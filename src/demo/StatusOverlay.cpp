// StatusOverlay: formats, lays out and draws the frame-rate and settings lines.
#include "demo/StatusOverlay.h"

#include <cassert>
#include <cmath>
#include <cstdio>
#include <cstdarg>

#include "render/Renderer.h"
#include "ssao/Umbrelix.h"

namespace {

const glm::vec4 kWhite(1.0f, 1.0f, 1.0f, 1.0f);
const glm::vec4 kGreen(0.0f, 1.0f, 0.0f, 1.0f);
const glm::vec4 kRed(1.0f, 0.0f, 0.0f, 1.0f);
const glm::vec4 kShadow(0.0f, 0.0f, 0.0f, 1.0f);
// A line is drawn in black one pixel off in each of the eight directions
// before its colour: a dark ring round every stroke, so that white and grey
// text stays readable on a white picture (a shadow down and right alone
// leaves the strokes' upper and left edges against the background). The
// drop shadow comes first, as it always has.
const glm::ivec2 kOutlineOffsets[] = {{1, 1},  {-1, -1}, {0, -1}, {1, -1},
                                      {-1, 0}, {1, 0},   {-1, 1}, {0, 1}};

void DrawOutlined(Renderer* renderer, DynamicText* text, const glm::ivec2& at,
                  const glm::vec4& color) {
    for (const glm::ivec2& offset : kOutlineOffsets)
        renderer->DrawText(text, at.x + offset.x, at.y + offset.y, kShadow);
    renderer->DrawText(text, at.x, at.y, color);
}

// What each line shows before the first frame replaces it.
const char* const kInitialText[kOverlayLines] = {
    "FPS: ",          "SSAO: Enabled", "SSAO Blur: Enabled",
    "SSAO Samples: ", "SSAO Radius: ", "Ambient Light: ",
};

void SetLine(OverlayContent* out, int line, const glm::vec4& color, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

void SetLine(OverlayContent* out, int line, const glm::vec4& color, const char* format, ...) {
    va_list args;
    va_start(args, format);
    // vsnprintf cuts anything past 127 characters and always terminates.
    vsnprintf(out->text[line], kOverlayBufferSize, format, args);
    va_end(args);
    out->color[line] = color;
}

} // namespace

// The first line sits 14 pixels above the second, the rest 15 apart: the
// rows a finger taps to change a setting line up with these.
const glm::ivec2 kOverlayPositions[kOverlayLines] = {
    {1, 1}, {1, 15}, {1, 30}, {1, 45}, {1, 60}, {1, 75},
};

const glm::ivec2 kOverlayExtraPositions[kOverlayExtraLines] = {
    {1, 90}, {1, 105}, {1, 120}, {1, 135}};

glm::vec4 SamplesColor(uint32_t kernelSize) {
    float t = (std::log2(static_cast<float>(kernelSize)) - 2.0f) / 5.0f;
    return glm::vec4(2.0f * t, 2.0f * (1.0f - t), 0.0f, 1.0f);
}

void BuildOverlayContent(const SSAOSettings& settings, float framesPerSecond, OverlayContent* out) {
    SetLine(out, LINE_FPS, kWhite, "FPS: %.2f", static_cast<double>(framesPerSecond));
    bool ssao = settings.ssaoEnabled;
    bool blur = settings.blurEnabled;
    SetLine(out, LINE_SSAO, ssao ? kGreen : kRed, "%s", ssao ? "SSAO: Enabled" : "SSAO: Disabled");
    SetLine(out, LINE_BLUR, blur ? kGreen : kRed, "%s",
            blur ? "SSAO Blur: Enabled" : "SSAO Blur: Disabled");
    SetLine(out, LINE_SAMPLES, SamplesColor(settings.kernelSize), "SSAO Samples: %d",
            static_cast<int>(settings.kernelSize));
    SetLine(out, LINE_RADIUS, kGreen, "SSAO Radius: %.2f", static_cast<double>(settings.radius));
    SetLine(out, LINE_AMBIENT, kGreen, "Ambient Factor: %.2f",
            static_cast<double>(settings.ambientFactor));
}

StatusOverlay::StatusOverlay()
    : mAtlas(nullptr), mTexts{}, mExtraTexts{}, mExtraColors{}, mExtraShown{} {}

// By the time an owner is destroyed its context and zone may be gone, and
// releasing the texts then would call GL without a context and free into a
// destroyed zone. The release path is Destroy, while both still exist.
StatusOverlay::~StatusOverlay() {
    assert(!Holds() && "the overlay is destroyed while its context and zone still exist");
}

bool StatusOverlay::Holds() const {
    if (mAtlas)
        return true;
    for (const DynamicText* text : mTexts)
        if (text)
            return true;
    for (const DynamicText* text : mExtraTexts)
        if (text)
            return true;
    return false;
}

void StatusOverlay::Create(Allocator* allocator, uint32_t dpi) {
    // A second Create replaces the first one's atlas and texts, which would
    // otherwise be lost with their GL buffers and zone blocks.
    Destroy();
    mAtlas = new FontAtlas();
    // A font that fails to load leaves the atlas empty: the texts still lay
    // out (with zero metrics) and draw nothing visible, and the demo runs on.
    LoadFontAtlas(mAtlas, dpi);
    for (int i = 0; i < kOverlayLines; ++i) {
        mTexts[i] = new DynamicText(allocator, mAtlas);
        mTexts[i]->SetText(kInitialText[i]);
    }
    for (int i = 0; i < kOverlayExtraLines; ++i) {
        mExtraTexts[i] = new DynamicText(allocator, mAtlas);
        mExtraShown[i] = false;
    }
}

void StatusOverlay::SetExtraLine(int i, const char* text, const glm::vec4& color) {
    if (i < 0 || i >= kOverlayExtraLines || !mExtraTexts[i])
        return;
    mExtraShown[i] = text && text[0] != '\0';
    mExtraColors[i] = color;
    if (mExtraShown[i])
        mExtraTexts[i]->SetText(text);
}

void StatusOverlay::Update(const SSAOSettings& settings, float framesPerSecond) {
    BuildOverlayContent(settings, framesPerSecond, &mContent);
    for (int i = 0; i < kOverlayLines; ++i)
        if (mTexts[i])
            mTexts[i]->SetText(mContent.text[i]);
}

void StatusOverlay::Draw(Renderer* renderer) {
    for (int i = 0; i < kOverlayLines; ++i) {
        if (!mTexts[i])
            continue;
        DrawOutlined(renderer, mTexts[i], kOverlayPositions[i], mContent.color[i]);
    }
    for (int i = 0; i < kOverlayExtraLines; ++i) {
        if (!mExtraTexts[i] || !mExtraShown[i])
            continue;
        DrawOutlined(renderer, mExtraTexts[i], kOverlayExtraPositions[i], mExtraColors[i]);
    }
}

void StatusOverlay::Destroy() {
    for (int i = kOverlayExtraLines - 1; i >= 0; --i) {
        delete mExtraTexts[i];
        mExtraTexts[i] = nullptr;
        mExtraShown[i] = false;
    }
    for (int i = kOverlayLines - 1; i >= 0; --i) {
        delete mTexts[i];
        mTexts[i] = nullptr;
    }
    delete mAtlas;
    mAtlas = nullptr;
}
