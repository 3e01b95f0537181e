// InputDriver: opens up to four game controllers, and translates SDL input
// events into the system's own Event records with its key, button and axis
// numberings (keys by physical position, i.e. SDL scancode).
#pragma once

#include <cstdint>

#include <SDL2/SDL.h>

#include "input/Event.h"

constexpr int kMaxControllers = 4;

// KeyCode numbering (selected values named; the whole table is in TranslateScancode).
enum KeyCode : uint8_t {
    KEY_A = 0,
    KEY_C = 2,
    KEY_D = 3,
    KEY_G = 6,
    KEY_H = 7,
    KEY_N = 13,
    KEY_O = 14,
    KEY_P = 15,
    KEY_S = 18,
    KEY_T = 19,
    KEY_W = 22,
    KEY_MINUS = 37,
    KEY_EQUALS = 38,
    KEY_LEFTBRACKET = 39,
    KEY_RIGHTBRACKET = 40,
    KEY_SEMICOLON = 42,
    KEY_APOSTROPHE = 43,
    KEY_F5 = 51,
    KEY_F12 = 58,
    KEY_ESCAPE = 62,
    KEY_AC_BACK = 104,
    KEY_UNKNOWN = 105,
};

enum MouseButton : uint8_t {
    MOUSE_LEFT = 0,
    MOUSE_MIDDLE = 1,
    MOUSE_RIGHT = 2,
    MOUSE_X1 = 3,
    MOUSE_X2 = 4,
    MOUSE_OTHER = 5,
};

constexpr uint8_t kControllerButtonOther = 15;
// ControllerAxis: sticks 0-3 as in SDL; the triggers keep apart (left 4,
// right 5) so a consumer can tell them apart; any later axis is 6.
constexpr uint8_t kControllerAxisTriggerLeft = 4;
constexpr uint8_t kControllerAxisTriggerRight = 5;
constexpr uint8_t kControllerAxisOther = 6;

class InputDriver {
public:
    InputDriver();
    virtual ~InputDriver();

    int Init();

    SDL_GameController* mControllers[kMaxControllers];
};

// 0 when event was written; -1 when the SDL event has no counterpart (event untouched).
int TranslateEvent(const SDL_Event& sdlEvent, Event* event);
uint8_t TranslateScancode(SDL_Scancode scancode);
uint8_t TranslateMouseButton(uint8_t sdlButton);
uint8_t TranslateControllerButton(uint8_t sdlButton);
uint8_t TranslateControllerAxis(uint8_t sdlAxis);
