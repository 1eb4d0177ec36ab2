// Block bitmaps, block models and block text: the stored data against the
// pictures, the model geometry, the display-list tables and the text layout.
#include "data/block_data.h"
#include "effects/blocks.h"
#include "effects/effects.h"
#include "support/gl_test.h"
#include "block_test_support.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <string>

namespace {

int solid_cells(const uint8_t* cells, int count)
{
    return static_cast<int>(std::count_if(cells, cells + count, [](uint8_t c) { return c & kSolidCell; }));
}

// Counted independently of the builder: the edges of solid cells that face an
// empty cell or the border.
int exposed_edges(const uint8_t* cells, int width, int height)
{
    auto solid = [&](int i, int j) {
        return i >= 0 && i < height && j >= 0 && j < width && (cells[i * width + j] & kSolidCell);
    };
    int edges = 0;
    for (int i = 0; i < height; ++i)
        for (int j = 0; j < width; ++j)
            if (solid(i, j))
                edges += !solid(i, j - 1) + !solid(i, j + 1) + !solid(i - 1, j) + !solid(i + 1, j);
    return edges;
}

struct Extent {
    float lo[3] = {1e9f, 1e9f, 1e9f};
    float hi[3] = {-1e9f, -1e9f, -1e9f};
};

Extent extent_of(const std::vector<BlockFace>& faces)
{
    Extent e;
    for (const BlockFace& f : faces)
        for (const auto& c : f.corners)
            for (int a = 0; a < 3; ++a) {
                e.lo[a] = std::min(e.lo[a], c[a]);
                e.hi[a] = std::max(e.hi[a], c[a]);
            }
    return e;
}

void expect_extent(const Extent& e, float half_xy)
{
    EXPECT_NEAR(e.lo[0], -half_xy, 1e-5);
    EXPECT_NEAR(e.hi[0], half_xy, 1e-5);
    EXPECT_NEAR(e.lo[1], -half_xy, 1e-5);
    EXPECT_NEAR(e.hi[1], half_xy, 1e-5);
    EXPECT_FLOAT_EQ(e.lo[2], -0.5f);
    EXPECT_FLOAT_EQ(e.hi[2], 0.5f);
}

// A face is wound counter-clockwise seen from outside when the cross product
// of its first two edges points along its normal.
bool wound_outward(const BlockFace& f)
{
    float u[3], v[3];
    for (int a = 0; a < 3; ++a) {
        u[a] = f.corners[1][a] - f.corners[0][a];
        v[a] = f.corners[2][a] - f.corners[0][a];
    }
    const float n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
    return n[0] * f.normal[0] + n[1] * f.normal[1] + n[2] * f.normal[2] > 0;
}

int charset_index(char c)
{
    const char* p = std::strchr(block_charset, c);
    return p && c != 0 ? static_cast<int>(p - block_charset) : -1;
}

void init_font_once()
{
    static const bool done = (init_block_font(), true);
    (void)done;
}

} // namespace

TEST(BlockData, CharsetOrderAndPalette)
{
    EXPECT_EQ(std::strlen(block_charset), 76u);
    EXPECT_EQ(charset_index('a'), 0);
    EXPECT_EQ(charset_index('z'), 25);
    EXPECT_EQ(charset_index('('), 26);
    EXPECT_EQ(charset_index('_'), 34);
    EXPECT_EQ(charset_index('A'), 35);
    EXPECT_EQ(charset_index('0'), 61);
    EXPECT_EQ(charset_index('\\'), 71);
    EXPECT_EQ(charset_index('"'), 74);
    EXPECT_EQ(charset_index(' '), 75);
    const uint32_t palette[8] = {0x000000, 0xFFFFFF, 0xBD0000, 0x8C0000, 0x0974F9, 0xFFDE00, 0xFFD297, 0xE7B675};
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(block_palette[k] & 0xFFFFFF, palette[k]) << "palette entry " << k;
}

