// Temporary: the shared tool options until the common module arrives.
#include "ToolOptionsStandIn.h"

#include <cmath>
#include <cstdlib>
#include <sstream>

#include "demo/Vesperon.h"

namespace {

bool ParseFloat(const std::string& text, float* out) {
    if (text.empty())
        return false;
    char* end = nullptr;
    float v = std::strtof(text.c_str(), &end);
    if (*end != '\0' || !std::isfinite(v))
        return false;
    *out = v;
    return true;
}

std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> parts;
    std::stringstream in(text);
    std::string part;
    while (std::getline(in, part, ','))
        parts.push_back(part);
    if (!text.empty() && text.back() == ',')
        parts.push_back("");
    return parts;
}

} // namespace

bool ParseVector(const std::string& text, glm::vec3* out, std::string* error) {
    std::vector<std::string> parts = Split(text);
    glm::vec3 v;
    if (parts.size() != 3 || !ParseFloat(parts[0], &v.x) || !ParseFloat(parts[1], &v.y) ||
        !ParseFloat(parts[2], &v.z)) {
        *error = "\"" + text + "\" is not a vector x,y,z of three numbers";
        return false;
    }
    *out = v;
    return true;
}

bool ParseKernelList(const std::string& text, std::vector<uint32_t>* out, std::string* error) {
    std::vector<uint32_t> sizes;
    for (const std::string& part : Split(text)) {
        int n = 0;
        if (!ParseCount(part, 1, 128, &n, error))
            return false;
        sizes.push_back(uint32_t(n));
    }
    if (sizes.empty()) {
        *error = "the kernel list is empty";
        return false;
    }
    *out = sizes;
    return true;
}

bool ParseRadius(const std::string& text, float* out, std::string* error) {
    float r = 0.0f;
    if (!ParseFloat(text, &r) || !(r > 0.0f)) {
        *error = "the radius must be a number greater than 0, not \"" + text + "\"";
        return false;
    }
    *out = r;
    return true;
}

bool ParseCount(const std::string& text, int minimum, int maximum, int* out, std::string* error) {
    char* end = nullptr;
    long v = text.empty() ? 0 : std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || v < minimum || v > maximum) {
        *error = "\"" + text + "\" is not a whole number from " + std::to_string(minimum) + " to " +
                 std::to_string(maximum);
        return false;
    }
    *out = int(v);
    return true;
}

std::vector<NamedView> DefaultViews() {
    return {{"start", {0, 10, 0}, {1, 0, 0}},
            {"corner", {92, 6, 50}, {1, -0.25f, 0.6f}},
            {"gallery", {0, 8, 28}, {0, 1.1f, 1}},
            {"colonnade", {-60, 8, -20}, {1, -0.1f, 0}}};
}

OptionResult TakeViewOption(int argc, char** argv, int* index, ViewOptions* options,
                            std::string* error) {
    std::string name = argv[*index];
    if (name != "--model" && name != "--eye" && name != "--dir" && name != "--kernels" &&
        name != "--radius")
        return OPTION_NOT_MINE;
    if (*index + 1 >= argc) {
        *error = name + " needs a value";
        return OPTION_BAD;
    }
    std::string value = argv[++*index];
    bool ok = true;
    if (name == "--model")
        options->modelPath = value;
    else if (name == "--eye")
        ok = options->hasEye = ParseVector(value, &options->eye, error);
    else if (name == "--dir")
        ok = options->hasDir = ParseVector(value, &options->dir, error);
    else if (name == "--kernels")
        ok = ParseKernelList(value, &options->kernels, error);
    else
        ok = ParseRadius(value, &options->radius, error);
    return ok ? OPTION_TAKEN : OPTION_BAD;
}

bool FinishViewOptions(ViewOptions* options, std::string* error) {
    if (options->hasEye != options->hasDir) {
        *error = "--eye and --dir go together";
        return false;
    }
    if (options->hasDir && glm::length(options->dir) == 0.0f) {
        *error = "--dir must not be zero";
        return false;
    }
    options->views = options->hasEye
                         ? std::vector<NamedView>{{"custom", options->eye, options->dir}}
                         : DefaultViews();
    return true;
}

void AimApp(Vesperon& app, const glm::vec3& eye, const glm::vec3& dir) {
    glm::vec3 d = glm::normalize(dir);
    app.mCurrentPosition = app.mPreviousPosition = eye;
    app.mMoveForward = app.mMoveRight = 0.0f;
    app.mPitch = std::asin(d.y) / kDegToRad;
    app.mYaw = std::atan2(d.z, d.x) / kDegToRad;
}
