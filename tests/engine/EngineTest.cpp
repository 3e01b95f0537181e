// Engine: start-up order in the log, failure paths and teardown.
#include "engine/Engine.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "gpu/Window.h"
#include "input/EventBus.h"
#include "memory/Allocator.h"
#include "support/LogCapture.h"

namespace {

class TestEngine : public Engine {
public:
    TestEngine() : Engine("Vesperon") {}
    void Run() override {}
};

// Messages in log order, tag included: "[Game] Initialising ...".
std::vector<std::string> Messages(LogCapture& capture) {
    std::vector<std::string> out;
    for (const std::string& line : capture.Lines())
        out.push_back(line.substr(line.find('[', 1)));
    return out;
}

const std::string kRule(80, '-');

} // namespace

TEST(Engine, FullStartLogsBannerThenEverySubsystemInOrder) {
    LogCapture capture;
    TestEngine engine;
    ASSERT_EQ(engine.Init(SUBSYSTEM_ALL), 0);
    std::vector<std::string> wanted = {
        "[Game] " + kRule,
        "[Game] Engine starting up...",
        "[Game] " + kRule,
        "[Game] Initialising memory allocation subsystem",
        "[Game] Initialising event bus subsystem",
        "[Game] Initialising window subsystem",
        "[Game] Initialising rendering subsystem",
        "[Game] Initialising input subsystem",
    };
    std::vector<std::string> got = Messages(capture);
    size_t next = 0;
    for (const std::string& message : got)
        if (next < wanted.size() && message == wanted[next])
            ++next;
    EXPECT_EQ(next, wanted.size())
        << "missing or out of order: " << wanted[std::min(next, wanted.size() - 1)];
    EXPECT_TRUE(capture.Contains("Opening window of size: 1440 x 900"));
    EXPECT_NE(engine.mRenderer, nullptr);
    engine.Shutdown();
}

TEST(Engine, WithoutTheRendererFlagNoRendererExists) {
    TestEngine engine;
    ASSERT_EQ(engine.Init(SUBSYSTEM_ALL & ~SUBSYSTEM_RENDERER), 0);
    EXPECT_EQ(engine.mRenderer, nullptr);
    EXPECT_NE(engine.mInputDriver, nullptr);
    EXPECT_EQ(engine.mAllocator->GetAllocCount(), 1u) << "only the event queue is allocated";
    engine.Shutdown();
}

TEST(Engine, WindowFailureStopsStartUpAndShutdownReleasesTheRest) {
    // SDL's dummy video driver can't create an OpenGL window.
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    LogCapture capture;
    TestEngine engine;
    int result = engine.Init(SUBSYSTEM_ALL);
    unsetenv("SDL_VIDEODRIVER");
    EXPECT_EQ(result, -1);
    EXPECT_NE(engine.mAllocator, nullptr);
    EXPECT_NE(engine.mEventBus, nullptr);
    EXPECT_NE(engine.mWindow, nullptr) << "the failed window is still owned";
    EXPECT_EQ(engine.mRenderer, nullptr);
    EXPECT_EQ(engine.mInputDriver, nullptr);
    EXPECT_TRUE(capture.ContainsFragment("Unable to create window: "));
    engine.Shutdown(); // asserts the event queue went back to the allocator
}

TEST(Engine, MissingDependenciesAreRefusedNotDereferenced) {
    LogCapture capture;
    TestEngine events;
    EXPECT_EQ(events.Init(SUBSYSTEM_EVENTS), -1);
    EXPECT_EQ(events.mEventBus, nullptr);
    events.Shutdown();
    TestEngine renderer;
    EXPECT_EQ(renderer.Init(SUBSYSTEM_RENDERER), -1);
    EXPECT_EQ(renderer.mRenderer, nullptr);
    renderer.Shutdown();
    EXPECT_TRUE(capture.Contains("The event bus needs the memory subsystem"));
    EXPECT_TRUE(capture.Contains("The renderer needs the window subsystem"));
}

TEST(Engine, ShutdownTwiceReleasesNothingTwice) {
    TestEngine engine;
    ASSERT_EQ(engine.Init(SUBSYSTEM_MEMORY | SUBSYSTEM_EVENTS), 0);
    engine.Shutdown();
    EXPECT_EQ(engine.mAllocator, nullptr);
    engine.Shutdown();
}
