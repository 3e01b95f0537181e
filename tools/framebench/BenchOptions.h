// BenchOptions: the frame benchmark's command line: the shared view options
// plus the frame count and the JSON report path, and the check that the
// report can be written before any time is spent measuring.
#pragma once

#include <string>

#include "common/ToolOptions.h"

constexpr int kDefaultMeasuredFrames = 5;
constexpr int kMaxMeasuredFrames = 10000;
constexpr float kBenchDefaultRadius = 0.9f; // the demo's own starting radius

struct BenchOptions {
    ViewOptions view;
    int frames = kDefaultMeasuredFrames;
    std::string jsonPath;      // empty: no JSON report; "-": on standard output
    bool accumulating = false; // also time frames that accumulate a view at rest
    bool help = false;
};

// Fills options from argv[1..]; defaults: the demo's model, the fixed views,
// kernels 4..128, radius 0.9. False with *error on the first bad word.
bool ParseBenchOptions(int argc, char** argv, BenchOptions* options, std::string* error);

// True when the report can be written to path (see CheckJsonOutput: checked
// up front, so a run never ends in a refused write); otherwise false with
// the reason. "-" is standard output.
bool CheckWritable(const std::string& path, std::string* error);

const char* BenchUsage();
