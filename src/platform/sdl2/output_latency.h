// How far behind SDL's callback the listener is: the part of the output path
// between the bytes the audio callback has taken and the sound that comes out.
// The played position subtracts it, so that the pictures follow what is heard.
#pragma once

#include <SDL.h>

#include <cstdint>

// Starts measuring for a device just opened with the format SDL granted:
// reads INVITATION_AUDIO_OFFSET_MS (a bad value is ignored with one line on
// stderr) and, on a sound server, starts asking it for this stream's delay.
// Main thread.
void output_latency_start(const SDL_AudioSpec& granted);

// Stops asking the sound server. Main thread.
void output_latency_stop();

// The whole latency in bytes of the device's format, never more than
// max_bytes. Any thread.
uint32_t output_latency_bytes(uint32_t max_bytes);
