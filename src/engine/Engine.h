// Engine: the application frame. Owns one of each subsystem (zone allocator,
// event bus, window, renderer, input driver), brings up the ones a bit set
// asks for in a fixed order and tears them down in reverse.
#pragma once

#include <string>

class Logger;
class Allocator;
class EventBus;
class Window;
class Renderer;
class InputDriver;

// Subsystem flags, the argument of Init. 0x01 names no subsystem and is ignored.
enum SubsystemFlag {
    SUBSYSTEM_MEMORY = 0x02,
    SUBSYSTEM_EVENTS = 0x04,
    SUBSYSTEM_WINDOW = 0x08,
    SUBSYSTEM_RENDERER = 0x10,
    SUBSYSTEM_INPUT = 0x20,
    SUBSYSTEM_ALL = 0x3F,
};

constexpr unsigned long long kZoneHeapSize = 0x20000000ull; // 512 MiB
constexpr unsigned long long kEventQueueCapacity = 128;
constexpr unsigned kWindowWidth = 1440;
constexpr unsigned kWindowHeight = 900;

class Engine {
public:
    explicit Engine(const char* title);
    virtual ~Engine();

    // 0 when every requested subsystem came up, -1 at the first failure. A
    // subsystem is stored before its initialisation runs, so Shutdown releases
    // whatever exists, including the one that failed.
    virtual int Init(int flags);
    virtual void Run() = 0;
    virtual void Shutdown();

    std::string mTitle;
    bool mRunning;
    Logger* mLogger;
    Allocator* mAllocator;
    EventBus* mEventBus;
    Window* mWindow;
    Renderer* mRenderer;
    InputDriver* mInputDriver;
};
