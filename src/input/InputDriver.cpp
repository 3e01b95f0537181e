// InputDriver: owns the open game controllers, and the stateless translation
// of SDL input events into Event records with the system's own numberings.
#include "input/InputDriver.h"

#include <cstring>

#include "core/Logger.h"

namespace {

const char* const kTag = "InputDriver";

// Full-scale stick deflection: SDL reports axes as -32768..32767.
constexpr float kAxisScale = 32767.0f;

struct KeyRow {
    SDL_Scancode scancode;
    uint8_t key;
};

// Keys outside the contiguous runs (letters, digits 1-9, F1-F12, keypad 1-9).
constexpr KeyRow kKeyTable[] = {
    {SDL_SCANCODE_0, 35},
    {SDL_SCANCODE_GRAVE, 36},
    {SDL_SCANCODE_MINUS, 37},
    {SDL_SCANCODE_EQUALS, 38},
    {SDL_SCANCODE_LEFTBRACKET, 39},
    {SDL_SCANCODE_RIGHTBRACKET, 40},
    {SDL_SCANCODE_BACKSLASH, 41},
    {SDL_SCANCODE_SEMICOLON, 42},
    {SDL_SCANCODE_APOSTROPHE, 43},
    {SDL_SCANCODE_COMMA, 44},
    {SDL_SCANCODE_PERIOD, 45},
    {SDL_SCANCODE_SLASH, 46},
    {SDL_SCANCODE_BACKSPACE, 59},
    {SDL_SCANCODE_RETURN, 60},
    {SDL_SCANCODE_SPACE, 61},
    {SDL_SCANCODE_ESCAPE, 62},
    {SDL_SCANCODE_TAB, 63},
    {SDL_SCANCODE_CAPSLOCK, 64},
    {SDL_SCANCODE_LSHIFT, 65},
    {SDL_SCANCODE_LCTRL, 66},
    {SDL_SCANCODE_LGUI, 67},
    {SDL_SCANCODE_LALT, 68},
    {SDL_SCANCODE_RSHIFT, 69},
    {SDL_SCANCODE_RCTRL, 70},
    {SDL_SCANCODE_RGUI, 71},
    {SDL_SCANCODE_RALT, 72},
    {SDL_SCANCODE_APPLICATION, 73},
    {SDL_SCANCODE_PRINTSCREEN, 74},
    {SDL_SCANCODE_SCROLLLOCK, 75},
    {SDL_SCANCODE_PAUSE, 76},
    {SDL_SCANCODE_INSERT, 77},
    {SDL_SCANCODE_DELETE, 78},
    {SDL_SCANCODE_HOME, 79},
    {SDL_SCANCODE_END, 80},
    {SDL_SCANCODE_PAGEUP, 81},
    {SDL_SCANCODE_PAGEDOWN, 82},
    {SDL_SCANCODE_UP, 83},
    {SDL_SCANCODE_DOWN, 84},
    {SDL_SCANCODE_LEFT, 85},
    {SDL_SCANCODE_RIGHT, 86},
    {SDL_SCANCODE_NUMLOCKCLEAR, 87},
    {SDL_SCANCODE_KP_DIVIDE, 88},
    {SDL_SCANCODE_KP_MULTIPLY, 89},
    {SDL_SCANCODE_KP_MINUS, 90},
    {SDL_SCANCODE_KP_PLUS, 91},
    {SDL_SCANCODE_KP_ENTER, 92},
    {SDL_SCANCODE_KP_PERIOD, 93},
    {SDL_SCANCODE_KP_0, 103},
    {SDL_SCANCODE_AC_BACK, KEY_AC_BACK},
};

struct KeyRun {
    SDL_Scancode first, last;
    uint8_t key; // KeyCode of first; the run counts up from it
};

constexpr KeyRun kKeyRuns[] = {
    {SDL_SCANCODE_A, SDL_SCANCODE_Z, KEY_A},
    {SDL_SCANCODE_1, SDL_SCANCODE_9, 26},
    {SDL_SCANCODE_F1, SDL_SCANCODE_F12, 47},
    {SDL_SCANCODE_KP_1, SDL_SCANCODE_KP_9, 94},
};

// SDL's controller buttons 0..14 in SDL order, mapped to ours.
constexpr uint8_t kControllerButtons[] = {
    0,  // A
    1,  // B
    2,  // X
    3,  // Y
    8,  // Back
    9,  // Guide
    10, // Start
    13, // left stick press
    14, // right stick press
    11, // left shoulder
    12, // right shoulder
    4,  // D-pad up
    5,  // D-pad down
    6,  // D-pad left
    7,  // D-pad right
};

void TranslateKey(const SDL_KeyboardEvent& key, Event* event) {
    event->type = EVENT_KEY;
    event->key.released = key.type == SDL_KEYUP;
    // The scancode is read as the integer it is stored as: a record whose
    // bytes hold a value outside SDL's enumeration (a corrupted or synthetic
    // event) must not be loaded as an SDL_Scancode, which would be undefined.
    int32_t scancode;
    static_assert(sizeof(scancode) == sizeof(key.keysym.scancode), "SDL_Scancode is 32-bit");
    memcpy(&scancode, &key.keysym.scancode, sizeof(scancode));
    event->key.key = scancode >= 0 && scancode < SDL_NUM_SCANCODES
                         ? TranslateScancode(static_cast<SDL_Scancode>(scancode))
                         : static_cast<uint8_t>(KEY_UNKNOWN);
}

void TranslateMouseButtonEvent(const SDL_MouseButtonEvent& button, Event* event) {
    event->type = EVENT_MOUSE_BUTTON;
    event->button.released = button.type == SDL_MOUSEBUTTONUP;
    event->button.button = TranslateMouseButton(button.button);
    event->button.x = button.x;
    event->button.y = button.y;
}

void TranslateAxis(const SDL_ControllerAxisEvent& axis, Event* event) {
    event->type = EVENT_CONTROLLER_AXIS;
    event->caxis.controller = axis.which;
    event->caxis.axis = TranslateControllerAxis(axis.axis);
    // SDL's y axes grow downwards; flip them so that pushing a stick up is
    // positive. -32768 thus becomes 32768/32767, a hair above 1.
    const bool yAxis =
        axis.axis == SDL_CONTROLLER_AXIS_LEFTY || axis.axis == SDL_CONTROLLER_AXIS_RIGHTY;
    const float value = static_cast<float>(axis.value) / kAxisScale;
    event->caxis.value = yAxis ? -value : value;
}

void TranslateFinger(const SDL_TouchFingerEvent& finger, Event* event) {
    event->type = EVENT_TOUCH_FINGER;
    event->touch.action = finger.type == SDL_FINGERDOWN ? TOUCH_DOWN
                          : finger.type == SDL_FINGERUP ? TOUCH_LIFTED
                                                        : TOUCH_MOVED;
    event->touch.x = finger.x;
    event->touch.y = finger.y;
    event->touch.dx = finger.dx;
    event->touch.dy = finger.dy;
}

} // namespace

