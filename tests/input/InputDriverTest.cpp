// InputDriver: the key, button and axis numberings, the translation of each
// SDL event type, the quit record, and which controllers Init opens.
#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "input/InputDriver.h"
#include "support/LogCapture.h"

namespace {

constexpr uint8_t kFill = 0xAB;

bool Logged(LogCapture& log, const char* marker, const std::string& message) {
    return log.HasLine(std::string(marker) + "  [InputDriver] " + message);
}

// Translates into a record pre-filled with garbage, so the test also sees
// which bytes the translation wrote.
int Translate(const SDL_Event& sdlEvent, Event* event) {
    memset(event, kFill, sizeof(*event));
    return TranslateEvent(sdlEvent, event);
}

SDL_Event OfType(Uint32 type) {
    SDL_Event event;
    memset(&event, 0, sizeof(event));
    event.type = type;
    return event;
}

// A record as the translation must write it: all 24 bytes zero but the type.
Event Zeroed(uint8_t type) {
    Event event;
    memset(&event, 0, sizeof(event));
    event.type = type;
    return event;
}

std::string Bytes(const Event& event) {
    std::string text;
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&event);
    for (size_t i = 0; i < sizeof(event); ++i)
        text += (i ? " " : "") + std::to_string(bytes[i]);
    return text;
}

// Whole-record comparison, padding included.
#define EXPECT_SAME_RECORD(actual, expected) EXPECT_EQ(Bytes(actual), Bytes(expected))

// Every row of the key table by scancode number, ranges expanded.
std::map<int, int> KeyTable() {
    std::map<int, int> table;
    for (int i = 0; i < 26; ++i)
        table[4 + i] = i; // A-Z
    for (int i = 0; i < 9; ++i)
        table[30 + i] = 26 + i; // 1-9
    for (int i = 0; i < 12; ++i)
        table[58 + i] = 47 + i; // F1-F12
    for (int i = 0; i < 9; ++i)
        table[89 + i] = 94 + i; // keypad 1-9
    const int singles[][2] = {
        {39, 35},  {53, 36},  {45, 37},  {46, 38},  {47, 39},  {48, 40},  {49, 41},
        {51, 42},  {52, 43},  {54, 44},  {55, 45},  {56, 46},  {42, 59},  {40, 60},
        {44, 61},  {41, 62},  {43, 63},  {57, 64},  {225, 65}, {224, 66}, {227, 67},
        {226, 68}, {229, 69}, {228, 70}, {231, 71}, {230, 72}, {101, 73}, {70, 74},
        {71, 75},  {72, 76},  {73, 77},  {76, 78},  {74, 79},  {77, 80},  {75, 81},
        {78, 82},  {82, 83},  {81, 84},  {80, 85},  {79, 86},  {83, 87},  {84, 88},
        {85, 89},  {86, 90},  {87, 91},  {88, 92},  {99, 93},  {98, 103}, {270, 104}};
    for (const auto& row : singles)
        table[row[0]] = row[1];
    return table;
}

TEST(InputDriver, EveryScancodeMapsByTheKeyTableAndAllOthersTo105) {
    const std::map<int, int> table = KeyTable();
    ASSERT_EQ(table.size(), 105u); // KeyCodes 0-104, one key each
    for (int scancode = 0; scancode < SDL_NUM_SCANCODES; ++scancode) {
        auto row = table.find(scancode);
        const int expected = row == table.end() ? KEY_UNKNOWN : row->second;
        EXPECT_EQ(TranslateScancode(static_cast<SDL_Scancode>(scancode)), expected)
            << "scancode " << scancode;
    }
}

