// Window, display mode and GL context over the platform layer.
#include "shell/show_window.h"

#include "platform/platform.h"

#include <GL/gl.h>

namespace {

int is_fullscreen = 0;  // 1 exactly while the display mode is changed

}  // namespace

int create_show_window(int width, int height, int bits, int fullscreen, const char* title)
{
    is_fullscreen = 0;
    if (fullscreen)
        platform_set_display_mode(width, height, bits);
    // Without the mode, a full-screen wish still covers the display, the
    // picture scaled up; only a real mode change counts as full-screen here.
    const int created = platform_create_window(width, height, fullscreen, title);
    is_fullscreen = fullscreen && platform_display_mode_changed();
    if (is_fullscreen)
        platform_show_cursor(0);
    if (!created || !platform_has_gl_context())
        return 0;
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    return 1;
}

void destroy_show_window()
{
    if (is_fullscreen)
        platform_show_cursor(1);
    platform_destroy_window();
    if (is_fullscreen) {
        // Give the display a moment after the window is gone before the
        // mode changes back.
        platform_sleep_ms(300);
        platform_restore_display_mode();
        is_fullscreen = 0;
    }
}
