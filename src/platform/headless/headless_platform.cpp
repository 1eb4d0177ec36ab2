// Headless backend: EGL surfaceless pbuffer, virtual clock, scripted input.
// Main thread only, except the clock, which any thread may read.
#include "platform/platform.h"
#include "platform/recordable.h"
#include "platform/headless/headless.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <GL/gl.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

namespace {

EGLDisplay egl_display = EGL_NO_DISPLAY;
EGLSurface egl_surface = EGL_NO_SURFACE;
EGLContext egl_context = EGL_NO_CONTEXT;
int surface_width = 0;   // pixels of the pbuffer
int surface_height = 0;

std::atomic<int64_t> clock_micros{0};   // virtual time, µs
int scripted_answer = kAnswerNo;
int pump_count = 0;
int swap_count = 0;
int window_should_fail = 0;
int quit_asked = 0;      // headless_request_quit since the last pump
void (*pump_hook)(int) = nullptr;
void (*swap_hook)(int) = nullptr;

EGLDisplay open_surfaceless_display()
{
    auto get_platform_display = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!get_platform_display)
        return EGL_NO_DISPLAY;
    EGLDisplay display = get_platform_display(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, nullptr, nullptr))
        return EGL_NO_DISPLAY;
    return display;
}

// The first single-sampled config with 8-bit RGBA and 24 depth bits, the
// buffers the windowed show draws into. eglChooseConfig puts deeper colour
// first (10-bit on Mesa), which would blend and round differently from the
// show and take the renderer's slower paths.
EGLConfig choose_picture_config(EGLDisplay display)
{
    // Pairs of attribute and value; from the third pair on, a config must
    // match the value exactly.
    const EGLint wanted[] = {
        EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
        EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8, EGL_ALPHA_SIZE, 8,
        EGL_DEPTH_SIZE, 24, EGL_SAMPLES, 0, EGL_NONE};
    EGLint count = 0;
    if (!eglChooseConfig(display, wanted, nullptr, 0, &count) || count < 1)
        return nullptr;
    std::vector<EGLConfig> configs(static_cast<size_t>(count));
    if (!eglChooseConfig(display, wanted, configs.data(), count, &count))
        return nullptr;
    configs.resize(static_cast<size_t>(count));
    for (EGLConfig config : configs) {
        bool exact = true;
        for (size_t a = 4; wanted[a] != EGL_NONE; a += 2) {
            EGLint value = -1;
            exact = exact && eglGetConfigAttrib(display, config, wanted[a], &value) && value == wanted[a + 1];
        }
        if (exact)
            return config;
    }
    return nullptr;
}

} // namespace

void headless_advance_clock(int64_t micros) { clock_micros.fetch_add(micros); }
int64_t headless_clock_micros() { return clock_micros.load(); }
void headless_set_answer(int answer) { scripted_answer = answer; }
void headless_request_quit() { quit_asked = 1; }
void headless_set_pump_hook(void (*hook)(int)) { pump_hook = hook; pump_count = 0; }
void headless_fail_window(int fail) { window_should_fail = fail; }
void platform_set_swap_observer(void (*observer)(int)) { swap_hook = observer; }

int platform_ask_yes_no(const char*, const char*) { return scripted_answer; }

// There is no display whose mode could change.
int platform_set_display_mode(int, int, int) { return 0; }
int platform_display_mode_changed() { return 0; }
void platform_restore_display_mode() {}

int platform_create_window(int width, int height, int, const char*)
{
    if (window_should_fail)
        return 0;
    if (egl_display == EGL_NO_DISPLAY)
        egl_display = open_surfaceless_display();
    if (egl_display == EGL_NO_DISPLAY)
        return 0;
    const EGLConfig config = choose_picture_config(egl_display);
    if (!config)
        return 0;
    const EGLint surface_attribs[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
    egl_surface = eglCreatePbufferSurface(egl_display, config, surface_attribs);
    surface_width = width;
    surface_height = height;
    if (egl_surface == EGL_NO_SURFACE || !eglBindAPI(EGL_OPENGL_API))
        return 0;
    egl_context = eglCreateContext(egl_display, config, EGL_NO_CONTEXT, nullptr);
    if (egl_context == EGL_NO_CONTEXT)
        return 0;
    if (!eglMakeCurrent(egl_display, egl_surface, egl_surface, egl_context))
        return 0;
    swap_count = 0;
    return 1;
}

void platform_output_size(int* width, int* height)
{
    *width = surface_width;
    *height = surface_height;
}

// The pbuffer keeps the size it was made with.
int platform_set_picture_size(int width, int height)
{
    return width == surface_width && height == surface_height;
}

const char* platform_error() { return ""; }

void platform_destroy_window()
{
    if (egl_display == EGL_NO_DISPLAY)
        return;
    eglMakeCurrent(egl_display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (egl_context != EGL_NO_CONTEXT)
        eglDestroyContext(egl_display, egl_context);
    if (egl_surface != EGL_NO_SURFACE)
        eglDestroySurface(egl_display, egl_surface);
    egl_context = EGL_NO_CONTEXT;
    egl_surface = EGL_NO_SURFACE;
}

int platform_has_gl_context() { return eglGetCurrentContext() != EGL_NO_CONTEXT; }

// A pbuffer has no refresh rate: the show falls back to its 60 Hz floor.
double platform_refresh_rate() { return 0.0; }

int platform_pump_events()
{
    ++pump_count;
    if (pump_hook)
        pump_hook(pump_count);
    const int quit = quit_asked;
    quit_asked = 0;
    return quit;
}

int platform_swap_waits_for_display() { return 0; }

void platform_swap_buffers()
{
    ++swap_count;
    if (swap_hook)
        swap_hook(swap_count);
    if (egl_surface != EGL_NO_SURFACE)
        eglSwapBuffers(egl_display, egl_surface);
}

void platform_show_cursor(int) {}

int64_t platform_counter() { return clock_micros.load(); }
int64_t platform_counter_frequency() { return kHeadlessCountsPerSecond; }

void platform_yield() { clock_micros.fetch_add(kHeadlessYieldMicros); }
void platform_sleep_ms(int ms) { clock_micros.fetch_add(int64_t(ms) * 1000); }

struct PlatformThread {
    std::thread thread;
};

PlatformThread* platform_thread_start(int (*entry)(void*), void* arg)
{
    return new PlatformThread{std::thread([entry, arg] { entry(arg); })};
}

void platform_thread_join(PlatformThread* thread)
{
    if (!thread)
        return;
    thread->thread.join();
    delete thread;
}

std::vector<uint8_t> platform_read_picture()
{
    const size_t row = size_t(surface_width) * 3;
    std::vector<uint8_t> bottom_up(row * size_t(surface_height)), top_down(bottom_up.size());
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, surface_width, surface_height, GL_RGB, GL_UNSIGNED_BYTE, bottom_up.data());
    for (int y = 0; y < surface_height; ++y)
        std::memcpy(&top_down[size_t(y) * row], &bottom_up[size_t(surface_height - 1 - y) * row], row);
    return top_down;
}
