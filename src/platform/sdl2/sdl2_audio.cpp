// SDL2 audio device: SDL's audio thread copies the looping buffer to the
// device from a cursor that wraps, and counts the bytes it has taken. It never
// waits on a lock: the buffer is published through atomics and the feeder
// only rewrites blocks the cursor has already passed. The played position is
// what was taken less the output latency (output_latency.h).
#include "platform/platform.h"
#include "platform/sdl2/output_latency.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cstring>

namespace {

SDL_AudioDeviceID audio_device = 0;
uint32_t max_latency_bytes = 0;                     // one second of the device's bytes
std::atomic<const uint8_t*> loop_buffer{nullptr};   // null = not playing
std::atomic<int> loop_bytes{0};
std::atomic<uint32_t> bytes_taken{0};               // since play_loop, wraps
int loop_cursor = 0;                                // audio thread only

void SDLCALL copy_from_loop(void*, Uint8* out, int len)
{
    const uint8_t* buffer = loop_buffer.load(std::memory_order_acquire);
    const int size = loop_bytes.load(std::memory_order_acquire);
    if (!buffer || size <= 0) {
        std::memset(out, 0, size_t(len));
        return;
    }
    int written = 0;
    while (written < len) {
        const int chunk = std::min(len - written, size - loop_cursor);
        std::memcpy(out + written, buffer + loop_cursor, size_t(chunk));
        written += chunk;
        loop_cursor = (loop_cursor + chunk) % size;
    }
    bytes_taken.fetch_add(uint32_t(len), std::memory_order_release);
}

} // namespace

int platform_audio_open(int rate)
{
    platform_audio_close();
    if (!SDL_WasInit(SDL_INIT_AUDIO) && SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return 0;
    SDL_AudioSpec want{}, have{};
    want.freq = rate;
    want.format = AUDIO_S16LSB;
    want.channels = 2;
    want.samples = 512;
    want.callback = copy_from_loop;
    // No allowed changes: SDL converts to whatever the hardware takes.
    audio_device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (audio_device == 0)
        return 0;
    // The latency never reaches the ring of about two seconds: the device
    // must not take blocks the feeder has not refilled yet.
    max_latency_bytes = uint32_t(have.freq) * 4;
    output_latency_start(have.freq, have.samples, SDL_GetCurrentAudioDriver());
    SDL_PauseAudioDevice(audio_device, 0);
    return 1;
}

void platform_audio_play_loop(const void* buffer, int bytes)
{
    if (audio_device == 0)
        return;
    SDL_LockAudioDevice(audio_device);
    loop_cursor = 0;
    bytes_taken.store(0);
    loop_bytes.store(bytes, std::memory_order_release);
    loop_buffer.store(static_cast<const uint8_t*>(buffer), std::memory_order_release);
    SDL_UnlockAudioDevice(audio_device);
}

// The latency may grow between two readings, so that a reading comes out
// behind the last: the feeder passes over such readings.
int platform_audio_position_bytes(uint32_t* bytes)
{
    const uint32_t taken = bytes_taken.load(std::memory_order_acquire);
    const uint32_t latency = output_latency_bytes(max_latency_bytes);
    *bytes = taken > latency ? taken - latency : 0;
    return 1;
}

void platform_audio_reset()
{
    if (audio_device == 0)
        return;
    SDL_LockAudioDevice(audio_device);
    loop_buffer.store(nullptr, std::memory_order_release);
    loop_bytes.store(0);
    bytes_taken.store(0);
    loop_cursor = 0;
    SDL_UnlockAudioDevice(audio_device);
}

void platform_audio_close()
{
    if (audio_device == 0)
        return;
    platform_audio_reset();
    output_latency_stop();
    SDL_CloseAudioDevice(audio_device);
    audio_device = 0;
}

int platform_audio_fed_between_frames() { return 0; }
