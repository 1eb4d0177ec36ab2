// The embedded song rendered through our player and through libopenmpt, once
// per test run, with the song position of every tick, for the level, cue and
// comparison tests.
#pragma once

#include "data/show_tables.h"

#include <cstdint>
#include <vector>

constexpr int SONG_RATE = 44100;
constexpr int TICK_FRAMES = 882;  // one tick at 125 BPM and 44100 Hz
constexpr int ROW_TICKS = 8;

struct SongRendering {
    std::vector<float> mix;            // stereo frames, in 16-bit units
    std::vector<int> tick_positions;   // order × 64 + row of each tick
    int rows_until_restart = 0;        // rows played before the song returned to its restart
};

// Our player, from the start to the song's return to its restart position.
const SongRendering& our_rendering();

// Levels in dBFS of the stereo frames of ticks [first_tick, end_tick).
double rms_dbfs(const std::vector<float>& mix, std::size_t first_tick, std::size_t end_tick);
double peak_dbfs(const std::vector<float>& mix, std::size_t first_tick, std::size_t end_tick);

// Index of the first tick of a position, in a rendering that passes it.
std::size_t first_tick_of(const SongRendering& rendering, int key);
