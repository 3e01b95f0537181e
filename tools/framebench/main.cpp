// framebench: measures the demo's frame on this machine pass by pass. Starts
// the real application (window, SSAO renderer, the model), then on each view
// renders the frame's passes in the order Vesperon::Frame runs them, with
// glFinish after each so that every pass is timed to its completion, for SSAO
// off and every kernel size with the blur on and off. Beside them it times
// the fetch floor (see FetchFloor.frag) for each kernel size. Configurations
// are measured in interleaved rounds, one frame each per round, so that load
// from other processes spreads over all of them alike. Prints a table and,
// with --json, writes the same figures as JSON (on standard output for "-",
// the table then going to standard error).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <vector>

#include <SDL2/SDL.h>

#include "common/AppStart.h"
#include "common/Interrupt.h"
#include "core/OutputFile.h"
#include "core/StandardStreams.h"
#include "common/ToolOptions.h"
#include "core/Logger.h"
#include "demo/Vesperon.h"
#include "framebench/BenchOptions.h"
#include "framebench/BenchReport.h"
#include "framebench/FetchFloor.h"
#include "gpu/GLFunctions.h"
#include "gpu/Window.h"
#include "input/EventBus.h"
#include "memory/ZoneAllocator.h"
#include "ssao/Umbrelix.h"

namespace {

constexpr int kWarmupFrames = 1; // per configuration and view, before the rounds
constexpr int kReadBandRows = 64;
constexpr int kGBufferNormalAttachment = 1; // position, normal, albedo
constexpr int kExitFailure = 1;             // the run could not be done
constexpr int kExitUsage = 2;               // the command line was refused

using Clock = std::chrono::steady_clock;

// The tool's own GL calls, from the system's table (filled when the window's
// context was made).
PFNGLFINISHPROC& Finish = vgl::glFinish;
PFNGLREADBUFFERPROC& ReadBuffer = vgl::glReadBuffer;
PFNGLREADPIXELSPROC& ReadPixels = vgl::glReadPixels;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Runs f and waits for the GL to finish what it queued; the milliseconds taken.
template <typename F> double Timed(F f) {
    Clock::time_point start = Clock::now();
    f();
    Finish();
    return MsSince(start);
}

class FrameBench {
public:
    FrameBench(Vesperon& app, const BenchOptions& options)
        : mApp(app), mRenderer(app.GetRenderer()), mOptions(options),
          mConfigs(BenchConfigs(options.view.kernels, options.view.estimators)) {}
    int LoadFloor(std::string* error) {
        return mFloor.Load(mOptions.view.radius, mRenderer->ProjectionMatrix(), error);
    }
    // False when the user or a signal asked the application to quit.
    bool MeasureView(const NamedView& view, ViewResult* result);

private:
    void UseConfig(const BenchConfig& config);
    void UseKernel(uint32_t size);
    void RenderFrame(ConfigSamples* samples);
    double FloorPass(uint32_t fetches);
    double CoveredFraction();

