// ToolOptions: parsing of the shared options, the fixed views and the camera
// aim. Parsers accept exactly what they document and name the offending text
// in their message; nothing is clamped or guessed.
#include "common/ToolOptions.h"

#include <cassert>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "demo/Camera.h"
#include "demo/Vesperon.h"

namespace {

constexpr float kRadToDeg = 57.29577951f;

// Splits on ',' keeping empty fields, so "1,,2" and "1," are seen as malformed.
std::vector<std::string> SplitFields(const std::string& text) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t comma = text.find(',', start);
        fields.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos)
            return fields;
        start = comma + 1;
    }
}

enum class FloatField { Ok, Malformed, Overflows, Underflows };

// The whole field must be one finite number: strtof alone stops at the first
// character it can't use and accepts "inf" and "nan". A number whose
// magnitude lies beyond a float's range either way is told apart, since it is
// well formed and a bare "malformed" would mislead.
FloatField ParseFloatField(const std::string& field, float* out) {
    if (field.empty() || std::isspace(static_cast<unsigned char>(field[0])))
        return FloatField::Malformed;
    char* end = nullptr;
    errno = 0;
    float value = std::strtof(field.c_str(), &end);
    if (*end != '\0' || std::isnan(value) || (std::isinf(value) && errno != ERANGE))
        return FloatField::Malformed;
    if (errno == ERANGE)
        return std::isinf(value) ? FloatField::Overflows : FloatField::Underflows;
    *out = value;
    return FloatField::Ok;
}

// Why a well-formed number can't be used, for the messages below.
const char* RangeReason(FloatField result) {
    return result == FloatField::Overflows ? "is too large for a float (it overflows)"
                                           : "is too close to 0 for a float (it underflows)";
}

bool ParseLongField(const std::string& field, long* out) {
    if (field.empty() || !(std::isdigit(static_cast<unsigned char>(field[0])) || field[0] == '-'))
        return false;
    char* end = nullptr;
    errno = 0;
    long value = std::strtol(field.c_str(), &end, 10);
    if (errno == ERANGE || *end != '\0')
        return false;
    *out = value;
    return true;
}

// The value following argv[*index], or null (with the message) when the option is last.
const char* OptionValue(int argc, char** argv, int* index, std::string* error) {
    if (*index + 1 >= argc) {
        *error = std::string(argv[*index]) + " needs a value";
        return nullptr;
    }
    ++*index;
    return argv[*index];
}

} // namespace

bool ParseVector(const std::string& text, glm::vec3* out, std::string* error) {
    std::vector<std::string> fields = SplitFields(text);
    glm::vec3 v(0.0f);
    FloatField result = fields.size() == 3 ? FloatField::Ok : FloatField::Malformed;
    size_t i = 0;
    for (; result == FloatField::Ok && i < 3; ++i)
        result = ParseFloatField(fields[i], &v[int(i)]);
    if (result == FloatField::Malformed) {
        *error = "malformed vector \"" + text + "\": expected three finite numbers x,y,z";
        return false;
    }
    if (result != FloatField::Ok) {
        *error = "bad vector \"" + text + "\": \"" + fields[i - 1] + "\" " + RangeReason(result);
        return false;
    }
    *out = v;
    return true;
}

