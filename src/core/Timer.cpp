// Timer: single-precision milliseconds on SDL's performance counter.
#include "core/Timer.h"

#include <SDL2/SDL.h>

Timer::Timer()
    : mFrequency(static_cast<int64_t>(SDL_GetPerformanceFrequency())),
      mStart(static_cast<int64_t>(SDL_GetPerformanceCounter())), mLastMs(0.0f) {}

float Timer::ElapsedMs() {
    int64_t ticks = static_cast<int64_t>(SDL_GetPerformanceCounter()) - mStart;
    return static_cast<float>(ticks) * 1000.0f / static_cast<float>(mFrequency);
}

float Timer::DeltaMs() {
    float now = ElapsedMs();
    float delta = now - mLastMs;
    mLastMs = now;
    return delta;
}
