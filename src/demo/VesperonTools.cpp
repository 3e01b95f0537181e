// VesperonTools: the demo's means of judging its own occlusion: the ray-traced
// truth of the view (G), reloading the shaders (F5) and screenshots with the
// view's figures (F12).
#include <cstdio>
#include <ctime>

#include <SDL2/SDL.h>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include "core/JsonText.h"
#include "core/Logger.h"
#include "demo/DemoCapture.h"
#include "demo/DemoOptions.h"
#include "demo/ShotFiles.h"
#include "demo/Vesperon.h"
#include "gpu/ShaderReload.h"
#include "gpu/Window.h"
#include "ssao/Umbrelix.h"

namespace {

const char* const kTag = "Game";
const char* const kModeNames[] = {"off", "truth", "difference"};
const glm::vec4 kWhite(1.0f, 1.0f, 1.0f, 1.0f);
const glm::vec4 kGreen(0.0f, 1.0f, 0.0f, 1.0f);
const glm::vec4 kRed(1.0f, 0.0f, 0.0f, 1.0f);
constexpr int kRgb = 3;
constexpr int kRgba = 4;
constexpr float kToolLogPeriodMs = 5000.0f;

// The estimator's line comes last so that the others keep the rows they
// have always had (tests and screenshots find them there).
enum ToolLine {
    TOOL_LINE_TRUTH = 0,
    TOOL_LINE_FIGURES = 1,
    TOOL_LINE_MESSAGE = 2,
    TOOL_LINE_ESTIMATOR = 3,
};

void AppendToVector(void* context, void* data, int size) {
    auto* bytes = static_cast<std::vector<uint8_t>*>(context);
    const uint8_t* from = static_cast<const uint8_t*>(data);
    bytes->insert(bytes->end(), from, from + size);
}

// A PNG in memory; false with the reason in *error.
bool EncodePng(const std::string& path, int width, int height, int channels,
               const std::vector<uint8_t>& pixels, std::vector<ShotFile>* files,
               std::string* error) {
    ShotFile file{path, {}};
    if (!stbi_write_png_to_func(AppendToVector, &file.bytes, width, height, channels, pixels.data(),
                                width * channels)) {
        *error = "couldn't encode \"" + path + "\"";
        return false;
    }
    files->push_back(std::move(file));
    return true;
}

// "vesperon-YYYYMMDD-HHMMSS" in local time.
std::string ShotStamp() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[64];
    strftime(stamp, sizeof(stamp), "vesperon-%Y%m%d-%H%M%S", &local);
    return stamp;
}

std::vector<uint8_t> TruthGrey(const ReferenceImage& traced) {
    std::vector<uint8_t> rgb(traced.visibility.size() * kRgb);
    for (size_t i = 0; i < traced.visibility.size(); ++i) {
        float v = std::min(1.0f, std::max(0.0f, traced.visibility[i]));
        uint8_t g = static_cast<uint8_t>(std::lround(255.0f * v));
        rgb[kRgb * i] = rgb[kRgb * i + 1] = rgb[kRgb * i + 2] = g;
    }
    return rgb;
}

std::vector<uint8_t> DifferenceColours(const ReferenceImage& traced, const GreyImage& ours,
                                       const std::vector<uint8_t>& mask) {
    std::vector<uint8_t> rgb(mask.size() * kRgb, kEmptyGrey);
    for (size_t i = 0; i < mask.size(); ++i)
        if (mask[i])
            HeatColour(ours.pixels[i] - traced.visibility[i], &rgb[kRgb * i]);
    return rgb;
}

std::string Vec3Json(const glm::vec3& v) {
    char text[96];
    snprintf(text, sizeof(text), "[%.6g, %.6g, %.6g]", double(v.x), double(v.y), double(v.z));
    return text;
}

} // namespace

void Vesperon::CycleTruth() {
    mTruth.Cycle();
    LogMessage(LOG_INFO, kTag, "Truth view: %s (%.1f frames per second)", kModeNames[mTruth.Mode()],
               double(mFrameRate.Mean()));
    mToolLogTimer = Timer();
}

