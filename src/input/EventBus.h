// EventBus: carries Events to the handlers the application registers. SDL
// input is translated and dispatched at once; application-posted events wait
// in a 128-record ring (one zone block, tag 7) drained in the same call.
//
// Invariant (checked by CheckQueue): mReadPtr and mWritePtr lie in
// [mStorage, mStorage + mCapacity); mCount <= mCapacity; the write position is
// mCount records after the read position (mod mCapacity); occupied handler
// slots form a prefix of mHandlers.
#pragma once

#include <cstdint>

#include "input/Event.h"

class Allocator;

constexpr int kMaxEventHandlers = 64;

typedef void (*EventCallback)(Event* event, void* user);

struct EventHandler {
    uint8_t type; // EventType; 0 = empty slot
    EventCallback callback;
    void* user;
};

class EventBus {
public:
    EventBus();
    virtual ~EventBus();

    int Init(Allocator* allocator, uint64_t capacity);
    void RegisterHandler(uint8_t type, EventCallback callback, void* user);
    void PostEvent(const Event& event);
    void ProcessEvents();

    // 0 when the invariant above holds, else -1 with a log line. Tests only.
    int CheckQueue() const;

    Allocator* mAllocator;
    uint64_t mCapacity;
    uint64_t mCount;
    Event* mStorage;
    Event* mReadPtr;
    Event* mWritePtr;
    EventHandler mHandlers[kMaxEventHandlers];

private:
    void Dispatch(const Event& event);
};
