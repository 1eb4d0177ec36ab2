#include "support/gl_test.h"

#include "platform/platform.h"

#include <GL/gl.h>

#include <cstdlib>

bool ensure_gl_context()
{
    // A whole run of the program releases its window at the end; the next
    // test then gets a fresh context.
    // The context goes at exit, and the display lists and textures with it.
    static const int release_at_exit = std::atexit(platform_destroy_window);
    (void)release_at_exit;
    if (!platform_has_gl_context())
        platform_create_window(640, 480, 0, "test");
    return platform_has_gl_context();
}

Rgb read_pixel(int x, int y)
{
    uint8_t px[4] = {};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, 479 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, px);
    return {px[0], px[1], px[2]};
}

std::vector<uint8_t> read_frame()
{
    std::vector<uint8_t> bottom_up(640 * 480 * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, 640, 480, GL_RGB, GL_UNSIGNED_BYTE, bottom_up.data());
    std::vector<uint8_t> top_down(bottom_up.size());
    for (int y = 0; y < 480; ++y)
        for (int i = 0; i < 640 * 3; ++i)
            top_down[y * 640 * 3 + i] = bottom_up[(479 - y) * 640 * 3 + i];
    return top_down;
}
