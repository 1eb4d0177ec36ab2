// The streaming side's output settings: the rate the device plays at and the
// sizes of the ring derived from it. output_open sets them when it opens the
// device.
#pragma once

extern int output_rate;       // output frames per second
extern int block_frames;      // frames per streaming block: block_frames_at(output_rate)
extern int ring_frames;       // frames in the streaming ring: RING_MS / BLOCK_MS blocks

constexpr int RING_MS = 2000;   // about this much sound is queued in the ring ahead of the listener

// Sets the rate and the ring sizes. False (nothing changed) for a rate a
// player does not take (QXM_MIN_RATE..QXM_MAX_RATE).
bool output_configure(int rate);
