// Headless audio device: plays nothing aloud; its position follows the
// virtual clock from the moment the loop starts, so feeding and sync are
// exact and repeatable. Any thread may read the position. On request it keeps
// what it has "played": each position reading appends the frames of the loop
// passed since the last one, as a real device would have sent them out.
#include "platform/headless/headless.h"
#include "platform/platform.h"

#include <atomic>
#include <vector>

namespace {

int device_rate = 0;                       // frames per second; 0 = closed
std::atomic<int64_t> loop_start_micros{-1}; // virtual time of play_loop; −1 = not playing
const int16_t* loop_buffer = nullptr;       // the looping buffer, 2 values a frame
int64_t loop_frames = 0;
std::atomic<bool> capturing{false};
std::vector<int16_t> captured;              // frames played, 2 values each
int64_t captured_frames = 0;                // frames of this loop already captured
uint32_t next_count_base = 0;               // byte count the next loop starts from
std::atomic<uint32_t> count_base{0};        // byte count this loop started from
struct Misreading {
    uint32_t fail;                          // 1: the reading fails
    uint32_t short_bytes;                   // the reading comes out this many bytes short
};
std::atomic<Misreading> next_misreading{Misreading{0, 0}}; // for the next reading only

void capture_until(int64_t frames_played)
{
    for (; captured_frames < frames_played; ++captured_frames) {
        const int64_t frame = captured_frames % loop_frames;
        captured.push_back(loop_buffer[2 * frame]);
        captured.push_back(loop_buffer[2 * frame + 1]);
    }
}

} // namespace

int platform_audio_open(int rate)
{
    device_rate = rate > 0 ? rate : 0;
    return device_rate > 0;
}

void platform_audio_play_loop(const void* buffer, int bytes)
{
    loop_buffer = static_cast<const int16_t*>(buffer);
    loop_frames = bytes / 4;
    captured_frames = 0;
    count_base.store(next_count_base);
    next_count_base = 0;
    loop_start_micros.store(headless_clock_micros());
}

int platform_audio_position_bytes(uint32_t* bytes)
{
    const int64_t start = loop_start_micros.load();
    if (start < 0 || device_rate == 0)
        return 0;
    const int64_t frames = (headless_clock_micros() - start) * device_rate / kHeadlessCountsPerSecond;
    if (capturing && loop_frames > 0)
        capture_until(frames);
    const Misreading misreading = next_misreading.exchange(Misreading{0, 0});
    if (misreading.fail)
        return 0;
    *bytes = uint32_t(frames * 4) + count_base.load() - misreading.short_bytes;
    return 1;
}

void platform_audio_reset()
{
    loop_start_micros.store(-1);
    loop_buffer = nullptr;
    loop_frames = 0;
}

void platform_audio_close()
{
    platform_audio_reset();
    device_rate = 0;
}

int platform_audio_fed_between_frames() { return 1; }

void headless_audio_capture(int on)
{
    capturing = on != 0;
    captured.clear();
}

const std::vector<int16_t>& headless_audio_captured() { return captured; }

void headless_audio_count_from(uint32_t bytes) { next_count_base = bytes; }

void headless_audio_misread_next(int fail, uint32_t short_bytes)
{
    next_misreading.store(Misreading{fail ? 1u : 0u, short_bytes});
}
