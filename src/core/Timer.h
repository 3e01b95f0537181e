// Timer: a high-resolution stopwatch on SDL's performance counter, reporting
// single-precision milliseconds since it was constructed.
#pragma once

#include <cstdint>

class Timer {
public:
    Timer();
    virtual ~Timer() = default;

    // Milliseconds since construction. The tick difference is taken in 64-bit
    // integers and only then converted to float, so the resolution falls with
    // run time (about 1 ms after 4.7 hours) but never wraps.
    float ElapsedMs();
    // Milliseconds since the previous DeltaMs call (or construction); moves the mark.
    float DeltaMs();

    int64_t mFrequency;
    int64_t mStart;
    float mLastMs;
};
