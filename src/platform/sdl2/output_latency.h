// How far behind SDL's callback the listener is: the part of the output path
// between the bytes the audio callback has taken and the sound that comes out.
// The played position subtracts it, so that the pictures follow what is heard.
#pragma once

#include <cstdint>

// Starts measuring for a device just opened, with what SDL granted: rate in
// Hz, buffer in frames of 16-bit stereo, driver its audio driver's name (may
// be null). Reads INVITATION_AUDIO_OFFSET_MS (a bad value is ignored with one
// line on stderr) and, on a sound server, starts asking it for this stream's
// delay. Main thread.
void output_latency_start(int rate, int buffer_frames, const char* driver);

// Stops asking the sound server and forgets its reports. Main thread.
void output_latency_stop();

// The whole latency in bytes of the device's format, never more than
// max_bytes. Any thread.
uint32_t output_latency_bytes(uint32_t max_bytes);

// One report from the sound server of this stream's delay, in µs: the median
// of the last three counts. The server's watch thread (or a test standing in
// for the server) between start and stop.
void output_latency_take_server_report(int64_t micros);
