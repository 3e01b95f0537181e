// AoTruthTool: the ground-truth program: reads its options, starts the
// demo, traces (or reuses) the reference of every view, renders the demo's
// occlusion at every kernel size over several fresh draws and reports the
// errors as tables, JSON and images.
#pragma once

#include <string>
#include <vector>

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;   // start-up (the model included), tracing or writing failed,
                                 // nothing compared, or interrupted
constexpr int kExitBadInput = 2; // an option or the output place is unusable

// Options beyond the shared view options.
constexpr const char* kDefaultOutDir = "aotruth-out";
constexpr int kDefaultRays = 256;
constexpr int kMinRays = 16;
constexpr int kMaxRays = 65536;
constexpr int kDefaultDraws = 3;
constexpr int kMaxDraws = 100;
constexpr int kMaxFramesAtRest = 1000; // --accumulate: frames drawn per draw

// Runs the tool; returns the exit status.
int RunAoTruth(int argc, char** argv);

// Makes dir (and its parents) if missing and proves it writable by creating
// and removing a file of a fresh name in it. 0, or -1 with the reason in *error.
int PrepareOutputDir(const std::string& dir, std::string* error);
