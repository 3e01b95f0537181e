// EventBus: owns the handler table and the ring queue of posted events (a
// zone block), and dispatches SDL input and posted events to the handlers.
#include "input/EventBus.h"

#include <SDL2/SDL.h>

#include "core/Logger.h"
#include "input/InputDriver.h"
#include "memory/Allocator.h"

namespace {

const char* const kTag = "EventBus";

} // namespace

EventBus::EventBus()
    : mAllocator(nullptr), mCapacity(0), mCount(0), mStorage(nullptr), mReadPtr(nullptr),
      mWritePtr(nullptr), mHandlers() {}

EventBus::~EventBus() {
    if (mStorage)
        mAllocator->Free(mStorage);
}

int EventBus::Init(Allocator* allocator, uint64_t capacity) {
    // A second Init would orphan the queue; an empty or unsized ring could
    // never hold an event, and an overflowing byte count would get a block
    // far smaller than the ring.
    const bool usable =
        !mStorage && allocator && capacity > 0 && capacity <= UINT64_MAX / sizeof(Event);
    if (usable) {
        mAllocator = allocator;
        mCapacity = capacity;
        mStorage = static_cast<Event*>(allocator->Alloc(capacity * sizeof(Event), TAG_EVENTS));
    }
    if (!usable || !mStorage) {
        LogMessage(LOG_ERROR, kTag, "Failed to initialize storage for event queue");
        return -1;
    }
    mReadPtr = mStorage;
    mWritePtr = mStorage;
    return 0;
}

void EventBus::RegisterHandler(uint8_t type, EventCallback callback, void* user) {
    for (EventHandler& handler : mHandlers) {
        if (handler.type == EVENT_NONE) {
            handler = EventHandler{type, callback, user};
            return;
        }
    }
}

void EventBus::PostEvent(const Event& event) {
    if (!mStorage || mCount == mCapacity) {
        LogMessage(LOG_WARNING, kTag, "WARNING: Event bus is flooded");
        return;
    }
    *mWritePtr = event;
    ++mWritePtr;
    ++mCount;
    if (mWritePtr == mStorage + mCapacity)
        mWritePtr = mStorage;
}

void EventBus::ProcessEvents() {
    SDL_Event sdlEvent;
    while (SDL_PollEvent(&sdlEvent)) {
        Event event{};
        if (TranslateEvent(sdlEvent, &event) == 0)
            Dispatch(event);
    }
    // Handlers may post while this loop runs; those events are taken in the
    // same pass, after the ones already waiting.
    while (mCount != 0) {
        const Event event = *mReadPtr;
        --mCount;
        ++mReadPtr;
        if (mReadPtr == mStorage + mCapacity)
            mReadPtr = mStorage;
        Dispatch(event);
    }
}

void EventBus::Dispatch(const Event& event) {
    // One copy for all the handlers of this event, owned by the bus for the
    // dispatch: a change one handler makes is what the next one receives,
    // and none reaches the queue slot the event came from. The handlers are
    // chosen by the type the event arrived with, so a handler that rewrites
    // the type cannot hand the record on to another type's handlers.
    Event shared = event;
    const uint8_t type = event.type;
    // The occupied slots form a prefix, so the first empty one ends the table.
    for (const EventHandler& handler : mHandlers) {
        if (handler.type == EVENT_NONE)
            return;
        if (handler.type != type || !handler.callback)
            continue;
        handler.callback(&shared, handler.user);
    }
}

int EventBus::CheckQueue() const {
    const char* broken = nullptr;
    if (!mStorage) {
        if (mCount != 0 || mReadPtr || mWritePtr)
            broken = "positions or count set without storage";
    } else if (mCount > mCapacity) {
        broken = "more events queued than the capacity";
    } else if (mReadPtr < mStorage || mReadPtr >= mStorage + mCapacity || mWritePtr < mStorage ||
               mWritePtr >= mStorage + mCapacity) {
        broken = "a position lies outside the storage";
    } else {
        const uint64_t read = static_cast<uint64_t>(mReadPtr - mStorage);
        const uint64_t write = static_cast<uint64_t>(mWritePtr - mStorage);
        if (write != (read + mCount) % mCapacity)
            broken = "the write position is not count events after the read position";
    }
    for (int i = 1; i < kMaxEventHandlers && !broken; ++i) {
        if (mHandlers[i - 1].type == EVENT_NONE && mHandlers[i].type != EVENT_NONE)
            broken = "an occupied handler slot follows an empty one";
    }
    if (!broken)
        return 0;
    LogMessage(LOG_ERROR, kTag, "Queue check failed: %s", broken);
    return -1;
}
