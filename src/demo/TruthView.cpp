// TruthView: the lazily built ray-tracing scene, the trace kept on the current
// view, and the figures computed off the main thread when what they depend
// on changed.
#include "demo/TruthView.h"

#include <cstdio>

#include "core/Logger.h"
#include "ssao/SceneCapture.h"
#include "scene/SceneGraphNode.h"
#include "ssao/Umbrelix.h"

namespace {

const char* const kTag = "AoTruth";
constexpr int kBuilding = 1;

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TruthFigures ComputeFigures(const ReferenceImage& traced, const GreyImage& ours,
                            const std::vector<float>& drawnDepth, int rays,
                            const std::atomic<bool>* stop) {
    TruthFigures figures;
    std::vector<uint8_t> mask = ComparedPixels(traced, drawnDepth);
    for (uint8_t m : mask)
        figures.pixels += m;
    GreyImage reference{traced.width, traced.height, traced.visibility};
    figures.errors = MeasureErrors(reference, ours, mask, stop);
    figures.rays = rays;
    // Figures over no pixel would read as a perfect score.
    figures.valid = figures.pixels > 0 && !stop->load();
    return figures;
}

// What figures computed now would be computed for (rays aside).
FigureInputs SettingsNow(const Umbrelix& renderer, uint64_t generation) {
    FigureInputs now;
    now.generation = generation;
    now.settings = renderer.Settings();
    now.settings.ambientFactor = kDefaultAmbientFactor;
    now.restingMean = renderer.ShowsAccumulation();
    return now;
}

} // namespace

int FigureRays(int rays) {
    int power = 1;
    while (power * 2 <= rays)
        power *= 2;
    return rays > 0 ? power : 0;
}

std::vector<float> TruthTexels(const ReferenceImage& traced) {
    std::vector<float> texels(2 * traced.visibility.size());
    for (size_t i = 0; i < traced.visibility.size(); ++i) {
        texels[2 * i] = traced.visibility[i];
        texels[2 * i + 1] = traced.mask[i] ? traced.depth[i] : 0.0f;
    }
    return texels;
}

TruthView::TruthView() = default;

TruthView::~TruthView() {
    Stop();
}

void TruthView::Cycle() {
    mMode = mMode == TRUTH_OFF ? TRUTH_SHOWN : mMode == TRUTH_SHOWN ? TRUTH_DIFFERENCE : TRUTH_OFF;
    if (mMode == TRUTH_SHOWN) {
        mAskedAt = std::chrono::steady_clock::now();
    } else if (mMode == TRUTH_OFF) {
        // Nothing traces while the truth is not shown; the next G starts
        // from the first round.
        mTrace.Stop();
        mLatest = TruthSnapshot();
        mSeenGeneration = 0;
        mSeenRays = 0;
        mFigures = TruthFigures();
        mFigureInputs = FigureInputs();
    }
}

void TruthView::Stop() {
    mTrace.Stop();
    if (mBuilder.joinable())
        mBuilder.join();
    if (mPending.valid()) {
        mStopFigures = true;
        mPending.wait();
        mPending = std::future<TruthFigures>();
        mStopFigures = false;
    }
}

void TruthView::StartBuild(const SceneGraphNode& root) {
    // The alpha of the cut-out textures comes from GL, on this thread; the
    // rest of the build runs beside the renderer.
    std::vector<SceneMeshSource> meshes = CollectSceneGraph(root);
    LogMessage(LOG_INFO, kTag, "Building the ray-tracing scene from %zu meshes", meshes.size());
    mScene = std::make_unique<AoScene>(mMakeDevice);
    mBuildResult = kBuilding;
    mSceneState = SCENE_BUILDING;
    try {
        mBuilder = std::thread([this, meshes = std::move(meshes)] {
            AoScene* scene = mScene.get();
            bool ok =
                scene->Create() == 0 && AddSceneMeshes(meshes, scene) == 0 && scene->Commit() == 0;
            mBuildResult = ok ? 0 : -1;
        });
    } catch (const std::system_error& error) {
        LogMessage(LOG_ERROR, kTag, "Couldn't start the scene build: %s", error.what());
        mBuildResult = -1;
    }
}

