// Streaming the playing song to the audio device, and where the listener is.
//
// The device plays one looping ring of 100 blocks (~20 ms each, ~2 s in all).
// The whole ring is rendered before playback starts; from then on a feeder
// re-renders each block as soon as the device has played it, and records for
// every block the order and row the song had reached at its end. The main
// thread asks for the record of the block being heard.
//
// Threads: output_open, output_close, playback_start, playback_stop and the
// position queries run on the main thread. The feeder (playback_feed) runs on
// a thread of its own, or, with a virtual device (headless), on whatever
// thread calls it; it alone touches the replay state, channels and voices
// once playback has started. They share no lock.
#pragma once

#include <cstdint>

struct QxmSong;
using Module = QxmSong;

// The position reached at the end of rendering one block: order, then row.
struct SyncRecord {
    uint8_t order;  // order position, low 8 bits
    uint8_t row;    // row, low 8 bits
};

// Opens the audio device for 16-bit stereo at rate frames per second and sets
// the block sizes and mixer constants from it. False when the module source
// procedures are not all registered, the rate is out of range, or there is
// no device.
bool output_open(int rate);

// Stops anything still playing, resets and closes the device, then releases
// the ring it played.
void output_close();

// Starts module from order 0: renders the whole ring, starts the device's
// loop and the feeder. A second start restarts from order 0. False for a null
// module, without an open device, or when memory runs out.
bool playback_start(Module* module);

// Stops the feeder and releases the player and the records; the device
// loops the last ring until output_close. False for a null module.
bool playback_stop(Module* module);

// The order and row of the block being heard, as one pair from one record;
// 0/0 for a null module or when nothing is playing.
SyncRecord playback_position(const Module* module);
int playback_order(const Module* module);
int playback_row(const Module* module);

// The feeder's work: reads the device position and renders, oldest first,
// every block the device has finished since the last call. The feeder thread
// calls it every 5 ms; without a thread, the program calls it itself.
void playback_feed();

// Whether playback_start starts a feeder thread (the default) or leaves
// feeding to the program's calls of playback_feed.
void playback_set_threaded(bool threaded);
bool playback_is_threaded();

// Blocks in the ring: ring_frames / block_frames (100 at any rate).
int ring_block_count();
