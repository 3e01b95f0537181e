// Engine: brings the subsystems up in a fixed order and takes them down again.
#include "engine/Engine.h"

#include <cassert>

#include <SDL2/SDL.h>

#include "core/Logger.h"
#include "render/Renderer.h"
#include "gpu/Window.h"
#include "input/EventBus.h"
#include "input/InputDriver.h"
#include "memory/ZoneAllocator.h"

namespace {

const char* const kTag = "Game";

void LogBanner() {
    static const char kRule[] =
        "--------------------------------------------------------------------------------";
    static_assert(sizeof(kRule) == 81, "the banner rule is 80 dashes");
    LogMessage(LOG_INFO, kTag, "%s", kRule);
    LogMessage(LOG_INFO, kTag, "Engine starting up...");
    LogMessage(LOG_INFO, kTag, "%s", kRule);
}

// The event bus keeps its queue in a zone block and the renderer draws into
// the window: asking for either without its dependency is a programming
// error, reported instead of dereferencing a null subsystem.
bool DependenciesMet(int flags) {
    if ((flags & SUBSYSTEM_EVENTS) && !(flags & SUBSYSTEM_MEMORY)) {
        LogMessage(LOG_ERROR, kTag, "The event bus needs the memory subsystem");
        return false;
    }
    if ((flags & SUBSYSTEM_RENDERER) && !(flags & SUBSYSTEM_WINDOW)) {
        LogMessage(LOG_ERROR, kTag, "The renderer needs the window subsystem");
        return false;
    }
    return true;
}

} // namespace

Engine::Engine(const char* title)
    : mTitle(title), mRunning(false), mLogger(nullptr), mAllocator(nullptr), mEventBus(nullptr),
      mWindow(nullptr), mRenderer(nullptr), mInputDriver(nullptr) {}

Engine::~Engine() = default;

int Engine::Init(int flags) {
    mLogger = Logger::Instance();
    LogBanner();
    if (!DependenciesMet(flags))
        return -1;

    if (flags & SUBSYSTEM_MEMORY) {
        LogMessage(LOG_INFO, kTag, "Initialising memory allocation subsystem");
        mAllocator = new ZoneAllocator(kZoneHeapSize);
        if (mAllocator->Init() != 0)
            return -1;
    }
    if (flags & SUBSYSTEM_EVENTS) {
        LogMessage(LOG_INFO, kTag, "Initialising event bus subsystem");
        mEventBus = new EventBus();
        if (mEventBus->Init(mAllocator, kEventQueueCapacity) != 0)
            return -1;
    }
    if (flags & SUBSYSTEM_WINDOW) {
        LogMessage(LOG_INFO, kTag, "Initialising window subsystem");
        mWindow = new Window(mTitle.c_str(), kWindowWidth, kWindowHeight, WINDOW_WINDOWED);
        if (mWindow->Init() != 0)
            return -1;
    }
    if (flags & SUBSYSTEM_RENDERER) {
        LogMessage(LOG_INFO, kTag, "Initialising rendering subsystem");
        mRenderer = new Renderer(mWindow);
        if (mRenderer->Init() != 0)
            return -1;
        SDL_GL_SetSwapInterval(1);
    }
    if (flags & SUBSYSTEM_INPUT) {
        LogMessage(LOG_INFO, kTag, "Initialising input subsystem");
        mInputDriver = new InputDriver();
        if (mInputDriver->Init() != 0)
            return -1;
    }
    return 0;
}

// Reverse order of creation: the renderer's context needs the window, and
// the event bus returns its queue to the allocator, which goes last. The
// pointers are cleared so a second Shutdown releases nothing twice.
void Engine::Shutdown() {
    delete mInputDriver;
    mInputDriver = nullptr;
    delete mRenderer;
    mRenderer = nullptr;
    delete mWindow;
    mWindow = nullptr;
    delete mEventBus;
    mEventBus = nullptr;
    if (mAllocator) {
        assert(mAllocator->GetAllocCount() == 0 &&
               "every zone block must be freed by its owner before shutdown");
        delete mAllocator;
        mAllocator = nullptr;
    }
    SDL_Quit();
}
