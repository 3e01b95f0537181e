// DemoOptions: parsing of the demo's options and the reopening command line.
// Parsers accept exactly what they document and name the offending text in
// their message; nothing is clamped or guessed.
#include "demo/DemoOptions.h"

#include <cctype>

#include <SDL2/SDL.h>

#include "core/AssetFile.h"
#include "core/FloatText.h"
#include "core/Options.h"
#include "core/ShellWords.h"
#include "demo/Vesperon.h"
#include "ssao/Umbrelix.h"

namespace {

bool ParseKernelSize(const std::string& text, uint32_t* out, std::string* error) {
    int n = 0;
    std::string ignored;
    if (!ParseCount(text, int(kMinKernelSize), int(kMaxKernelSizeSetting), &n, &ignored) ||
        (n & (n - 1)) != 0) {
        *error = "bad kernel size \"" + text + "\": expected a power of two from 4 to 128";
        return false;
    }
    *out = uint32_t(n);
    return true;
}

// Takes the option at argv[*index] with its value; false with *error set.
bool TakeDemoOption(int argc, char** argv, int* index, DemoOptions* options, bool* blurGiven,
                    bool* normalsGiven, std::string* error) {
    const std::string name = argv[*index];
    if (name == "--help" || name == "-h") {
        options->help = true;
        return true;
    }
    if (name != "--model" && name != "--scale" && name != "--eye" && name != "--dir" &&
        name != "--kernel" && name != "--radius" && name != "--ambient" && name != "--ssao" &&
        name != "--blur" && name != "--estimator" && name != "--normals" &&
        name != "--accumulate") {
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
        return ParseKernelSize(value, &options->settings.kernelSize, error);
    if (name == "--radius")
        return ParseHundredths(value, "radius", kMaxRadiusHundredths, &options->settings.radius,
                               error);
    if (name == "--ambient")
        return ParseHundredths(value, "ambient factor", kMaxAmbientHundredths,
                               &options->settings.ambientFactor, error);
    if (name == "--ssao")
        return ParseSwitch(name, value, &options->settings.ssaoEnabled, error);
    if (name == "--estimator") {
        if (EstimatorFromName(value, &options->settings.estimator))
            return true;
        *error = std::string("bad estimator \"") + value + "\": hemisphere or horizon";
        return false;
    }
    if (name == "--normals") {
        *normalsGiven = true;
        if (NormalsFromName(value, &options->settings.normals))
            return true;
        *error = std::string("bad normals \"") + value + "\": shading or geometric";
        return false;
    }
    if (name == "--accumulate")
        return ParseSwitch(name, value, &options->settings.accumulate, error);
    *blurGiven = true;
    return ParseSwitch(name, value, &options->settings.blurEnabled, error);
}

} // namespace

bool ParseDemoOptions(int argc, char** argv, DemoOptions* options, std::string* error) {
    DemoOptions parsed;
    if (argc > 0 && argv[0][0] != '\0')
        parsed.program = argv[0];
    bool blurGiven = false;
    bool normalsGiven = false;
    for (int i = 1; i < argc; ++i)
        if (!TakeDemoOption(argc, argv, &i, &parsed, &blurGiven, &normalsGiven, error))
            return false;
    // Each estimator starts on its own normals unless told otherwise.
    if (!normalsGiven)
        parsed.settings.normals = DefaultNormals(parsed.settings.estimator);
    if (parsed.hasEye != parsed.hasDir) {
        *error = "--eye and --dir go together: give both or neither";
        return false;
    }
    // An explicit request the settings' rule can't grant is refused; the
    // default blur simply follows --ssao off.
    if (!parsed.settings.ssaoEnabled && parsed.settings.blurEnabled && blurGiven) {
        *error = "--blur on needs --ssao on: the blur is kept off while SSAO is off";
        return false;
    }
    parsed.settings = parsed.settings.Kept();
    *options = parsed;
    return true;
}

const char* DemoUsage() {
    return "usage: vesperon [--model PATH] [--scale S] [--eye x,y,z --dir x,y,z] [--kernel N]\n"
           "                [--radius R] [--ambient A] [--ssao on|off] [--blur on|off]\n"
           "                [--estimator hemisphere|horizon] [--normals shading|geometric]\n"
           "                [--accumulate on|off] [--help]\n"
           "Real-time SSAO with deferred shading. Run from the folder holding shaders/ and\n"
           "fonts/ (the repository root). Without options it opens models/sponza.obj.\n"
           "  --model PATH     model to open (textures: as stored, then beside the model)\n"
           "  --scale S        scale the model is drawn at, > 0 (default 0.075)\n"
           "  --eye, --dir     the first view: eye position and viewing direction in scene\n"
           "                   units (the model scaled); default 0,10,0 along 1,0,0\n"
           "  --kernel N       SSAO samples, a power of two from 4 to 128 (default 4)\n"
           "  --radius R       occlusion radius from 0 to 5, in hundredths (default 0.9)\n"
           "  --ambient A      ambient factor from 0 to 1, in hundredths (default 0.75)\n"
           "  --ssao on|off    SSAO on or off (default on)\n"
           "  --blur on|off    blur of the occlusion (default on; off while SSAO is off)\n"
           "  --estimator E    hemisphere (default) or horizon; H switches it live\n"
           "  --normals N      the normal the occlusion stands on: shading (the G-buffer's)\n"
           "                   or geometric (rebuilt from depth); default: the estimator's\n"
           "                   own (hemisphere shading, horizon geometric); N switches it\n"
           "  --accumulate on|off  a view at rest converges over 16 frames (default off); C\n"
           "                   switches it live\n"
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
    options.settings = renderer->Settings();
    options.help = false;
    return options;
}

std::vector<std::string> DemoArguments(const DemoOptions& options) {
    const SSAOSettings& settings = options.settings;
    std::vector<std::string> words = {"--model", options.modelPath, "--scale",
                                      FloatText(options.scale)};
    if (options.hasEye)
        words.insert(words.end(), {"--eye", VectorText(options.eye)});
    if (options.hasDir)
        words.insert(words.end(), {"--dir", VectorText(options.dir)});
    words.insert(words.end(),
                 {"--kernel", std::to_string(settings.kernelSize), "--radius",
                  FloatText(settings.radius), "--ambient", FloatText(settings.ambientFactor),
                  "--ssao", settings.ssaoEnabled ? "on" : "off", "--blur",
                  settings.blurEnabled ? "on" : "off"});
    // Named only away from the default, as the overlay does.
    if (settings.estimator != ESTIMATOR_HEMISPHERE)
        words.insert(words.end(), {"--estimator", EstimatorName(settings.estimator)});
    if (settings.normals != DefaultNormals(settings.estimator))
        words.insert(words.end(), {"--normals", NormalsName(settings.normals)});
    if (settings.accumulate)
        words.insert(words.end(), {"--accumulate", "on"});
    return words;
}

std::string DemoCommandLine(const DemoOptions& options) {
    std::vector<std::string> words = DemoArguments(options);
    words.insert(words.begin(), options.program);
    return ShellCommand(words);
}