void TruthView::FinishBuild() {
    if (mBuilder.joinable())
        mBuilder.join();
    if (mBuildResult != 0) {
        mSceneState = SCENE_FAILED;
        mFailure = "the ray-tracing scene could not be built";
    } else if (mScene->TriangleCount() == 0) {
        mSceneState = SCENE_FAILED;
        mFailure = "the model holds no triangles to trace";
    } else {
        mSceneState = SCENE_READY;
        LogMessage(LOG_INFO, kTag, "Ray-tracing scene: %u triangles, ready %.2f s after G",
                   mScene->TriangleCount(), SecondsSince(mAskedAt));
        return;
    }
    LogMessage(LOG_ERROR, kTag, "No ray-traced truth: %s", mFailure.c_str());
    mScene.reset();
}

void TruthView::Update(const SceneGraphNode& root, Umbrelix* renderer, const CameraSetup& camera) {
    if (mMode == TRUTH_OFF)
        return;
    if (mSceneState == SCENE_NONE) {
        if (renderer->LoadTruthProgram() != 0) {
            mSceneState = SCENE_FAILED;
            mProgramFailed = true;
            mFailure = "the truth's shader did not load";
            LogMessage(LOG_ERROR, kTag, "No ray-traced truth: %s", mFailure.c_str());
            return;
        }
        StartBuild(root);
    }
    if (mSceneState == SCENE_BUILDING && mBuildResult != kBuilding)
        FinishBuild();
    if (mSceneState != SCENE_READY)
        return;
    if (!mTrace.Running()) {
        ProgressiveSettings settings;
        settings.threads = kTruthThreads;
        settings.firstRoundRays = kTruthFirstRoundRays;
        settings.raysPerRound = kTruthRaysPerRound;
        settings.lowPriority = true;
        if (mTrace.Start(mScene.get(), settings) != 0) {
            mSceneState = SCENE_FAILED;
            mFailure = "the tracing threads could not be started";
            return;
        }
    }
    const bool nothingBefore = mNothingToTrace;
    mNothingToTrace = renderer->Settings().radius <= 0.0f;
    if (mNothingToTrace) {
        if (!nothingBefore)
            LogMessage(LOG_INFO, kTag, "Truth: %s", kNothingToTrace);
        return;
    }
    uint64_t generation = mTrace.Generation();
    mCamera = camera;
    mRadius = renderer->Settings().radius;
    mTrace.SetView(camera, mRadius);
    if (mTrace.Generation() != generation) {
        mAskedAt = std::chrono::steady_clock::now();
        mFigures = TruthFigures();
    }
    int before = mSeenRays;
    if (mTrace.Snapshot(&mSeenGeneration, &mSeenRays, &mLatest)) {
        mUploadFailed = renderer->UploadTruth(TruthTexels(mLatest.image), mLatest.image.width,
                                              mLatest.image.height) != 0;
        for (int mark : {kTruthFirstRoundRays, kTruthFiguresFromRays, kTruthRays}) {
            if (before < mark && mLatest.rays >= mark)
                LogMessage(LOG_INFO, kTag, "Truth: %d rays per pixel %.2f s after the view was set",
                           mLatest.rays, SecondsSince(mAskedAt));
        }
    }
    UpdateFigures(renderer);
}

