// Window, display mode and GL context over the platform layer.
#include "shell/show_window.h"

#include "platform/platform.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdint>

int picture_width = 640;
int picture_height = 480;

int set_picture_size(int width, int height)
{
    if (width < 640 || width > 2880 || int64_t(width) * 3 != int64_t(height) * 4)
        return 0;
    picture_width = width;
    picture_height = height;
    return 1;
}

namespace {

int is_fullscreen = 0;  // 1 exactly while the display mode is changed

// Lines and points as wide as one pixel of the 640×480 picture; set here and
// nowhere else: every scene saves and restores its attributes around them.
void scale_lines_and_points(int width)
{
    const float pixel = float(width) / 640.0f;
    glLineWidth(pixel);
    glPointSize(pixel);
}

} // namespace

void picture_size_for_output(int output_width, int output_height, int max_width, int* width, int* height)
{
    const int steps = std::clamp(std::min({output_width / 4, output_height / 3, max_width / 4}), 160, 720);
    *width = 4 * steps;
    *height = 3 * steps;
}

int follow_output_size(int max_width)
{
    int output_width = 0, output_height = 0;
    platform_output_size(&output_width, &output_height);
    if (output_width <= 0 || output_height <= 0)
        return 0; // minimised: nothing is seen
    int width = 0, height = 0;
    picture_size_for_output(output_width, output_height, max_width, &width, &height);
    if ((width == picture_width && height == picture_height) || !platform_set_picture_size(width, height))
        return 0;
    picture_width = width;
    picture_height = height;
    scale_lines_and_points(width);
    return 1;
}

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
    scale_lines_and_points(width);
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
