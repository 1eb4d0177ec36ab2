// The looping output ring, the feeder and the position records.
//
// Hand-over between the threads: stop_requested (main → feeder), mixing_busy
// and feeder_exited (feeder → main) and audible_index (feeder → main) are
// atomics with acquire/release ordering. A block's record is one 16-bit atomic
// word, so order and row are always read as the pair one render wrote.
#include "player/playback.h"

#include "platform/platform.h"
#include "player/module.h"
#include "player/module_source.h"
#include "player/output.h"
#include "qxm.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

bool device_open = false;
int16_t* ring_buffer = nullptr;            // ring_frames × 2 values; lives until output_close
std::atomic<uint16_t>* sync_records = nullptr;  // one per block: order << 8 | row
Module* playing_module = nullptr;
QxmPlayer* player = nullptr;                // plays playing_module; feeder only once playing
int fill_index = 0;                        // next block to render; feeder only once playing
std::atomic<int> audible_index{0};         // block whose record the queries read
std::atomic<uint8_t> stop_requested{0};
std::atomic<uint8_t> mixing_busy{0};
std::atomic<uint8_t> feeder_exited{1};
PlatformThread* feeder_handle = nullptr;
bool threaded = true;
uint32_t last_position_bytes = 0;          // device byte count at the last good reading; feeder only
uint32_t ring_position_bytes = 0;          // where in the ring the device plays, 0..ring bytes − 1; feeder only

constexpr int FEEDER_POLL_MS = 5;

// Renders block fill_index into the ring, records where the song stands at
// its end, and moves fill_index on.
void render_block()
{
    const int block = fill_index;
    qxm_player_render_int16(player, ring_buffer + 2 * block * block_frames, block_frames);
    const QxmPosition at = qxm_player_position(player);
    const uint16_t record = uint16_t((at.order & 0xFF) << 8 | (at.row & 0xFF));
    sync_records[block].store(record, std::memory_order_release);
    fill_index = (block + 1) % ring_block_count();
}

// A module freed while it plays is stopped first.
void stop_if_playing(Module* module)
{
    if (module == playing_module)
        playback_stop(module);
}

int feeder_thread(void*)
{
    while (!stop_requested.load(std::memory_order_acquire)) {
        playback_feed();
        platform_sleep_ms(FEEDER_POLL_MS);
    }
    feeder_exited.store(1, std::memory_order_release);
    return 0;
}

} // namespace

int ring_block_count() { return block_frames > 0 ? ring_frames / block_frames : 0; }

bool output_open(int rate)
{
    if (!module_source_ready())
        return false;
    output_close();
    if (!platform_audio_open(rate))
        return false;
    if (!output_configure(rate)) {
        platform_audio_close();
        return false;
    }
    device_open = true;
    return true;
}

void output_close()
{
    if (playing_module)
        playback_stop(playing_module);
    platform_audio_reset();
    platform_audio_close();
    device_open = false;
    // Only now is the device done with the ring.
    std::free(ring_buffer);
    ring_buffer = nullptr;
}

bool playback_start(Module* module)
{
    if (!module || !device_open)
        return false;
    playback_stop(module);
    // A restart: the device lets go of the old ring before it is replaced.
    platform_audio_reset();
    std::free(ring_buffer);
    ring_buffer = nullptr;

    module_release_hook = stop_if_playing;
    // A new player each time, so that a restart does not carry the old song's tails.
    player = qxm_player_create(module, output_rate);
    if (!player)
        return false;
    playing_module = module;
    const int blocks = ring_block_count();
    sync_records = new std::atomic<uint16_t>[size_t(blocks)]();
    ring_buffer = static_cast<int16_t*>(std::calloc(size_t(ring_frames), 4));

    fill_index = 0;
    audible_index.store(0, std::memory_order_release);
    do
        render_block();
    while (fill_index != 0);

    platform_audio_play_loop(ring_buffer, ring_frames * 4);
    last_position_bytes = 0;
    platform_audio_position_bytes(&last_position_bytes);
    ring_position_bytes = 0;
    stop_requested.store(0, std::memory_order_release);
    if (threaded) {
        // Marked running before the thread exists, so a stop that comes at
        // once still waits for it.
        feeder_exited.store(0, std::memory_order_release);
        feeder_handle = platform_thread_start(feeder_thread, nullptr);
        if (!feeder_handle)
            feeder_exited.store(1, std::memory_order_release);
    }
    return true;
}

bool playback_stop(Module* module)
{
    if (!module)
        return false;
    stop_requested.store(1, std::memory_order_release);
    while (mixing_busy.load(std::memory_order_acquire))
        platform_yield();
    if (feeder_handle) {
        while (!feeder_exited.load(std::memory_order_acquire))
            platform_sleep_ms(1);
        platform_thread_join(feeder_handle);
        feeder_handle = nullptr;
    }
    qxm_player_free(player);
    player = nullptr;
    playing_module = nullptr;
    delete[] sync_records;
    sync_records = nullptr;
    return true;
}

void playback_feed()
{
    if (!playing_module)
        return;
    const int blocks = ring_block_count();
    // The device's count is 32 bits and wraps (after about 6.8 hours at
    // 44100 Hz); 2^32 is no multiple of the ring, so the count itself cannot
    // be taken modulo the ring. Its unsigned difference since the last feed
    // is right across the wrap. A reading that fails or goes back is passed
    // over: the device is where it was last seen (a difference wrapped
    // backwards would move the ring tens of blocks on and overwrite blocks
    // about to be heard).
    uint32_t now = 0;
    if (!platform_audio_position_bytes(&now) || int32_t(now - last_position_bytes) < 0)
        return;
    ring_position_bytes = uint32_t((uint64_t(ring_position_bytes) + (now - last_position_bytes)) %
                                   uint64_t(ring_frames * 4));
    last_position_bytes = now;
    const int playing_block = int(ring_position_bytes / 4) / block_frames;
    while (fill_index != playing_block) {
        mixing_busy.store(1, std::memory_order_release);
        // The index moves to the block now heard before the block just
        // finished is rewritten with a position two seconds ahead.
        audible_index.store((audible_index.load(std::memory_order_relaxed) + 1) % blocks,
                            std::memory_order_release);
        render_block();
        mixing_busy.store(0, std::memory_order_release);
    }
}

SyncRecord playback_position(const Module* module)
{
    if (!module || !sync_records)
        return {0, 0};
    const uint16_t record = sync_records[audible_index.load(std::memory_order_acquire)].load(
        std::memory_order_acquire);
    return {uint8_t(record >> 8), uint8_t(record & 0xFF)};
}

int playback_order(const Module* module) { return playback_position(module).order; }
int playback_row(const Module* module) { return playback_position(module).row; }

void playback_set_threaded(bool on) { threaded = on; }
bool playback_is_threaded() { return threaded; }
