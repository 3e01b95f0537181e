// TranslateEvent on arbitrary SDL event bytes: every result is a record the
// handlers can trust (a known type, numberings inside their tables, finite
// axis values), and an event without a counterpart leaves the record as it was.
#include <cmath>
#include <cstdint>
#include <cstring>

#include <SDL2/SDL.h>

#include "FuzzSupport.h"
#include "input/InputDriver.h"

namespace {

// Input types TranslateEvent knows, so most inputs reach a translation rather
// than the skip path; the raw type from the bytes is kept for the rest.
const uint32_t kKnownTypes[] = {
    SDL_KEYDOWN,
    SDL_KEYUP,
    SDL_MOUSEMOTION,
    SDL_MOUSEBUTTONDOWN,
    SDL_MOUSEBUTTONUP,
    SDL_MOUSEWHEEL,
    SDL_CONTROLLERAXISMOTION,
    SDL_CONTROLLERBUTTONDOWN,
    SDL_CONTROLLERBUTTONUP,
    SDL_CONTROLLERDEVICEADDED,
    SDL_CONTROLLERDEVICEREMOVED,
    SDL_FINGERDOWN,
    SDL_FINGERUP,
    SDL_FINGERMOTION,
    SDL_QUIT,
    SDL_WINDOWEVENT,
    SDL_TEXTINPUT,
    SDL_JOYAXISMOTION,
};
constexpr size_t kKnownTypeCount = sizeof(kKnownTypes) / sizeof(kKnownTypes[0]);

bool Payload(const Event& event, size_t from, uint8_t value) {
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&event);
    for (size_t i = from; i < sizeof(Event); ++i) {
        if (bytes[i] != value)
            return false;
    }
    return true;
}

// The scancode as stored, which may be no SDL_Scancode at all.
uint8_t ExpectedKey(const SDL_Event& in) {
    int32_t raw;
    std::memcpy(&raw, &in.key.keysym.scancode, sizeof(raw));
    if (raw < 0 || raw >= SDL_NUM_SCANCODES)
        return KEY_UNKNOWN;
    return TranslateScancode(static_cast<SDL_Scancode>(raw));
}

void CheckTranslated(const SDL_Event& in, const Event& out) {
    switch (out.type) {
    case EVENT_KEY:
        FUZZ_CHECK(out.key.released <= 1 && out.key.key <= KEY_UNKNOWN, "key outside the table");
        FUZZ_CHECK(out.key.key == ExpectedKey(in), "key not its scancode's");
        break;
    case EVENT_MOUSE_BUTTON:
        FUZZ_CHECK(out.button.released <= 1 && out.button.button <= MOUSE_OTHER,
                   "mouse button outside the table");
        break;
    case EVENT_MOUSE_MOTION:
        FUZZ_CHECK(out.motion.xrel == in.motion.xrel && out.motion.yrel == in.motion.yrel,
                   "relative motion not copied");
        break;
    case EVENT_CONTROLLER_AXIS:
        FUZZ_CHECK(out.caxis.axis <= kControllerAxisOther, "axis outside the table");
        FUZZ_CHECK(std::isfinite(out.caxis.value) && std::fabs(out.caxis.value) <= 1.0001f,
                   "axis value outside -1..1");
        break;
    case EVENT_CONTROLLER_BUTTON:
        FUZZ_CHECK(out.cbutton.released <= 1 && out.cbutton.button <= kControllerButtonOther,
                   "controller button outside the table");
        break;
    case EVENT_TOUCH_FINGER:
        FUZZ_CHECK(out.touch.action <= TOUCH_MOVED, "finger action outside 0..2");
        break;
    case EVENT_QUIT:
        FUZZ_CHECK(Payload(out, 1, 0), "quit carries a payload");
        break;
    case EVENT_MOUSE_WHEEL:
    case EVENT_CONTROLLER_DEVICE:
        break;
    default:
        FuzzFail("translated into an unknown event type");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SDL_Event in;
    std::memset(&in, 0, sizeof(in));
    std::memcpy(&in, data, size < sizeof(in) ? size : sizeof(in));
    if (size > sizeof(in) && data[sizeof(in)] % 4 != 0)
        in.type = kKnownTypes[data[sizeof(in)] % kKnownTypeCount];

    Event out;
    std::memset(&out, 0xA5, sizeof(out));
    int result = TranslateEvent(in, &out);
    if (result != 0) {
        FUZZ_CHECK(result == -1, "result is neither 0 nor -1");
        FUZZ_CHECK(Payload(out, 0, 0xA5), "a skipped event changed the record");
        return 0;
    }
    CheckTranslated(in, out);
    return 0;
}
