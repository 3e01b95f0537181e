// Vesperon: the demo application. Sets up the SSAO renderer, the programs and
// the model scene, runs the main loop (events, camera, SSAO frame, overlay,
// present) and maps the controls to the camera and the SSAO settings.
#pragma once

#include <string>
#include <vector>

#include <glm/glm.hpp>

#include "engine/Engine.h"
#include "core/Timer.h"
#include "demo/Camera.h"
#include "demo/DemoOptions.h"
#include "demo/StatusOverlay.h"
#include "demo/TruthView.h"
#include "gpu/ShaderProgram.h"
#include "scene/SceneGraphNode.h"

struct Event;
struct ShotFile;
class Mesh;
struct ModelFiles;
class Texture;
class FrameObserver;
class Umbrelix;

constexpr int kFrameRateSamples = 10;
// The program's exit status when start-up failed (also when a signal ends it
// while the model error box is up).
constexpr int kStartFailedStatus = 1;

// The frame rate shown is the mean of the last ten instantaneous rates.
struct FrameRateRing {
    int index = 0;
    float sum = 0.0f;
    float samples[kFrameRateSamples] = {};

    // Adds the rate of a frame that took frameMs; a frame measured as 0 ms
    // (below the timer's resolution) is skipped rather than divided by.
    void Add(float frameMs);
    float Mean() const { return sum / kFrameRateSamples; }
};

enum ViewMode {
    VIEW_LIT = 0,
    VIEW_GBUFFER = 1,
    VIEW_OCCLUSION = 2,
};

class Vesperon : public Engine {
public:
    Vesperon();
    ~Vesperon() override;

    int Init(int flags) override;
    void Run() override;
    void Shutdown() override;

    // The main loop's pieces, in the order Run drives them.
    void BeginRun();
    // One frame of the loop; observer (if any) is told before and after each
    // of the renderer's passes, as the tools' own work is.
    void Frame(FrameObserver* observer = nullptr);
    void EndRun();
    // The frame's camera step: the motion over the time since the last step,
    // the look angles, and the view matrix that follows.
    glm::mat4 StepCamera();
    // The tools' work between the occlusion passes and the final view.
    void UpdateTools();

    // Controls: event-bus callbacks, the application as the user pointer.
    static void OnQuit(Event* event, void* user);
    static void OnKey(Event* event, void* user);
    static void OnMouseMotion(Event* event, void* user);
    static void OnTouch(Event* event, void* user);
    void ToggleSSAO();
    // H: hemisphere <-> horizon estimator, from the next frame.
    void ToggleEstimator();
    // N: shading <-> geometric normals for the occlusion; C: accumulation
    // of a view at rest on / off. Both from the next frame.
    void ToggleNormals();
    void ToggleAccumulation();

    Umbrelix* GetRenderer() const;

    // What the tools ask of the application (they never touch its fields).
    // The options Init opens with (set before Init; the defaults open the
    // demo's own scene).
    void UseOptions(const DemoOptions& options) { mOptions = options; }
    const DemoOptions& Options() const { return mOptions; }
    // Whether the loop would go on: false once the user or a signal asked to quit.
    bool Running() const { return mRunning; }
    const SceneGraphNode& SceneRoot() const { return mSceneRoot; }
    // Places the motion state and look angles so that the next frames view
    // from eye along dir and stay there (no motion input).
    void Aim(const glm::vec3& eye, const glm::vec3& dir);
    // The renderer's view and projection now and its render-target size.
    CameraSetup ViewCamera() const;
    // Bytes in used zone blocks (headers and guard words included) and their count.
    void ZoneUse(uint64_t* bytes, uint64_t* blocks) const;

    // Init's steps after the engine's subsystems, for tools that start the
    // demo on another model: each returns 0, or -1 after logging why.
    int StartRenderer();
    int LoadPrograms();
    // Loads the model at modelPath with the demo's loader (its guards and
    // log lines) and places it; 0, or -1 after logging why. Init uses it on
    // the demo's own model, the tools on theirs (files, when given, lists
    // every file the load read).
    int LoadScene(const char* modelPath, ModelFiles* files = nullptr);
    // The loaded model scaled into place (mOptions.scale), world transforms
    // computed, the eye at its start (mOptions' eye and direction when given).
    void PlaceScene();

    // What Init opens: the model, its scale, the first view and the settings.
    DemoOptions mOptions;
    ShaderProgram mSceneProgram;
    ShaderProgram mTextureProgram;
    ShaderProgram mLightingProgram;
    SceneGraphNode mSceneRoot;
    Mesh* mMeshes;
    Texture* mMaterialTextures;
    Camera mCamera;
    glm::vec3 mPreviousPosition;
    glm::vec3 mCurrentPosition;
    float mMoveForward;
    float mMoveRight;
    float mPitch;
    float mYaw;
    int mViewMode;

    // State of one Run: the overlay, the two timers and the frame-rate ring.
    StatusOverlay mOverlay;
    Timer mMotionTimer;
    Timer mFrameRateTimer;
    FrameRateRing mFrameRate;

    // The truth of the view, shader reload and screenshots (VesperonTools.cpp).
    TruthView mTruth;
    std::string mShaderError;     // first error line of the last failed reload
    std::string mScreenshotError; // why the last screenshot was not written
    bool mScreenshotAsked = false;
    Timer mToolLogTimer;
    void CycleTruth();
    void ReloadShaders();
    // Writes the window as shown (and with the truth on, the truth, the
    // difference and a JSON of the view) into folder; the names written go
    // to *written. 0, or -1 (logged, and shown in the overlay).
    int TakeScreenshot(const std::string& folder, std::vector<std::string>* written);

private:
    // The demo's own programs with their files, in load order: loading,
    // reloading (F5) and releasing use it.
    std::vector<ShaderSource> ProgramTable();
    int InitScene();
    void ShowModelError();
    void ReleasePrograms();
    void OnKeyPressed(int key);
    void OnKeyReleased(int key);
    // Frame steps of the tools: in place of the final view, after the
    // overlay's own lines, and before presenting (UpdateTools, public, runs
    // after the occlusion passes).
    bool DrawToolView();
    void SetToolLines();
    void FinishToolFrame();
    // The traced picture, the difference and the JSON of the view on screen,
    // encoded under stem. False with the reason in *error.
    bool AddTruthFiles(const std::string& stem, const CameraSetup& camera,
                       const std::string& command, std::vector<ShotFile>* files,
                       std::string* error);
};
