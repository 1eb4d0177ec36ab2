#include "support/gl_test.h"

#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "platform/recordable.h"

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

std::vector<uint8_t> read_frame() { return platform_read_picture(); }
