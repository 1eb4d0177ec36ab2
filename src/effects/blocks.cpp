// Block models, block text and the 3D scene's static resources.
// Placeholder until this family's scenes are built: draws nothing.
#include "effects/effects.h"
#include "effects/blocks.h"

int init_block_font() { return 1; }
int init_block_scene() { return 1; }
void draw_block_text(const char*, int) {}
