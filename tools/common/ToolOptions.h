// ToolOptions: the command-line pieces the measuring tools share over the
// ones every program shares (core/Options.h: vectors, numbers, switches):
// kernel-size lists, the view options, the fixed views of the default
// scene, and where the JSON report and the tables go.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <glm/glm.hpp>

#include "core/Options.h"
#include "scene/ModelLoader.h"
#include "ssao/SSAOEstimator.h"

constexpr const char* kDefaultKernelList = "4,8,16,32,64,128";
constexpr uint32_t kMinToolKernelSize = 1;
constexpr uint32_t kMaxToolKernelSize = 128;

// Comma-separated sizes in [1, 128], each at most once, in the given order;
// true, or false with a sentence for the user in *error (*out unchanged).
bool ParseKernelList(const std::string& text, std::vector<uint32_t>* out, std::string* error);
// Comma-separated estimator names ("hemisphere", "horizon"), each at most once.
bool ParseEstimatorList(const std::string& text, std::vector<SSAOEstimator>* out,
                        std::string* error);
// Comma-separated normals ("shading", "geometric"), each at most once.
bool ParseNormalsList(const std::string& text, std::vector<SSAONormals>* out, std::string* error);

// Checks, before the run, where the JSON report given by option goes: "-"
// (standard output) passes; another name of what standard output already
// writes to is refused with a sentence pointing to "-"; anything else is
// checked by CheckOutputFile.
bool CheckJsonOutput(const char* option, const std::string& path, std::string* error);

// The stream for a tool's tables and closing lines: standard output, or
// standard error when the JSON report goes to standard output, which then
// holds the JSON alone. The log is sent to the same stream.
FILE* HumanOutput(const std::string& jsonPath);

// A named camera placement: eye position and viewing direction (any length).
struct NamedView {
    std::string name;
    glm::vec3 eye{0.0f};
    glm::vec3 dir{0.0f};
};

// The fixed views of the default scene, in report order: start, corner,
// gallery, colonnade, arch, balustrade.
std::vector<NamedView> DefaultViews();

// The options both tools take with the same meaning. --eye and --dir come
// together; without them the tools measure DefaultViews().
struct ViewOptions {
    std::string modelPath = kModelPath;
    std::vector<NamedView> views;
    std::vector<uint32_t> kernels;
    float radius = 0.0f; // filled with the tool's default by ParseViewOptions' caller
    std::vector<SSAOEstimator> estimators{ESTIMATOR_HEMISPHERE};
    // Empty: each estimator with its default normals (DefaultNormals).
    std::vector<SSAONormals> normals;
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

// Takes --model, --eye, --dir, --kernels, --radius, --estimator or --normals at argv[*index].
OptionResult TakeViewOption(int argc, char** argv, int* index, ViewOptions* options,
                            std::string* error);
// After all options: checks that --eye and --dir came together and fills
// options->views (the one given view, named "custom", with the direction
// UsedDirection gives, or the fixed set).
bool FinishViewOptions(ViewOptions* options, std::string* error);
