// Placeholder until the song is composed: an empty song that no loader accepts.
#include "data/embedded_song.h"

const unsigned char embedded_song[1] = {0};
const unsigned embedded_song_size = 0;
