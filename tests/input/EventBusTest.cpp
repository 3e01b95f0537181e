// EventBus: queue storage, the bounded ring and its wrap-around, dispatch
// order and the shared copy, posting during the drain, and draining SDL's own queue.
#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include <string>
#include <vector>

#include "input/EventBus.h"
#include "input/InputDriver.h"
#include "memory/ZoneAllocator.h"
#include "support/LogCapture.h"

namespace {

constexpr uint64_t kCapacity = 128;

bool Logged(LogCapture& log, const char* marker, const std::string& message) {
    return log.HasLine(std::string(marker) + "  [EventBus] " + message);
}

// A wheel event numbered by its x, so order survives the trip through the bus.
Event Numbered(int32_t n) {
    Event event{};
    event.type = EVENT_MOUSE_WHEEL;
    event.wheel = MouseWheelPayload{n, 0};
    return event;
}

struct Recorder {
    std::vector<Event> seen;
};

void Record(Event* event, void* user) {
    static_cast<Recorder*>(user)->seen.push_back(*event);
}

class EventBusTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_EVENTS), 0) << SDL_GetError();
    }
    void SetUp() override {
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
        ASSERT_EQ(zone.Init(), 0);
        ASSERT_EQ(bus.Init(&zone, kCapacity), 0);
    }
    std::vector<int32_t> SeenNumbers() const {
        std::vector<int32_t> numbers;
        for (const Event& event : recorder.seen)
            numbers.push_back(event.wheel.x);
        return numbers;
    }
    ZoneAllocator zone{1 << 20};
    EventBus bus;
    Recorder recorder;
};

TEST_F(EventBusTest, QueueIsOneTaggedZoneBlockReturnedOnDestruction) {
    EXPECT_EQ(zone.GetAllocCount(), 1u);
    const MemoryBlock* block = reinterpret_cast<const MemoryBlock*>(
        reinterpret_cast<uint8_t*>(bus.mStorage) - kBlockHeaderSize);
    EXPECT_EQ(block->tag, TAG_EVENTS);
    EXPECT_EQ(block->size, 3120u);
    EXPECT_EQ(bus.mReadPtr, bus.mStorage);
    EXPECT_EQ(bus.mWritePtr, bus.mStorage);
    EXPECT_EQ(bus.CheckQueue(), 0);
    {
        EventBus other;
        ASSERT_EQ(other.Init(&zone, kCapacity), 0);
        EXPECT_EQ(zone.GetAllocCount(), 2u);
    }
    EXPECT_EQ(zone.GetAllocCount(), 1u);
}

TEST_F(EventBusTest, StorageThatCannotBeHadFailsInitAndEveryPostFloods) {
    LogCapture log;
    ZoneAllocator tiny(1024);
    ASSERT_EQ(tiny.Init(), 0);
    EventBus starved, unsized, overflowing;
    EXPECT_EQ(starved.Init(&tiny, kCapacity), -1);
    EXPECT_EQ(unsized.Init(&zone, 0), -1);
    EXPECT_EQ(overflowing.Init(&zone, UINT64_MAX / 16), -1); // 24x wraps around
    EXPECT_EQ(bus.Init(&zone, kCapacity), -1);               // already has storage
    EXPECT_TRUE(Logged(log, "[E]", "Failed to initialize storage for event queue"));
    EXPECT_EQ(starved.mStorage, nullptr);
    EXPECT_EQ(zone.GetAllocCount(), 1u);

    starved.RegisterHandler(EVENT_MOUSE_WHEEL, Record, &recorder);
    starved.PostEvent(Numbered(1));
    EXPECT_TRUE(Logged(log, "[W]", "WARNING: Event bus is flooded"));
    starved.ProcessEvents();
    EXPECT_TRUE(recorder.seen.empty());
    EXPECT_EQ(starved.CheckQueue(), 0);
}

