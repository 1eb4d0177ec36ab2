// The mixer's eight-frame loops for processors that have AVX2, for mixer.cpp
// alone. Each function is compiled for AVX2 by its own target attribute rather
// than by a flag on the whole file, so that nothing the file shares with the
// rest of the program (inline library code) is built for AVX2 and picked up
// by callers on processors without it. Both kinds of loop give the same bits.
#pragma once

#include <cstdint>

constexpr float WEIGHT_UNIT = 0x1p-31f;  // interpolation weight per unit of fraction >> 1

#if defined(__x86_64__) && defined(__GNUC__)
#define MIXER_HAS_AVX2_PATH 1

// passes × 8 frames at constant gains from position, which has bit 0 of the
// advance (so that its frames follow the series); returns the position after
// them. Only AVX2 is asked for, so nothing here can be fused into a
// multiply-add that the portable loops would round differently.
__attribute__((target("avx2"))) uint64_t mix_steady_wide(const int16_t* data, uint64_t position,
                                                         uint64_t even_advance, float* out, int passes,
                                                         float left, float right);

// The same with gains that move by an increment per frame, carried in double
// precision: frame j of the ramp's segment (these frames start at
// j = first_frame) at left + j × left_increment, and right alike, each product
// and sum rounded as the portable loop rounds them.
__attribute__((target("avx2"))) uint64_t mix_ramped_wide(const int16_t* data, uint64_t position,
                                                         uint64_t even_advance, float* out, int passes,
                                                         int first_frame, double left, double right,
                                                         double left_increment, double right_increment);

// Sixteen values per pass, by the same operations as the 128-bit loop of
// float_to_pcm16. Packing works within each half of the register, so the
// middle quarters change places after it. Returns the values converted.
__attribute__((target("avx2"))) int float_to_pcm16_wide(int16_t* destination, const float* source, int count);

#endif
