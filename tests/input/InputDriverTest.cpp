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
    const std::string line = std::string(marker) + "  [InputDriver] " + message;
    for (const std::string& captured : log.Lines()) {
        if (captured == line)
            return true;
    }
    return false;
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
        {39, 35},  {53, 36},  {45, 37},  {46, 38},  {47, 39},  {48, 40},  {49, 41},  {51, 42},
        {52, 43},  {54, 44},  {55, 45},  {56, 46},  {42, 59},  {40, 60},  {44, 61},  {41, 62},
        {43, 63},  {57, 64},  {225, 65}, {224, 66}, {227, 67}, {226, 68}, {229, 69}, {228, 70},
        {231, 71}, {230, 72}, {101, 73}, {70, 74},  {71, 75},  {72, 76},  {73, 77},  {76, 78},
        {74, 79},  {77, 80},  {75, 81},  {78, 82},  {82, 83},  {81, 84},  {80, 85},  {79, 86},
        {83, 87},  {84, 88},  {85, 89},  {86, 90},  {87, 91},  {88, 92},  {99, 93},  {98, 103},
        {270, 104}};
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
    EXPECT_EQ(event.type, EVENT_KEY);
    EXPECT_EQ(event.key.released, 0);
    EXPECT_EQ(event.key.key, KEY_W);
    // Bytes the key payload doesn't use are zero, not left over.
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&event);
    EXPECT_EQ(std::vector<uint8_t>(bytes + 1, bytes + 24),
              std::vector<uint8_t>(reinterpret_cast<const uint8_t*>(&event.key) - bytes - 1 + 0, 0)
                  .size() == 0
                  ? std::vector<uint8_t>()
                  : std::vector<uint8_t>());

    key.type = SDL_KEYUP;
    key.key.keysym.scancode = SDL_SCANCODE_NONUSBACKSLASH;
    ASSERT_EQ(Translate(key, &event), 0);
    EXPECT_EQ(event.type, EVENT_KEY);
    EXPECT_EQ(event.key.released, 1);
    EXPECT_EQ(event.key.key, KEY_UNKNOWN);
}

} // namespace
