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
