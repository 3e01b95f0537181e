// VesperonTools: the demo's means of judging its own occlusion: the ray-traced
// truth of the view (G), reloading the shaders (F5) and screenshots with the
// view's JSON, which reopens it, and its figures (F12).
#include <cstdio>
#include <ctime>

#include <SDL2/SDL.h>

#include "core/Json.h"
#include "core/Logger.h"
#include "ssao/SceneCapture.h"
#include "demo/DemoOptions.h"
#include "demo/ShotFiles.h"
#include "demo/Vesperon.h"
#include "gpu/ShaderReload.h"
#include "gpu/Window.h"
#include "image/PngWrite.h"
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

// The estimator's line (with the normals and accumulation) comes last so
// that the others keep the rows they have always had (tests and screenshots
// find them there).
enum ToolLine {
    TOOL_LINE_TRUTH = 0,
    TOOL_LINE_FIGURES = 1,
    TOOL_LINE_MESSAGE = 2,
    TOOL_LINE_ESTIMATOR = 3,
};

// A PNG in memory; false with the reason in *error.
bool AddPng(const std::string& path, int width, int height, int channels,
            const std::vector<uint8_t>& pixels, std::vector<ShotFile>* files, std::string* error) {
    PngBytes png = EncodePng(width, height, channels, pixels);
    if (png.bytes.empty()) {
        *error = "couldn't encode \"" + path + "\"";
        return false;
    }
    files->push_back(ShotFile{path, std::move(png.bytes)});
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

// The settings away from where the demo starts, as one overlay line (empty
// when there are none): the estimator when not the hemisphere one, the
// normals when not the estimator's own, and how many frames the mean of a
// view at rest holds while accumulation is on.
std::string SettingsLine(const Umbrelix& renderer) {
    const SSAOSettings& settings = renderer.Settings();
    std::string line;
    auto add = [&line](const std::string& part) { line += (line.empty() ? "" : "  ") + part; };
    if (settings.estimator != ESTIMATOR_HEMISPHERE)
        add(std::string("Estimator: ") + EstimatorName(settings.estimator));
    if (settings.normals != DefaultNormals(settings.estimator))
        add(std::string("Normals: ") + NormalsName(settings.normals));
    if (settings.accumulate && settings.ssaoEnabled)
        add("At rest: " + std::to_string(renderer.AccumulatedFrames()) + " of " +
            std::to_string(kAccumulationFrames) + " frames");
    return line;
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
    mTruth.Update(mSceneRoot, GetRenderer(), ViewCamera());
    // How the trace and the frame rate go along, now and then.
    if (mToolLogTimer.ElapsedMs() >= kToolLogPeriodMs && !mTruth.NoTruthReason()) {
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
    const std::string named = SettingsLine(*GetRenderer());
    mOverlay.SetExtraLine(TOOL_LINE_ESTIMATOR, named.c_str(), kGreen);
    mOverlay.SetExtraLine(TOOL_LINE_TRUTH, rays.c_str(), failed ? kRed : kWhite);
    mOverlay.SetExtraLine(TOOL_LINE_FIGURES, figures.c_str(), kGreen);
    const std::string& message = !mShaderError.empty() ? mShaderError : mScreenshotError;
    mOverlay.SetExtraLine(TOOL_LINE_MESSAGE, message.c_str(), kRed);
}

void Vesperon::ReloadShaders() {
    std::vector<std::string> errors;
    for (const ShaderSource& source : ProgramTable()) {
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

// The view's JSON: where the camera stands, the settings, the command line
// that reopens the view, the rays traced and the figures of exactly this
// view and these settings (0 and null without them).
ShotFile ShotJson(const std::string& stem, const Camera& camera, const Umbrelix& renderer,
                  const CameraSetup& setup, int rays, const TruthFigures* figures,
                  const std::string& command) {
    Json numbers = nullptr;
    if (figures)
        numbers = {{"estimator", EstimatorName(figures->estimator)},
                   {"rays", figures->rays},
                   {"pixels", figures->pixels},
                   {"mae", figures->errors.mae},
                   {"bias", figures->errors.bias},
                   {"ssim", figures->errors.ssim}};
    const SSAOSettings& settings = renderer.Settings();
    const Json document = {{"eye", JsonVec3(camera.mPosition)},
                           {"direction", JsonVec3(camera.mFront)},
                           {"estimator", EstimatorName(settings.estimator)},
                           {"normals", NormalsName(settings.normals)},
                           {"accumulate", settings.accumulate},
                           {"frames_at_rest", renderer.AccumulatedFrames()},
                           {"radius", JsonFloat(settings.radius)},
                           {"kernel", settings.kernelSize},
                           {"ssao", settings.ssaoEnabled},
                           {"blur", settings.blurEnabled},
                           {"rays", rays},
                           {"width", setup.width},
                           {"height", setup.height},
                           {"figures", std::move(numbers)},
                           {"command", command}};
    const std::string text = JsonText(document);
    return ShotFile{stem + ".json", std::vector<uint8_t>(text.begin(), text.end())};
}

} // namespace

// The set describes one view: the window and the view's JSON, and with the
// truth of the view on screen traced also that picture and the difference
// (the JSON then with the figures). With the truth on but this view not
// traced yet the JSON has no figures, and the log says so.
int Vesperon::TakeScreenshot(const std::string& folder, std::vector<std::string>* written) {
    Umbrelix* renderer = GetRenderer();
    CameraSetup camera = ViewCamera();
    std::string stem, error;
    std::vector<uint8_t> window;
    std::vector<ShotFile> files;
    const std::string command = DemoCommandLine(CurrentDemoOptions(*this));
    bool ok = ChooseShotStem(folder, ShotStamp(), &stem, &error);
    if (ok && renderer->ReadWindow(camera.width, camera.height, &window) != 0) {
        error = "the window could not be read back";
        ok = false;
    }
    ok = ok && AddPng(stem + ".png", camera.width, camera.height, kRgba, window, &files, &error);
    const bool truthPending = mTruth.On() && !mTruth.ViewTraced();
    if (ok && mTruth.On() && !truthPending)
        ok = AddTruthFiles(stem, camera, command, &files, &error);
    else if (ok)
        files.push_back(ShotJson(stem, mCamera, *renderer, camera, 0, nullptr, command));
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
                   "Screenshot: %s; the window and the view's JSON were written, without figures",
                   mTruth.NoTruthReason() ? mTruth.NoTruthReason()
                                          : "the truth of this view is not traced yet");
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
    if (!AddPng(stem + "-truth.png", camera.width, camera.height, kRgb, TruthGrey(truth.image),
                files, error) ||
        !AddPng(stem + "-difference.png", camera.width, camera.height, kRgb,
                DifferenceColours(truth.image, ours, mask), files, error))
        return false;
    files->push_back(ShotJson(stem, mCamera, *renderer, camera, truth.rays,
                              mTruth.FiguresOfView(*renderer), command));
    return true;
}
