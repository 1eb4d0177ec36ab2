// The show's random generator, the two noise textures and the two random
// point sets the overlays and the word cascade start from. Main thread only.
#pragma once

#include <cstdint>

// One generator serves every effect, so each handler's number and order of
// draws is part of what it draws. The results have a 15-bit range (0..32767),
// which the scaling constants of every effect assume.
struct RandomGenerator {
    uint32_t seed = 1;  // linear congruential state
    uint64_t draws = 0; // results handed out since the start of the run
};

// Restarts the sequence from seed (the show seeds once, with 0xDEADBEEF).
void seed_random(uint32_t seed);

// The next result, 0..32767.
int next_random();

// One result times 1/32767 (the single-precision constant), 0..1; carried in
// double so expressions built on it round once, where they are stored.
double rand_unit();

// 128×128 RGBA textures of white texels whose alpha is 0..127.
extern unsigned int noise_texture_a;
extern unsigned int noise_texture_b;

// Centres of the line storm's squares, x 0..640 and y 0..480 (y up).
constexpr int kStormPointCount = 64;
struct StormPoints {
    float x[kStormPointCount];
    float y[kStormPointCount];
};

// Baseline starts of the word cascade's words, x 20..620 and y 20..460.
constexpr int kWordPointCount = 8;
struct WordPoints {
    float x[kWordPointCount];
    float y[kWordPointCount];
};

// The family's state: the generator and the point sets, which the line storm
// and the word cascade shift as they draw. It lives for the run;
// init_noise_textures seeds the generator and makes the points.
struct NoiseState {
    RandomGenerator random;
    StormPoints storm_points;
    WordPoints word_points;
};
extern NoiseState noise_state;

// The state of a new process: the generator unseeded, no points.
void reset_noise_state();

// Drops point 0 of a set of count points, moves the rest down by one and puts
// (x, y) last.
void shift_in_point(float* xs, float* ys, int count, float x, float y);
