// The song the show plays, an XM module compiled into the program.
#pragma once

extern const unsigned char embedded_song[];
extern const unsigned embedded_song_size;
