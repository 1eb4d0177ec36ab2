// The 3D block scenes.
// Placeholder until this family's scenes are built: draws nothing.
#include "effects/effects.h"

int draw_block_scene(int, int, int, int, int) { return 0; }
int draw_spinning_blocks(int, int, int, int, int) { return 0; }
