// The show's calls into the music player, and where the music is.
// Main thread.
#pragma once

// The pattern-order index and row of the audio being heard.
struct PlaybackPosition {
    int order;
    int row;
};

// Registers the memory-file source over the embedded song, opens the audio
// device at 44100 Hz and loads the song. Non-zero on success; on failure
// nothing stays open and player_setup_error says what failed.
int player_setup();
const char* player_setup_error();

// Starts playback from the beginning of the song. Returns 1.
int player_start();

// Stops playback, frees the song and closes the output. Returns 1.
int player_shutdown();

// The order and row being heard, read as one pair; 0/0 when there is no
// song. Without a feeder thread (headless, web), it first feeds the ring
// with whatever the device has played since the last frame.
PlaybackPosition player_position();
