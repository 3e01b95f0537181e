// framebench: measures the demo's start-up and frame times on this machine.
// Starts the real application (window, SSAO renderer, default scene), then
// renders a fixed number of frames at every kernel size and with SSAO off,
// and prints the mean frame time of each, plus the zone memory the scene
// holds. Run from the repository root; needs a display (xvfb-run works).
#include <cstdio>

#include <SDL2/SDL.h>

#include "demo/Vesperon.h"
#include "memory/ZoneAllocator.h"
#include "ssao/Umbrelix.h"

namespace {

constexpr int kWarmupFrames = 3;
constexpr int kMeasuredFrames = 20;

double MeanFrameMs(Vesperon& app) {
    for (int i = 0; i < kWarmupFrames; ++i)
        app.Frame();
    Uint64 start = SDL_GetPerformanceCounter();
    for (int i = 0; i < kMeasuredFrames; ++i)
        app.Frame();
    Uint64 ticks = SDL_GetPerformanceCounter() - start;
    return 1000.0 * static_cast<double>(ticks) / static_cast<double>(SDL_GetPerformanceFrequency()) /
           kMeasuredFrames;
}

// Bytes in used blocks, headers and guard words included.
unsigned long long ZoneBytesInUse(const ZoneAllocator& zone) {
    unsigned long long used = 0;
    for (const MemoryBlock* b = zone.mBlockList.next; b != &zone.mBlockList; b = b->next)
        if (b->tag != 0)
            used += b->size;
    return used;
}

} // namespace

int main(int, char**) {
    Vesperon app;
    Uint64 start = SDL_GetPerformanceCounter();
    if (app.Init(SUBSYSTEM_ALL) != 0) {
        app.Shutdown();
        return 1;
    }
    double initMs = 1000.0 * static_cast<double>(SDL_GetPerformanceCounter() - start) /
                    static_cast<double>(SDL_GetPerformanceFrequency());
    const ZoneAllocator* zone = static_cast<const ZoneAllocator*>(app.mAllocator);
    printf("start-up (engine, renderer, programs, scene): %.0f ms\n", initMs);
    printf("zone memory in use after load: %.1f MiB in %llu blocks\n",
           static_cast<double>(ZoneBytesInUse(*zone)) / (1024.0 * 1024.0),
           static_cast<unsigned long long>(zone->mAllocCount));

    app.BeginRun();
    Umbrelix* renderer = app.GetRenderer();
    for (uint32_t size = 4; size <= 128; size *= 2) {
        renderer->SetKernelSize(size);
        printf("SSAO + blur, %3u samples: %7.1f ms per frame\n", size, MeanFrameMs(app));
    }
    renderer->SetKernelSize(kDefaultKernelSize);
    renderer->mBlurEnabled = false;
    printf("SSAO, no blur, %u samples: %7.1f ms per frame\n", kDefaultKernelSize, MeanFrameMs(app));
    renderer->mSSAOEnabled = false;
    printf("SSAO off:                 %7.1f ms per frame\n", MeanFrameMs(app));
    app.EndRun();
    app.Shutdown();
    return 0;
}
