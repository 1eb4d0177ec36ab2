// Block models, block-letter text and the 3D scene's static resources: every
// solid cell of a block bitmap becomes a box, and each bitmap is compiled once
// into a display list (see blocks.cpp).
#pragma once

#include <cstdint>
#include <vector>

// One quad of a block model: its normal, its corners counter-clockwise seen
// from outside the box, and its colour as 0x00RRGGBB.
struct BlockFace {
    float normal[3];
    float corners[4][3];
    uint32_t rgb;
};

// The faces of one bitmap's model, in drawing order: per solid cell, top row
// first, its front and back faces, then (unless faces_only) its left, right,
// top and bottom faces where the neighbour that way is empty or off the
// bitmap. The model is centred on the origin in x and y, cell_size per cell,
// and spans z from -0.5 to 0.5.
std::vector<BlockFace> block_model_faces(int width, int height, const uint8_t* cells,
                                         int faces_only, float cell_size);

// Compiles block_model_faces into a new display list and returns its id.
int build_block_model(int width, int height, const uint8_t* cells, int faces_only,
                      float cell_size);

// Display lists, by character code (-1 = no glyph) and by pose; filled by
// init_block_font and init_block_scene, read-only afterwards.
extern int glyph_lists_full[128];  // glyphs with side faces
extern int glyph_lists_flat[128];  // glyphs with front and back faces only
extern int model_lists_full[5];    // figure poses with side faces
extern int model_lists_flat[5];    // figure poses, front and back faces only
extern int room_list;              // the room box of the 3D scene

// Projection matrices, column-major as GL reads them.
extern double persp_matrix[16];     // 60° vertical field of view, 4:3, near 1, far 255
extern double ortho_matrix[16];     // x -24..24, y -18..18, near 1, far 255
extern double ortho_delta[16];      // ortho_matrix - persp_matrix, per element

// The family's moving state: the 3D scene's working projection, which the
// block scene's flights blend from persp_matrix toward ortho_matrix. Lives for
// the run.
struct BlocksState {
    double scene_projection[16]; // column-major
};
extern BlocksState blocks_state;

// Sets the working projection to persp_matrix, as at the start of a run.
void reset_blocks_state();

// Sets the 3D scenes' perspective frustum on the current matrix.
void apply_scene_frustum();

// Draws a zero-terminated string with the block-font models from the current
// modelview origin toward +x, 1.8 units per character; flat non-zero uses the
// front-and-back-only models. Expects the modelview matrix to be the current
// matrix, and leaves it as it found it. Codes past 127 draw nothing.
void draw_block_text(const char* text, int flat);
