// Flat screen text from the compiled-in bitmap font (data/font_table.h).
// Every glyph sits in one atlas texture, and a string is drawn as one quad per
// glyph over exactly the pixels glBitmap would set at 640×480, keeping the
// texels whose bit is set by an alpha test: the same pixels at 640×480. A
// larger picture samples a second atlas, the glyphs at four times their size
// with their diagonal steps smoothed (two passes of Scale2x), with linear
// filtering: the same glyphs at the same place, their outlines drawn at the
// picture's own pixels. The same path on every backend, the web's included.
// The glyphs are also compiled into glBitmap display lists, one per
// character code, for callers that use the lists. Main thread, GL context
// current.
#include "show/bitmap_text.h"

#include "data/font_table.h"
#include "platform/platform.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cstring>
#include <vector>

int font_list_base = 0;

namespace {

int list_base_counter = 744; // the first base handed out is 1000

constexpr int kAtlasWidth = 512; // texels; the height is what the glyphs need, a power of two
constexpr int kSmoothScale = 4;  // the smooth atlas's texels per glyph pixel, a side

GLuint atlas_texture = 0;        // the glyphs' own pixels, sampled nearest
GLuint smooth_atlas_texture = 0; // the same layout kSmoothScale times larger, sampled linearly
int atlas_height = 0;
// Lower-left texel of each glyph in the atlas (rows bottom first, as in the table).
int glyph_atlas_x[kFontGlyphCount];
int glyph_atlas_y[kFontGlyphCount];

// A one-bit image (one byte a pixel, 0 or 255) twice as large, by Scale2x:
// each pixel becomes four, and where two of its neighbours meet in the same
// value across a corner, that quarter takes their value, which turns the
// steps of a diagonal into a finer staircase and keeps straight edges as
// they are. Outside the image counts as unset.
std::vector<uint8_t> scale2x(const std::vector<uint8_t>& in, int width, int height)
{
    const auto at = [&](int x, int y) -> uint8_t {
        return x < 0 || y < 0 || x >= width || y >= height ? 0 : in[size_t(y) * size_t(width) + size_t(x)];
    };
    std::vector<uint8_t> out(in.size() * 4);
    const size_t out_width = size_t(width) * 2;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint8_t p = at(x, y), up = at(x, y - 1), left = at(x - 1, y), right = at(x + 1, y),
                          down = at(x, y + 1);
            uint8_t* row0 = &out[size_t(2 * y) * out_width + size_t(2 * x)];
            uint8_t* row1 = row0 + out_width;
            row0[0] = left == up && left != down && up != right ? up : p;
            row0[1] = up == right && up != left && right != down ? right : p;
            row1[0] = down == left && down != right && left != up ? left : p;
            row1[1] = right == down && right != up && down != left ? down : p;
        }
    return out;
}

void upload_alpha(GLuint texture, int width, int height, const uint8_t* texels, GLint filter)
{
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA8, width, height, 0, GL_ALPHA, GL_UNSIGNED_BYTE, texels);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
}

