// Program entry: one application object driven through Init, Run and Shutdown.
#include "core/Engine.h"
#include "input/EventBus.h"
#include "input/InputDriver.h"

namespace {

// Runs the event loop until a quit event arrives: Escape posts one, closing
// the window sends one.
class EventLoopApp : public Engine {
public:
    EventLoopApp() : Engine("Vesperon") {}

    void Run() override {
        mRunning = true;
        mEventBus->RegisterHandler(EVENT_QUIT, OnQuit, this);
        mEventBus->RegisterHandler(EVENT_KEY, OnKey, this);
        while (mRunning)
            mEventBus->ProcessEvents();
    }

private:
    static void OnQuit(Event*, void* user) { static_cast<EventLoopApp*>(user)->mRunning = false; }
    static void OnKey(Event* event, void* user) {
        if (event->key.released == 0 && event->key.key == KEY_ESCAPE)
            static_cast<EventLoopApp*>(user)->mEventBus->PostEvent(MakeQuitEvent());
    }
};

} // namespace

int main(int, char**) {
    EventLoopApp app;
    int status = 0;
    if (app.Init(SUBSYSTEM_ALL) == 0)
        app.Run();
    else
        status = 1;
    app.Shutdown();
    return status;
}
