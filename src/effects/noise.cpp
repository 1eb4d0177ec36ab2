// Noise textures and random point sets.
// Placeholder until this family's scenes are built: draws nothing.
#include "effects/effects.h"

int init_noise_textures() { return 1; }
