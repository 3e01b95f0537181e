// ToolOptions: the command-line pieces the measuring tools share: "x,y,z"
// vectors, kernel-size lists, the occlusion radius, the fixed views of the
// default scene, and aiming the demo's camera from an eye and a direction.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <glm/glm.hpp>

#include "ssao/SSAOEstimator.h"

class Vesperon;

constexpr const char* kDefaultModelPath = "models/sponza.obj";
constexpr const char* kDefaultKernelList = "4,8,16,32,64,128";
constexpr uint32_t kMinToolKernelSize = 1;
constexpr uint32_t kMaxToolKernelSize = 128;

// Each parser returns true and fills its result, or returns false with a
// sentence for the user in *error (the result is then left unchanged).
bool ParseVector(const std::string& text, glm::vec3* out, std::string* error);
// Comma-separated sizes in [1, 128], each at most once, in the given order.
bool ParseKernelList(const std::string& text, std::vector<uint32_t>* out, std::string* error);
// Comma-separated estimator names ("hemisphere", "horizon"), each at most once.
bool ParseEstimatorList(const std::string& text, std::vector<SSAOEstimator>* out,
                        std::string* error);
// A finite length greater than 0.
bool ParseRadius(const std::string& text, float* out, std::string* error);
// A whole number in [minimum, maximum].
bool ParseCount(const std::string& text, int minimum, int maximum, int* out, std::string* error);

// A named camera placement: eye position and viewing direction (any length).
struct NamedView {
    std::string name;
    glm::vec3 eye;
    glm::vec3 dir;
};

// The fixed views of the default scene, in report order: start, corner,
// gallery, colonnade, arch, balustrade.
std::vector<NamedView> DefaultViews();

// The options both tools take with the same meaning. --eye and --dir come
// together; without them the tools measure DefaultViews().
struct ViewOptions {
    std::string modelPath = kDefaultModelPath;
    std::vector<NamedView> views;
    std::vector<uint32_t> kernels;
    float radius = 0.0f; // filled with the tool's default by ParseViewOptions' caller
    std::vector<SSAOEstimator> estimators{ESTIMATOR_HEMISPHERE};
    bool hasEye = false;
    bool hasDir = false;
    glm::vec3 eye{0.0f};
    glm::vec3 dir{0.0f};
};

enum OptionResult {
    OPTION_NOT_MINE = 0, // the caller handles argv[*index]
    OPTION_TAKEN = 1,    // consumed (with its value); *index points at the last word used
    OPTION_BAD = -1,     // *error says why
};

// Takes --model, --eye, --dir, --kernels, --radius or --estimator at argv[*index].
OptionResult TakeViewOption(int argc, char** argv, int* index, ViewOptions* options,
                            std::string* error);
// After all options: checks that --eye and --dir came together and fills
// options->views (the one given view, named "custom", with the direction
// UsedDirection gives, or the fixed set).
bool FinishViewOptions(ViewOptions* options, std::string* error);

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
