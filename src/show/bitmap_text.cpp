// Flat screen text: the compiled-in bitmap font (data/font_table.h) as one
// glBitmap display list per character code, drawn by calling a string's bytes
// as list indices. Main thread, GL context current.
#include "show/bitmap_text.h"

#include "data/font_table.h"
#include "platform/platform.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cstring>

int font_list_base = 0;

namespace {

int list_base_counter = 744; // the first base handed out is 1000

} // namespace

int next_list_base()
{
    list_base_counter += 256;
    return list_base_counter;
}

// The font table is the only face the program has: every request, whatever
// its height, weight and face name, gets it. Only a missing GL context or a
// missing face name fail.
int build_bitmap_font(int, int, const char* face)
{
    if (!platform_has_gl_context() || !face)
        return 0;
    font_list_base = next_list_base();
    // glBitmap copies its rows into the list under the current unpack state:
    // the table's rows are packed to the byte.
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    for (int code = 0; code < kFontGlyphCount; ++code) {
        const FontGlyph& g = font_glyphs[code];
        glNewList(GLuint(font_list_base + code), GL_COMPILE);
        glBitmap(g.width, g.height, g.x_origin, g.y_origin, g.advance, 0, font_bitmaps + g.offset);
        glEndList();
    }
    glPopClientAttrib();
    return 1;
}

void draw_text(int x, int y, const char* text)
{
    glDisable(GL_DEPTH_TEST);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    gluOrtho2D(0, 640, 480, 0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();

    const GLsizei length = GLsizei(std::strlen(text));
    GLint saved_list_base = 0;
    glGetIntegerv(GL_LIST_BASE, &saved_list_base);
    glListBase(GLuint(font_list_base));
    // The half pixel keeps the raster position off the pixel boundary, so
    // rounding cannot shift the text by one.
    glRasterPos2f(float(x) + 0.5f, float(y) + 0.5f);
    // The driver draws bitmaps with the fragment state of the last drawing
    // call, so without this the text would take a new state combination
    // after every different scene drawn before it; a point outside the view
    // draws nothing and brings that state up to the text's own.
    glBegin(GL_POINTS);
    glVertex2f(-1000.0f, -1000.0f);
    glEnd();
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glCallLists(length, GL_UNSIGNED_BYTE, text);
    glPopAttrib();
    glListBase(GLuint(saved_list_base));

    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glEnable(GL_DEPTH_TEST);
}
