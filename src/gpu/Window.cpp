// Window: the SDL window and the OpenGL context attributes it is created with.
#include "gpu/Window.h"

#include "core/Logger.h"

namespace {

const char* const kTag = "Window";

// The renderer asks for an OpenGL 4.1 core, accelerated, double-buffered
// context with a 24-bit depth buffer; the attributes must be set before the
// window is created, and in this order.
void SetContextAttributes() {
    SDL_GL_SetAttribute(SDL_GL_ACCELERATED_VISUAL, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 4);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
}

} // namespace

bool VideoDriverShowsNothing(const char* driver) {
    return driver && (SDL_strcmp(driver, "offscreen") == 0 || SDL_strcmp(driver, "dummy") == 0);
}

bool VideoDriverRequested() {
    // SDL reads the hint, or failing that the environment variable of the same name.
    const char* requested = SDL_GetHint(SDL_HINT_VIDEODRIVER);
    return requested && requested[0] != '\0';
}

uint32_t WindowFlagsForMode(int32_t fullscreenMode) {
    uint32_t flags = SDL_WINDOW_OPENGL | SDL_WINDOW_ALLOW_HIGHDPI;
    if (fullscreenMode == WINDOW_FULLSCREEN)
        flags |= SDL_WINDOW_FULLSCREEN;
    else if (fullscreenMode == WINDOW_FULLSCREEN_DESKTOP)
        flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    return flags;
}

Window::Window(const char* title, uint32_t width, uint32_t height, int32_t fullscreenMode)
    : mTitle(title), mWidth(width), mHeight(height), mFullscreenMode(fullscreenMode),
      mSDLWindow(nullptr), mVideoStarted(false) {}

Window::~Window() {
    if (mSDLWindow)
        SDL_DestroyWindow(mSDLWindow);
    if (mVideoStarted)
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

int Window::Init() {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        LogMessage(LOG_ERROR, kTag, "Couldn't initialize window subsystem: %s", SDL_GetError());
        return -1;
    }
    mVideoStarted = true;
    // Without a display SDL falls back to a driver that draws into memory: the
    // program would run to the end unseen. Only a user who asked for such a
    // driver gets it.
    const char* driver = SDL_GetCurrentVideoDriver();
    if (VideoDriverShowsNothing(driver) && !VideoDriverRequested()) {
        LogMessage(LOG_ERROR, kTag,
                   "Couldn't initialize window subsystem: no display (SDL could only start its "
                   "\"%s\" video driver, which shows nothing; set DISPLAY, or SDL_VIDEODRIVER "
                   "to use that driver anyway)",
                   driver);
        return -1;
    }
    LogMessage(LOG_INFO, kTag, "Opening window of size: %u x %u", mWidth, mHeight);
    uint32_t flags = WindowFlagsForMode(mFullscreenMode);
    SetContextAttributes();
    mSDLWindow = SDL_CreateWindow(mTitle.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                  static_cast<int>(mWidth), static_cast<int>(mHeight), flags);
    if (!mSDLWindow) {
        LogMessage(LOG_ERROR, kTag, "Unable to create window: %s", SDL_GetError());
        return -1;
    }
    return 0;
}

int Window::GetDPI() {
    int display = SDL_GetWindowDisplayIndex(mSDLWindow);
    float horizontal = 0.0f;
    if (display < 0 || SDL_GetDisplayDPI(display, nullptr, &horizontal, nullptr) != 0) {
        LogMessage(LOG_WARNING, kTag, "Couldn't get display DPI; returning a default value");
        return kDefaultDPI;
    }
    return static_cast<int>(horizontal);
}
