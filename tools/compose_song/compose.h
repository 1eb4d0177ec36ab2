// The composer: builds the show's song, an original arrangement of the
// traditional Welsh carol "Deck the Halls" (melody "Nos Galan"), as XM data.
#pragma once

#include "xm_song.h"

#include <cstdint>
#include <vector>

// What each of the eight channels plays.
enum SongChannel {
    KICK_CHANNEL = 0,
    SNARE_CHANNEL = 1,
    HATS_CHANNEL = 2,
    BASS_CHANNEL = 3,
    LEAD_CHANNEL = 4,
    BELL_CHANNEL = 5,  // echoes, octave doubling and the accent stabs
    STABS_CHANNEL = 6,
    PAD_CHANNEL = 7,
};

// The song's XM file.
std::vector<std::uint8_t> compose_song_bytes();
