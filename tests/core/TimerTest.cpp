// Timer: deltas measure the time between calls and move the mark.
#include "core/Timer.h"

#include <gtest/gtest.h>

#include <SDL2/SDL.h>

TEST(Timer, FirstDeltaCoversTheTimeSinceConstruction) {
    Timer timer;
    SDL_Delay(20);
    float first = timer.DeltaMs();
    EXPECT_GE(first, 15.0f);
    EXPECT_FLOAT_EQ(timer.mLastMs, first);
}

TEST(Timer, DeltasBetweenCallsSumToTheElapsedTime) {
    Timer timer;
    float sum = 0.0f;
    for (int i = 0; i < 3; ++i) {
        SDL_Delay(5);
        float delta = timer.DeltaMs();
        EXPECT_GT(delta, 0.0f);
        sum += delta;
    }
    EXPECT_NEAR(sum, timer.mLastMs, 1e-3f);
    EXPECT_GE(timer.ElapsedMs(), timer.mLastMs);
}
