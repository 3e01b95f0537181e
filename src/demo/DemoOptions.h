// DemoOptions: the demo's command line (model, scale, view and SSAO settings),
// the command line that reopens the view on screen, and the option pieces the
// measuring tools share with it: "x,y,z" vectors, numbers in a range, and
// aiming the demo's camera from an eye and a direction.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <glm/glm.hpp>

#include "ssao/SSAOEstimator.h"

#include "scene/ModelLoader.h"
#include "ssao/Umbrelix.h"

class Vesperon;

// The demo's fixed placement: the model drawn at this scale, the eye at
// this height above the origin looking along +x.
constexpr float kModelScale = 0.075f;
constexpr float kEyeHeight = 10.0f;

// The exit status of a refused command line.
constexpr int kUsageStatus = 2;
constexpr const char* kProgramName = "vesperon";

// Splits on ',' keeping empty fields, so "1,,2" and "1," are seen as malformed.
std::vector<std::string> SplitFields(const std::string& text);

// Each parser returns true and fills its result, or returns false with a
// sentence for the user in *error (the result is then left unchanged).
bool ParseVector(const std::string& text, glm::vec3* out, std::string* error);
// A vector with a finite, non-zero length.
bool ParseDirection(const std::string& text, glm::vec3* out, std::string* error);
// A finite number greater than 0; what names it in the message ("radius").
bool ParsePositive(const std::string& text, const char* what, float* out, std::string* error);
// A finite length greater than 0 (the tools' occlusion radius).
bool ParseRadius(const std::string& text, float* out, std::string* error);
// A finite number in [minimum, maximum].
bool ParseInRange(const std::string& text, const char* what, float minimum, float maximum,
                  float* out, std::string* error);
// A whole number in [minimum, maximum].
bool ParseCount(const std::string& text, int minimum, int maximum, int* out, std::string* error);
// "on" or "off".
bool ParseSwitch(const std::string& name, const std::string& text, bool* out, std::string* error);
// The value after the option at argv[*index] (*index moves onto it), or null
// with "NAME needs a value" when the option is last.
const char* OptionValue(int argc, char** argv, int* index, std::string* error);

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
    uint32_t kernel = kDefaultKernelSize;
    float radius = kDefaultRadius;
    float ambient = kDefaultAmbientFactor;
    bool ssao = true;
    bool blur = true;
    SSAOEstimator estimator = ESTIMATOR_HEMISPHERE;
    bool help = false;
};

// Parses argv[1..argc-1]. --eye and --dir come together; the ranges are the
// ones the controls keep; blur can't be on while SSAO is off.
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

// Pitch and yaw in degrees, as the demo's camera measures them, of a
// direction (yaw from +x towards +z, pitch up from the horizontal). False
// for a zero or non-finite direction.
bool DirectionToAngles(const glm::vec3& dir, float* pitchDegrees, float* yawDegrees);
// The direction the demo's camera looks along for dir: dir itself, or, when
// dir is steeper than the camera's pitch limit, the unit vector held at that
// limit (so that what is printed is what is measured).
glm::vec3 UsedDirection(const glm::vec3& dir);
// Places the application's motion state and look angles so that its next
// frames view from eye along dir and stay there (no motion input).
void AimApp(Vesperon& app, const glm::vec3& eye, const glm::vec3& dir);
// The view matrix the demo's camera builds for that placement.
glm::mat4 AimedViewMatrix(const glm::vec3& eye, const glm::vec3& dir);
