// ToolOptions: parsing of the tools' shared options and their fixed views.
// Parsers accept exactly what they document and name the offending text in
// their message; nothing is clamped or guessed.
#include "common/ToolOptions.h"

#include "core/Logger.h"
#include "core/OutputFile.h"
#include "demo/Camera.h"

bool ParseKernelList(const std::string& text, std::vector<uint32_t>* out, std::string* error) {
    std::vector<uint32_t> sizes;
    for (const std::string& field : SplitFields(text)) {
        int n = 0;
        std::string ignored;
        if (!ParseCount(field, int(kMinToolKernelSize), int(kMaxToolKernelSize), &n, &ignored)) {
            *error = "bad kernel list \"" + text + "\": \"" + field +
                     "\" is not a whole number from 1 to 128";
            return false;
        }
        for (uint32_t seen : sizes) {
            if (seen == uint32_t(n)) {
                *error = "bad kernel list \"" + text + "\": " + field + " appears twice";
                return false;
            }
        }
        sizes.push_back(uint32_t(n));
    }
    *out = sizes;
    return true;
}

// Scene units (the model scaled by 0.075). The default scene is a courtyard
// centred on the origin: arcades on the column lines x = +-108 and z = +-48,
// ground galleries behind them up to the outer walls at z = +-79.5, ceiling
// at y = 45.
std::vector<NamedView> DefaultViews() {
    return {
        {"start", {0.0f, 10.0f, 0.0f}, {1.0f, 0.0f, 0.0f}},
        {"corner", {92.0f, 6.0f, 50.0f}, {1.0f, -0.25f, 0.6f}},
        {"gallery", {0.0f, 8.0f, 28.0f}, {0.0f, 1.1f, 1.0f}},
        // Inside the ground gallery of the +z side, looking down its length
        // with the arcade's columns receding on the left.
        {"colonnade", {-95.0f, 8.0f, 58.0f}, {1.0f, -0.06f, -0.1f}},
        // Under a ground arch of the +z arcade, a column about 6 units (under
        // two radii of 3.75) from the eye filling the middle of the screen,
        // the arch's soffit and the gallery ceiling's beams seen past it.
        {"arch", {-4.0f, 12.0f, 42.0f}, {-0.7f, 0.55f, 0.6f}},
        // On the court side of the upper balustrade of the +z arcade, looking
        // along it past the turned balusters (blockers thinner than a radius).
        {"balustrade", {-100.0f, 56.0f, 43.0f}, {1.0f, -0.1f, 0.05f}},
    };
}

bool ParseEstimatorList(const std::string& text, std::vector<SSAOEstimator>* out,
                        std::string* error) {
    std::vector<SSAOEstimator> estimators;
    for (const std::string& field : SplitFields(text)) {
        SSAOEstimator estimator = ESTIMATOR_HEMISPHERE;
        if (!EstimatorFromName(field.c_str(), &estimator)) {
            *error = "bad estimator list \"" + text + "\": \"" + field +
                     "\" is not hemisphere or horizon";
            return false;
        }
        for (SSAOEstimator seen : estimators)
            if (seen == estimator) {
                *error = "bad estimator list \"" + text + "\": " + field + " appears twice";
                return false;
            }
        estimators.push_back(estimator);
    }
    *out = estimators;
    return true;
}

bool ParseNormalsList(const std::string& text, std::vector<SSAONormals>* out, std::string* error) {
    std::vector<SSAONormals> list;
    for (const std::string& field : SplitFields(text)) {
        SSAONormals normals = NORMALS_SHADING;
        if (!NormalsFromName(field.c_str(), &normals)) {
            *error =
                "bad normals list \"" + text + "\": \"" + field + "\" is not shading or geometric";
            return false;
        }
        for (SSAONormals seen : list)
            if (seen == normals) {
                *error = "bad normals list \"" + text + "\": " + field + " appears twice";
                return false;
            }
        list.push_back(normals);
    }
    *out = list;
    return true;
}

OptionResult TakeViewOption(int argc, char** argv, int* index, ViewOptions* options,
                            std::string* error) {
    const std::string name = argv[*index];
    if (name != "--model" && name != "--eye" && name != "--dir" && name != "--kernels" &&
        name != "--radius" && name != "--estimator" && name != "--normals")
        return OPTION_NOT_MINE;
    const char* value = OptionValue(argc, argv, index, error);
    if (!value)
        return OPTION_BAD;
    bool ok = true;
    if (name == "--model") {
        options->modelPath = value;
        ok = !options->modelPath.empty();
        if (!ok)
            *error = "--model needs a path";
    } else if (name == "--eye") {
        ok = options->hasEye = ParseVector(value, &options->eye, error);
    } else if (name == "--dir") {
        ok = options->hasDir = ParseDirection(value, &options->dir, error);
    } else if (name == "--kernels") {
        ok = ParseKernelList(value, &options->kernels, error);
    } else if (name == "--estimator") {
        ok = ParseEstimatorList(value, &options->estimators, error);
    } else if (name == "--normals") {
        ok = ParseNormalsList(value, &options->normals, error);
    } else {
        ok = ParseRadius(value, &options->radius, error);
    }
    return ok ? OPTION_TAKEN : OPTION_BAD;
}

bool FinishViewOptions(ViewOptions* options, std::string* error) {
    if (options->hasEye != options->hasDir) {
        *error = "--eye and --dir go together: give both or neither";
        return false;
    }
    if (options->hasEye)
        options->views = {{"custom", options->eye, UsedDirection(options->dir)}};
    else
        options->views = DefaultViews();
    return true;
}

bool CheckJsonOutput(const char* option, const std::string& path, std::string* error) {
    if (path != kStandardOutputName && IsStandardOutput(path)) {
        *error = std::string(option) + ": \"" + path +
                 "\" is the tool's standard output; use --json - to write the JSON there";
        return false;
    }
    return CheckOutputFile(path, error);
}

FILE* HumanOutput(const std::string& jsonPath) {
    if (jsonPath != kStandardOutputName)
        return stdout;
    Logger::Instance()->SetStream(stderr);
    return stderr;
}