void Vesperon::UpdateTools() {
    if (!mTruth.On())
        return;
    mTruth.Update(mSceneRoot, GetRenderer(), DemoCamera(*this));
    // How the trace and the frame rate go along, now and then.
    if (mToolLogTimer.ElapsedMs() >= kToolLogPeriodMs) {
        mToolLogTimer = Timer();
        LogMessage(LOG_INFO, kTag, "Truth: %d rays per pixel, %.1f frames per second",
                   mTruth.Latest().rays, double(mFrameRate.Mean()));
    }
}

bool Vesperon::DrawToolView() {
    if (!mTruth.On())
        return false;
    mTruth.Draw(GetRenderer());
    return true;
}

void Vesperon::SetToolLines() {
    std::string rays, figures;
    bool failed = false;
    mTruth.StatusLines(&rays, &figures, &failed);
    // The start is the default estimator, as the demo has always been: only
    // a switch away from it is worth a line.
    SSAOEstimator estimator = GetRenderer()->Estimator();
    std::string named = estimator == ESTIMATOR_HEMISPHERE
                            ? std::string()
                            : std::string("Estimator: ") + EstimatorName(estimator);
    mOverlay.SetExtraLine(TOOL_LINE_ESTIMATOR, named.c_str(), kGreen);
    mOverlay.SetExtraLine(TOOL_LINE_TRUTH, rays.c_str(), failed ? kRed : kWhite);
    mOverlay.SetExtraLine(TOOL_LINE_FIGURES, figures.c_str(), kGreen);
    const std::string& message = !mShaderError.empty() ? mShaderError : mScreenshotError;
    mOverlay.SetExtraLine(TOOL_LINE_MESSAGE, message.c_str(), kRed);
}

void Vesperon::ReloadShaders() {
    std::vector<ShaderSource> own = {
        {&mSceneProgram, "shaders/Scene.vert", "shaders/Scene.frag"},
        {&mTextureProgram, "shaders/Texture.vert", "shaders/Texture.frag"},
        {&mLightingProgram, "shaders/SSAO.vert", "shaders/Lighting.frag"},
    };
    std::vector<std::string> errors;
    for (const ShaderSource& source : own) {
        ShaderFailure failure;
        if (ReloadShaderProgram(source, &failure) != 0)
            errors.push_back(failure.Line());
    }
    // The renderer's reload also gives the scene program (current) its
    // matrices again, and builds the truth's program if it failed before.
    GetRenderer()->ReloadPrograms(&errors);
    mTruth.ProgramsReloaded(*GetRenderer());
    if (errors.empty()) {
        mShaderError.clear();
        LogMessage(LOG_INFO, kTag, "Shaders reloaded");
        return;
    }
    mShaderError = errors.front();
    LogMessage(LOG_ERROR, kTag,
               "Shader reload: %zu program(s) kept their previous version; first: %s",
               errors.size(), mShaderError.c_str());
}

void Vesperon::FinishToolFrame() {
    if (!mScreenshotAsked)
        return;
    mScreenshotAsked = false;
    std::vector<std::string> written;
    TakeScreenshot(".", &written);
}