TEST_F(EventBusTest, The129thPostIsDroppedAndTheFirst128ArriveOldestFirst) {
    LogCapture log;
    bus.RegisterHandler(EVENT_MOUSE_WHEEL, Record, &recorder);
    for (int32_t n = 0; n < 129; ++n)
        bus.PostEvent(Numbered(n));
    EXPECT_EQ(log.Lines(),
              std::vector<std::string>{"[W]  [EventBus] WARNING: Event bus is flooded"});
    EXPECT_EQ(bus.mCount, kCapacity);
    EXPECT_EQ(bus.CheckQueue(), 0);
    bus.ProcessEvents();
    std::vector<int32_t> expected;
    for (int32_t n = 0; n < 128; ++n)
        expected.push_back(n);
    EXPECT_EQ(SeenNumbers(), expected);
    // Both positions went once round the ring and are back at its start.
    EXPECT_EQ(bus.mReadPtr, bus.mStorage);
    EXPECT_EQ(bus.mWritePtr, bus.mStorage);
    EXPECT_EQ(bus.mCount, 0u);
}

TEST_F(EventBusTest, PositionsWrapMidRingWithoutLosingOrder) {
    bus.RegisterHandler(EVENT_MOUSE_WHEEL, Record, &recorder);
    std::vector<int32_t> expected;
    for (int32_t batch = 0; batch < 5; ++batch) {
        for (int32_t n = 0; n < 100; ++n) {
            bus.PostEvent(Numbered(batch * 100 + n));
            expected.push_back(batch * 100 + n);
            ASSERT_EQ(bus.CheckQueue(), 0);
        }
        bus.ProcessEvents();
    }
    EXPECT_EQ(SeenNumbers(), expected);
    EXPECT_EQ(bus.mReadPtr, bus.mStorage + 500 % kCapacity);
}

TEST_F(EventBusTest, EventPostedByAHandlerDuringTheDrainArrivesInTheSameCall) {
    bus.RegisterHandler(EVENT_MOUSE_WHEEL, Record, &recorder);
    bus.RegisterHandler(
        EVENT_MOUSE_WHEEL,
        [](Event* event, void* user) {
            if (event->wheel.x == 0)
                static_cast<EventBus*>(user)->PostEvent(Numbered(99));
        },
        &bus);
    for (int32_t n = 0; n < 3; ++n)
        bus.PostEvent(Numbered(n));
    bus.ProcessEvents();
    EXPECT_EQ(SeenNumbers(), (std::vector<int32_t>{0, 1, 2, 99}));
    EXPECT_EQ(bus.mCount, 0u);
}

// The road of Escape: SDL's key event is dispatched at once, its handler posts
// a quit request, and the quit handler sees it before ProcessEvents returns.
TEST_F(EventBusTest, QuitPostedFromAnSDLKeyHandlerArrivesInTheSameCall) {
    struct Context {
        EventBus* bus;
        std::vector<uint8_t> types;
    } context{&bus, {}};
    auto note = [](Event* event, void* user) {
        auto* c = static_cast<Context*>(user);
        c->types.push_back(event->type);
        if (event->type == EVENT_KEY)
            c->bus->PostEvent(MakeQuitEvent());
    };
    bus.RegisterHandler(EVENT_QUIT, note, &context);
    bus.RegisterHandler(EVENT_KEY, note, &context);
    SDL_Event key{};
    key.type = SDL_KEYDOWN;
    key.key.keysym.scancode = SDL_SCANCODE_ESCAPE;
    ASSERT_EQ(SDL_PushEvent(&key), 1);
    bus.ProcessEvents();
    EXPECT_EQ(context.types, (std::vector<uint8_t>{EVENT_KEY, EVENT_QUIT}));
}