    Vesperon& mApp;
    Umbrelix* mRenderer;
    const BenchOptions& mOptions;
    std::vector<BenchConfig> mConfigs;
    FetchFloor mFloor;
    // Each kernel size keeps the samples it drew first, so that returning to
    // a size in a later round measures the same kernel again.
    std::map<uint32_t, std::vector<glm::vec3>> mKernels;
};

void FrameBench::UseKernel(uint32_t size) {
    auto kept = mKernels.find(size);
    if (kept == mKernels.end()) {
        mRenderer->SetKernelSize(size);
        mKernels[size] = mRenderer->Kernel();
        return;
    }
    mRenderer->UseKernel(kept->second);
}

void FrameBench::UseConfig(const BenchConfig& config) {
    SSAOSettings settings = mRenderer->Settings();
    settings.ssaoEnabled = config.ssao;
    settings.blurEnabled = config.blur;
    settings.estimator = config.estimator;
    mRenderer->ApplySettings(settings);
    if (config.ssao)
        UseKernel(config.kernel);
}

namespace {

// The report's pass of each of the renderer's frame passes.
constexpr BenchPass kBenchPassOf[FRAME_PASS_COUNT] = {PASS_GEOMETRY, PASS_OCCLUSION, PASS_BLUR,
                                                      PASS_LIGHTING};

// Times each pass of the renderer's frame to completion.
class PassTimer : public FrameObserver {
public:
    void BeforePass(FramePass) override {
        Finish();
        mStart = Clock::now();
    }
    void AfterPass(FramePass pass) override {
        Finish();
        ms[kBenchPassOf[pass]] = MsSince(mStart);
    }
    double ms[PASS_COUNT] = {};

private:
    Clock::time_point mStart{};
};

} // namespace

// One lit frame as the demo draws it, each pass timed to completion.
void FrameBench::RenderFrame(ConfigSamples* samples) {
    PassTimer timer;
    double* ms = timer.ms;
    Finish();
    Clock::time_point start = Clock::now();
    mApp.mEventBus->ProcessEvents();
    mRenderer->RenderFrame(mApp.StepCamera(), &mApp.mSceneRoot, FINAL_LIT, &timer);
    ms[PASS_OVERLAY_PRESENT] = Timed([&] {
        mApp.mOverlay.Update(mRenderer->Settings(), mApp.mFrameRate.Mean());
        mApp.mOverlay.Draw(mRenderer);
        SDL_GL_SwapWindow(mApp.mWindow->mSDLWindow);
    });
    double frame = MsSince(start);
    mApp.mFrameRate.Add(float(frame));
    if (!samples)
        return;
    for (int p = 0; p < PASS_COUNT; ++p)
        samples->pass[p].push_back(ms[p]);
    samples->frame.push_back(frame);
}

// The geometry pass (not timed), then the bare fetch pass into the occlusion
// target with the state the occlusion pass sets.
double FrameBench::FloorPass(uint32_t fetches) {
    mApp.mEventBus->ProcessEvents();
    mRenderer->SetViewMatrix(mApp.StepCamera());
    mRenderer->Clear();
    mRenderer->DrawNode(&mApp.mSceneRoot);
    Finish();
    FetchFloorTargets targets;
    targets.framebuffer = mRenderer->SSAOBuffer();
    targets.position = mRenderer->GPosition();
    targets.normal = mRenderer->GNormal();
    targets.quadVAO = mRenderer->QuadVAO();
    return Timed([&] { mFloor.Draw(targets, fetches); });
}

// Share of pixels the geometry pass drew, by the occlusion pass's own test
// (a cleared G-buffer normal is zero, a drawn one has unit length). Read in
// bands of rows, so the read-back buffer does not raise the peak memory the
// benchmark reports.
double FrameBench::CoveredFraction() {
    int width = 0, height = 0;
    SDL_GL_GetDrawableSize(mApp.mWindow->mSDLWindow, &width, &height);
    std::vector<float> band(size_t(width) * kReadBandRows * 3);
    glBindFramebuffer(GL_FRAMEBUFFER, mRenderer->GBuffer());
    ReadBuffer(GL_COLOR_ATTACHMENT0 + kGBufferNormalAttachment);
    size_t covered = 0;
    for (int y = 0; y < height; y += kReadBandRows) {
        int rows = std::min(kReadBandRows, height - y);
        ReadPixels(0, y, width, rows, GL_RGB, GL_FLOAT, band.data());
        for (size_t i = 0; i < size_t(width) * size_t(rows) * 3; i += 3) {
            float n2 = band[i] * band[i] + band[i + 1] * band[i + 1] + band[i + 2] * band[i + 2];
            covered += n2 > 0.25f ? 1 : 0;
        }
    }
    ReadBuffer(GL_COLOR_ATTACHMENT0);
    return width * height > 0 ? double(covered) / (double(width) * double(height)) : 0.0;
}

// Warm-up frames for every configuration and floor, then rounds of one
// measured frame each. SDL turns SIGINT and SIGTERM into a quit event, which
// the application's handler records in mRunning: the view is abandoned then.
bool FrameBench::MeasureView(const NamedView& view, ViewResult* result) {
    result->view = view;
    AimApp(mApp, view.eye, view.dir);
    for (const BenchConfig& config : mConfigs) {
        result->configs.push_back(ConfigSamples{config, {}, {}});
        UseConfig(config);
        for (int i = 0; i < kWarmupFrames; ++i)
            RenderFrame(nullptr);
    }
    result->coveredFraction = CoveredFraction();
    for (uint32_t fetches : mOptions.view.kernels) {
        result->floors.push_back(FloorSamples{fetches, {}});
        for (int i = 0; i < kWarmupFrames; ++i)
            FloorPass(fetches);
    }
    for (int round = 0; round < mOptions.frames && mApp.mRunning; ++round) {
        std::fprintf(stderr, "\rview %s: round %d of %d", view.name.c_str(), round + 1,
                     mOptions.frames);
        for (ConfigSamples& samples : result->configs) {
            UseConfig(samples.config);
            RenderFrame(&samples);
        }
        for (FloorSamples& floor : result->floors)
            floor.ms.push_back(FloorPass(floor.fetches));
    }
    std::fprintf(stderr, "\n");
    return mApp.mRunning;
}

int Fail(Vesperon& app, const std::string& error) {
    std::fprintf(stderr, "framebench: %s\n", error.c_str());
    app.Shutdown();
    return kExitFailure;
}

// Bytes in used zone blocks (headers and guard words included) while the
// scene is loaded and the overlay has been released.
void CountZoneUse(const Vesperon& app, BenchResult* result) {
    const ZoneAllocator* zone = static_cast<const ZoneAllocator*>(app.mAllocator);
    result->zoneBytesInUse = 0;
    for (const MemoryBlock* b = zone->mBlockList.next; b != &zone->mBlockList; b = b->next)
        result->zoneBytesInUse += b->tag != 0 ? b->size : 0;
    result->zoneBlocks = zone->mAllocCount;
}

void FillSettings(const BenchOptions& options, Vesperon& app, BenchResult* result) {
    result->modelPath = options.view.modelPath;
    result->kernels = options.view.kernels;
    result->estimators = options.view.estimators;
    result->radius = options.view.radius;
    result->frames = options.frames;
    result->warmupFrames = kWarmupFrames;
    SDL_GL_GetDrawableSize(app.mWindow->mSDLWindow, &result->width, &result->height);
    const GLubyte* renderer = glGetString(GL_RENDERER);
    result->glRenderer = renderer ? reinterpret_cast<const char*>(renderer) : "unknown";
}

// Every view in turn. The floor program lives only here, so it is released
// while the context exists, whatever the outcome.
int MeasureViews(Vesperon& app, const BenchOptions& options, BenchResult* result,
                 std::string* error) {
    FrameBench bench(app, options);
    if (bench.LoadFloor(error) != 0)
        return -1;
    for (const NamedView& view : options.view.views) {
        result->views.emplace_back();
        if (!bench.MeasureView(view, &result->views.back())) {
            *error = "interrupted: the application was asked to quit; nothing written";
            return -1;
        }
    }
    return 0;
}

int Measure(Vesperon& app, const BenchOptions& options, BenchResult* result) {
    std::string error;
    FillSettings(options, app, result);
    app.BeginRun();
    app.GetRenderer()->SetRadius(options.view.radius);
    int measured = MeasureViews(app, options, result, &error);
    app.EndRun();
    if (measured != 0)
        return Fail(app, error);
    result->peakResidentKiB = PeakResidentKiB();
    CountZoneUse(app, result);
    app.Shutdown();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (!OpenClosedStandardStreams("framebench"))
        return kExitFailure;
    IgnoreBrokenPipe();
    BenchOptions options;
    std::string error;
    if (!ParseBenchOptions(argc, argv, &options, &error)) {
        std::fprintf(stderr, "framebench: %s\n%s", error.c_str(), BenchUsage());
        return kExitUsage;
    }
    if (options.help) {
        std::fputs(BenchUsage(), stdout);
        return 0;
    }
    if (!options.jsonPath.empty() && !CheckWritable(options.jsonPath, &error)) {
        std::fprintf(stderr, "framebench: %s\n", error.c_str());
        return kExitUsage;
    }
    FILE* table = HumanOutput(options.jsonPath);
    BenchResult result;
    Vesperon app;
    if (StartApp(app, options.view.modelPath, &result.startup, &error) != 0)
        return Fail(app, error);
    if (Measure(app, options, &result) != 0)
        return kExitFailure;
    PrintReport(table, result);
    if (!options.jsonPath.empty() && !WriteJson(options.jsonPath, result, &error)) {
        std::fprintf(stderr, "framebench: %s\n", error.c_str());
        return kExitFailure;
    }
    return FinishStandardOutput("framebench") ? 0 : kExitFailure;
}
