// The show's three calls into the music player, and where the music is.
// Main thread.
#pragma once

// The pattern-order index and row of the audio being heard.
struct PlaybackPosition {
    int order;
    int row;
};

// Prepares the player and loads the embedded song. Non-zero on success.
int player_setup();

// Starts playback. Returns 1.
int player_start();

// Stops playback, frees the song and closes the output. Returns 1.
int player_shutdown();

// The position being heard: row first, then order (the feeder thread may
// move between the two reads). 0/0 when there is no song.
PlaybackPosition player_position();
