// Event: the one 24-byte record in which every input event travels from the
// input driver through the event bus to the application's handlers.
#pragma once

#include <cstdint>

enum EventType : uint8_t {
    EVENT_NONE = 0, // marks an empty handler slot; never carried by an event
    EVENT_KEY = 1,
    EVENT_MOUSE_BUTTON = 2,
    EVENT_MOUSE_MOTION = 3,
    EVENT_MOUSE_WHEEL = 4,
    EVENT_TOUCH_FINGER = 5,
    EVENT_CONTROLLER_BUTTON = 6,
    EVENT_CONTROLLER_AXIS = 7,
    EVENT_CONTROLLER_DEVICE = 8,
    EVENT_QUIT = 11,
};

enum TouchAction : uint8_t {
    TOUCH_LIFTED = 0,
    TOUCH_DOWN = 1,
    TOUCH_MOVED = 2,
};

struct KeyPayload {
    uint8_t released; // 0 pressed, 1 released
    uint8_t key;      // KeyCode
};

struct MouseButtonPayload {
    uint8_t released;
    uint8_t button; // MouseButton
    int32_t x, y;
};

struct MouseMotionPayload {
    int32_t x, y;
    int32_t xrel, yrel;
};

struct MouseWheelPayload {
    int32_t x, y;
};

struct TouchPayload {
    uint8_t action; // TouchAction
    float x, y;     // normalised 0..1
    float dx, dy;
};

struct ControllerButtonPayload {
    uint8_t released;
    int32_t controller; // SDL joystick instance id
    uint8_t button;     // ControllerButton
};

struct ControllerAxisPayload {
    int32_t controller;
    uint8_t axis; // ControllerAxis
    float value;  // about -1..1, up positive on the y axes
};

struct ControllerDevicePayload {
    uint8_t removed;
    int32_t device;
};

struct Event {
    uint8_t type; // EventType
    union {
        KeyPayload key;
        MouseButtonPayload button;
        MouseMotionPayload motion;
        MouseWheelPayload wheel;
        TouchPayload touch;
        ControllerButtonPayload cbutton;
        ControllerAxisPayload caxis;
        ControllerDevicePayload cdevice;
    };
};

// The payload starts on a 4-byte boundary after the type byte and the widest
// payload (touch) is 20 bytes: records are copied whole, so the size is fixed.
static_assert(sizeof(Event) == 24, "Event must stay a 24-byte record");

// A quit request as the application posts it: type 11, every payload byte zero.
Event MakeQuitEvent();
