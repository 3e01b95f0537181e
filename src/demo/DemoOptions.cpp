// DemoOptions: parsing of the demo's options and of the pieces the tools share,
// the reopening command line, and the camera aim. Parsers accept exactly what
// they document and name the offending text in their message; nothing is
// clamped or guessed.
#include "demo/DemoOptions.h"

#include <cassert>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include <SDL2/SDL.h>

#include "core/AssetFile.h"
#include "core/ShellWords.h"
#include "demo/Camera.h"
#include "demo/Controls.h"
#include "demo/Vesperon.h"

namespace {

constexpr float kRadToDeg = 57.29577951f;
// Nine significant digits always print a float back to itself.
constexpr int kMaxFloatDigits = 9;

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

constexpr float kWholeTextLimit = 1e7f;

// The shortest text that reads back as value: 0.9f prints as "0.9", not
// "0.899999976".
std::string FloatText(float value) {
    char text[32];
    // Whole numbers in full: "%.1g" would make 10 "1e+01".
    if (value == std::trunc(value) && std::fabs(value) < kWholeTextLimit) {
        std::snprintf(text, sizeof(text), "%.0f", double(value));
        return text;
    }
    for (int digits = 1; digits <= kMaxFloatDigits; ++digits) {
        std::snprintf(text, sizeof(text), "%.*g", digits, double(value));
        if (std::strtof(text, nullptr) == value)
            break;
    }
    return text;
}

std::string VectorText(const glm::vec3& v) {
    return FloatText(v.x) + "," + FloatText(v.y) + "," + FloatText(v.z);
}

bool ParseKernelSize(const std::string& text, uint32_t* out, std::string* error) {
    long n = 0;
    if (!ParseLongField(text, &n) || n < long(kMinKernelSize) || n > long(kMaxKernelSizeSetting) ||
        (n & (n - 1)) != 0) {
        *error = "bad kernel size \"" + text + "\": expected a power of two from 4 to 128";
        return false;
    }
    *out = uint32_t(n);
    return true;
}

// Takes the option at argv[*index] with its value; false with *error set.
bool TakeDemoOption(int argc, char** argv, int* index, DemoOptions* options, bool* blurGiven,
                    std::string* error) {
    const std::string name = argv[*index];
    if (name == "--help" || name == "-h") {
        options->help = true;
        return true;
    }
    if (name != "--model" && name != "--scale" && name != "--eye" && name != "--dir" &&
        name != "--kernel" && name != "--radius" && name != "--ambient" && name != "--ssao" &&
        name != "--blur" && name != "--estimator") {
        *error = "unknown option \"" + name + "\" (see --help)";
        return false;
    }
    const char* value = OptionValue(argc, argv, index, error);
    if (!value)
        return false;
    if (name == "--model") {
        options->modelPath = value;
        options->hasModel = true;
        if (options->modelPath.empty())
            *error = "--model needs a path";
        return !options->modelPath.empty();
    }
    if (name == "--scale")
        return ParsePositive(value, "scale", &options->scale, error);
    if (name == "--eye")
        return options->hasEye = ParseVector(value, &options->eye, error);
    if (name == "--dir")
        return options->hasDir = ParseDirection(value, &options->dir, error);
    if (name == "--kernel")
        return ParseKernelSize(value, &options->kernel, error);
    if (name == "--radius")
        return ParseInRange(value, "radius", 0.0f, FromHundredths(kMaxRadiusHundredths),
                            &options->radius, error);
    if (name == "--ambient")
        return ParseInRange(value, "ambient factor", 0.0f, FromHundredths(kMaxAmbientHundredths),
                            &options->ambient, error);
    if (name == "--ssao")
        return ParseSwitch(name, value, &options->ssao, error);
    if (name == "--estimator") {
        if (EstimatorFromName(value, &options->estimator))
            return true;
        *error = std::string("bad estimator \"") + value + "\": hemisphere or horizon";
        return false;
    }
    *blurGiven = true;
    return ParseSwitch(name, value, &options->blur, error);
}

} // namespace

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

bool ParseDirection(const std::string& text, glm::vec3* out, std::string* error) {
    glm::vec3 dir(0.0f);
    if (!ParseVector(text, &dir, error))
        return false;
    float pitch = 0.0f, yaw = 0.0f;
    if (!DirectionToAngles(dir, &pitch, &yaw)) {
        // Each component is a finite float, so a length that is not finite
        // overflowed in the squares.
        bool overflowed = !std::isfinite(glm::length(dir));
        *error = "bad direction \"" + text + "\": " +
                 (overflowed ? "it is too large (its length overflows)" : "it has no length");
        return false;
    }
    *out = dir;
    return true;
}

bool ParsePositive(const std::string& text, const char* what, float* out, std::string* error) {
    float r = 0.0f;
    FloatField result = ParseFloatField(text, &r);
    if (result == FloatField::Overflows || (result == FloatField::Underflows && text[0] != '-')) {
        *error = "bad " + std::string(what) + " \"" + text + "\": it " + RangeReason(result);
        return false;
    }
    if (result != FloatField::Ok || !(r > 0.0f)) {
        *error = "bad " + std::string(what) + " \"" + text +
                 "\": expected a finite number greater than 0";
        return false;
    }
    *out = r;
    return true;
}

bool ParseRadius(const std::string& text, float* out, std::string* error) {
    return ParsePositive(text, "radius", out, error);
}