TEST(BlockData, GlyphsAreYellowCellsFromTheRowBytes)
{
    // "A": FF C3 C3 FF C3 C3 C3 C3; "!": C0 ... 00 C0.
    const GlyphBitmap& a = block_glyphs[35];
    for (int j = 0; j < 8; ++j) {
        EXPECT_EQ(a[j], kSolidCell | 5) << "top row of A, column " << j;
        EXPECT_EQ(a[8 + j], (j < 2 || j > 5) ? (kSolidCell | 5) : 0) << "row 1 of A, column " << j;
    }
    const GlyphBitmap& bang = block_glyphs[32];
    EXPECT_EQ(solid_cells(bang.data(), 64), 14);
    EXPECT_EQ(bang[6 * 8], 0);
    EXPECT_EQ(bang[7 * 8 + 1], kSolidCell | 5);
    for (const GlyphBitmap& g : block_glyphs)
        for (uint8_t c : g)
            EXPECT_TRUE(c == 0 || c == (kSolidCell | 5));
}

TEST(BlockData, PosesShareTheirTopRowsAndPoseFourClosesTheEyes)
{
    for (const PoseBitmap& pose : figure_bitmaps)
        EXPECT_EQ(solid_cells(pose.data(), 5 * 32), 0) << "rows 0-4 are empty";
    int differences = 0;
    for (int k = 0; k < 1024; ++k)
        differences += figure_bitmaps[3][k] != figure_bitmaps[4][k];
    EXPECT_EQ(differences, 2);
    for (int column : {14, 16}) {
        EXPECT_EQ(figure_bitmaps[3][13 * 32 + column], kSolidCell | 4) << "blue eye";
        EXPECT_EQ(figure_bitmaps[4][13 * 32 + column], kSolidCell | 7) << "closed eye";
    }
    // Pose 0's belt row: 9 empty, 5 black, buckle, black, buckle, 5 black.
    const uint8_t* belt = &figure_bitmaps[0][23 * 32];
    EXPECT_EQ(belt[8], 0);
    EXPECT_EQ(belt[9], kSolidCell | 0);
    EXPECT_EQ(belt[14], kSolidCell | 5);
    EXPECT_EQ(belt[15], kSolidCell | 0);
    EXPECT_EQ(belt[22], 0);
}

TEST(BlockModel, FacesOnlyHasTwoQuadsPerSolidCell)
{
    for (const PoseBitmap& pose : figure_bitmaps)
        EXPECT_EQ(block_model_faces(32, 32, pose.data(), 1, 1.0f).size(),
                  2u * solid_cells(pose.data(), 1024));
    for (const GlyphBitmap& glyph : block_glyphs)
        EXPECT_EQ(block_model_faces(8, 8, glyph.data(), 1, 0.2f).size(), 2u * solid_cells(glyph.data(), 64));
}

TEST(BlockModel, FullModelHasSideFacesOnlyTowardEmptyCellsAndTheBorder)
{
    for (const PoseBitmap& pose : figure_bitmaps)
        EXPECT_EQ(block_model_faces(32, 32, pose.data(), 0, 1.0f).size(),
                  2u * solid_cells(pose.data(), 1024) + exposed_edges(pose.data(), 32, 32));
    for (const GlyphBitmap& glyph : block_glyphs)
        EXPECT_EQ(block_model_faces(8, 8, glyph.data(), 0, 0.2f).size(),
                  2u * solid_cells(glyph.data(), 64) + exposed_edges(glyph.data(), 8, 8));

    // A full 2 × 2 block: each cell keeps the two side faces on the border.
    const uint8_t square[4] = {0x81, 0x81, 0x81, 0x81};
    const auto faces = block_model_faces(2, 2, square, 0, 1.0f);
    ASSERT_EQ(faces.size(), 16u);
    EXPECT_FLOAT_EQ(faces[2].normal[0], -1); // top-left cell: left, then top
    EXPECT_FLOAT_EQ(faces[3].normal[1], 1);
}

TEST(BlockModel, FacesAreWoundOutwardAndColouredFromThePalette)
{
    for (int faces_only : {0, 1}) {
        for (const BlockFace& f : block_model_faces(32, 32, figure_bitmaps[0].data(), faces_only, 1.0f))
            ASSERT_TRUE(wound_outward(f));
    }
    const uint8_t cells[3] = {0x82, 0x00, 0x84};
    const auto faces = block_model_faces(3, 1, cells, 0, 1.0f);
    ASSERT_EQ(faces.size(), 12u);
    EXPECT_EQ(faces[0].rgb & 0xFFFFFF, 0xBD0000u);
    EXPECT_EQ(faces[11].rgb & 0xFFFFFF, 0x0974F9u);
    // Indices past the eight colours wrap round rather than read beyond them.
    const uint8_t past_palette = kSolidCell | 13;
    EXPECT_EQ(block_model_faces(1, 1, &past_palette, 1, 1.0f)[0].rgb, block_palette[5]);
}

