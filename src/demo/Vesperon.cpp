// Vesperon: start-up, the main loop and shutdown of the demo application.
#include "demo/Vesperon.h"

#include <cassert>

#include <glm/gtc/matrix_transform.hpp>

#include <SDL2/SDL.h>

#include "core/Logger.h"
#include "demo/BoxSignals.h"
#include "gpu/Texture.h"
#include "gpu/Window.h"
#include "input/EventBus.h"
#include "memory/Allocator.h"
#include "memory/CountedArray.h"
#include "memory/ZoneAllocator.h"
#include "scene/Mesh.h"
#include "scene/ModelLoader.h"
#include "ssao/Umbrelix.h"

namespace {

const char* const kTag = "Game";
const char* const kModelErrorCaption = "Error loading model";
const char* const kModelErrorText = "Couldn't load ";

} // namespace

void FrameRateRing::Add(float frameMs) {
    if (frameMs <= 0.0f)
        return;
    float fps = 1000.0f / frameMs;
    sum = sum - samples[index] + fps;
    samples[index] = fps;
    index = (index + 1) % kFrameRateSamples;
}

Vesperon::Vesperon()
    : Engine("Vesperon"), mMeshes(nullptr), mMaterialTextures(nullptr), mPreviousPosition(0.0f),
      mCurrentPosition(0.0f), mMoveForward(0.0f), mMoveRight(0.0f), mPitch(0.0f), mYaw(0.0f),
      mViewMode(VIEW_LIT) {}

// The programs were released in Shutdown, before the engine destroyed the
// context; the destructor makes no GL call (there may be no context left).
Vesperon::~Vesperon() = default;

Umbrelix* Vesperon::GetRenderer() const {
    return static_cast<Umbrelix*>(mRenderer);
}

int Vesperon::Init(int flags) {
    int result = Engine::Init(flags & ~SUBSYSTEM_RENDERER);
    if (result != 0)
        return result;
    if (!(flags & SUBSYSTEM_RENDERER)) {
        // Everything after this point draws: programs, textures and meshes
        // need the renderer's context.
        LogMessage(LOG_ERROR, kTag, "The demo needs the rendering subsystem");
        return -1;
    }
    if (StartRenderer() != 0)
        return -1;
    // The renderer uploads only what differs from its start values, so that
    // without options start-up runs exactly as it always has.
    GetRenderer()->ApplySettings(mOptions.settings);
    return InitScene();
}

int Vesperon::StartRenderer() {
    LogMessage(LOG_INFO, kTag, "Initialising rendering subsystem");
    Umbrelix* renderer = new Umbrelix(mWindow);
    mRenderer = renderer; // the engine's Shutdown releases it, also after a failure
    if (renderer->Init() != 0)
        return -1;
    SDL_GL_SetSwapInterval(0);
    return 0;
}

std::vector<ShaderSource> Vesperon::ProgramTable() {
    return {
        {&mSceneProgram, "shaders/Scene.vert", "shaders/Scene.frag"},
        {&mTextureProgram, "shaders/Texture.vert", "shaders/Texture.frag"},
        {&mLightingProgram, "shaders/SSAO.vert", "shaders/Lighting.frag"},
    };
}

int Vesperon::LoadPrograms() {
    return LoadShaderPrograms(ProgramTable());
}

int Vesperon::InitScene() {
    if (LoadPrograms() != 0)
        return -1;
    if (LoadScene(mOptions.modelPath.c_str()) != 0) {
        ShowModelError();
        return -1;
    }
    return 0;
}

int Vesperon::LoadScene(const char* modelPath, ModelFiles* files) {
    if (LoadModelFile(modelPath, mAllocator, &mSceneRoot, &mMeshes, &mMaterialTextures, files) != 0)
        return -1;
    PlaceScene();
    return 0;
}

void Vesperon::PlaceScene() {
    mSceneRoot.mLocalTransform = glm::translate(glm::mat4(1.0f), glm::vec3(0.0f));
    mSceneRoot.SetScale(glm::vec3(mOptions.scale));
    mSceneRoot.Update();
    if (mOptions.hasEye && mOptions.hasDir)
        Aim(mOptions.eye, mOptions.dir);
    else
        mCurrentPosition = mPreviousPosition = glm::vec3(0.0f, kEyeHeight, 0.0f);
}

// A modal box over the application window; Init goes on (and fails) once
// the user has dismissed it, or a signal ends the process meanwhile. A stop
// asked for while the model was still loading (SDL has turned SIGINT or
// SIGTERM into a quit event nobody has read yet) is answered instead: no box.
void Vesperon::ShowModelError() {
    if (mLogger->mLevel < LOG_ERROR)
        return;
    // Installed first: a signal after the check below ends the process at once.
    ExitOnSignalWhileBlocked endOnSignal(kStartFailedStatus);
    if (SDL_QuitRequested()) {
        LogMessage(LOG_INFO, kTag, "Asked to quit while the model loaded: no error box");
        return;
    }
    const std::string text = kModelErrorText + mOptions.modelPath;
    if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, kModelErrorCaption, text.c_str(),
                                 mWindow ? mWindow->mSDLWindow : nullptr) != 0)
        LogMessage(LOG_WARNING, kTag, "Couldn't show the error box: %s", SDL_GetError());
}

void Vesperon::Run() {
    BeginRun();
    while (mRunning)
        Frame();
    EndRun();
}

