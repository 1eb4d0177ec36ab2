// The song's tempo: how many frames a tick lasts at a BPM.
#include "player/replay.h"

void replay_set_bpm(Replay& replay, int bpm)
{
    replay.samples_per_tick = samples_per_tick_at(replay.rate, bpm);
}

int samples_per_tick_at(int rate, int bpm)
{
    if (bpm < 1)
        bpm = 1;
    // Single-precision constants, double-precision arithmetic, truncated: 882
    // frames at 125 BPM and 44100 Hz.
    double frames = 1000.0 / (bpm * static_cast<double>(0.4f)) * rate * static_cast<double>(0.001f);
    return frames >= 1.0 ? static_cast<int32_t>(frames) : 1;
}
