// Event: the constructors of the records the application builds itself.
#include "input/Event.h"

#include <cstring>

Event MakeQuitEvent() {
    // Zero the whole record first, padding included, so every copy of a quit
    // request carries 23 zero payload bytes.
    Event event{};
    memset(&event, 0, sizeof(event));
    event.type = EVENT_QUIT;
    return event;
}
