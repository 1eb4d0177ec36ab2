// SDL2 backend: message box, window and GL 1.x compatibility context, display
// mode, events, counter and threads. Main thread, except the threads' own.
//
// The scenes always draw into an offscreen picture of the size the window was
// asked for (picture_framebuffer.h), which each swap scales onto the window:
// so a full-screen window on a display without the show's mode, a resized
// window and a high-density display all show the whole picture, 4:3 kept.
#include "platform/platform.h"
#include "platform/backend_shared.h"
#include "platform/gl/picture_framebuffer.h"

#include <SDL.h>

#include <cstdlib>
#include <thread>

namespace {

SDL_Window* window = nullptr;
SDL_GLContext gl_context = nullptr;
SDL_DisplayMode fullscreen_mode = {};  // the mode platform_set_display_mode found
int fullscreen_mode_pending = 0;       // 1 while that mode is wanted
int display_mode_changed = 0;          // 1 while the full-screen window runs in that mode
int cursor_hidden_by_cover = 0;        // 1 while a display-covering window hides the cursor

// The show belongs on the desktop. When the display does not answer at once,
// SDL falls back to its offscreen driver and the show would run where no one
// sees it; so unless the user names a driver (SDL_VIDEODRIVER), only the
// desktop drivers are tried, a few times.
int ensure_video()
{
    if (SDL_WasInit(SDL_INIT_VIDEO))
        return 1;
    if (!SDL_getenv("SDL_VIDEODRIVER"))
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11,wayland");
    // SDL reads the class name when video starts; a user's own choice stays.
    SDL_setenv("SDL_VIDEO_X11_WMCLASS", kWindowClassName, 0);
    SDL_setenv("SDL_VIDEO_WAYLAND_WMCLASS", kWindowClassName, 0);
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) {
            std::atexit(SDL_Quit);
            return 1;
        }
        SDL_Delay(100);
    }
    return 0;
}

// The display the window is on runs width × height now.
int display_runs(int width, int height)
{
    SDL_DisplayMode now;
    const int display = SDL_GetWindowDisplayIndex(window);
    return display >= 0 && SDL_GetCurrentDisplayMode(display, &now) == 0 && now.w == width &&
           now.h == height;
}

// A window of the show: a pop-up at the display's top-left corner that may be
// resized or maximised (the picture follows), or with cover non-zero a
// borderless one over the whole first display at its own resolution. The
// covering window is made at the display's size and place, so it covers the
// display even where no window manager acts on its full-screen state.
SDL_Window* open_window(const char* title, int width, int height, int cover)
{
    const Uint32 flags =
        SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI;
    SDL_Rect bounds;
    if (!cover || SDL_GetDisplayBounds(0, &bounds) != 0)
        return SDL_CreateWindow(title, 0, 0, width, height, flags);
    return SDL_CreateWindow(title, bounds.x, bounds.y, bounds.w, bounds.h,
                            flags | SDL_WINDOW_BORDERLESS | SDL_WINDOW_FULLSCREEN_DESKTOP);
}

} // namespace

int platform_ask_yes_no(const char* text, const char* caption)
{
    const SDL_MessageBoxButtonData buttons[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, kAnswerYes, "Yes"},
        {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, kAnswerNo, "No"},
    };
    const SDL_MessageBoxData box = {SDL_MESSAGEBOX_INFORMATION, nullptr, caption, text,
                                    SDL_arraysize(buttons), buttons, nullptr};
    int button = 0;
    if (SDL_ShowMessageBox(&box, &button) != 0)
        return 0;
    // Closing the box answers like its Escape key.
    return button == kAnswerYes ? kAnswerYes : kAnswerNo;
}

// SDL changes the mode when a full-screen window opens and puts the desktop
// mode back when that window goes; here the mode is only looked up.
int platform_set_display_mode(int width, int height, int bits)
{
    if (!ensure_video())
        return 0;
    const SDL_DisplayMode wanted = {SDL_PIXELFORMAT_RGB888, width, height, 0, nullptr};
    SDL_DisplayMode found;
    if (!SDL_GetClosestDisplayMode(0, &wanted, &found) || found.w != width || found.h != height ||
        int(SDL_BYTESPERPIXEL(found.format)) * 8 != bits)
        return 0;
    fullscreen_mode = found;
    fullscreen_mode_pending = 1;
    return 1;
}

void platform_restore_display_mode() { fullscreen_mode_pending = 0; }

