// ProgressiveTrace: rows of the current round handed to workers one at a
// time; the worker that ends a round publishes it. Restarts wait for the rows
// in flight, which notice the new view and give up within a pixel.
#include "ssao/ProgressiveTrace.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <chrono>
#include <cstring>

#include <glm/gtc/matrix_access.hpp>

#include "core/Logger.h"
#include "ssao/AoScene.h"

namespace {

const char* const kTag = "AoTruth";
// Workers run at this niceness: the renderer's thread and the GL driver's
// get the larger share of the cores (higher values starve the tracer while
// the renderer runs flat out).
constexpr int kWorkerNiceness = 2;

bool IsPowerOfTwo(int n) {
    return n > 0 && (n & (n - 1)) == 0;
}

bool SameMatrix(const glm::mat4& a, const glm::mat4& b) {
    return std::memcmp(&a, &b, sizeof(glm::mat4)) == 0;
}

} // namespace

int ProgressiveTrace::RoundResidue(int round, int rounds) {
    assert(IsPowerOfTwo(rounds) && "the round count is a power of two");
    int reversed = 0;
    for (int bit = 1, top = rounds >> 1; bit < rounds; bit <<= 1, top >>= 1)
        if (round & bit)
            reversed |= top;
    return reversed;
}

ProgressiveTrace::ProgressiveTrace()
    : mScene(nullptr), mStopping(false), mHasView(false), mNextRow(0), mRowsDone(0), mBusy(0),
      mGeneration(0), mRaysDone(0), mRadius(0.0f), mInverse(1.0f), mEye(0.0f), mPublishedRays(0) {}

ProgressiveTrace::~ProgressiveTrace() {
    Stop();
}

int ProgressiveTrace::Start(const AoScene* scene, const ProgressiveSettings& settings) {
    assert(!Running() && "Start once, or after Stop");
    int first = settings.firstRoundRays;
    if (!scene || settings.threads < 1 || first < 1 || settings.raysPerRound < first ||
        settings.raysPerRound % first != 0 || settings.totalRays % first != 0 ||
        !IsPowerOfTwo(settings.totalRays / first) || settings.totalRays > UINT16_MAX) {
        LogMessage(LOG_ERROR, kTag,
                   "Unusable progressive trace: %d threads, %d then %d of %d rays a round",
                   settings.threads, first, settings.raysPerRound, settings.totalRays);
        return -1;
    }
    mScene = scene;
    mSettings = settings;
    mStopping = false;
    try {
        for (int i = 0; i < settings.threads; ++i)
            mWorkers.emplace_back(&ProgressiveTrace::Worker, this);
    } catch (const std::system_error& error) {
        LogMessage(LOG_ERROR, kTag, "Couldn't start a tracing thread: %s", error.what());
        Stop();
        return -1;
    }
    return 0;
}

void ProgressiveTrace::Stop() {
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mStopping = true;
    }
    mWork.notify_all();
    for (std::thread& worker : mWorkers)
        worker.join();
    mWorkers.clear();
    // Rows abandoned by the stop were never counted: the next start traces
    // its view from the first round again.
    std::lock_guard<std::mutex> lock(mMutex);
    mHasView = false;
    ++mGeneration;
    mIdle.notify_all();
}

void ProgressiveTrace::SetView(const CameraSetup& camera, float radius) {
    std::unique_lock<std::mutex> lock(mMutex);
    if (mHasView && SameMatrix(camera.view, mCamera.view) &&
        SameMatrix(camera.proj, mCamera.proj) && camera.width == mCamera.width &&
        camera.height == mCamera.height && radius == mRadius)
        return;
    // Rows in flight see the new generation and return; nothing of the old
    // view is written once they have.
    mHasView = false;
    ++mGeneration;
    mIdle.wait(lock, [this] { return mBusy == 0; });
    mCamera = camera;
    mRadius = radius;
    mInverse = glm::inverse(camera.proj * camera.view);
    mEye = glm::vec3(glm::inverse(camera.view)[3]);
    size_t pixels = size_t(std::max(0, camera.width)) * size_t(std::max(0, camera.height));
    mPixels.assign(pixels, Pixel{});
    mMask.assign(pixels, 0);
    mDepth.assign(pixels, 0.0f);
    mOpen.assign(pixels, 0);
    mPublished.clear();
    mPublishedRays = 0;
    mRaysDone = 0;
    mNextRow = 0;
    mRowsDone = 0;
    mHasView = pixels > 0 && radius > 0.0f;
    lock.unlock();
    mWork.notify_all();
}