void TruthView::UpdateFigures(Umbrelix* renderer) {
    if (mPending.valid()) {
        if (mPending.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            return;
        TruthFigures done = mPending.get();
        if (mPendingInputs.generation == mTrace.Generation()) {
            mFigures = done;
            mFigures.estimator = mPendingInputs.settings.estimator;
            mFigureInputs = mPendingInputs;
            // Named by the estimator that drew the occlusion read back, which
            // a switch since then does not change.
            if (done.valid)
                LogMessage(LOG_INFO, kTag,
                           "Figures of the %s estimator at %d rays: MAE %.4f  bias %+.4f  SSIM "
                           "%.4f over %llu pixels",
                           EstimatorName(mFigures.estimator), done.rays, done.errors.mae,
                           done.errors.bias, done.errors.ssim, (unsigned long long)done.pixels);
        }
    }
    bool current = mLatest.generation == mTrace.Generation();
    if (!current || mLatest.rays < kTruthFiguresFromRays)
        return;
    FigureInputs now = SettingsNow(*renderer, mLatest.generation);
    now.rays = FigureRays(mLatest.rays);
    if (now == mFigureInputs)
        return;
    // Reading the targets back waits for the frame: done only when the
    // truth or a setting changed, and the arithmetic runs off this thread.
    // The truth was traced at the targets' size, which a resized window
    // leaves as it was.
    int width = mLatest.image.width, height = mLatest.image.height;
    if (width != renderer->TargetWidth() || height != renderer->TargetHeight())
        return;
    GreyImage ours = ReadOcclusion(renderer->ShownOcclusionTexture(), width, height);
    std::vector<float> depth = ReadViewDepth(renderer->GPosition(), width, height);
    mPendingInputs = now;
    try {
        const std::atomic<bool>* stop = &mStopFigures;
        mPending =
            std::async(std::launch::async, [traced = mLatest.image, ours = std::move(ours),
                                            depth = std::move(depth), rays = now.rays, stop] {
                return ComputeFigures(traced, ours, depth, rays, stop);
            });
    } catch (const std::system_error& error) {
        LogMessage(LOG_WARNING, kTag, "Couldn't start the figures: %s", error.what());
    }
}

bool TruthView::ViewTraced() const {
    return !mNothingToTrace && mLatest.rays > 0 && mLatest.generation == mTrace.Generation() &&
           !mUploadFailed;
}

const TruthFigures* TruthView::FiguresOfView(const Umbrelix& renderer) const {
    if (!mFigures.valid || !ViewTraced() || mFigureInputs.generation != mLatest.generation)
        return nullptr;
    FigureInputs now = SettingsNow(renderer, mLatest.generation);
    now.rays = mFigureInputs.rays;
    return now == mFigureInputs ? &mFigures : nullptr;
}

void TruthView::ProgramsReloaded(const Umbrelix& renderer) {
    if (mSceneState != SCENE_FAILED || !mProgramFailed || !renderer.HasTruthProgram())
        return;
    mProgramFailed = false;
    mFailure.clear();
    mSceneState = SCENE_NONE;
    LogMessage(LOG_INFO, kTag, "The truth's program is built: the truth is available again");
}

void TruthView::Draw(Umbrelix* renderer) const {
    if (!ViewTraced()) {
        // Nothing of this view traced yet: a cleared screen, not the last view's truth.
        renderer->DrawTruthView(mMode == TRUTH_DIFFERENCE, false);
        return;
    }
    renderer->DrawTruthView(mMode == TRUTH_DIFFERENCE, true);
}

void TruthView::StatusLines(std::string* rays, std::string* figures, bool* failed) const {
    char line[128];
    rays->clear();
    figures->clear();
    *failed = mSceneState == SCENE_FAILED;
    if (mMode == TRUTH_OFF)
        return;
    // The line says what the picture under it is.
    const char* view = mMode == TRUTH_SHOWN ? "Truth" : "Difference (ours - truth)";
    if (mSceneState == SCENE_FAILED) {
        snprintf(line, sizeof(line), "Truth: unavailable: %s", mFailure.c_str());
    } else if (mNothingToTrace) {
        snprintf(line, sizeof(line), "%s: %s", view, kNothingToTrace);
    } else if (mSceneState != SCENE_READY) {
        snprintf(line, sizeof(line), "%s: building the ray-tracing scene", view);
    } else {
        int traced = mLatest.generation == mTrace.Generation() ? mLatest.rays : 0;
        snprintf(line, sizeof(line), "%s: %d rays per pixel%s", view, traced,
                 traced >= kTruthRays ? " (done)" : "");
    }
    *rays = line;
    if (mFigures.valid && !mNothingToTrace && mFigureInputs.generation == mTrace.Generation()) {
        snprintf(line, sizeof(line), "%s vs truth (%d rays): MAE %.4f  bias %+.4f  SSIM %.4f",
                 EstimatorName(mFigures.estimator), mFigures.rays, mFigures.errors.mae,
                 mFigures.errors.bias, mFigures.errors.ssim);
        *figures = line;
    }
}
