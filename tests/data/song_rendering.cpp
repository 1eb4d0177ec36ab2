#include "song_rendering.h"

#include "data/embedded_song.h"
#include "player/memory_file.h"
#include "player/module.h"
#include "player/output.h"
#include "player/render.h"
#include "player/replay.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {

SongRendering render_with_our_player() {
    output_configure(SONG_RATE);
    memory_source_use(embedded_song, static_cast<int32_t>(embedded_song_size));
    Module* module = module_create("song");
    if (!module) throw std::runtime_error("our player does not load the embedded song");
    replay_start(module);

    // One tick per call: the call starts with the tick, so afterwards the
    // module's order and row are those of the row the frames belong to.
    SongRendering rendering;
    bool last_order_reached = false;
    for (;;) {
        std::vector<float> tick(2 * TICK_FRAMES);
        render_mix(module, tick.data(), TICK_FRAMES);
        const int key = module->order * 64 + module->row;
        if (module->order == module->song_length - 1) last_order_reached = true;
        if (last_order_reached && key == module->restart_position * 64) break;
        rendering.mix.insert(rendering.mix.end(), tick.begin(), tick.end());
        rendering.tick_positions.push_back(key);
    }
    rendering.rows_until_restart = static_cast<int>(rendering.tick_positions.size()) / ROW_TICKS;
    module_free(module);
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
