// The embedded song rendered offline through a player of its own, block by
// block, with the position reached at the end of each block: what the device
// must play and what the show must be told.
#pragma once

#include "player/playback.h"

#include <cstdint>
#include <vector>

struct QxmSong;
using Module = QxmSong;

struct SongReference {
    std::vector<int16_t> pcm;           // 2 values a frame, from the song's first frame
    std::vector<SyncRecord> block_end;  // position at the end of each 884-frame block
};

// Registers a memory source over the embedded song, as the show does, and
// loads the song through it (null if it does not load).
Module* load_embedded_song();

// The first `seconds` of the song at 44100 Hz, rendered once per test binary
// (at the first call).
const SongReference& song_reference(int seconds = 110);
