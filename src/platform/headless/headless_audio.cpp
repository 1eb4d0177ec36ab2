// Headless audio device: plays nothing; its position follows the virtual
// clock from the moment the loop starts, so feeding and sync are exact and
// repeatable. Any thread may read the position.
#include "platform/headless/headless.h"
#include "platform/platform.h"

#include <atomic>

namespace {

int device_rate = 0;                       // frames per second; 0 = closed
std::atomic<int64_t> loop_start_micros{-1}; // virtual time of play_loop; −1 = not playing

} // namespace

int platform_audio_open(int rate)
{
    device_rate = rate > 0 ? rate : 0;
    return device_rate > 0;
}

void platform_audio_play_loop(const void*, int)
{
    loop_start_micros.store(headless_clock_micros());
}

uint32_t platform_audio_position_bytes()
{
    const int64_t start = loop_start_micros.load();
    if (start < 0 || device_rate == 0)
        return 0;
    const int64_t frames = (headless_clock_micros() - start) * device_rate / kHeadlessCountsPerSecond;
    return uint32_t(frames * 4);
}

void platform_audio_reset() { loop_start_micros.store(-1); }

void platform_audio_close()
{
    platform_audio_reset();
    device_rate = 0;
}

int platform_audio_is_virtual() { return 1; }
