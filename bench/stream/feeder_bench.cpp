// The feeder's cost: CPU time spent rendering the ring per second of the
// embedded song heard, fed as the show feeds it (one catch-up per 60 Hz frame)
// on the headless device.
#include "data/embedded_song.h"
#include "platform/headless/headless.h"
#include "player/module.h"
#include "player/playback.h"
#include "qxm.h"

#include <benchmark/benchmark.h>

static void BM_FeederPerSecondOfAudio(benchmark::State& state)
{
    Module* module = qxm_song_load_memory(embedded_song, embedded_song_size, nullptr);
    if (!module || !output_open(44100)) {
        state.SkipWithError("the song or the headless device is not there");
        return;
    }
    playback_set_threaded(false);
    playback_start(module);
    int seconds = 0;
    for (auto _ : state) {
        for (int frame = 0; frame < 60; ++frame) { // one second of 60 Hz frames
            headless_advance_clock(16667);
            playback_feed();
        }
        // The song runs to about 105 s; start over before it loops back.
        if (++seconds % 100 == 0) {
            state.PauseTiming();
            playback_start(module);
            state.ResumeTiming();
        }
    }
    // One iteration is one second of audio: the CPU column is the feeder's
    // CPU time per second heard.
    module_free(module);
    output_close();
}
BENCHMARK(BM_FeederPerSecondOfAudio)->Unit(benchmark::kMillisecond)->MinTime(3.0);

BENCHMARK_MAIN();
