// Window: the one SDL window everything is drawn in. Brings up SDL's video
// subsystem, states the OpenGL context the renderer will create, and answers
// the display's DPI.
#pragma once

#include <cstdint>
#include <string>

#include <SDL2/SDL.h>

enum WindowMode : int32_t {
    WINDOW_WINDOWED = 0,
    WINDOW_FULLSCREEN = 1,
    WINDOW_FULLSCREEN_DESKTOP = 2,
};

constexpr int kDefaultDPI = 96;

class Window {
public:
    Window(const char* title, uint32_t width, uint32_t height, int32_t fullscreenMode);
    virtual ~Window();

    // -1 (logged) when the video subsystem or the window can't be had, and
    // when SDL fell back to a driver that shows nothing without being asked.
    int Init();
    // Horizontal DPI of the window's display, fraction cut off; 96 (with a
    // warning) when SDL can't tell, as on a virtual X display.
    int GetDPI();

    std::string mTitle;
    uint32_t mWidth;
    uint32_t mHeight;
    int32_t mFullscreenMode;
    SDL_Window* mSDLWindow;

private:
    // Whether Init took a reference on SDL's video subsystem: only then does
    // the destructor give it back, so a window that never started can't pull
    // the video driver from under another live context.
    bool mVideoStarted;
};

// The SDL window flags for a mode (exposed so the choice can be tested).
uint32_t WindowFlagsForMode(int32_t fullscreenMode);
// Whether SDL's video driver of that name draws only into memory.
bool VideoDriverShowsNothing(const char* driver);
// Whether the user named a video driver (SDL_VIDEODRIVER); a driver asked
// for by name is used even when it shows nothing.
bool VideoDriverRequested();
