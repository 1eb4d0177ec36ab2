#include "song_rendering.h"

#include "data/embedded_song.h"
#include "qxm.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {

SongRendering render_with_our_player() {
    QxmSong* song = qxm_song_load_memory(embedded_song, embedded_song_size, nullptr);
    QxmPlayer* player = qxm_player_create(song, SONG_RATE);
    if (!player) throw std::runtime_error("our player does not load the embedded song");
    qxm_player_end_after_loops(player, 1);

    // One tick per call: afterwards the position is that of the row the
    // tick's frames belong to.
    SongRendering rendering;
    std::vector<float> tick(2 * TICK_FRAMES);
    while (qxm_player_render_float(player, tick.data(), TICK_FRAMES) == TICK_FRAMES) {
        for (float& v : tick) v *= 32768.0f;
        const QxmPosition at = qxm_player_position(player);
        rendering.mix.insert(rendering.mix.end(), tick.begin(), tick.end());
        rendering.tick_positions.push_back(at.order * 64 + at.row);
    }
    rendering.rows_until_restart = static_cast<int>(rendering.tick_positions.size()) / ROW_TICKS;
    qxm_player_free(player);
    qxm_song_free(song);
    return rendering;
}

} // namespace

const SongRendering& our_rendering() {
    static const SongRendering rendering = render_with_our_player();
    return rendering;
}

double rms_dbfs(const std::vector<float>& mix, std::size_t first_tick, std::size_t end_tick) {
    double sum = 0;
    const std::size_t begin = first_tick * TICK_FRAMES * 2;
    const std::size_t end = end_tick * TICK_FRAMES * 2;
    for (std::size_t i = begin; i < end; ++i) sum += double(mix[i]) * mix[i];
    return 10 * std::log10(sum / double(end - begin) / (32768.0 * 32768.0) + 1e-30);
}

double peak_dbfs(const std::vector<float>& mix, std::size_t first_tick, std::size_t end_tick) {
    double peak = 0;
    for (std::size_t i = first_tick * TICK_FRAMES * 2; i < end_tick * TICK_FRAMES * 2; ++i)
        peak = std::max(peak, double(std::fabs(mix[i])));
    return 20 * std::log10(peak / 32768.0 + 1e-30);
}

std::size_t first_tick_of(const SongRendering& rendering, int key) {
    const auto& positions = rendering.tick_positions;
    return static_cast<std::size_t>(std::find(positions.begin(), positions.end(), key) - positions.begin());
}
