// One frame of the show: the step of the timeline by the music position, the
// entry's curves and its scene handlers. The show loop and any other driver
// (tests, the capture tool) call the same procedure. Main thread, GL context
// current.
#pragma once

#include "shell/player_wrappers.h"
#include "show/timeline.h"

#include <cstdint>

// Where the show stands.
struct ShowProgress {
    const TimelineEntry* timeline;  // the built timeline
    uint32_t entry_index;           // current entry; only moves forward
    int show_ms;                    // sum of frame_ms since the show began
    int frame_ms;                   // last frame's length, 0 on the first frame
};

// The MusicPosition of a playback position: order × 64 + row.
uint32_t music_position(PlaybackPosition position);

// Non-zero once the current entry is the end-of-show entry.
int show_has_ended(const ShowProgress& progress);

// Clears colour and depth, makes the next entry current if position has
// reached its start_key (at most one entry per frame, never back), evaluates
// the entry's curves and calls its handlers with the position, its start_key,
// show_ms and frame_ms. An entry made current that ends the show draws
// nothing. Swapping and pacing are the caller's.
void run_show_frame(ShowProgress& progress, PlaybackPosition position);