bool ParseKernelList(const std::string& text, std::vector<uint32_t>* out, std::string* error) {
    std::vector<uint32_t> sizes;
    for (const std::string& field : SplitFields(text)) {
        long n = 0;
        if (!ParseLongField(field, &n) || n < long(kMinToolKernelSize) ||
            n > long(kMaxToolKernelSize)) {
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

bool ParseRadius(const std::string& text, float* out, std::string* error) {
    float r = 0.0f;
    FloatField result = ParseFloatField(text, &r);
    if (result == FloatField::Overflows || (result == FloatField::Underflows && text[0] != '-')) {
        *error = "bad radius \"" + text + "\": it " + std::string(RangeReason(result));
        return false;
    }
    if (result != FloatField::Ok || !(r > 0.0f)) {
        *error = "bad radius \"" + text + "\": expected a finite number greater than 0";
        return false;
    }
    *out = r;
    return true;
}

bool ParseCount(const std::string& text, int minimum, int maximum, int* out, std::string* error) {
    long n = 0;
    if (!ParseLongField(text, &n) || n < minimum || n > maximum) {
        *error = "bad count \"" + text + "\": expected a whole number from " +
                 std::to_string(minimum) + " to " + std::to_string(maximum);
        return false;
    }
    *out = int(n);
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

OptionResult TakeViewOption(int argc, char** argv, int* index, ViewOptions* options,
                            std::string* error) {
    const std::string name = argv[*index];
    if (name != "--model" && name != "--eye" && name != "--dir" && name != "--kernels" &&
        name != "--radius" && name != "--estimator")
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
        ok = options->hasDir = ParseVector(value, &options->dir, error);
        float pitch = 0.0f, yaw = 0.0f;
        if (ok && !DirectionToAngles(options->dir, &pitch, &yaw)) {
            // Each component is a finite float, so a length that is not
            // finite overflowed in the squares.
            bool overflowed = !std::isfinite(glm::length(options->dir));
            *error = std::string("bad direction \"") + value + "\": " +
                     (overflowed ? "it is too large (its length overflows)" : "it has no length");
            ok = options->hasDir = false;
        }
    } else if (name == "--kernels") {
        ok = ParseKernelList(value, &options->kernels, error);
    } else if (name == "--estimator") {
        ok = ParseEstimatorList(value, &options->estimators, error);
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

// The camera builds front = (cos yaw cos pitch, sin pitch, sin yaw cos pitch)
// (see Camera::UpdateVectors); inverting that for a unit direction d gives
// pitch = asin(d.y) and yaw = atan2(d.z, d.x).
bool DirectionToAngles(const glm::vec3& dir, float* pitchDegrees, float* yawDegrees) {
    float length = glm::length(dir);
    if (!std::isfinite(length) || !(length > 0.0f))
        return false;
    glm::vec3 d = dir / length;
    *pitchDegrees = std::asin(glm::clamp(d.y, -1.0f, 1.0f)) * kRadToDeg;
    *yawDegrees = std::atan2(d.z, d.x) * kRadToDeg;
    return true;
}

// Previous and current positions equal and no input: the damped motion step
// computes a zero velocity (below its stop threshold) and leaves the eye in
// place frame after frame. The frame copies mPitch/mYaw into the camera.
glm::vec3 UsedDirection(const glm::vec3& dir) {
    float pitch = 0.0f, yaw = 0.0f;
    bool aimed = DirectionToAngles(dir, &pitch, &yaw);
    assert(aimed && "directions are checked when the options are parsed");
    if (!aimed || ClampPitch(pitch) == pitch)
        return dir;
    Camera camera;
    camera.mPitch = ClampPitch(pitch);
    camera.mYaw = yaw;
    camera.UpdateVectors();
    return camera.mFront;
}

void AimApp(Vesperon& app, const glm::vec3& eye, const glm::vec3& dir) {
    float pitch = 0.0f, yaw = 0.0f;
    bool aimed = DirectionToAngles(dir, &pitch, &yaw);
    assert(aimed && "directions are checked when the options are parsed");
    (void)aimed;
    app.mMoveForward = 0.0f;
    app.mMoveRight = 0.0f;
    app.mPitch = ClampPitch(pitch);
    app.mYaw = yaw;
    app.mPreviousPosition = eye;
    app.mCurrentPosition = eye;
    app.mCamera.mPosition = eye;
    app.mCamera.mPitch = app.mPitch;
    app.mCamera.mYaw = app.mYaw;
    app.mCamera.UpdateVectors();
}

glm::mat4 AimedViewMatrix(const glm::vec3& eye, const glm::vec3& dir) {
    float pitch = 0.0f, yaw = 0.0f;
    bool aimed = DirectionToAngles(dir, &pitch, &yaw);
    assert(aimed && "directions are checked when the options are parsed");
    (void)aimed;
    Camera camera;
    camera.mPosition = eye;
    camera.mPitch = ClampPitch(pitch);
    camera.mYaw = yaw;
    camera.UpdateVectors();
    return camera.GetViewMatrix();
}
