// ProgressiveTrace: the ray-traced occlusion of one view, sharpened in rounds
// on worker threads: every round adds a few rays to every pixel, until the
// full lattice of the one-shot trace has been traced. A new view (camera or
// radius) discards the rounds done and starts again.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include <glm/glm.hpp>

#include "ssao/AoTrace.h"

class AoScene;

// The one-shot trace's ray count, and the ray count from which figures are shown.
constexpr int kTruthRays = 256;
constexpr int kTruthFiguresFromRays = 16;

// The first round traces firstRoundRays per pixel; each later one as many
// as all before it together, up to raysPerRound (4, 4, 8, 16, 16, ...): a
// picture at once, then full packets. totalRays / firstRoundRays must be a
// power of two and raysPerRound a multiple of firstRoundRays.
struct ProgressiveSettings {
    int threads = 1;
    int firstRoundRays = 4;
    int raysPerRound = 16;
    int totalRays = kTruthRays;
    bool lowPriority = true; // workers yield the cores to the renderer
};

// The traced view as it stands after whole rounds: rows top first.
struct TruthSnapshot {
    uint64_t generation = 0; // which view this is (changes with every restart)
    int rays = 0;            // rays per pixel in every pixel
    ReferenceImage image;    // visibility, mask and depth
};

class ProgressiveTrace {
public:
    ProgressiveTrace();
    // Stops and joins the workers.
    ~ProgressiveTrace();
    ProgressiveTrace(const ProgressiveTrace&) = delete;
    ProgressiveTrace& operator=(const ProgressiveTrace&) = delete;

    // Starts the workers on scene (which must outlive them). 0, or -1
    // (logged) when the settings are unusable or a thread can't be started.
    int Start(const AoScene* scene, const ProgressiveSettings& settings);
    // Ends the rounds at once (a row in flight is abandoned) and joins the
    // workers; a later Start and SetView trace from the first round. Safe to
    // call again.
    void Stop();
    bool Running() const { return !mWorkers.empty(); }

    // Traces camera at radius from the first round, unless it is the view
    // already being traced. Returns once no worker holds the old view.
    void SetView(const CameraSetup& camera, float radius);
    // Waits for nothing: the rays of every pixel after the whole rounds so far.
    int RaysDone() const { return mRaysDone.load(); }
    uint64_t Generation() const { return mGeneration.load(); }
    // Copies the picture when it changed since *seen (a generation and a ray
    // count); false when it did not.
    bool Snapshot(uint64_t* seenGeneration, int* seenRays, TruthSnapshot* out) const;
    // Blocks until every ray is traced or timeoutMs passed (tests, tools).
    bool WaitComplete(int timeoutMs) const;

    // The lattice is cut into n slices of firstRoundRays indices each (slice
    // s: s, s + n, s + 2n, ...); rounds take the slices in the order
    // bitreverse(0), bitreverse(1), ..., so early rounds spread over the
    // whole hemisphere. Exposed for the tests.
    static int RoundResidue(int round, int rounds);

private:
    struct Pixel {
        glm::vec3 position;
        glm::vec3 normal;
        float eyeDistance;
    };
    void Worker();
    void TraceRow(int y, int done, uint64_t generation);
    int RoundRays(int done) const;
    void PrimaryRow(int y);
    void FinishRow(uint64_t generation);

    const AoScene* mScene;
    ProgressiveSettings mSettings;
    std::vector<std::thread> mWorkers;

    mutable std::mutex mMutex;
    std::condition_variable mWork;         // workers wait here for rows
    mutable std::condition_variable mIdle; // SetView and WaitComplete wait here
    std::atomic<bool> mStopping;
    bool mHasView;
    int mNextRow;
    int mRowsDone;
    int mBusy;
    std::atomic<uint64_t> mGeneration;
    std::atomic<int> mRaysDone;

    // The view, fixed while any worker is busy.
    CameraSetup mCamera;
    float mRadius;
    glm::mat4 mInverse;
    glm::vec3 mEye;
    std::vector<Pixel> mPixels;
    std::vector<uint8_t> mMask;
    std::vector<float> mDepth;
    // Escaped rays per pixel, each row written by the one worker that holds
    // it; copied into mPublished by the worker that ends a round, under the
    // mutex, before any row of the next round can be taken.
    std::vector<uint16_t> mOpen;
    std::vector<uint16_t> mPublished;
    int mPublishedRays;
};
