// GL 1.x over WebGL 2: exactly the fixed-function calls the show makes, so
// that the effects draw in the browser unchanged. The layer keeps the GL 1.x
// state itself (matrix stacks, current colour, normal and texture coordinate,
// light, enables, the attribute stacks), gathers the vertices of each
// glBegin/glEnd into a buffer, records display lists as ranges of one
// vertex buffer, draws through one shader program per state combination the
// show meets (lit or not, textured or not, flat or smooth, alpha-tested or
// not), draws lines wider than a pixel as quads (WebGL's lines are one pixel
// wide), and draws glBitmap text as textured quads from one atlas of every
// bitmap in the lists.
//
// What the show never does is not here: lighting always comes with colour
// material (ambient and diffuse from the current colour), GL_LIGHT1 is the
// one light, the alpha test is always GL_GEQUAL, and glPushAttrib always
// saves everything.
//
// Main thread, with the page's WebGL 2 context current. gl1_state.cpp holds
// the state calls, gl1_draw.cpp the vertices, lists and programs,
// gl1_text.cpp the bitmap text.
#pragma once

#include <GL/gl.h>

#include <array>
#include <cstdint>
#include <vector>

// Column-major, as GL keeps matrices; single precision, as GL drivers do.
using Matrix = std::array<float, 16>;

// The raster position of glRasterPos: window coordinates, bottom row 0.
struct RasterPosition {
    float x, y;      // pixels
    float color[4];  // the current colour when it was set
    bool valid;      // false when the point fell outside the view: bitmaps then draw nothing
};

// Everything glPushAttrib(GL_ALL_ATTRIB_BITS) saves and glPopAttrib restores.
struct Gl1Attributes {
    bool depth_test = false, cull_face = false, blend = false, texture_2d = false;
    bool lighting = false, light1 = false, color_material = false;
    bool flat_shading = false;
    bool alpha_test = false;                 // GL_ALPHA_TEST, always GL_GEQUAL
    float alpha_reference = 0;
    GLenum blend_source = GL_ONE, blend_destination = GL_ZERO;
    GLenum depth_function = GL_LESS;
    GLenum cull_face_mode = GL_BACK;
    GLenum matrix_mode = GL_MODELVIEW;
    float light_ambient[4] = {0, 0, 0, 1};   // GL_LIGHT1's defaults
    float light_diffuse[4] = {0, 0, 0, 1};
    float light_direction[3] = {0, 0, 1};    // eye space, unit length (a directional light)
    float color[4] = {1, 1, 1, 1};           // current colour, 0..1
    float normal[3] = {0, 0, 1};             // current normal
    float texcoord[2] = {0, 0};              // current texture coordinate
    RasterPosition raster = {0, 0, {1, 1, 1, 1}, true};
    GLuint texture = 0;                      // bound to GL_TEXTURE_2D
    GLuint list_base = 0;                    // glListBase
};

// One vertex as the programs read it.
struct Gl1Vertex {
    float position[3];
    float color[4];
    float normal[3];
    float texcoord[2];
};

struct Gl1Layer {
    Gl1Attributes attributes;
    std::vector<Gl1Attributes> attribute_stack;
    std::vector<Matrix> modelview{1}, projection{1};  // stacks; the back is current
    int unpack_alignment = 4;                         // bytes, for glBitmap rows
    std::vector<int> client_stack;                    // glPushClientAttrib: unpack alignments
    int viewport[4] = {0, 0, 0, 0};                   // x, y, width, height in pixels
    float line_width = 1;                             // pixels; the show sets it once per picture size
    // Which current attributes the calls since glNewList have set: a list
    // leaves those set when it is called.
    bool set_color = false, set_normal = false, set_texcoord = false;
};

extern Gl1Layer gl1;

Matrix& current_matrix();
Matrix identity_matrix();
Matrix multiply(const Matrix& a, const Matrix& b);
// The matrix times (x, y, z, w).
std::array<float, 4> transform(const Matrix& m, float x, float y, float z, float w);

// Called by the backend once the WebGL 2 context is current: the picture's
// viewport, and the layer's buffers and programs start afresh.
void gl1_context_created(int width, int height);

// With drawing off the layer keeps every state as before but sends WebGL no
// clear and no draw: a capture that pictures a few moments of a long run
// spares the renderer the frames between them. On unless turned off.
void gl1_set_drawing(bool on);
extern bool gl1_drawing;

// gl1_draw.cpp: sends the GL 1.x state that WebGL keeps itself (enables,
// blend, depth and cull functions) before a draw.
void apply_fixed_state();

// gl1_text.cpp: a display list's bitmap, drawn at the raster position, which
// then moves by the bitmap's advance. Quads gather until gl1_flush_text.
struct Gl1Bitmap {
    int width, height;        // pixels
    float x_origin, y_origin; // pixels from the bitmap's lower left to the raster position
    float x_move, y_move;     // advance of the raster position
    int atlas_x, atlas_y;     // where its pixels sit in the text atlas
};
Gl1Bitmap add_bitmap_to_atlas(int width, int height, float x_origin, float y_origin, float x_move,
                              float y_move, const uint8_t* rows, int row_bytes);
void queue_bitmap(const Gl1Bitmap& bitmap);
// gl1_draw.cpp: a bitmap into the list being compiled, or drawn at once.
void record_bitmap(const Gl1Bitmap& bitmap);
void gl1_flush_text();
void reset_text();