bool ProgressiveTrace::Snapshot(uint64_t* seenGeneration, int* seenRays, TruthSnapshot* out) const {
    std::lock_guard<std::mutex> lock(mMutex);
    uint64_t generation = mGeneration.load();
    if (mPublishedRays == 0 || (generation == *seenGeneration && mPublishedRays == *seenRays))
        return false;
    out->generation = generation;
    out->rays = mPublishedRays;
    out->image.width = mCamera.width;
    out->image.height = mCamera.height;
    out->image.mask = mMask;
    out->image.depth = mDepth;
    out->image.visibility.resize(mPublished.size());
    float scale = 1.0f / float(mPublishedRays);
    for (size_t i = 0; i < mPublished.size(); ++i)
        out->image.visibility[i] = mMask[i] ? float(mPublished[i]) * scale : 1.0f;
    *seenGeneration = generation;
    *seenRays = mPublishedRays;
    return true;
}

bool ProgressiveTrace::WaitComplete(int timeoutMs) const {
    std::unique_lock<std::mutex> lock(mMutex);
    return mIdle.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] {
        return mStopping || (mHasView && mPublishedRays >= mSettings.totalRays);
    });
}

void ProgressiveTrace::Worker() {
    if (mSettings.lowPriority) {
        // Linux takes a thread id here: only this worker is lowered.
        setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), kWorkerNiceness);
    }
    std::unique_lock<std::mutex> lock(mMutex);
    for (;;) {
        mWork.wait(lock, [&] {
            return mStopping ||
                   (mHasView && mPublishedRays < mSettings.totalRays && mNextRow < mCamera.height);
        });
        if (mStopping)
            return;
        int y = mNextRow++;
        int done = mPublishedRays;
        uint64_t generation = mGeneration.load();
        ++mBusy;
        lock.unlock();
        TraceRow(y, done, generation);
        lock.lock();
        --mBusy;
        FinishRow(generation);
        if (mBusy == 0)
            mIdle.notify_all();
    }
}

// Under the mutex. A row of an older view counts for nothing.
void ProgressiveTrace::FinishRow(uint64_t generation) {
    if (generation != mGeneration.load() || mStopping || !mHasView)
        return;
    if (++mRowsDone < mCamera.height)
        return;
    // The last row of the round: every row of it is written and no row of
    // the next round can be taken before this returns.
    mPublished = mOpen;
    mPublishedRays += RoundRays(mPublishedRays);
    mRaysDone = mPublishedRays;
    mRowsDone = 0;
    mNextRow = 0;
    mWork.notify_all();
    mIdle.notify_all();
}

void ProgressiveTrace::PrimaryRow(int y) {
    glm::vec4 viewZ = glm::row(mCamera.view, 2); // dot with a point gives its view-space z
    for (int x = 0; x < mCamera.width; ++x) {
        size_t index = size_t(y) * mCamera.width + x;
        PixelRay ray = CameraRay(mInverse, x, y, mCamera.width, mCamera.height);
        SurfaceHit hit{};
        if (!mScene->Intersect(ray.origin, ray.dir, 1.0f, &hit))
            continue;
        mMask[index] = 1;
        mDepth[index] = -glm::dot(viewZ, glm::vec4(hit.position, 1.0f));
        mPixels[index] = Pixel{hit.position, hit.normal, glm::length(hit.position - mEye)};
    }
}

int ProgressiveTrace::RoundRays(int done) const {
    if (done == 0)
        return mSettings.firstRoundRays;
    return std::min({mSettings.raysPerRound, done, mSettings.totalRays - done});
}

void ProgressiveTrace::TraceRow(int y, int done, uint64_t generation) {
    if (done == 0)
        PrimaryRow(y);
    // The slices of this round, the same for every pixel.
    int sliceRays = mSettings.firstRoundRays;
    int slices = mSettings.totalRays / sliceRays;
    std::vector<int> indices;
    for (int s = done / sliceRays; s < (done + RoundRays(done)) / sliceRays; ++s) {
        int slice = RoundResidue(s, slices);
        for (int j = 0; j < sliceRays; ++j)
            indices.push_back(slice + j * slices);
    }
    // Neighbouring indices leave at neighbouring elevations: packets of
    // them share more of their way through the hierarchy.
    std::sort(indices.begin(), indices.end());
    for (int x = 0; x < mCamera.width; ++x) {
        if (mGeneration.load(std::memory_order_relaxed) != generation ||
            mStopping.load(std::memory_order_relaxed))
            return;
        size_t index = size_t(y) * mCamera.width + x;
        if (!mMask[index])
            continue;
        const Pixel& p = mPixels[index];
        glm::vec2 shift = PixelLatticeShift(index);
        mOpen[index] += uint16_t(mScene->OpenRays(p.position, p.normal, p.eyeDistance, mRadius,
                                                  mSettings.totalRays, indices.data(),
                                                  int(indices.size()), shift.x, shift.y, true));
    }
}
