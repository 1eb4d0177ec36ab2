// The embedded song rendered offline through the same render loop the ring
// uses, block by block, with the position reached at the end of each block:
// what the device must play and what the show must be told.
#pragma once

#include "player/playback.h"

#include <cstdint>
#include <vector>

struct Module;

struct SongReference {
    std::vector<int16_t> pcm;           // 2 values a frame, from the song's first frame
    std::vector<SyncRecord> block_end;  // position at the end of each 884-frame block
};

// Loads the embedded song through the player's own memory source (null if it
// does not load).
Module* load_embedded_song();

// The first `seconds` of the song at 44100 Hz, rendered once per test binary
// (at the first call). Renders with the player's one replay state, so call it
// before a test starts its own playback.
const SongReference& song_reference(int seconds = 110);
