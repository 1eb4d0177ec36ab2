// Block models, block-letter text and the 3D scene's static resources.
//
// Every solid cell of a block bitmap becomes a box one cell wide and high and
// one unit deep. Each bitmap is compiled twice, into display lists made once
// during loading: a full model with the side faces that can be seen, and a
// flat cut-out with only the front and back faces. Main thread, GL context
// current.
#include "effects/blocks.h"

#include "data/block_data.h"
#include "effects/effects.h"

#include <GL/gl.h>
#include <algorithm>
#include <cmath>
#include <numbers>

int glyph_lists_full[128];
int glyph_lists_flat[128];
int model_lists_full[kPoseCount];
int model_lists_flat[kPoseCount];
int room_list;

double persp_matrix[16];
double ortho_matrix[16];
double ortho_delta[16];
BlocksState blocks_state;

namespace {

constexpr float kFontCellSize = 0.2f;  // a glyph is 1.6 × 1.6 units
constexpr float kPoseCellSize = 1.0f;  // a pose is 32 × 32 units
constexpr float kTextAdvance = 1.8f;   // glyph width plus a 0.2 gap

bool is_solid(const uint8_t* cells, int width, int i, int j)
{
    return (cells[i * width + j] & kSolidCell) != 0;
}

void add_face(std::vector<BlockFace>& faces, uint32_t rgb, float nx, float ny, float nz,
              const float (&corners)[4][3])
{
    BlockFace face{{nx, ny, nz}, {}, rgb};
    for (int k = 0; k < 4; ++k)
        for (int a = 0; a < 3; ++a)
            face.corners[k][a] = corners[k][a];
    faces.push_back(face);
}

// One quad inside glBegin(GL_QUADS).
void emit_quad(float nx, float ny, float nz, const float (&corners)[4][3])
{
    glNormal3f(nx, ny, nz);
    for (const auto& corner : corners)
        glVertex3f(corner[0], corner[1], corner[2]);
}

// The room of the 3D scene, seen from inside: a box 256 wide, 184 high (y -56
// to 128) and 256 deep. The far wall is green below the horizon and light
// blue above; the other walls are grey. Every normal points inward.
int build_room()
{
    const int list = static_cast<int>(glGenLists(1));
    glNewList(list, GL_COMPILE);
    glBegin(GL_QUADS);
    glColor4f(0.2f, 0.59f, 0.004f, 1.0f);
    emit_quad(0, 0, 1, {{-128, -56, -128}, {128, -56, -128}, {128, 0, -128}, {-128, 0, -128}});
    glColor4f(0.5f, 0.5f, 1.0f, 1.0f);
    emit_quad(0, 0, 1, {{-128, 0, -128}, {128, 0, -128}, {128, 128, -128}, {-128, 128, -128}});
    glColor4f(0.5f, 0.5f, 0.5f, 1.0f);
    emit_quad(0, 0, -1, {{-128, -56, 128}, {-128, 128, 128}, {128, 128, 128}, {128, -56, 128}});
    emit_quad(1, 0, 0, {{-128, -56, -128}, {-128, 128, -128}, {-128, 128, 128}, {-128, -56, 128}});
    emit_quad(-1, 0, 0, {{128, -56, -128}, {128, -56, 128}, {128, 128, 128}, {128, 128, -128}});
    emit_quad(0, 1, 0, {{-128, -56, -128}, {-128, -56, 128}, {128, -56, 128}, {128, -56, -128}});
    emit_quad(0, -1, 0, {{-128, 128, -128}, {128, 128, -128}, {128, 128, 128}, {-128, 128, 128}});
    glEnd();
    glEndList();
    return list;
}

} // namespace

