// Controls: the demo's event handlers. Keys fly the camera and change the
// SSAO settings, the mouse turns the view, touch does both by screen half.
#include "demo/Controls.h"

#include <cmath>

#include <SDL2/SDL.h>

#include "core/Logger.h"
#include "demo/Vesperon.h"
#include "gpu/Window.h"
#include "input/EventBus.h"
#include "input/InputDriver.h"
#include "ssao/Umbrelix.h"

namespace {

constexpr float kMouseDegreesPerPixel = 0.1f;
constexpr float kTouchTurnDegrees = 180.0f; // a swipe across the window turns half a circle
constexpr float kTouchMoveGain = 30.0f;

// Touch bands match the overlay rows: frame rate and SSAO above 30 pixels,
// blur from 30 to 45, samples from 45 to 60.
constexpr float kBandBlur = 30.0f;
constexpr float kBandSamples = 45.0f;
constexpr float kBandEnd = 60.0f;

Vesperon* App(void* user) {
    return static_cast<Vesperon*>(user);
}

constexpr float kHundredth = 100.0f;

float StepUp(float value, int top) {
    return FromHundredths(StepUpHundredths(ToHundredths(value), top));
}

float StepDown(float value, int top) {
    return FromHundredths(StepDownHundredths(ToHundredths(value), top));
}

// Does nothing while SSAO is off: the settings keep the blur off then.
void ToggleBlur(Umbrelix* renderer) {
    const SSAOSettings& settings = renderer->Settings();
    renderer->ApplySettings(settings.WithBlur(!settings.blurEnabled));
}

} // namespace

int ToHundredths(float value) {
    return static_cast<int>(std::lround(value * kHundredth));
}

float FromHundredths(int hundredths) {
    return static_cast<float>(hundredths) / kHundredth;
}

int StepUpHundredths(int value, int top) {
    int next = value + kSettingStepHundredths;
    return next > top ? 0 : next;
}

int StepDownHundredths(int value, int top) {
    int next = value - kSettingStepHundredths;
    return next < 0 ? top : next;
}

void Vesperon::ToggleSSAO() {
    Umbrelix* renderer = GetRenderer();
    const SSAOSettings& settings = renderer->Settings();
    renderer->ApplySettings(settings.WithSSAO(!settings.ssaoEnabled));
}

// The other estimator, on its own normals (N then switches them).
void Vesperon::ToggleEstimator() {
    Umbrelix* renderer = GetRenderer();
    SSAOSettings settings = renderer->Settings();
    settings.estimator =
        settings.estimator == ESTIMATOR_HEMISPHERE ? ESTIMATOR_HORIZON : ESTIMATOR_HEMISPHERE;
    settings.normals = DefaultNormals(settings.estimator);
    renderer->ApplySettings(settings);
    LogMessage(LOG_INFO, "Game", "Estimator: %s (%s normals)", EstimatorName(settings.estimator),
               NormalsName(settings.normals));
}

void Vesperon::ToggleNormals() {
    Umbrelix* renderer = GetRenderer();
    SSAOSettings settings = renderer->Settings();
    settings.normals = settings.normals == NORMALS_GEOMETRIC ? NORMALS_SHADING : NORMALS_GEOMETRIC;
    renderer->ApplySettings(settings);
    LogMessage(LOG_INFO, "Game", "Normals: %s", NormalsName(settings.normals));
}

void Vesperon::ToggleAccumulation() {
    Umbrelix* renderer = GetRenderer();
    SSAOSettings settings = renderer->Settings();
    settings.accumulate = !settings.accumulate;
    renderer->ApplySettings(settings);
    LogMessage(LOG_INFO, "Game", "Accumulation at rest: %s", settings.accumulate ? "on" : "off");
}

void Vesperon::OnQuit(Event*, void* user) {
    App(user)->mRunning = false;
}

void Vesperon::OnKey(Event* event, void* user) {
    if (event->type != EVENT_KEY)
        return;
    if (event->key.released)
        App(user)->OnKeyReleased(event->key.key);
    else
        App(user)->OnKeyPressed(event->key.key);
}