int platform_create_window(int width, int height, int fullscreen, const char* title)
{
    if (!ensure_video())
        return 0;
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    display_mode_changed = 0;
    if (fullscreen && fullscreen_mode_pending) {
        // SDL switches the mode when the window shows; whether it did is only
        // known then.
        window = open_window(title, width, height, 0);
        if (!window)
            return 0;
        if (SDL_SetWindowDisplayMode(window, &fullscreen_mode) == 0)
            SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN);
        SDL_ShowWindow(window);
        display_mode_changed = (SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN_DESKTOP) ==
                                   SDL_WINDOW_FULLSCREEN &&
                               display_runs(width, height);
        if (!display_mode_changed) {
            SDL_DestroyWindow(window); // and SDL puts back whatever mode it changed
            window = nullptr;
        }
    }
    if (!window) {
        window = open_window(title, width, height, fullscreen);
        if (!window)
            return 0;
        if (fullscreen) {
            SDL_ShowCursor(SDL_DISABLE);
            cursor_hidden_by_cover = 1;
        }
        SDL_ShowWindow(window);
    }
    gl_context = SDL_GL_CreateContext(window);
    if (!gl_context || SDL_GL_MakeCurrent(window, gl_context) != 0)
        return 0;
    int depth_bits = 0, double_buffered = 0;
    SDL_GL_GetAttribute(SDL_GL_DEPTH_SIZE, &depth_bits);
    SDL_GL_GetAttribute(SDL_GL_DOUBLEBUFFER, &double_buffered);
    if (depth_bits < 16 || !double_buffered) {
        SDL_SetError("no double-buffered context with a 16-bit depth buffer");
        return 0;
    }
    int drawable_width = 0, drawable_height = 0;
    SDL_GL_GetDrawableSize(window, &drawable_width, &drawable_height);
    // Without framebuffer objects: unscaled, centred.
    picture_framebuffer_create(SDL_GL_GetProcAddress, width, height, drawable_width, drawable_height);
    return 1;
}

int platform_display_mode_changed() { return display_mode_changed; }

void platform_output_size(int* width, int* height)
{
    *width = *height = 0;
    if (window && !(SDL_GetWindowFlags(window) & SDL_WINDOW_MINIMIZED))
        SDL_GL_GetDrawableSize(window, width, height);
}

int platform_set_picture_size(int width, int height) { return picture_framebuffer_resize(width, height); }

const char* platform_error() { return SDL_GetError(); }

void platform_destroy_window()
{
    if (gl_context) {
        picture_framebuffer_destroy();
        SDL_GL_MakeCurrent(window, nullptr);
        SDL_GL_DeleteContext(gl_context);
        gl_context = nullptr;
    }
    if (cursor_hidden_by_cover) {
        SDL_ShowCursor(SDL_ENABLE);
        cursor_hidden_by_cover = 0;
    }
    if (window) {
        // SDL puts the display's own mode back as the full-screen window goes.
        SDL_DestroyWindow(window);
        window = nullptr;
    }
    display_mode_changed = 0;
}

int platform_has_gl_context() { return gl_context && SDL_GL_GetCurrentContext() == gl_context; }

double platform_refresh_rate()
{
    SDL_DisplayMode mode;
    const int display = window ? SDL_GetWindowDisplayIndex(window) : 0;
    if (display < 0 || SDL_GetCurrentDisplayMode(display, &mode) != 0)
        return 0.0;
    return mode.refresh_rate;
}

int platform_pump_events()
{
    int quit = 0;
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_QUIT ||
            (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_CLOSE) ||
            (event.type == SDL_KEYDOWN && event.key.keysym.sym == SDLK_ESCAPE))
            quit = 1;
    }
    return quit;
}

int platform_swap_waits_for_display() { return 0; }

void platform_swap_buffers()
{
    if (!window)
        return;
    int drawable_width = 0, drawable_height = 0;
    SDL_GL_GetDrawableSize(window, &drawable_width, &drawable_height);
    picture_framebuffer_present(drawable_width, drawable_height);
    SDL_GL_SwapWindow(window);
    picture_framebuffer_rebind();
}

void platform_show_cursor(int show) { SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE); }

int64_t platform_counter() { return int64_t(SDL_GetPerformanceCounter()); }
int64_t platform_counter_frequency() { return int64_t(SDL_GetPerformanceFrequency()); }

void platform_yield() { std::this_thread::yield(); }
void platform_sleep_ms(int ms) { SDL_Delay(Uint32(ms < 0 ? 0 : ms)); }

struct PlatformThread {
    SDL_Thread* thread;
    int (*entry)(void*);
    void* arg;
};

namespace {

int run_thread(void* data)
{
    auto* self = static_cast<PlatformThread*>(data);
    SDL_SetThreadPriority(SDL_THREAD_PRIORITY_TIME_CRITICAL); // refused without privileges: fine
    return self->entry(self->arg);
}

} // namespace

PlatformThread* platform_thread_start(int (*entry)(void*), void* arg)
{
    auto* thread = new PlatformThread{nullptr, entry, arg};
    thread->thread = SDL_CreateThread(run_thread, "invitation", thread);
    if (!thread->thread) {
        delete thread;
        return nullptr;
    }
    return thread;
}

void platform_thread_join(PlatformThread* thread)
{
    if (!thread)
        return;
    SDL_WaitThread(thread->thread, nullptr);
    delete thread;
}
