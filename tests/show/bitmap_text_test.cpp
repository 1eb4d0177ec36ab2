// Bitmap text: the font's lists, where text lands, and the GL state draw_text
// leaves behind.
#include "show/bitmap_text.h"
#include "support/gl_test.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstring>

namespace {

// Builds the font once per test binary; the first base handed out is 1000.
bool ensure_font()
{
    static const bool built = ensure_gl_context() && build_bitmap_font(40, 40, "Impact") == 1;
    return built;
}

void clear_black()
{
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

struct Box {
    int left = 640, top = 480, right = -1, bottom = -1;
};

// Bounding box of the lit pixels of the frame.
Box lit_box()
{
    const std::vector<uint8_t> frame = read_frame();
    Box box;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x)
            if (frame[(y * 640 + x) * 3] > 128) {
                box.left = std::min(box.left, x);
                box.right = std::max(box.right, x);
                box.top = std::min(box.top, y);
                box.bottom = std::max(box.bottom, y);
            }
    return box;
}

void get_matrix(GLenum which, GLfloat out[16]) { glGetFloatv(which, out); }

} // namespace

TEST(BitmapText, FontIsBuiltAtTheFirstListBase)
{
    ASSERT_TRUE(ensure_font());
    EXPECT_EQ(font_list_base, 1000);
    EXPECT_TRUE(glIsList(1000));
    EXPECT_TRUE(glIsList(1000 + 'A'));
    EXPECT_TRUE(glIsList(1000 + 254));
    EXPECT_FALSE(glIsList(1000 + 255)); // 255 glyphs, not 256
    EXPECT_EQ(next_list_base(), font_list_base + 256);
}

TEST(BitmapText, NullFaceFails)
{
    ASSERT_TRUE(ensure_gl_context());
    EXPECT_EQ(build_bitmap_font(40, 40, nullptr), 0);
}

TEST(BitmapText, TextSitsOnItsBaselineInTopLeftSpace)
{
    ASSERT_TRUE(ensure_font());
    clear_black();
    glColor4f(1, 1, 1, 1);
    draw_text(16, 64, "Init...");
    const Box box = lit_box();
    // Capital I starts near x = 16; the baseline row is the lowest one lit.
    EXPECT_GE(box.left, 15);
    EXPECT_LE(box.left, 20);
    EXPECT_EQ(box.bottom, 64);
    EXPECT_GE(64 - box.top, 20); // a cap height of at least 20 pixels
    EXPECT_LT(box.right, 16 + 80);
}

TEST(BitmapText, StartOutsideTheScreenDrawsNothing)
{
    ASSERT_TRUE(ensure_font());
    clear_black();
    glColor4f(1, 1, 1, 1);
    draw_text(-20, 100, "WWWWWW");
    draw_text(100, 700, "WWWWWW");
    EXPECT_EQ(lit_box().right, -1);
}

TEST(BitmapText, LeavesDepthTestOnAndEverythingElseAsItWas)
{
    ASSERT_TRUE(ensure_font());
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-1, 2, -3, 4, -5, 6);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(1, 2, 3);
    glMatrixMode(GL_PROJECTION); // draw_text leaves model-view selected anyway
    glListBase(7);
    glDisable(GL_DEPTH_TEST);
    GLfloat projection_before[16], modelview_before[16];
    get_matrix(GL_PROJECTION_MATRIX, projection_before);
    get_matrix(GL_MODELVIEW_MATRIX, modelview_before);

    for (const char* text : {"", "Init..."}) {
        glDisable(GL_DEPTH_TEST);
        draw_text(16, 64, text);
        EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST)) << '"' << text << '"';
        GLint mode = 0, list_base = 0;
        glGetIntegerv(GL_MATRIX_MODE, &mode);
        glGetIntegerv(GL_LIST_BASE, &list_base);
        EXPECT_EQ(mode, GL_MODELVIEW);
        EXPECT_EQ(list_base, 7);
        GLfloat projection[16], modelview[16];
        get_matrix(GL_PROJECTION_MATRIX, projection);
        get_matrix(GL_MODELVIEW_MATRIX, modelview);
        EXPECT_EQ(std::memcmp(projection, projection_before, sizeof projection), 0);
        EXPECT_EQ(std::memcmp(modelview, modelview_before, sizeof modelview), 0);
    }
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    glListBase(0);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}