TEST(InputDriver, KeyEventsCarryTheReleasedFlagAndThePhysicalKey) {
    Event event;
    SDL_Event key = OfType(SDL_KEYDOWN);
    key.key.repeat = 1; // auto-repeat is a key-down like any other
    key.key.keysym.scancode = SDL_SCANCODE_W;
    key.key.keysym.sym = SDLK_z; // the layout's character does not matter
    ASSERT_EQ(Translate(key, &event), 0);
    Event expected = Zeroed(EVENT_KEY);
    expected.key = KeyPayload{0, KEY_W};
    EXPECT_SAME_RECORD(event, expected);

    key.type = SDL_KEYUP;
    key.key.keysym.scancode = SDL_SCANCODE_NONUSBACKSLASH;
    ASSERT_EQ(Translate(key, &event), 0);
    expected.key = KeyPayload{1, KEY_UNKNOWN};
    EXPECT_SAME_RECORD(event, expected);
}

TEST(InputDriver, ScancodeBytesOutsideSDLsEnumerationGiveTheUnknownKey) {
    for (int32_t raw : {int32_t(SDL_NUM_SCANCODES), int32_t(2148), int32_t(-5), INT32_MIN}) {
        Event event;
        SDL_Event key = OfType(SDL_KEYDOWN);
        memcpy(&key.key.keysym.scancode, &raw, sizeof(raw));
        ASSERT_EQ(Translate(key, &event), 0) << raw;
        Event expected = Zeroed(EVENT_KEY);
        expected.key = KeyPayload{0, KEY_UNKNOWN};
        EXPECT_SAME_RECORD(event, expected) << raw;
    }
}

TEST(InputDriver, MouseEventsCopyPositionsAndNumberButtonsFromZero) {
    Event event, expected;
    SDL_Event motion = OfType(SDL_MOUSEMOTION);
    motion.motion.x = 700;
    motion.motion.y = 450;
    motion.motion.xrel = -3;
    motion.motion.yrel = 12;
    ASSERT_EQ(Translate(motion, &event), 0);
    expected = Zeroed(EVENT_MOUSE_MOTION);
    expected.motion = MouseMotionPayload{700, 450, -3, 12};
    EXPECT_SAME_RECORD(event, expected);

    SDL_Event wheel = OfType(SDL_MOUSEWHEEL);
    wheel.wheel.x = -1;
    wheel.wheel.y = 2;
    ASSERT_EQ(Translate(wheel, &event), 0);
    expected = Zeroed(EVENT_MOUSE_WHEEL);
    expected.wheel = MouseWheelPayload{-1, 2};
    EXPECT_SAME_RECORD(event, expected);

    const int buttons[][2] = {{1, 0}, {2, 1}, {3, 2}, {4, 3}, {5, 4}, {0, 5}, {6, 5}, {255, 5}};
    for (const auto& row : buttons) {
        for (Uint32 type : {SDL_MOUSEBUTTONDOWN, SDL_MOUSEBUTTONUP}) {
            SDL_Event button = OfType(type);
            button.button.button = static_cast<Uint8>(row[0]);
            button.button.x = 10;
            button.button.y = -20;
            ASSERT_EQ(Translate(button, &event), 0);
            expected = Zeroed(EVENT_MOUSE_BUTTON);
            expected.button.released = type == SDL_MOUSEBUTTONUP;
            expected.button.button = static_cast<uint8_t>(row[1]);
            expected.button.x = 10;
            expected.button.y = -20;
            EXPECT_SAME_RECORD(event, expected) << "SDL button " << row[0];
        }
    }
}