TEST_F(EventBusTest, HandlersOfOneEventShareOneCopyInRegistrationOrder) {
    struct Call {
        std::vector<std::string>* log;
        std::vector<const Event*>* records;
        const char* name;
    };
    std::vector<std::string> calls;
    std::vector<const Event*> records;
    Call first{&calls, &records, "first"}, second{&calls, &records, "second"},
        other{&calls, &records, "other"};
    // Each handler adds one to the key and turns the event into a wheel
    // event: the next handler of the key event sees both changes, and the
    // wheel handler is still not called.
    auto handler = [](Event* event, void* user) {
        auto* call = static_cast<Call*>(user);
        call->log->push_back(std::string(call->name) + ":" + std::to_string(event->type) + ":" +
                             std::to_string(event->key.key));
        call->records->push_back(event);
        ++event->key.key;
        event->type = EVENT_MOUSE_WHEEL;
    };
    bus.RegisterHandler(EVENT_KEY, handler, &first);
    bus.RegisterHandler(EVENT_MOUSE_WHEEL, handler, &other);
    bus.RegisterHandler(EVENT_KEY, nullptr, nullptr); // no callback: skipped
    bus.RegisterHandler(EVENT_KEY, handler, &second);
    Event key{};
    key.type = EVENT_KEY;
    key.key = KeyPayload{0, 22};
    bus.PostEvent(key);
    bus.PostEvent(key);
    const Event* firstSlot = bus.mStorage;
    bus.ProcessEvents();
    // Every event starts from what was posted: the changes last one dispatch.
    const std::string wheel = std::to_string(EVENT_MOUSE_WHEEL);
    EXPECT_EQ(calls, (std::vector<std::string>{"first:1:22", "second:" + wheel + ":23",
                                               "first:1:22", "second:" + wheel + ":23"}));
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0], records[1]) << "both handlers of one event get the same record";
    EXPECT_NE(records[0], firstSlot) << "the record is the bus's copy, not the queue slot";
    EXPECT_EQ(firstSlot->type, EVENT_KEY);
    EXPECT_EQ(firstSlot->key.key, 22);

    // Translated SDL input takes the same road.
    calls.clear();
    SDL_Event sdlKey{};
    sdlKey.type = SDL_KEYDOWN;
    sdlKey.key.keysym.scancode = SDL_SCANCODE_A;
    ASSERT_EQ(SDL_PushEvent(&sdlKey), 1);
    bus.ProcessEvents();
    ASSERT_EQ(calls.size(), 2u);
    const std::string firstKey = calls[0].substr(calls[0].rfind(':') + 1);
    EXPECT_EQ(calls[1], "second:" + wheel + ":" + std::to_string(std::stoi(firstKey) + 1));
}

TEST_F(EventBusTest, The65thRegistrationHasNoEffect) {
    Recorder extra;
    for (int i = 0; i < kMaxEventHandlers; ++i)
        bus.RegisterHandler(EVENT_MOUSE_WHEEL, Record, &recorder);
    bus.RegisterHandler(EVENT_MOUSE_WHEEL, Record, &extra);
    EXPECT_EQ(bus.mHandlers[kMaxEventHandlers - 1].user, &recorder);
    bus.PostEvent(Numbered(7));
    bus.ProcessEvents();
    EXPECT_EQ(recorder.seen.size(), 64u);
    EXPECT_TRUE(extra.seen.empty());
    EXPECT_EQ(bus.CheckQueue(), 0);
}

TEST_F(EventBusTest, ProcessEventsEmptiesBothQueuesAndSkipsUntranslatableEvents) {
    SDL_Event window{}, key{}, user{};
    window.type = SDL_WINDOWEVENT;
    window.window.event = SDL_WINDOWEVENT_RESIZED;
    key.type = SDL_KEYUP;
    key.key.keysym.scancode = SDL_SCANCODE_W;
    user.type = SDL_USEREVENT;
    for (SDL_Event* event : {&window, &key, &user})
        ASSERT_EQ(SDL_PushEvent(event), 1);
    bus.PostEvent(Numbered(1));
    bus.ProcessEvents(); // no handler at all
    EXPECT_EQ(SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT), 0);
    EXPECT_EQ(bus.mCount, 0u);

    for (uint8_t type = 1; type <= EVENT_QUIT; ++type)
        bus.RegisterHandler(type, Record, &recorder);
    for (SDL_Event* event : {&window, &key, &user})
        ASSERT_EQ(SDL_PushEvent(event), 1);
    bus.ProcessEvents();
    ASSERT_EQ(recorder.seen.size(), 1u);
    EXPECT_EQ(recorder.seen[0].type, EVENT_KEY);
    EXPECT_EQ(recorder.seen[0].key.released, 1);
    EXPECT_EQ(recorder.seen[0].key.key, KEY_W);
}

} // namespace
