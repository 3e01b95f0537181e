// AoTrace: the ray-traced occlusion of one camera view: per pixel, the
// surface the demo would draw there and the fraction of cosine-weighted rays
// from it that escape within the radius.
#pragma once

#include <cstdint>
#include <vector>

#include <glm/glm.hpp>

class AoScene;

// A camera as the demo renders it: its view and projection matrices and the
// size of the render targets in pixels.
struct CameraSetup {
    glm::mat4 view{1.0f};
    glm::mat4 proj{1.0f};
    int width = 0;
    int height = 0;
};

// One value per pixel, rows top first (as images are written); mask is 1
// where a surface was hit, depth its distance in front of the eye along the
// view axis (-z in view space, as the G-buffer stores it; 0 where nothing).
struct ReferenceImage {
    int width = 0;
    int height = 0;
    std::vector<float> visibility;
    std::vector<uint8_t> mask;
    std::vector<float> depth;
};

// Largest relative difference of two view depths taken for one surface:
// the G-buffer keeps positions as half floats (2^-11 relative), and a
// different surface behind or in front is almost always farther off.
constexpr float kSameSurfaceTolerance = 0.005f;
// Whether the traced and the drawn depth of a pixel belong to one surface.
bool SameSurface(float tracedDepth, float drawnDepth);
// The pixels compared with the truth: 1 where the traced and the drawn
// surface are one (drawnDepth: view depth per pixel of the G-buffer, rows top
// first, 0 where nothing is drawn); all 0 when the sizes differ.
std::vector<uint8_t> ComparedPixels(const ReferenceImage& traced,
                                    const std::vector<float>& drawnDepth);

// The ray through the centre of pixel (x, y), row 0 at the top: from the
// point on the near plane to the point on the far plane (so [0, 1] spans
// exactly the depth range the demo draws).
struct PixelRay {
    glm::vec3 origin;
    glm::vec3 dir;
};
PixelRay CameraRay(const glm::mat4& inverseViewProj, int x, int y, int width, int height);

// The lattice rotation of pixel index (row * width + column): its own for
// each pixel, the same on every run.
glm::vec2 PixelLatticeShift(size_t index);

struct TraceSettings {
    float radius = 0.0f;
    int rays = 0;
    int threads = 1;
    bool progress = false;             // percentage on stderr
    bool (*stopRequested)() = nullptr; // polled between rows; true abandons the trace
};

// Traces every pixel of camera. 0, or -1 when the settings are unusable or
// a stop was requested (out is then incomplete).
int TraceReference(const AoScene& scene, const CameraSetup& camera, const TraceSettings& settings,
                   ReferenceImage* out);
