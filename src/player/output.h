// Player-wide output settings: the rate everything is rendered at and the
// sizes derived from it. output_configure sets them and resets the voice pool;
// the device side opens its device and then calls it, offline rendering calls
// it alone.
#pragma once

extern int output_rate;       // output frames per second
extern int block_frames;      // frames per streaming block: rate × BLOCK_MS / 1000, rounded up to a multiple of 4
extern int ring_frames;       // frames in the streaming ring: RING_MS / BLOCK_MS blocks

constexpr int BLOCK_MS = 20;    // about this much sound makes a streaming block
constexpr int RING_MS = 2000;   // about this much sound is queued in the ring ahead of the listener

constexpr int MIN_OUTPUT_RATE = 1000;
constexpr int MAX_OUTPUT_RATE = 384000;

// Sets the rate, the block sizes and the mixer's ramp constants, and gives
// every voice its index, step 1 and silence. False (nothing changed) for a rate
// outside MIN_OUTPUT_RATE..MAX_OUTPUT_RATE.
bool output_configure(int rate);