TEST(BlockModel, PosesAndGlyphsAreCentredOneUnitDeep)
{
    // Every pose has an empty border, so measure a filled bitmap of each size.
    std::vector<uint8_t> full(32 * 32, 0x81);
    expect_extent(extent_of(block_model_faces(32, 32, full.data(), 0, 1.0f)), 16);
    expect_extent(extent_of(block_model_faces(8, 8, full.data(), 1, 0.2f)), 0.8f);
    // Pose 0's lowest boots end on the bottom edge.
    const Extent pose = extent_of(block_model_faces(32, 32, figure_bitmaps[0].data(), 0, 1.0f));
    EXPECT_FLOAT_EQ(pose.lo[1], -16);
    EXPECT_TRUE(block_model_faces(4, 4, std::vector<uint8_t>(16, 0).data(), 0, 1.0f).empty());
}

TEST(BlockFont, GlyphListsByCharacterCode)
{
    ASSERT_TRUE(ensure_gl_context());
    init_font_once();
    std::set<int> lists;
    for (int code = 0; code < 128; ++code) {
        const bool has_glyph = code != 0 && code != ' ' && std::strchr(block_charset, code) != nullptr;
        EXPECT_EQ(glyph_lists_full[code] >= 0, has_glyph) << "code " << code;
        EXPECT_EQ(glyph_lists_flat[code] >= 0, has_glyph) << "code " << code;
        if (has_glyph) {
            EXPECT_TRUE(glIsList(glyph_lists_full[code]));
            EXPECT_TRUE(glIsList(glyph_lists_flat[code]));
            lists.insert(glyph_lists_full[code]);
            lists.insert(glyph_lists_flat[code]);
        }
    }
    EXPECT_EQ(lists.size(), 150u);
    for (int code : {0, int(' '), int('['), int('~'), int('#'), 127})
        EXPECT_EQ(glyph_lists_full[code], -1) << "code " << code;
}

namespace {

const Rgb kYellow{255, 222, 0};

// Draws text unlit with 80 pixels a unit: x -1..7, y -3..3.
void draw_text_plain(const char* text, int flat)
{
    begin_unlit_culled();
    glOrtho(-1, 7, -3, 3, -10, 10);
    glMatrixMode(GL_MODELVIEW);
    draw_block_text(text, flat);
    glPopAttrib();
}

// The pixel at a point of the text's frame.
Rgb pixel_at(float x, float y)
{
    return read_pixel(static_cast<int>((x + 1) * 80), static_cast<int>((3 - y) * 80));
}

} // namespace

TEST(BlockText, GlyphsSitOnePointEightApartFromTheOrigin)
{
    ASSERT_TRUE(ensure_gl_context());
    init_font_once();
    // "THE": T's top row is full, its stem on the right; H's middle row is
    // full; E's top row is full. Glyph k is centred at x = 1.8 k.
    draw_text_plain("THE", 1);
    for (float x : {-0.7f, 0.0f, 0.7f, 3.6f - 0.7f, 3.6f + 0.7f})
        EXPECT_TRUE(colours_match(pixel_at(x, 0.7f), kYellow)) << "top row at x " << x;
    EXPECT_TRUE(colours_match(pixel_at(1.8f, 0.1f), kYellow)) << "H's bar";
    EXPECT_TRUE(colours_match(pixel_at(1.8f, 0.7f), {0, 0, 0})) << "between H's posts";
    EXPECT_TRUE(colours_match(pixel_at(0.9f, 0.7f), {0, 0, 0})) << "the gap after T";
    EXPECT_TRUE(colours_match(pixel_at(-0.7f, -0.3f), {0, 0, 0})) << "left of T's stem";

    // The modelview comes back as it was.
    GLdouble before[16], after[16];
    glLoadIdentity();
    glTranslatef(1, 2, 3);
    glGetDoublev(GL_MODELVIEW_MATRIX, before);
    draw_block_text("abc", 0);
    glGetDoublev(GL_MODELVIEW_MATRIX, after);
    EXPECT_EQ(std::memcmp(before, after, sizeof before), 0);
}