TEST(InputDriver, ControllerAxesScaleBy32767AndFlipTheYAxes) {
    const struct {
        int axis;
        Sint16 value;
        uint8_t expectedAxis;
        float expectedValue;
    } rows[] = {
        {SDL_CONTROLLER_AXIS_LEFTX, 32767, 0, 1.0f},
        {SDL_CONTROLLER_AXIS_LEFTX, -32768, 0, -32768.0f / 32767.0f},
        {SDL_CONTROLLER_AXIS_LEFTY, -32768, 1, 32768.0f / 32767.0f}, // fully up
        {SDL_CONTROLLER_AXIS_LEFTY, 32767, 1, -1.0f},                // fully down
        {SDL_CONTROLLER_AXIS_RIGHTX, 16384, 2, 16384.0f / 32767.0f},
        {SDL_CONTROLLER_AXIS_RIGHTY, 32767, 3, -1.0f},
        {SDL_CONTROLLER_AXIS_TRIGGERLEFT, 32767, kControllerAxisTriggerLeft, 1.0f},
        {SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 16384, kControllerAxisTriggerRight, 16384.0f / 32767.0f},
        {6, 100, kControllerAxisOther, 100.0f / 32767.0f},
        {255, 0, kControllerAxisOther, 0.0f}, // SDL_CONTROLLER_AXIS_INVALID as a byte
    };
    for (const auto& row : rows) {
        SDL_Event axis = OfType(SDL_CONTROLLERAXISMOTION);
        axis.caxis.which = 3;
        axis.caxis.axis = static_cast<Uint8>(row.axis);
        axis.caxis.value = row.value;
        Event event;
        ASSERT_EQ(Translate(axis, &event), 0);
        Event expected = Zeroed(EVENT_CONTROLLER_AXIS);
        expected.caxis.controller = 3;
        expected.caxis.axis = row.expectedAxis;
        expected.caxis.value = row.expectedValue;
        EXPECT_SAME_RECORD(event, expected) << "axis " << row.axis << " value " << row.value;
    }
}

TEST(InputDriver, ControllerButtonsAndDevicesUseTheirOwnNumbering) {
    // SDL button value -> ControllerButton; everything from 15 on is "other".
    const int buttons[][2] = {{0, 0},   {1, 1},  {2, 2},  {3, 3},   {11, 4},  {12, 5},
                              {13, 6},  {14, 7}, {4, 8},  {5, 9},   {6, 10},  {9, 11},
                              {10, 12}, {7, 13}, {8, 14}, {15, 15}, {20, 15}, {255, 15}};
    Event event, expected;
    for (const auto& row : buttons) {
        SDL_Event button = OfType(SDL_CONTROLLERBUTTONUP);
        button.cbutton.which = 7;
        button.cbutton.button = static_cast<Uint8>(row[0]);
        ASSERT_EQ(Translate(button, &event), 0);
        expected = Zeroed(EVENT_CONTROLLER_BUTTON);
        expected.cbutton.released = 1;
        expected.cbutton.controller = 7;
        expected.cbutton.button = static_cast<uint8_t>(row[1]);
        EXPECT_SAME_RECORD(event, expected) << "SDL button " << row[0];
    }
    for (Uint32 type : {SDL_CONTROLLERDEVICEADDED, SDL_CONTROLLERDEVICEREMOVED}) {
        SDL_Event device = OfType(type);
        device.cdevice.which = 2;
        ASSERT_EQ(Translate(device, &event), 0);
        expected = Zeroed(EVENT_CONTROLLER_DEVICE);
        expected.cdevice.removed = type == SDL_CONTROLLERDEVICEREMOVED;
        expected.cdevice.device = 2;
        EXPECT_SAME_RECORD(event, expected);
    }
}

TEST(InputDriver, FingerActionsAreOneForDownZeroForUpTwoForMotion) {
    const std::pair<Uint32, uint8_t> rows[] = {
        {SDL_FINGERDOWN, 1}, {SDL_FINGERUP, 0}, {SDL_FINGERMOTION, 2}};
    for (const auto& row : rows) {
        SDL_Event finger = OfType(row.first);
        finger.tfinger.x = 0.25f;
        finger.tfinger.y = 0.75f;
        finger.tfinger.dx = -0.01f;
        finger.tfinger.dy = 0.02f;
        Event event;
        ASSERT_EQ(Translate(finger, &event), 0);
        Event expected = Zeroed(EVENT_TOUCH_FINGER);
        // Field by field: assigning a whole payload would copy the padding
        // bytes of a temporary, which are unspecified.
        expected.touch.action = row.second;
        expected.touch.x = 0.25f;
        expected.touch.y = 0.75f;
        expected.touch.dx = -0.01f;
        expected.touch.dy = 0.02f;
        EXPECT_SAME_RECORD(event, expected);
    }
}