// Packs the glyphs on shelves, one empty texel between and around them so
// that linear filtering fades each outline to nothing at its box's edge, and
// uploads the atlas as alpha: 255 where a bit is set.
void build_text_atlas()
{
    int x = 1, y = 1, shelf_height = 0;
    for (int code = 0; code < kFontGlyphCount; ++code) {
        const FontGlyph& g = font_glyphs[code];
        if (x + g.width + 1 > kAtlasWidth) {
            x = 1;
            y += shelf_height + 1;
            shelf_height = 0;
        }
        glyph_atlas_x[code] = x;
        glyph_atlas_y[code] = y;
        x += g.width + 1;
        shelf_height = std::max(shelf_height, int(g.height));
    }
    atlas_height = 1;
    while (atlas_height < y + shelf_height + 1)
        atlas_height *= 2;
    std::vector<uint8_t> texels(size_t(kAtlasWidth) * size_t(atlas_height), 0);
    const size_t smooth_width = size_t(kAtlasWidth) * kSmoothScale;
    std::vector<uint8_t> smooth_texels(texels.size() * kSmoothScale * kSmoothScale, 0);
    for (int code = 0; code < kFontGlyphCount; ++code) {
        const FontGlyph& g = font_glyphs[code];
        const int row_bytes = (g.width + 7) / 8;
        std::vector<uint8_t> glyph(size_t(g.width) * g.height);
        for (int r = 0; r < g.height; ++r)
            for (int c = 0; c < g.width; ++c)
                if (font_bitmaps[g.offset + size_t(r * row_bytes + c / 8)] & (0x80 >> (c % 8))) {
                    texels[size_t(glyph_atlas_y[code] + r) * kAtlasWidth + size_t(glyph_atlas_x[code] + c)] = 255;
                    glyph[size_t(r) * g.width + size_t(c)] = 255;
                }
        const std::vector<uint8_t> smooth = scale2x(scale2x(glyph, g.width, g.height), 2 * g.width, 2 * g.height);
        const size_t width = size_t(g.width) * kSmoothScale;
        for (size_t r = 0; r < size_t(g.height) * kSmoothScale; ++r)
            std::memcpy(&smooth_texels[(size_t(glyph_atlas_y[code]) * kSmoothScale + r) * smooth_width +
                                       size_t(glyph_atlas_x[code]) * kSmoothScale],
                        &smooth[r * width], width);
    }
    glPushAttrib(GL_TEXTURE_BIT);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glGenTextures(1, &atlas_texture);
    glGenTextures(1, &smooth_atlas_texture);
    upload_alpha(atlas_texture, kAtlasWidth, atlas_height, texels.data(), GL_NEAREST);
    upload_alpha(smooth_atlas_texture, kAtlasWidth * kSmoothScale, atlas_height * kSmoothScale,
                 smooth_texels.data(), GL_LINEAR);
    glPopClientAttrib();
    glPopAttrib();
}

// The glyph quads of text whose glBitmap raster position would be (x, y) of
// the 640×480 top-left space, under a bottom-up 640×480 projection. Where
// glBitmap puts a glyph: its lower-left pixel is the floor of the raster
// position less the origin, and the raster position is the pixel centre
// (x + 0.5, 479.5 - y); a position outside the screen draws nothing.
void draw_glyph_quads(int x, int y, const char* text)
{
    if (x < 0 || x >= 640 || y < 0 || y >= 480)
        return;
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 640, 0, 480, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glDisable(GL_CULL_FACE);
    glShadeModel(GL_FLAT);
    glEnable(GL_TEXTURE_2D);
    // At 640×480 every pixel centre falls on a texel centre of the glyphs'
    // own pixels, and nearest sampling gives glBitmap's pixels.
    glBindTexture(GL_TEXTURE_2D, viewport[2] > 640 ? smooth_atlas_texture : atlas_texture);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    // Colour as given, alpha the colour's alpha times the texel's: the show's
    // text is opaque, so the test keeps the texels at or above half.
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GEQUAL, 0.5f);

    const float width_scale = 1.0f / float(kAtlasWidth);
    const float height_scale = 1.0f / float(atlas_height);
    int pen_x = x;
    const int baseline = 479 - y;
    glBegin(GL_QUADS);
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text); *c; ++c) {
        if (*c >= kFontGlyphCount)
            continue; // no list 255: glCallLists skipped it too
        const FontGlyph& g = font_glyphs[*c];
        if (g.width && g.height) {
            const float x0 = float(pen_x - g.x_origin), y0 = float(baseline - g.y_origin);
            const float x1 = x0 + float(g.width), y1 = y0 + float(g.height);
            const float s0 = float(glyph_atlas_x[*c]) * width_scale, t0 = float(glyph_atlas_y[*c]) * height_scale;
            const float s1 = s0 + float(g.width) * width_scale, t1 = t0 + float(g.height) * height_scale;
            glTexCoord2f(s0, t0);
            glVertex2f(x0, y0);
            glTexCoord2f(s1, t0);
            glVertex2f(x1, y0);
            glTexCoord2f(s1, t1);
            glVertex2f(x1, y1);
            glTexCoord2f(s0, t1);
            glVertex2f(x0, y1);
        }
        pen_x += g.advance;
    }
    glEnd();
    glPopAttrib();
}

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
    build_text_atlas();
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

    draw_glyph_quads(x, y, text);

    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glEnable(GL_DEPTH_TEST);
}
