// Fuzz target: any bytes through the loader, and whatever loads played for a
// second through the replay and mixer. Built for libFuzzer (clang), and also
// linked with a plain driver that replays the seed corpus as a regular test.
#include <cstddef>
#include <cstdint>

#include "qxm.h"

namespace {

constexpr int RATE = 8000;  // low, so a second of song is cheap to render
constexpr int BLOCK_FRAMES = 800;
int16_t pcm[2 * BLOCK_FRAMES];

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QxmSong* song = qxm_song_load_memory(data, size, nullptr);
    QxmPlayer* player = qxm_player_create(song, RATE);
    for (int block = 0; player && block < RATE / BLOCK_FRAMES; ++block)
        qxm_player_render_int16(player, pcm, BLOCK_FRAMES);
    qxm_player_free(player);
    qxm_song_free(song);
    return 0;
}