bool ParseInRange(const std::string& text, const char* what, float minimum, float maximum,
                  float* out, std::string* error) {
    float value = 0.0f;
    FloatField result = ParseFloatField(text, &value);
    if (result == FloatField::Underflows)
        result = FloatField::Ok; // a denormal-sized value is as good as 0 here
    if (result != FloatField::Ok || value < minimum || value > maximum) {
        *error = "bad " + std::string(what) + " \"" + text + "\": expected a number from " +
                 FloatText(minimum) + " to " + FloatText(maximum);
        return false;
    }
    *out = value;
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

bool ParseSwitch(const std::string& name, const std::string& text, bool* out, std::string* error) {
    if (text != "on" && text != "off") {
        *error = "bad " + name + " \"" + text + "\": expected on or off";
        return false;
    }
    *out = text == "on";
    return true;
}

const char* OptionValue(int argc, char** argv, int* index, std::string* error) {
    if (*index + 1 >= argc) {
        *error = std::string(argv[*index]) + " needs a value";
        return nullptr;
    }
    ++*index;
    return argv[*index];
}

bool ParseDemoOptions(int argc, char** argv, DemoOptions* options, std::string* error) {
    DemoOptions parsed;
    if (argc > 0 && argv[0][0] != '\0')
        parsed.program = argv[0];
    bool blurGiven = false;
    for (int i = 1; i < argc; ++i)
        if (!TakeDemoOption(argc, argv, &i, &parsed, &blurGiven, error))
            return false;
    if (parsed.hasEye != parsed.hasDir) {
        *error = "--eye and --dir go together: give both or neither";
        return false;
    }
    // The controls keep the blur off while SSAO is off (O switches both).
    if (!parsed.ssao && parsed.blur && blurGiven) {
        *error = "--blur on needs --ssao on: the blur is kept off while SSAO is off";
        return false;
    }
    parsed.blur = parsed.blur && parsed.ssao;
    *options = parsed;
    return true;
}

const char* DemoUsage() {
    return "usage: vesperon [--model PATH] [--scale S] [--eye x,y,z --dir x,y,z] [--kernel N]\n"
           "                [--radius R] [--ambient A] [--ssao on|off] [--blur on|off]\n"
           "                [--estimator hemisphere|horizon] [--help]\n"
           "Real-time SSAO with deferred shading. Run from the folder holding shaders/ and\n"
           "fonts/ (the repository root). Without options it opens models/sponza.obj.\n"
           "  --model PATH     model to open (textures: as stored, then beside the model)\n"
           "  --scale S        scale the model is drawn at, > 0 (default 0.075)\n"
           "  --eye, --dir     the first view: eye position and viewing direction in scene\n"
           "                   units (the model scaled); default 0,10,0 along 1,0,0\n"
           "  --kernel N       SSAO samples, a power of two from 4 to 128 (default 4)\n"
           "  --radius R       occlusion radius from 0 to 5 (default 0.9)\n"
           "  --ambient A      ambient factor from 0 to 1 (default 0.75)\n"
           "  --ssao on|off    SSAO on or off (default on)\n"
           "  --blur on|off    blur of the occlusion (default on; off while SSAO is off)\n"
           "  --estimator E    hemisphere (default) or horizon; H switches it live\n"
           "F12 writes the window and the view's JSON with the command line that reopens\n"
           "the view (the log prints that line too); with G on also the truth.\n";
}

bool CanOpenModel(const std::string& path, std::string* error) {
    SDL_RWops* file = OpenRegularFile(path.c_str());
    if (!file) {
        *error = "cannot open model \"" + path + "\": " + SDL_GetError();
        return false;
    }
    SDL_RWclose(file);
    return true;
}

DemoOptions CurrentDemoOptions(const Vesperon& app) {
    DemoOptions options = app.mOptions;
    const Umbrelix* renderer = app.GetRenderer();
    options.hasEye = options.hasDir = true;
    options.eye = app.mCamera.mPosition;
    options.dir = app.mCamera.mFront;
    options.kernel = renderer->Settings().kernelSize;
    options.radius = renderer->Settings().radius;
    options.ambient = renderer->Settings().ambientFactor;
    options.ssao = renderer->Settings().ssaoEnabled;
    options.blur = renderer->Settings().blurEnabled;
    options.estimator = renderer->Settings().estimator;
    options.help = false;
    return options;
}

std::vector<std::string> DemoArguments(const DemoOptions& options) {
    std::vector<std::string> words = {"--model", options.modelPath, "--scale",
                                      FloatText(options.scale)};
    if (options.hasEye)
        words.insert(words.end(), {"--eye", VectorText(options.eye)});
    if (options.hasDir)
        words.insert(words.end(), {"--dir", VectorText(options.dir)});
    words.insert(words.end(),
                 {"--kernel", std::to_string(options.kernel), "--radius", FloatText(options.radius),
                  "--ambient", FloatText(options.ambient), "--ssao", options.ssao ? "on" : "off",
                  "--blur", options.blur ? "on" : "off"});
    // Named only away from the default, as the overlay does.
    if (options.estimator != ESTIMATOR_HEMISPHERE)
        words.insert(words.end(), {"--estimator", EstimatorName(options.estimator)});
    return words;
}

std::string DemoCommandLine(const DemoOptions& options) {
    std::vector<std::string> words = DemoArguments(options);
    words.insert(words.begin(), options.program);
    return ShellCommand(words);
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

// Previous and current positions equal and no input: the damped motion step
// computes a zero velocity (below its stop threshold) and leaves the eye in
// place frame after frame. The frame copies mPitch/mYaw into the camera.
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
