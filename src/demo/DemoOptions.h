// DemoOptions: the demo's command line (model, scale, first view and SSAO
// settings) and the command line that reopens the view on screen.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <glm/glm.hpp>

#include "scene/ModelLoader.h"
#include "ssao/SSAOSettings.h"

class Vesperon;

// The demo's fixed placement: the model drawn at this scale, the eye at
// this height above the origin looking along +x.
constexpr float kModelScale = 0.075f;
constexpr float kEyeHeight = 10.0f;

// The exit status of a refused command line.
constexpr int kUsageStatus = 2;
constexpr const char* kProgramName = "vesperon";

// What the demo opens: without options exactly its fixed model, scale, start
// view and default settings.
struct DemoOptions {
    std::string program = kProgramName; // as started (argv[0]), for the reopening command
    std::string modelPath = kModelPath;
    bool hasModel = false; // --model given
    float scale = kModelScale;
    bool hasEye = false;
    bool hasDir = false;
    glm::vec3 eye{0.0f, kEyeHeight, 0.0f};
    glm::vec3 dir{1.0f, 0.0f, 0.0f};
    SSAOSettings settings; // kept to their rule (no blur while SSAO is off)
    bool help = false;
};

// Parses argv[1..argc-1]. --eye and --dir come together; the ranges are the
// ones the controls keep; an explicit --blur on with --ssao off is refused,
// and otherwise the settings' rule keeps the blur off while SSAO is off.
bool ParseDemoOptions(int argc, char** argv, DemoOptions* options, std::string* error);
const char* DemoUsage();
// Whether a regular file at path can be opened; false with "cannot open
// model" and the reason in *error (a FIFO or a directory is refused unread).
bool CanOpenModel(const std::string& path, std::string* error);

// The options that reopen what the application shows now: its model and
// scale, the eye and viewing direction, and the renderer's settings.
DemoOptions CurrentDemoOptions(const Vesperon& app);
// The words after the program name that ParseDemoOptions reads back as options.
std::vector<std::string> DemoArguments(const DemoOptions& options);
// The program and the arguments as one line for a POSIX shell (words quoted
// as needed).
std::string DemoCommandLine(const DemoOptions& options);
