// Full-screen overlays and fades.
// Placeholder until this family's scenes are built: draws nothing.
#include "effects/effects.h"

int draw_noise_fan(int, int, int, int, int) { return 0; }
int draw_black_noise_overlay(int, int, int, int, int) { return 0; }
int draw_white_noise_overlay(int, int, int, int, int) { return 0; }
int draw_line_storm(int, int, int, int, int) { return 0; }
int draw_dark_bars(int, int, int, int, int) { return 0; }
int draw_crossed_stripes(int, int, int, int, int) { return 0; }
int draw_random_storm_overlay(int, int, int, int, int) { return 0; }
int draw_random_noise_overlay(int, int, int, int, int) { return 0; }
int draw_fade_out(int, int, int, int, int) { return 0; }
int draw_fade_in(int, int, int, int, int) { return 0; }
