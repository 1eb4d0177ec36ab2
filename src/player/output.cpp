// Player-wide output settings.
#include "player/output.h"

#include "player/mixer.h"

int output_rate = 0;
int block_frames = 0;
int ring_frames = 0;

bool output_configure(int rate)
{
    if (rate < MIN_OUTPUT_RATE || rate > MAX_OUTPUT_RATE)
        return false;
    output_rate = rate;
    block_frames = ((rate * BLOCK_MS / 1000) + 3) & ~3;
    ring_frames = (RING_MS / BLOCK_MS) * block_frames;
    mixer_configure(rate);
    return true;
}