TEST(BlockText, SpacesAndCodesOutsideTheSetStillAdvance)
{
    ASSERT_TRUE(ensure_gl_context());
    init_font_once();
    for (const std::string& gap : {std::string(" "), std::string("~"), std::string("\x01"), std::string("\xC8")}) {
        for (int flat : {0, 1}) {
            draw_text_plain(("A" + gap + "A").c_str(), flat);
            EXPECT_TRUE(colours_match(pixel_at(0, 0.7f), kYellow)) << "first A, gap code " << int(gap[0] & 0xFF);
            EXPECT_TRUE(colours_match(pixel_at(1.8f, 0.7f), {0, 0, 0})) << "gap code " << int(gap[0] & 0xFF);
            EXPECT_TRUE(colours_match(pixel_at(3.6f, 0.7f), kYellow)) << "second A, gap code " << int(gap[0] & 0xFF);
        }
    }
}

TEST(BlockScene, InitBuildsProjectionsFigureListsAndRoom)
{
    ASSERT_TRUE(ensure_gl_context());
    ASSERT_EQ(init_block_scene(), 1);
    // GL keeps its matrices in single precision.
    const double t = std::tan(M_PI / 6);
    EXPECT_NEAR(persp_matrix[0], 1 / (t * 4 / 3), 1e-6);
    EXPECT_NEAR(persp_matrix[5], 1 / t, 1e-6);
    EXPECT_NEAR(persp_matrix[10], -256.0 / 254, 1e-6);
    EXPECT_EQ(persp_matrix[11], -1);
    EXPECT_NEAR(persp_matrix[14], -2 * 255.0 / 254, 1e-6);
    EXPECT_NEAR(ortho_matrix[0], 2.0 / 48, 1e-6);
    EXPECT_NEAR(ortho_matrix[5], 2.0 / 36, 1e-6);
    EXPECT_NEAR(ortho_matrix[10], -2.0 / 254, 1e-6);
    EXPECT_NEAR(ortho_matrix[14], -256.0 / 254, 1e-6);
    EXPECT_EQ(ortho_matrix[15], 1);
    for (int k = 0; k < 16; ++k) {
        EXPECT_EQ(ortho_delta[k], ortho_matrix[k] - persp_matrix[k]);
        EXPECT_EQ(blocks_state.scene_projection[k], persp_matrix[k]);
    }
    // The projection stack is left holding the orthographic box.
    GLdouble projection[16];
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    EXPECT_EQ(std::memcmp(projection, ortho_matrix, sizeof projection), 0);

    std::set<int> lists{room_list};
    for (int m = 0; m < 5; ++m) {
        EXPECT_TRUE(glIsList(model_lists_full[m]));
        EXPECT_TRUE(glIsList(model_lists_flat[m]));
        lists.insert(model_lists_full[m]);
        lists.insert(model_lists_flat[m]);
    }
    EXPECT_TRUE(glIsList(room_list));
    EXPECT_EQ(lists.size(), 11u);
}

TEST(BlockScene, RoomFacesInwardOnEverySide)
{
    ASSERT_TRUE(ensure_gl_context());
    ASSERT_EQ(init_block_scene(), 1);
    // From the middle of the box, with back faces culled, every direction
    // meets a wall: the far wall's blue band ahead, grey everywhere else.
    struct Look {
        double x, y, z, up_z;
        Rgb colour;
    };
    const Look looks[] = {{0, 0, -1, 0, {128, 128, 255}}, {0, 0, 1, 0, {128, 128, 128}},
                          {-1, 0, 0, 0, {128, 128, 128}}, {1, 0, 0, 0, {128, 128, 128}},
                          {0, -1, 0, 1, {128, 128, 128}}, {0, 1, 0, 1, {128, 128, 128}}};
    for (const Look& look : looks) {
        begin_unlit_culled();
        glFrustum(-1, 1, -1, 1, 1, 1000);
        glMatrixMode(GL_MODELVIEW);
        gluLookAt(0, 36, 0, look.x, 36 + look.y, look.z, 0, look.up_z ? 0 : 1, look.up_z);
        glCallList(room_list);
        glPopAttrib();
        for (int x : {0, 320, 639})
            for (int y : {0, 240, 479}) {
                const Rgb p = read_pixel(x, y);
                EXPECT_TRUE(p.r + p.g + p.b > 0) << "looking " << look.x << "," << look.y << "," << look.z;
            }
        const Rgb centre = read_pixel(320, 240);
        EXPECT_EQ(centre.r, look.colour.r);
        EXPECT_EQ(centre.b, look.colour.b);
    }
}