std::vector<BlockFace> block_model_faces(int width, int height, const uint8_t* cells,
                                         int faces_only, float cell_size)
{
    std::vector<BlockFace> faces;
    const float c = cell_size;
    // The running corner is kept in floats, a cell size added per column and
    // taken away per row, so the font's 0.2 steps round as they accumulate.
    float y1 = static_cast<float>(height) * c / 2;
    for (int i = 0; i < height; ++i, y1 -= c) {
        const float y0 = y1 - c;
        float x0 = -static_cast<float>(width) * c / 2;
        for (int j = 0; j < width; ++j, x0 += c) {
            if (!is_solid(cells, width, i, j))
                continue;
            const float x1 = x0 + c;
            // An index past the palette wraps round it rather than read beyond it.
            const int index = (cells[i * width + j] & kPaletteIndexMask) % kPaletteSize;
            const uint32_t rgb = block_palette[index];
            add_face(faces, rgb, 0, 0, 1, {{x0, y0, 0.5f}, {x1, y0, 0.5f}, {x1, y1, 0.5f}, {x0, y1, 0.5f}});
            add_face(faces, rgb, 0, 0, -1, {{x0, y0, -0.5f}, {x0, y1, -0.5f}, {x1, y1, -0.5f}, {x1, y0, -0.5f}});
            if (faces_only)
                continue;
            if (j == 0 || !is_solid(cells, width, i, j - 1))
                add_face(faces, rgb, -1, 0, 0, {{x0, y0, -0.5f}, {x0, y0, 0.5f}, {x0, y1, 0.5f}, {x0, y1, -0.5f}});
            if (j == width - 1 || !is_solid(cells, width, i, j + 1))
                add_face(faces, rgb, 1, 0, 0, {{x1, y0, 0.5f}, {x1, y0, -0.5f}, {x1, y1, -0.5f}, {x1, y1, 0.5f}});
            if (i == 0 || !is_solid(cells, width, i - 1, j))
                add_face(faces, rgb, 0, 1, 0, {{x0, y1, 0.5f}, {x1, y1, 0.5f}, {x1, y1, -0.5f}, {x0, y1, -0.5f}});
            if (i == height - 1 || !is_solid(cells, width, i + 1, j))
                add_face(faces, rgb, 0, -1, 0, {{x0, y0, -0.5f}, {x1, y0, -0.5f}, {x1, y0, 0.5f}, {x0, y0, 0.5f}});
        }
    }
    return faces;
}

int build_block_model(int width, int height, const uint8_t* cells, int faces_only,
                      float cell_size)
{
    const int list = static_cast<int>(glGenLists(1));
    glNewList(list, GL_COMPILE);
    glBegin(GL_QUADS);
    bool have_colour = false;
    uint32_t colour = 0;
    for (const BlockFace& face : block_model_faces(width, height, cells, faces_only, cell_size)) {
        if (!have_colour || face.rgb != colour) {
            colour = face.rgb;
            have_colour = true;
            glColor3ub(static_cast<GLubyte>(colour >> 16), static_cast<GLubyte>(colour >> 8),
                       static_cast<GLubyte>(colour));
        }
        emit_quad(face.normal[0], face.normal[1], face.normal[2], face.corners);
    }
    glEnd();
    glEndList();
    return list;
}

int init_block_font()
{
    for (int code = 0; code < 128; ++code) {
        glyph_lists_full[code] = -1;
        glyph_lists_flat[code] = -1;
        for (int p = 0; p < kGlyphCount; ++p) {
            if (static_cast<unsigned char>(block_charset[p]) != code)
                continue;
            const uint8_t* glyph = block_glyphs[p].data();
            glyph_lists_full[code] = build_block_model(kGlyphSize, kGlyphSize, glyph, 0, kFontCellSize);
            glyph_lists_flat[code] = build_block_model(kGlyphSize, kGlyphSize, glyph, 1, kFontCellSize);
            break;
        }
    }
    return 1;
}

void reset_blocks_state()
{
    std::copy(persp_matrix, persp_matrix + 16, blocks_state.scene_projection);
}

void apply_scene_frustum()
{
    const double t = std::tan(std::numbers::pi / 6);
    glFrustum(-t * 4 / 3, t * 4 / 3, -t, t, 1, 255);
}

int init_block_scene()
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    apply_scene_frustum();
    glGetDoublev(GL_PROJECTION_MATRIX, persp_matrix);
    glGetDoublev(GL_PROJECTION_MATRIX, blocks_state.scene_projection);
    glLoadIdentity();
    glOrtho(-24, 24, -18, 18, 1, 255);
    glGetDoublev(GL_PROJECTION_MATRIX, ortho_matrix);
    for (int k = 0; k < 16; ++k)
        ortho_delta[k] = ortho_matrix[k] - persp_matrix[k];
    glMatrixMode(GL_MODELVIEW);

    for (int m = 0; m < kPoseCount; ++m) {
        const uint8_t* pose = figure_bitmaps[m].data();
        model_lists_full[m] = build_block_model(kPoseSize, kPoseSize, pose, 0, kPoseCellSize);
        model_lists_flat[m] = build_block_model(kPoseSize, kPoseSize, pose, 1, kPoseCellSize);
    }
    room_list = build_room();
    return 1;
}

void draw_block_text(const char* text, int flat)
{
    const int* lists = flat ? glyph_lists_flat : glyph_lists_full;
    glPushMatrix();
    for (const char* p = text; *p != 0; ++p) {
        const unsigned char code = static_cast<unsigned char>(*p);
        // Codes above 127 have no table entry; they only take up room.
        if (code < 128 && lists[code] >= 0)
            glCallList(static_cast<GLuint>(lists[code]));
        glTranslatef(kTextAdvance, 0, 0);
    }
    glPopMatrix();
}
