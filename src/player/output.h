// Player-wide output settings: the rate everything is rendered at and the
// sizes derived from it. output_configure sets them and resets the voice pool;
// the device side opens its device and then calls it, offline rendering calls
// it alone.
#pragma once

extern int output_rate;       // output frames per second
extern int block_frames;      // frames per streaming block: rate × 20 / 1000, rounded up to a multiple of 4
extern int ring_frames;       // frames in the streaming ring: (buffer_ms / 20) × block_frames × 2
constexpr int buffer_ms = 1000;

constexpr int MIN_OUTPUT_RATE = 1000;
constexpr int MAX_OUTPUT_RATE = 384000;

// Sets the rate, the block sizes and the mixer's ramp constants, and gives
// every voice its index, step 1 and silence. False (nothing changed) for a rate
// outside MIN_OUTPUT_RATE..MAX_OUTPUT_RATE.
bool output_configure(int rate);