void Vesperon::OnKeyPressed(int key) {
    Umbrelix* renderer = GetRenderer();
    switch (key) {
    case KEY_G:
        CycleTruth();
        break;
    case KEY_H:
        ToggleEstimator();
        break;
    case KEY_N:
        ToggleNormals();
        break;
    case KEY_C:
        ToggleAccumulation();
        break;
    case KEY_F5:
        ReloadShaders();
        break;
    case KEY_F12:
        mScreenshotAsked = true; // taken once the frame is drawn, overlay included
        break;
    case KEY_ESCAPE:
        mEventBus->PostEvent(MakeQuitEvent());
        break;
    case KEY_O:
        ToggleSSAO();
        break;
    case KEY_P:
        ToggleBlur(renderer);
        break;
    case KEY_T:
    case KEY_AC_BACK:
        // Lit picture, then the occlusion alone, then the G-buffer quadrants.
        mViewMode = mViewMode == VIEW_LIT         ? VIEW_OCCLUSION
                    : mViewMode == VIEW_OCCLUSION ? VIEW_GBUFFER
                                                  : VIEW_LIT;
        break;
    case KEY_EQUALS:
        if (renderer->Settings().kernelSize * 2 <= kMaxKernelSizeSetting)
            renderer->SetKernelSize(renderer->Settings().kernelSize * 2);
        break;
    case KEY_MINUS:
        if (renderer->Settings().kernelSize / 2 >= kMinKernelSize)
            renderer->SetKernelSize(renderer->Settings().kernelSize / 2);
        break;
    case KEY_RIGHTBRACKET:
        renderer->SetAmbientFactor(
            StepUp(renderer->Settings().ambientFactor, kMaxAmbientHundredths));
        break;
    case KEY_LEFTBRACKET:
        renderer->SetAmbientFactor(
            StepDown(renderer->Settings().ambientFactor, kMaxAmbientHundredths));
        break;
    case KEY_APOSTROPHE:
        renderer->SetRadius(StepUp(renderer->Settings().radius, kMaxRadiusHundredths));
        break;
    case KEY_SEMICOLON:
        renderer->SetRadius(StepDown(renderer->Settings().radius, kMaxRadiusHundredths));
        break;
    case KEY_W:
        mMoveForward = 1.0f;
        break;
    case KEY_S:
        mMoveForward = -1.0f;
        break;
    case KEY_A:
        mMoveRight = -1.0f;
        break;
    case KEY_D:
        mMoveRight = 1.0f;
        break;
    default:
        break;
    }
}

// Only the movement keys act on release; releasing one of two opposite keys
// stops that axis even while the other is held.
void Vesperon::OnKeyReleased(int key) {
    if (key == KEY_W || key == KEY_S)
        mMoveForward = 0.0f;
    else if (key == KEY_A || key == KEY_D)
        mMoveRight = 0.0f;
}

void Vesperon::OnMouseMotion(Event* event, void* user) {
    if (event->type != EVENT_MOUSE_MOTION)
        return;
    Vesperon* app = App(user);
    // Moving the mouse up (negative yrel) looks up.
    app->mPitch = ClampPitch(app->mPitch - kMouseDegreesPerPixel * event->motion.yrel);
    app->mYaw += kMouseDegreesPerPixel * event->motion.xrel;
}

void Vesperon::OnTouch(Event* event, void* user) {
    if (event->type != EVENT_TOUCH_FINGER)
        return;
    Vesperon* app = App(user);
    const TouchPayload& touch = event->touch;
    uint32_t width = app->mWindow->mWidth;
    int half = static_cast<int>(width / 2);
    float px = static_cast<float>(width) * touch.x;
    float py = static_cast<float>(app->mWindow->mHeight) * touch.y;

    if (touch.action == TOUCH_MOVED) {
        if (px > half) { // right half turns the view
            app->mPitch = ClampPitch(app->mPitch - kTouchTurnDegrees * touch.dy);
            app->mYaw += kTouchTurnDegrees * touch.dx;
        } else { // left half is a virtual stick
            app->mMoveForward = -kTouchMoveGain * touch.dy;
            app->mMoveRight = kTouchMoveGain * touch.dx;
        }
        return;
    }
    if (touch.action != TOUCH_LIFTED || px >= half)
        return;
    Umbrelix* renderer = app->GetRenderer();
    if (py < kBandBlur) {
        app->ToggleSSAO();
    } else if (py < kBandSamples) {
        ToggleBlur(renderer);
    } else if (py < kBandEnd) {
        uint32_t n = renderer->Settings().kernelSize * 2;
        renderer->SetKernelSize(n > kMaxKernelSizeSetting ? kMinKernelSize : n);
    }
    app->mMoveForward = 0.0f;
    app->mMoveRight = 0.0f;
}
