// Block models and block-letter text (see blocks.cpp).
#pragma once

// Draws a zero-terminated string with the block-font models from the current
// modelview origin toward +x, 1.8 units per character; flat non-zero uses the
// front-and-back-only models. Leaves the modelview matrix as it found it.
void draw_block_text(const char* text, int flat);
