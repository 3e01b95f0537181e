// StatusOverlay: the six lines of text in the top-left corner (frame rate and
// the SSAO settings), each with a one-pixel black outline (its drop shadow
// and the rest of the ring), built from one font atlas and six dynamic texts.
#pragma once

#include <cstdint>

#include <glm/glm.hpp>

#include "text/DynamicText.h"
#include "text/FontAtlas.h"

class Allocator;
class Renderer;
struct SSAOSettings;

constexpr int kOverlayLines = 6;
// Lines below the six that show only while they have text: the truth's ray
// count and figures, a shader that failed to reload, and the estimator when
// it is not the default.
constexpr int kOverlayExtraLines = 4;
constexpr int kOverlayBufferSize = 128;

enum OverlayLine {
    LINE_FPS = 0,
    LINE_SSAO = 1,
    LINE_BLUR = 2,
    LINE_SAMPLES = 3,
    LINE_RADIUS = 4,
    LINE_AMBIENT = 5,
};

// What one frame shows: the text and colour of each line.
struct OverlayContent {
    char text[kOverlayLines][kOverlayBufferSize] = {};
    glm::vec4 color[kOverlayLines] = {};
};

// The text positions of the lines (the outline lies one pixel round them).
extern const glm::ivec2 kOverlayPositions[kOverlayLines];
extern const glm::ivec2 kOverlayExtraPositions[kOverlayExtraLines];

// Green at 4 samples through to red at 128: (2t, 2(1 - t), 0, 1) with
// t = (log2(size) - 2) / 5. Components may leave [0, 1]; they are drawn as given.
glm::vec4 SamplesColor(uint32_t kernelSize);
// Formats every line for the renderer's settings and the mean frame rate.
void BuildOverlayContent(const SSAOSettings& settings, float framesPerSecond, OverlayContent* out);

class StatusOverlay {
public:
    StatusOverlay();
    // Makes no GL or allocator call: the owner calls Destroy while the
    // context and the zone still exist.
    ~StatusOverlay();

    // Loads the atlas at dpi (a failed font leaves empty metrics; the lines
    // are still set and drawn) and gives each line its initial text. Releases
    // what an earlier Create made first.
    void Create(Allocator* allocator, uint32_t dpi);
    // Sets all six texts and draws them, outline first, over the frame.
    void Update(const SSAOSettings& settings, float framesPerSecond);
    void Draw(Renderer* renderer);
    // Sets extra line i (empty text: the line is not drawn); call before Draw.
    void SetExtraLine(int i, const char* text, const glm::vec4& color);
    // Releases the texts (GL buffers, zone blocks), then the atlas. Safe to
    // call again, and on an overlay never created.
    void Destroy();
    // True while an atlas or a text is held (Destroy has not run since Create).
    bool Holds() const;

    FontAtlas* mAtlas;
    DynamicText* mTexts[kOverlayLines];
    OverlayContent mContent;
    DynamicText* mExtraTexts[kOverlayExtraLines];
    glm::vec4 mExtraColors[kOverlayExtraLines];
    bool mExtraShown[kOverlayExtraLines];
};