namespace {

// The view's JSON: where the camera stands, the settings, the rays traced
// and the figures of exactly this view and these settings (null until then).
std::string ShotJson(const Camera& camera, const Umbrelix& renderer, const CameraSetup& setup,
                     int rays, const TruthFigures* figures, const std::string& command) {
    const SSAOSettings& settings = renderer.Settings();
    char numbers[256] = "null";
    if (figures)
        snprintf(numbers, sizeof(numbers),
                 "{\"estimator\": \"%s\", \"rays\": %d, \"pixels\": %llu, \"mae\": %.6f, "
                 "\"bias\": %.6f, \"ssim\": %.6f}",
                 EstimatorName(figures->estimator), figures->rays,
                 (unsigned long long)figures->pixels, figures->errors.mae, figures->errors.bias,
                 figures->errors.ssim);
    char json[1024];
    snprintf(json, sizeof(json),
             "{\n  \"eye\": %s,\n  \"direction\": %s,\n  \"estimator\": \"%s\",\n"
             "  \"radius\": %.4g,\n  \"kernel\": %u,\n  \"ssao\": %s,\n  \"blur\": %s,\n"
             "  \"rays\": %d,\n  \"width\": %d,\n  \"height\": %d,\n  \"figures\": %s,\n"
             "  \"command\": ",
             Vec3Json(camera.mPosition).c_str(), Vec3Json(camera.mFront).c_str(),
             EstimatorName(settings.estimator), double(settings.radius), settings.kernelSize,
             settings.ssaoEnabled ? "true" : "false", settings.blurEnabled ? "true" : "false", rays,
             setup.width, setup.height, numbers);
    return json + JsonQuoted(command) + "\n}\n";
}

} // namespace

// The set describes one view: with the truth on, either the truth of the view
// on screen (traced picture, difference and JSON beside the window) or, while
// that view has no traced picture yet, the window alone, and the log says so.
int Vesperon::TakeScreenshot(const std::string& folder, std::vector<std::string>* written) {
    Umbrelix* renderer = GetRenderer();
    CameraSetup camera = DemoCamera(*this);
    std::string stem, error;
    std::vector<uint8_t> window;
    std::vector<ShotFile> files;
    const std::string command = DemoCommandLine(CurrentDemoOptions(*this));
    bool ok = ChooseShotStem(folder, ShotStamp(), &stem, &error);
    if (ok && renderer->ReadWindow(camera.width, camera.height, &window) != 0) {
        error = "the window could not be read back";
        ok = false;
    }
    ok = ok && EncodePng(stem + ".png", camera.width, camera.height, kRgba, window, &files, &error);
    const bool truthPending = mTruth.On() && !mTruth.ViewTraced();
    if (ok && mTruth.On() && !truthPending)
        ok = AddTruthFiles(stem, camera, command, &files, &error);
    ok = ok && WriteShotSet(files, written, &error);
    if (!ok) {
        mScreenshotError = "Screenshot not written: " + error + " (nothing of this shot was kept)";
        LogMessage(LOG_ERROR, kTag, "%s", mScreenshotError.c_str());
        return -1;
    }
    mScreenshotError.clear();
    std::string names;
    for (const std::string& name : *written)
        names += (names.empty() ? "" : ", ") + name;
    LogMessage(LOG_INFO, kTag, "Screenshot written: %s", names.c_str());
    if (truthPending)
        LogMessage(LOG_INFO, kTag,
                   "Screenshot: the truth of this view is not traced yet; only the window was "
                   "written");
    LogMessage(LOG_INFO, kTag, "Reopen this view: %s", command.c_str());
    return 0;
}

bool Vesperon::AddTruthFiles(const std::string& stem, const CameraSetup& camera,
                             const std::string& command, std::vector<ShotFile>* files,
                             std::string* error) {
    Umbrelix* renderer = GetRenderer();
    const TruthSnapshot& truth = mTruth.Latest();
    GreyImage ours = ReadOcclusion(renderer->ShownOcclusionTexture(), camera.width, camera.height);
    std::vector<float> depth = ReadViewDepth(renderer->GPosition(), camera.width, camera.height);
    std::vector<uint8_t> mask = ComparedPixels(truth.image, depth);
    if (!EncodePng(stem + "-truth.png", camera.width, camera.height, kRgb, TruthGrey(truth.image),
                   files, error) ||
        !EncodePng(stem + "-difference.png", camera.width, camera.height, kRgb,
                   DifferenceColours(truth.image, ours, mask), files, error))
        return false;
    std::string json =
        ShotJson(mCamera, *renderer, camera, truth.rays, mTruth.FiguresOfView(*renderer), command);
    files->push_back(ShotFile{stem + ".json", std::vector<uint8_t>(json.begin(), json.end())});
    return true;
}