InputDriver::InputDriver() : mControllers() {}

InputDriver::~InputDriver() {
    for (SDL_GameController*& controller : mControllers) {
        if (controller)
            SDL_GameControllerClose(controller);
        controller = nullptr;
    }
}

int InputDriver::Init() {
    if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) {
        LogMessage(LOG_ERROR, kTag, "Couldn't initialize input subsystem: %s", SDL_GetError());
        return -1;
    }
    // Only joystick indices 0-3 are looked at, controllers or not; the count
    // is asked again each step because devices may come and go meanwhile.
    int opened = 0;
    for (int i = 0; i < SDL_NumJoysticks() && i < kMaxControllers; ++i) {
        if (!SDL_IsGameController(i))
            continue;
        SDL_GameController* controller = SDL_GameControllerOpen(i);
        if (!controller) {
            LogMessage(LOG_WARNING, kTag, "Couldn't open game controller %d: %s", i,
                       SDL_GetError());
            continue;
        }
        mControllers[opened++] = controller;
    }
    LogMessage(LOG_INFO, kTag, "Found %d game controller(s)", opened);
    return 0;
}

int TranslateEvent(const SDL_Event& sdlEvent, Event* event) {
    // Built aside and copied only when the type has a counterpart, so a
    // skipped event leaves the caller's record untouched. Payload bytes a type
    // doesn't use are zero: whole-record copies never carry stale data.
    Event out{};
    memset(&out, 0, sizeof(out));
    switch (sdlEvent.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        TranslateKey(sdlEvent.key, &out);
        break;
    case SDL_MOUSEMOTION:
        out.type = EVENT_MOUSE_MOTION;
        out.motion = MouseMotionPayload{sdlEvent.motion.x, sdlEvent.motion.y, sdlEvent.motion.xrel,
                                        sdlEvent.motion.yrel};
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        TranslateMouseButtonEvent(sdlEvent.button, &out);
        break;
    case SDL_MOUSEWHEEL:
        out.type = EVENT_MOUSE_WHEEL;
        out.wheel = MouseWheelPayload{sdlEvent.wheel.x, sdlEvent.wheel.y};
        break;
    case SDL_CONTROLLERAXISMOTION:
        TranslateAxis(sdlEvent.caxis, &out);
        break;
    case SDL_CONTROLLERBUTTONDOWN:
    case SDL_CONTROLLERBUTTONUP:
        out.type = EVENT_CONTROLLER_BUTTON;
        out.cbutton.released = sdlEvent.type == SDL_CONTROLLERBUTTONUP;
        out.cbutton.controller = sdlEvent.cbutton.which;
        out.cbutton.button = TranslateControllerButton(sdlEvent.cbutton.button);
        break;
    case SDL_CONTROLLERDEVICEADDED:
    case SDL_CONTROLLERDEVICEREMOVED:
        out.type = EVENT_CONTROLLER_DEVICE;
        out.cdevice.removed = sdlEvent.type == SDL_CONTROLLERDEVICEREMOVED;
        out.cdevice.device = sdlEvent.cdevice.which;
        break;
    case SDL_FINGERDOWN:
    case SDL_FINGERUP:
    case SDL_FINGERMOTION:
        TranslateFinger(sdlEvent.tfinger, &out);
        break;
    case SDL_QUIT:
        out.type = EVENT_QUIT;
        break;
    default:
        return -1;
    }
    *event = out;
    return 0;
}