void Vesperon::BeginRun() {
    mRunning = true;
    SDL_SetRelativeMouseMode(SDL_TRUE);
    mRenderer->UseShader(&mSceneProgram);
    mRenderer->SetProjectionMatrix(
        MakeProjection(static_cast<float>(mWindow->mWidth), static_cast<float>(mWindow->mHeight)));
    mEventBus->RegisterHandler(EVENT_QUIT, OnQuit, this);
    mEventBus->RegisterHandler(EVENT_KEY, OnKey, this);
    mEventBus->RegisterHandler(EVENT_MOUSE_MOTION, OnMouseMotion, this);
    mEventBus->RegisterHandler(EVENT_TOUCH_FINGER, OnTouch, this);
    int dpi = mWindow->GetDPI();
    mOverlay.Create(mAllocator, static_cast<uint32_t>(dpi));
    mMotionTimer = Timer();
    mFrameRateTimer = Timer();
    mFrameRate = FrameRateRing();
}

namespace {

// Keeps the truth (and whatever else the tools do) between the occlusion
// passes and the final view, where it reads the frame's occlusion; passes
// every step on to the caller's observer too.
class ToolsBeforeFinalView : public FrameObserver {
public:
    ToolsBeforeFinalView(Vesperon* app, FrameObserver* next) : mApp(app), mNext(next) {}
    void BeforePass(FramePass pass) override {
        if (pass == FRAME_FINAL)
            mApp->UpdateTools();
        if (mNext)
            mNext->BeforePass(pass);
    }
    void AfterPass(FramePass pass) override {
        if (mNext)
            mNext->AfterPass(pass);
    }

private:
    Vesperon* mApp = nullptr;
    FrameObserver* mNext = nullptr;
};

FinalView FinalViewOf(int viewMode) {
    return viewMode >= VIEW_LIT && viewMode <= VIEW_OCCLUSION ? FinalView(viewMode) : FINAL_NONE;
}

} // namespace

glm::mat4 Vesperon::StepCamera() {
    // A step below the timer's resolution reads as 0 ms: the motion step
    // skips it instead of dividing by it.
    float dt = mMotionTimer.DeltaMs() / 1000.0f;
    MotionStep(mPreviousPosition, mCurrentPosition, mMoveForward, mMoveRight, mCamera, dt);
    mCamera.mPitch = ClampPitch(mPitch);
    mCamera.mYaw = mYaw;
    mCamera.UpdateVectors();
    return mCamera.GetViewMatrix();
}

void Vesperon::Frame(FrameObserver* observer) {
    Umbrelix* renderer = GetRenderer();
    mEventBus->ProcessEvents();
    glm::mat4 view = StepCamera();
    // With the truth on, its view takes the final view's place.
    ToolsBeforeFinalView tools(this, observer);
    renderer->RenderFrame(view, &mSceneRoot, mTruth.On() ? FINAL_NONE : FinalViewOf(mViewMode),
                          &tools);
    DrawToolView();

    mOverlay.Update(renderer->Settings(), mFrameRate.Mean());
    SetToolLines();
    mOverlay.Draw(renderer);
    FinishToolFrame();
    SDL_GL_SwapWindow(mWindow->mSDLWindow);
    mFrameRate.Add(mFrameRateTimer.DeltaMs());
}

// Previous and current positions equal and no input: the damped motion step
// computes a zero velocity (below its stop threshold) and leaves the eye in
// place frame after frame. The frame copies mPitch/mYaw into the camera.
void Vesperon::Aim(const glm::vec3& eye, const glm::vec3& dir) {
    float pitch = 0.0f, yaw = 0.0f;
    bool aimed = DirectionToAngles(dir, &pitch, &yaw);
    assert(aimed && "directions are checked when the options are parsed");
    (void)aimed;
    mMoveForward = 0.0f;
    mMoveRight = 0.0f;
    mPitch = ClampPitch(pitch);
    mYaw = yaw;
    mPreviousPosition = eye;
    mCurrentPosition = eye;
    mCamera.mPosition = eye;
    mCamera.mPitch = mPitch;
    mCamera.mYaw = mYaw;
    mCamera.UpdateVectors();
}

CameraSetup Vesperon::ViewCamera() const {
    const Umbrelix* renderer = GetRenderer();
    CameraSetup camera;
    camera.view = renderer->ViewMatrix();
    camera.proj = renderer->ProjectionMatrix();
    // The render targets keep the drawable size of start-up (larger than the
    // window on a high-DPI display) when the window is resized later: the
    // truth is traced and read back at their size, never the window's now.
    camera.width = renderer->TargetWidth();
    camera.height = renderer->TargetHeight();
    return camera;
}

void Vesperon::ZoneUse(uint64_t* bytes, uint64_t* blocks) const {
    const ZoneAllocator* zone = static_cast<const ZoneAllocator*>(mAllocator);
    *bytes = zone->BytesInUse();
    *blocks = zone->mAllocCount;
}

void Vesperon::EndRun() {
    mTruth.Stop();
    mOverlay.Destroy();
}

void Vesperon::ReleasePrograms() {
    DestroyShaderPrograms(ProgramTable());
}

void Vesperon::Shutdown() {
    // A run that never reached EndRun still holds the overlay, whose texts
    // and atlas need the context and the zone torn down below, and may
    // still be tracing the meshes released below.
    mTruth.Stop();
    mOverlay.Destroy();
    if (mMeshes)
        DeleteCountedArray(mAllocator, mMeshes);
    if (mMaterialTextures)
        DeleteCountedArray(mAllocator, mMaterialTextures);
    mMeshes = nullptr;
    mMaterialTextures = nullptr;
    // The programs belong to the context the engine is about to destroy.
    if (mRenderer)
        ReleasePrograms();
    Engine::Shutdown();
}
