// framebench: measures the demo's frame on this machine pass by pass. Starts
// the real application (window, SSAO renderer, the model), then on each view
// runs the application's own frame, waiting for the GL before and after each
// pass so that every pass is timed to its completion, for SSAO off and every
// kernel size with the blur on and off. Beside them it times the fetch floor
// (see FetchFloor.frag) for each kernel size: the same frame with the floor
// in the occlusion pass's place. Configurations
// are measured in interleaved rounds, one frame each per round, so that load
// from other processes spreads over all of them alike. Prints a table and,
// with --json, writes the same figures as JSON (on standard output for "-",
// the table then going to standard error).
#include <chrono>
#include <cstdio>
#include <map>
#include <vector>

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
#include "ssao/SceneCapture.h"
#include "ssao/Umbrelix.h"

namespace {

constexpr int kWarmupFrames = 1; // per configuration and view, before the rounds
constexpr int kExitFailure = 1;  // the run could not be done
constexpr int kExitUsage = 2;    // the command line was refused

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

class FrameBench {
public:
    FrameBench(Vesperon& app, const BenchOptions& options)
        : mApp(app), mRenderer(app.GetRenderer()), mOptions(options),
          mConfigs(BenchConfigs(options.view.kernels, options.view.estimators, options.view.normals,
                                options.accumulating)),
          mFloor(app.GetRenderer()) {}
    int LoadFloor(std::string* error) { return mFloor.Load(error); }
    // False when the user or a signal asked the application to quit.
    bool MeasureView(const NamedView& view, ViewResult* result);

private:
    void UseConfig(const BenchConfig& config);
    void UseKernel(uint32_t size);
    void RenderFrame(ConfigSamples* samples);
    double FloorPass(uint32_t fetches);

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
    SSAOSettings settings = mRenderer->Settings().WithSSAO(config.ssao).WithBlur(config.blur);
    settings.estimator = config.estimator;
    settings.normals = config.normals;
    settings.accumulate = config.accumulate;
    mRenderer->ApplySettings(settings);
    if (config.ssao)
        UseKernel(config.kernel);
}

namespace {

// The report's pass of each of the renderer's frame passes.
constexpr BenchPass kBenchPassOf[FRAME_PASS_COUNT] = {PASS_GEOMETRY, PASS_OCCLUSION, PASS_BLUR,
                                                      PASS_ACCUMULATE, PASS_LIGHTING};

// Times each pass of the renderer's frame to completion, and notes when the
// final view was done (what follows is the overlay and the present).
class PassTimer : public FrameObserver {
public:
    explicit PassTimer(const Umbrelix* renderer) : mRenderer(renderer) {}
    void BeforePass(FramePass) override {
        mRenderer->WaitIdle();
        mStart = Clock::now();
    }
    void AfterPass(FramePass pass) override {
        mRenderer->WaitIdle();
        ms[kBenchPassOf[pass]] = MsSince(mStart);
        finalDone = Clock::now();
    }
    double ms[PASS_COUNT] = {};
    Clock::time_point finalDone{};

private:
    const Umbrelix* mRenderer = nullptr;
    Clock::time_point mStart{};
};

} // namespace

// One frame of the application as the demo draws it, each pass timed to completion.
void FrameBench::RenderFrame(ConfigSamples* samples) {
    PassTimer timer(mRenderer);
    mRenderer->WaitIdle();
    const Clock::time_point start = Clock::now();
    mApp.Frame(&timer);
    mRenderer->WaitIdle();
    timer.ms[PASS_OVERLAY_PRESENT] = MsSince(timer.finalDone);
    const double frame = MsSince(start);
    if (!samples)
        return;
    for (int p = 0; p < PASS_COUNT; ++p)
        samples->pass[p].push_back(timer.ms[p]);
    samples->frame.push_back(frame);
}

// The same frame with the floor in the occlusion pass's place (SSAO on,
// blur off, kernel size = fetches); the occlusion pass's time.
double FrameBench::FloorPass(uint32_t fetches) {
    BenchConfig floor;
    floor.ssao = true;
    floor.kernel = fetches;
    UseConfig(floor);
    mFloor.Engage(true);
    PassTimer timer(mRenderer);
    mApp.Frame(&timer);
    mFloor.Engage(false);
    return timer.ms[PASS_OCCLUSION];
}

// Warm-up frames for every configuration and floor, then rounds of one
// measured frame each. SDL turns SIGINT and SIGTERM into a quit event, which
// the application's handler records in mRunning: the view is abandoned then.
bool FrameBench::MeasureView(const NamedView& view, ViewResult* result) {
    result->view = view;
    mApp.Aim(view.eye, view.dir);
    for (const BenchConfig& config : mConfigs) {
        result->configs.push_back(ConfigSamples{config, {}, {}});
        UseConfig(config);
        for (int i = 0; i < kWarmupFrames; ++i)
            RenderFrame(nullptr);
    }
    result->coveredFraction = DrawnFraction(*mRenderer);
    for (uint32_t fetches : mOptions.view.kernels) {
        result->floors.push_back(FloorSamples{fetches, {}});
        for (int i = 0; i < kWarmupFrames; ++i)
            FloorPass(fetches);
    }
    for (int round = 0; round < mOptions.frames && mApp.Running(); ++round) {
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
    return mApp.Running();
}

int Fail(Vesperon& app, const std::string& error) {
    std::fprintf(stderr, "framebench: %s\n", error.c_str());
    app.Shutdown();
    return kExitFailure;
}

// Bytes in used zone blocks (headers and guard words included) while the
// scene is loaded and the overlay has been released.
void CountZoneUse(const Vesperon& app, BenchResult* result) {
    app.ZoneUse(&result->zoneBytesInUse, &result->zoneBlocks);
}

void FillSettings(const BenchOptions& options, Vesperon& app, BenchResult* result) {
    result->modelPath = options.view.modelPath;
    result->kernels = options.view.kernels;
    result->estimators = options.view.estimators;
    result->normals = options.view.normals;
    result->accumulating = options.accumulating;
    result->radius = options.view.radius;
    result->frames = options.frames;
    result->warmupFrames = kWarmupFrames;
    result->width = app.GetRenderer()->TargetWidth();
    result->height = app.GetRenderer()->TargetHeight();
    result->glRenderer = app.GetRenderer()->DeviceName();
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
