// Web backend: the question box, the WebGL 2 canvas, key and page events,
// and the buffer swap, which hands the main thread back to the browser.
// Everything runs on the page's one thread; the page's own script
// (web_page.js) draws the box, the error line and the end of the show.
#include "platform/platform.h"
#include "platform/recordable.h"
#include "platform/web/gl1_layer.h"
#include "platform/web/web.h"
#include "platform/web/web_audio.h"

#include <emscripten.h>
#include <emscripten/html5.h>
#include <emscripten/html5_webgl.h>

#include <cstdio>

namespace {

EMSCRIPTEN_WEBGL_CONTEXT_HANDLE gl_context = 0;
const char* last_error = "";
int swap_count = 0;
int canvas_width = 0;  // the picture, pixels
int canvas_height = 0;
void (*swap_hook)(int) = nullptr;

} // namespace

// The page's waits. Each returns to the browser and resumes the program
// when the awaited thing has happened.
EM_ASYNC_JS(int, page_ask, (const char* text, const char* caption),
            { return await invitationPage.ask(UTF8ToString(text), UTF8ToString(caption)); });
EM_ASYNC_JS(void, page_next_frame, (int virtual_time), { await invitationPage.nextFrame(virtual_time); });

EM_JS(void, page_show_canvas, (const char* title, int width, int height),
      { invitationPage.showCanvas(UTF8ToString(title), width, height); });
EM_JS(void, page_output_size, (int* width, int* height), {
    const size = invitationPage.outputSize();
    HEAP32[width >> 2] = size[0];
    HEAP32[height >> 2] = size[1];
});
EM_JS(void, page_set_canvas_size, (int width, int height), { invitationPage.setCanvasSize(width, height); });
EM_JS(void, page_show_cursor, (int show), { invitationPage.showCursor(show); });
EM_JS(double, page_refresh_rate, (), { return invitationPage.refreshRate(); });
EM_JS(int, page_take_quit, (), { return invitationPage.takeQuit(); });
EM_JS(void, page_report_failure, (const char* line), { invitationPage.fail(UTF8ToString(line)); });
EM_JS(void, page_program_ended, (int status), { invitationPage.ended(status); });
EM_JS(int, page_parameter, (const char* name, char* out, int size), {
    const value = invitationPage.parameter(UTF8ToString(name));
    stringToUTF8(value, out, size);
    return lengthBytesUTF8(value);
});
EM_JS(void, page_report, (const char* name, const void* bytes, int size),
      { invitationPage.report(UTF8ToString(name), HEAPU8.slice(bytes, bytes + size)); });

std::string web_page_parameter(const char* name)
{
    char value[1024];
    page_parameter(name, value, sizeof value);
    return value;
}

void platform_set_swap_observer(void (*observer)(int)) { swap_hook = observer; }

std::vector<uint8_t> platform_read_picture()
{
    const int width = gl1.viewport[2], height = gl1.viewport[3];
    std::vector<uint8_t> rgba(size_t(width) * size_t(height) * 4), rgb(size_t(width) * size_t(height) * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                rgb[(size_t(y) * size_t(width) + size_t(x)) * 3 + size_t(c)] =
                    rgba[(size_t(height - 1 - y) * size_t(width) + size_t(x)) * 4 + size_t(c)];
    return rgb;
}

void web_set_drawing(int on) { gl1_set_drawing(on != 0); }

void web_report(const char* name, const void* bytes, size_t size) { page_report(name, bytes, int(size)); }

void web_program_ended(int status) { page_program_ended(status); }

int platform_ask_yes_no(const char* text, const char* caption) { return page_ask(text, caption); }

// A page cannot change the display's mode. A Yes asks the browser for full
// screen instead (in the click, the one moment it grants it): the canvas
// then covers the screen, the picture scaled 4:3 on black, the cursor hidden.
int platform_set_display_mode(int, int, int) { return 0; }
int platform_display_mode_changed() { return 0; }
void platform_restore_display_mode() {}

int platform_create_window(int width, int height, int, const char* title)
{
    page_show_canvas(title, width, height);
    canvas_width = width;
    canvas_height = height;
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.majorVersion = 2;
    attributes.alpha = false;
    attributes.depth = true;
    attributes.stencil = false;
    attributes.antialias = false;
    attributes.preserveDrawingBuffer = false;
    gl_context = emscripten_webgl_create_context("#canvas", &attributes);
    if (gl_context <= 0) {
        last_error = "this browser gives the page no WebGL 2";
        gl_context = 0;
        return 0;
    }
    emscripten_webgl_make_context_current(gl_context);
    gl1_context_created(width, height);
    swap_count = 0;
    return 1;
}

// The canvas's displayed size in device pixels: its CSS size times the
// page's devicePixelRatio.
void platform_output_size(int* width, int* height) { page_output_size(width, height); }

// The canvas's backing store is the picture: the browser shows it at the
// canvas's displayed size.
int platform_set_picture_size(int width, int height)
{
    if (!gl_context)
        return 0;
    if (width != canvas_width || height != canvas_height) {
        page_set_canvas_size(width, height);
        canvas_width = width;
        canvas_height = height;
    }
    glViewport(0, 0, width, height);
    return 1;
}

const char* platform_error() { return last_error; }

void platform_report_failure(const char* line)
{
    std::fprintf(stderr, "%s\n", line);
    page_report_failure(line);
}

// The canvas stays, black, for the page's end of the show.
void platform_destroy_window()
{
    if (!gl_context)
        return;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    emscripten_webgl_make_context_current(0);
    emscripten_webgl_destroy_context(gl_context);
    gl_context = 0;
}

int platform_has_gl_context() { return gl_context && emscripten_webgl_get_current_context() == gl_context; }

// Measured from the page's animation frames; 0 in virtual time, as headless.
double platform_refresh_rate() { return web_virtual_time() ? 0.0 : page_refresh_rate(); }

int platform_pump_events() { return page_take_quit(); }

int platform_swap_waits_for_display() { return 1; }

// The browser shows what was drawn once the program hands it the thread:
// at the next animation frame, or at once in virtual time.
void platform_swap_buffers()
{
    ++swap_count;
    if (swap_hook)
        swap_hook(swap_count);
    web_audio_top_up();
    page_next_frame(web_virtual_time());
}

void platform_show_cursor(int show) { page_show_cursor(show); }

// A page without shared memory has no threads: the program feeds the sound
// itself between frames (platform_audio_fed_between_frames).
PlatformThread* platform_thread_start(int (*)(void*), void*) { return nullptr; }
void platform_thread_join(PlatformThread*) {}
