// AoTrace: traces the reference of a view over rows on several threads.
#include "ssao/AoTrace.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <thread>

#include <glm/gtc/matrix_access.hpp>

#include "core/Logger.h"
#include "ssao/AoScene.h"

namespace {

const char* const kTag = "AoTruth";
constexpr int kProgressStepPercent = 5;

// Integer hash (a 32-bit finaliser): decorrelates neighbouring pixels, so
// each gets its own lattice rotation, the same on every run.
uint32_t Mix(uint32_t h) {
    h ^= h >> 16;
    h *= 0x7feb352dU;
    h ^= h >> 15;
    h *= 0x846ca68bU;
    h ^= h >> 16;
    return h;
}

float UnitFloat(uint32_t h) {
    return float(h >> 8) * (1.0f / 16777216.0f); // 24 bits: exactly representable, < 1
}

void TraceRow(const AoScene& scene, const CameraSetup& camera, const glm::mat4& inverse,
              const glm::vec3& eye, const TraceSettings& settings, int y, ReferenceImage* out) {
    glm::vec4 viewZ = glm::row(camera.view, 2); // dot with a point gives its view-space z
    for (int x = 0; x < camera.width; ++x) {
        size_t index = size_t(y) * camera.width + x;
        PixelRay ray = CameraRay(inverse, x, y, camera.width, camera.height);
        SurfaceHit hit{};
        if (!scene.Intersect(ray.origin, ray.dir, 1.0f, &hit)) {
            out->mask[index] = 0;
            out->visibility[index] = 1.0f;
            out->depth[index] = 0.0f;
            continue;
        }
        glm::vec2 shift = PixelLatticeShift(index);
        out->mask[index] = 1;
        out->depth[index] = -glm::dot(viewZ, glm::vec4(hit.position, 1.0f));
        out->visibility[index] =
            scene.Visibility(hit.position, hit.normal, glm::length(hit.position - eye),
                             settings.radius, settings.rays, shift.x, shift.y);
    }
}

} // namespace

glm::vec2 PixelLatticeShift(size_t index) {
    uint32_t h = Mix(uint32_t(index) * 2u + 1u);
    return glm::vec2(UnitFloat(h), UnitFloat(Mix(h)));
}

bool SameSurface(float tracedDepth, float drawnDepth) {
    return std::fabs(tracedDepth - drawnDepth) <=
           kSameSurfaceTolerance * std::max(tracedDepth, drawnDepth);
}

std::vector<uint8_t> ComparedPixels(const ReferenceImage& traced,
                                    const std::vector<float>& drawnDepth) {
    std::vector<uint8_t> mask(traced.mask.size(), 0);
    if (drawnDepth.size() != mask.size() || traced.depth.size() != mask.size())
        return mask;
    for (size_t i = 0; i < mask.size(); ++i)
        mask[i] =
            traced.mask[i] && drawnDepth[i] > 0.0f && SameSurface(traced.depth[i], drawnDepth[i]);
    return mask;
}

PixelRay CameraRay(const glm::mat4& inverseViewProj, int x, int y, int width, int height) {
    // Window coordinates count rows from the bottom; ours from the top.
    float ndcX = 2.0f * (float(x) + 0.5f) / float(width) - 1.0f;
    float ndcY = 1.0f - 2.0f * (float(y) + 0.5f) / float(height);
    glm::vec4 nearPoint = inverseViewProj * glm::vec4(ndcX, ndcY, -1.0f, 1.0f);
    glm::vec4 farPoint = inverseViewProj * glm::vec4(ndcX, ndcY, 1.0f, 1.0f);
    glm::vec3 from = glm::vec3(nearPoint) / nearPoint.w;
    glm::vec3 to = glm::vec3(farPoint) / farPoint.w;
    return PixelRay{from, to - from};
}

int TraceReference(const AoScene& scene, const CameraSetup& camera, const TraceSettings& settings,
                   ReferenceImage* out) {
    if (camera.width <= 0 || camera.height <= 0 || settings.rays <= 0 ||
        !(settings.radius > 0.0f)) {
        LogMessage(LOG_ERROR, kTag, "Nothing to trace: %dx%d pixels, %d rays, radius %g",
                   camera.width, camera.height, settings.rays, double(settings.radius));
        return -1;
    }
    out->width = camera.width;
    out->height = camera.height;
    size_t pixels = size_t(camera.width) * camera.height;
    out->visibility.assign(pixels, 1.0f);
    out->mask.assign(pixels, 0);
    out->depth.assign(pixels, 0.0f);
    glm::mat4 inverse = glm::inverse(camera.proj * camera.view);
    glm::vec3 eye = glm::vec3(glm::inverse(camera.view)[3]);

    std::atomic<int> nextRow{0};
    std::atomic<int> rowsDone{0};
    std::atomic<bool> stopped{false};
    auto worker = [&](bool reports) {
        int lastPercent = -kProgressStepPercent;
        for (int y = nextRow++; y < camera.height; y = nextRow++) {
            if (stopped || (settings.stopRequested && settings.stopRequested())) {
                stopped = true;
                return;
            }
            TraceRow(scene, camera, inverse, eye, settings, y, out);
            int done = ++rowsDone;
            int percent = done * 100 / camera.height;
            if (reports && settings.progress && percent >= lastPercent + kProgressStepPercent) {
                fprintf(stderr, "\rtracing the reference: %3d%%", percent);
                fflush(stderr);
                lastPercent = percent;
            }
        }
    };
    int threads = std::max(1, settings.threads);
    std::vector<std::thread> helpers;
    for (int i = 1; i < threads; ++i)
        helpers.emplace_back(worker, false);
    worker(true);
    for (std::thread& t : helpers)
        t.join();
    if (settings.progress)
        fputc('\n', stderr);
    return stopped ? -1 : 0;
}