TEST(InputDriver, QuitRecordsHaveType11AndAZeroPayload) {
    Event event;
    ASSERT_EQ(Translate(OfType(SDL_QUIT), &event), 0);
    EXPECT_SAME_RECORD(event, Zeroed(EVENT_QUIT));
    memset(&event, kFill, sizeof(event));
    event = MakeQuitEvent();
    EXPECT_SAME_RECORD(event, Zeroed(EVENT_QUIT));
}

TEST(InputDriver, EventsWithoutCounterpartLeaveTheRecordUntouched) {
    SDL_Event resize = OfType(SDL_WINDOWEVENT);
    resize.window.event = SDL_WINDOWEVENT_RESIZED;
    resize.window.data1 = 800;
    SDL_Event text = OfType(SDL_TEXTINPUT);
    strcpy(text.text.text, "w");
    for (const SDL_Event& sdlEvent :
         {resize, text, OfType(SDL_JOYAXISMOTION), OfType(SDL_CONTROLLERDEVICEREMAPPED),
          OfType(SDL_DROPFILE), OfType(SDL_USEREVENT)}) {
        Event event;
        EXPECT_EQ(Translate(sdlEvent, &event), -1) << "SDL type " << sdlEvent.type;
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&event);
        EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + sizeof(event)),
                  std::vector<uint8_t>(sizeof(event), kFill));
    }
}

// Each case attaches SDL virtual joysticks, so the device list is exactly
// what the test built; the first case runs with none at all.
class InputDriverInit : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER), 0); }
    void TearDown() override {
        while (SDL_NumJoysticks() > 0)
            SDL_JoystickDetachVirtual(0);
    }
    static void Attach(SDL_JoystickType type, int count) {
        for (int i = 0; i < count; ++i)
            ASSERT_GE(SDL_JoystickAttachVirtual(type, 6, 15, 1), 0) << SDL_GetError();
    }
    LogCapture log;
};

TEST_F(InputDriverInit, NoJoystickReportsZeroControllersAndSucceeds) {
    ASSERT_EQ(SDL_NumJoysticks(), 0);
    InputDriver driver;
    EXPECT_EQ(driver.Init(), 0);
    EXPECT_TRUE(Logged(log, "[I]", "Found 0 game controller(s)"));
    for (SDL_GameController* controller : driver.mControllers)
        EXPECT_EQ(controller, nullptr);
}

TEST_F(InputDriverInit, OnlyJoystickIndicesZeroToThreeAreOpenedAndClosedAgain) {
    Attach(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 6);
    std::vector<SDL_JoystickID> ids;
    {
        InputDriver driver;
        ASSERT_EQ(driver.Init(), 0);
        EXPECT_TRUE(Logged(log, "[I]", "Found 4 game controller(s)"));
        for (int i = 0; i < kMaxControllers; ++i) {
            ASSERT_NE(driver.mControllers[i], nullptr);
            SDL_Joystick* joystick = SDL_GameControllerGetJoystick(driver.mControllers[i]);
            EXPECT_EQ(SDL_JoystickInstanceID(joystick), SDL_JoystickGetDeviceInstanceID(i));
            ids.push_back(SDL_JoystickInstanceID(joystick));
        }
    }
    for (SDL_JoystickID id : ids)
        EXPECT_EQ(SDL_GameControllerFromInstanceID(id), nullptr) << "controller left open";
}

TEST_F(InputDriverInit, AJoystickThatIsNoControllerStillUsesUpItsIndex) {
    Attach(SDL_JOYSTICK_TYPE_FLIGHT_STICK, 1);
    Attach(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 5);
    ASSERT_FALSE(SDL_IsGameController(0));
    InputDriver driver;
    ASSERT_EQ(driver.Init(), 0);
    EXPECT_TRUE(Logged(log, "[I]", "Found 3 game controller(s)"));
    for (int i = 0; i < 3; ++i) {
        SDL_Joystick* joystick = SDL_GameControllerGetJoystick(driver.mControllers[i]);
        EXPECT_EQ(SDL_JoystickInstanceID(joystick), SDL_JoystickGetDeviceInstanceID(i + 1));
    }
    EXPECT_EQ(driver.mControllers[3], nullptr);
}

} // namespace