uint8_t TranslateScancode(SDL_Scancode scancode) {
    for (const KeyRun& run : kKeyRuns) {
        if (scancode >= run.first && scancode <= run.last)
            return static_cast<uint8_t>(run.key + (scancode - run.first));
    }
    for (const KeyRow& row : kKeyTable) {
        if (row.scancode == scancode)
            return row.key;
    }
    return KEY_UNKNOWN;
}

uint8_t TranslateMouseButton(uint8_t sdlButton) {
    // SDL numbers left, middle, right, X1, X2 as 1..5; ours count from 0.
    if (sdlButton >= SDL_BUTTON_LEFT && sdlButton <= SDL_BUTTON_X2)
        return static_cast<uint8_t>(sdlButton - SDL_BUTTON_LEFT);
    return MOUSE_OTHER;
}

uint8_t TranslateControllerButton(uint8_t sdlButton) {
    if (sdlButton < sizeof(kControllerButtons))
        return kControllerButtons[sdlButton];
    return kControllerButtonOther;
}

uint8_t TranslateControllerAxis(uint8_t sdlAxis) {
    // Sticks keep SDL's numbering 0-3, and so do the triggers (4, 5), so a
    // consumer can tell the left trigger from the right one.
    if (sdlAxis <= SDL_CONTROLLER_AXIS_TRIGGERRIGHT)
        return sdlAxis;
    return kControllerAxisOther;
}
