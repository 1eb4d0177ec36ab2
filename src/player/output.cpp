// The streaming side's output settings.
#include "player/output.h"

#include "player/player.h"

int output_rate = 0;
int block_frames = 0;
int ring_frames = 0;

bool output_configure(int rate)
{
    if (rate < QXM_MIN_RATE || rate > QXM_MAX_RATE)
        return false;
    output_rate = rate;
    block_frames = block_frames_at(rate);
    ring_frames = (RING_MS / BLOCK_MS) * block_frames;
    return true;
}
