// TruthView: the ray-traced truth of the demo's current view: which of its
// views is on (off, truth, difference), the ray-tracing scene built the first
// time it is asked for, the progressive trace of the current camera and
// radius, and the figures of our occlusion against it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ssao/AoMetrics.h"
#include "ssao/AoScene.h"
#include "ssao/AoTrace.h"
#include "ssao/ProgressiveTrace.h"
#include "ssao/SSAOEstimator.h"
#include "ssao/SSAOSettings.h"

class SceneGraphNode;
class Umbrelix;

enum TruthMode {
    TRUTH_OFF = 0,
    TRUTH_SHOWN = 1,
    TRUTH_DIFFERENCE = 2,
};

// Chosen by measurement on two cores with llvmpipe (see the README): two
// workers at niceness 2 leave the renderer about 70 % of its frame rate and
// reach 256 rays within a minute (at niceness 0 the renderer kept 48 to 58 %;
// at 4 the trace took 66 s; at 10 it starved while the renderer runs flat
// out); a first round of 4 rays gives a picture soon, later rounds of 16
// fill Embree's packets.
constexpr int kTruthThreads = 2;
constexpr int kTruthFirstRoundRays = 4;
constexpr int kTruthRaysPerRound = 16;

// What the figures were computed for: a change of any of these (or a new
// round of the truth) computes them again. The ambient factor is held at its
// default: it lights the picture and leaves the occlusion as it was. While a
// view accumulates, the figures are of the frame they were computed on until
// the mean is complete, and of the mean from then on.
struct FigureInputs {
    uint64_t generation = 0;
    int rays = 0;
    SSAOSettings settings;
    // The mean of a view at rest is shown (not the frame's blurred picture):
    // completing it changes what the lighting uses.
    bool restingMean = false;
    bool operator==(const FigureInputs& o) const {
        return generation == o.generation && rays == o.rays && settings == o.settings &&
               restingMean == o.restingMean;
    }
};

// Why a view at radius 0 has no truth: no ray reaches anything, and the
// occlusion pass sees nothing either.
constexpr const char* kNothingToTrace = "radius 0: nothing can occlude; nothing to trace";

struct TruthFigures {
    bool valid = false;
    int rays = 0;
    SSAOEstimator estimator = ESTIMATOR_HEMISPHERE; // whose occlusion was measured
    uint64_t pixels = 0;
    ErrorMetrics errors;
};

// The ray count the figures are kept for: they are computed again as the
// truth reaches 16, 32, 64, 128 and 256 rays (each costs a read-back and a
// second of a core), not after every round.
int FigureRays(int rays);
// The truth as the renderer's texture wants it: visibility and depth pairs.
std::vector<float> TruthTexels(const ReferenceImage& traced);

class TruthView {
public:
    TruthView();
    // Stops every thread; makes no GL call.
    ~TruthView();

    // G: off -> truth -> difference -> off.
    void Cycle();
    TruthMode Mode() const { return mMode; }
    bool On() const { return mMode != TRUTH_OFF; }

    // Once a frame after the occlusion passes, on the GL thread: builds the
    // scene the first time, keeps the trace on the renderer's current view,
    // uploads new rounds and recomputes the figures when they are stale.
    void Update(const SceneGraphNode& root, Umbrelix* renderer, const CameraSetup& camera);
    // Draws the truth or the difference view (when on).
    void Draw(Umbrelix* renderer) const;
    // The overlay's lines while on: the ray count (or the state), the figures.
    void StatusLines(std::string* rays, std::string* figures, bool* failed) const;

    // Ends the trace, the scene build and the figures' computation, joining
    // their threads. Safe to call again.
    void Stop();

    // After F5: a truth that was unavailable only because its program failed
    // to build comes back once the reload has built it.
    void ProgramsReloaded(const Umbrelix& renderer);

    // The ray-tracing scenes built from now on make their device with
    // makeDevice (null: Embree's own).
    void UseRayDeviceMaker(RayDeviceMaker makeDevice) { mMakeDevice = makeDevice; }

    // The traced picture last uploaded and the figures shown (screenshots).
    const TruthSnapshot& Latest() const { return mLatest; }
    const TruthFigures& Figures() const { return mFigures; }
    const CameraSetup& Camera() const { return mCamera; }
    // Whether Latest() is a traced picture of the view on screen now (not of
    // one the camera has left, and uploaded for the truth views).
    bool ViewTraced() const;
    // Why the view on screen has no truth and will get none (kNothingToTrace
    // at radius 0), or null while it is traced or on its way.
    const char* NoTruthReason() const { return mNothingToTrace ? kNothingToTrace : nullptr; }
    // The figures of the view on screen with the renderer's settings now, or
    // null while they are of another view or setting, or not computed yet.
    const TruthFigures* FiguresOfView(const Umbrelix& renderer) const;

private:
    enum SceneState { SCENE_NONE, SCENE_BUILDING, SCENE_READY, SCENE_FAILED };
    void StartBuild(const SceneGraphNode& root);
    void FinishBuild();
    void UpdateFigures(Umbrelix* renderer);

    TruthMode mMode = TRUTH_OFF;
    SceneState mSceneState = SCENE_NONE;
    std::string mFailure;
    bool mProgramFailed = false; // the failure is the truth's program, which F5 may mend
    RayDeviceMaker mMakeDevice = nullptr;
    std::unique_ptr<AoScene> mScene;
    std::thread mBuilder;
    std::atomic<int> mBuildResult{0}; // 1 while building, then 0 or -1
    std::chrono::steady_clock::time_point mAskedAt{};
    ProgressiveTrace mTrace;
    CameraSetup mCamera{};
    float mRadius = 0.0f;
    bool mNothingToTrace = false; // the radius is 0: the trace is left where it was
    uint64_t mSeenGeneration = 0;
    int mSeenRays = 0;
    TruthSnapshot mLatest;
    bool mUploadFailed = false;
    FigureInputs mFigureInputs;
    TruthFigures mFigures;
    std::future<TruthFigures> mPending;
    FigureInputs mPendingInputs;
    // Set only while Stop waits for a figures job: the job then gives up
    // and its result is dropped.
    std::atomic<bool> mStopFigures{false};
};
