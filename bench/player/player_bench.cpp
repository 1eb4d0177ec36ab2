// Player benchmarks: the mixer in ns per voice-frame, and whole-song rendering
// in × real time against libxmp and libopenmpt on the same song, the same
// output (16-bit stereo, 44100 Hz, linear interpolation) and the same length.
// The ratios are printed after the runs.
//
//   player_bench [--songs=FOLDER] [benchmark options]
//
// With a folder of real XM songs (bench/player/fetch_songs.sh gathers some),
// each song's first 60 s are also rendered by all three players, and a table
// gives for each song the correlation of 20 ms RMS envelopes with libopenmpt's,
// of the mono mix and of each side apart (which a swap of the sides spoils),
// ours beside libxmp's, and both speeds against libxmp's; how much faster
// the song's duration is found than its one pass is rendered, and how much
// faster a player seeks to 60 s than it renders those 60 s (medians).
#include <benchmark/benchmark.h>
#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "data/embedded_song.h"
#include "player/mixer.h"
#include "player/sample.h"
#include "qxm.h"
#include "testkit/peer_compare.h"
#include "testkit/xm_writer.h"

namespace {

constexpr int RATE = 44100;
constexpr int MIX_FRAMES = 1024;
constexpr int SONG_SECONDS = 60;
constexpr int SONG_FRAMES = RATE * SONG_SECONDS;
constexpr int BLOCK = 884;  // the streaming block

// --- mixer -------------------------------------------------------------------

struct BenchSample {
    std::vector<int16_t> frames;
    Sample sample = {};
    explicit BenchSample(bool looped)
    {
        const uint32_t length = 8192;
        frames.assign(length + 8, 0);
        for (uint32_t i = 0; i < length; ++i)
            frames[i] = static_cast<int16_t>((i * 2654435761u) >> 17);
        sample.data = frames.data();
        sample.length = length;
        // A short loop so that wraps happen within every call.
        sample.loop_mode = looped ? SAMPLE_FORWARD_LOOP : SAMPLE_ONE_SHOT;
        sample.loop_start = looped ? 4000 : 0;
        sample.loop_length = looped ? 700 : length;
        frames[sample.loop_start + sample.loop_length] = frames[sample.loop_start];
    }
};

void BM_MixVoices(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    const double step = state.range(1) / 100.0;
    const bool looped = state.range(2) != 0;
    static Mixer mixer;
    mixer_configure(mixer, RATE);
    MixVoice* voices = mixer.voices;
    BenchSample s(looped);
    auto whole = static_cast<uint32_t>(step);
    auto fraction = static_cast<uint32_t>((step - whole) * 4294967296.0);
    for (int i = 0; i < count; ++i) {
        MixVoice& v = voices[i];
        v.sample = &s.sample;
        v.step = whole;
        v.step_fraction = fraction;
        v.direction = VOICE_FORWARD;
        v.panning = (i * 37) % 256;
        v.target_left = v.ramp_goal_left = v.gain_left = FULL_GAIN * static_cast<float>(256 - v.panning) / 256;
        v.target_right = v.ramp_goal_right = v.gain_right = FULL_GAIN * static_cast<float>(v.panning) / 256;
        v.position = static_cast<uint32_t>(i * 13);
    }
    std::vector<float> buffer(2 * MIX_FRAMES);
    for (auto _ : state) {
        if (!looped)  // keep the one-shots sounding: 1024 frames never reach their end
            for (int i = 0; i < count; ++i)
                voices[i].position = static_cast<uint32_t>(i * 13);
        std::memset(buffer.data(), 0, buffer.size() * sizeof(float));
        mix_voices(mixer, buffer.data(), MIX_FRAMES);
        benchmark::DoNotOptimize(buffer.data());
    }
    state.counters["voice_frames"] = static_cast<double>(count) * MIX_FRAMES;
}
BENCHMARK(BM_MixVoices)
    ->ArgNames({"voices", "step%", "looped"})
    ->ArgsProduct({{1, 8, 32, 64}, {50, 100, 237}, {0, 1}});

// --- whole song ----------------------------------------------------------------

// The show's song once it is in the program, else a busy generated song.
const std::vector<uint8_t>& bench_song()
{
    static std::vector<uint8_t> bytes = [] {
        std::vector<uint8_t> embedded(embedded_song, embedded_song + embedded_song_size);
        if (QxmSong* loaded = qxm_song_load_memory(embedded.data(), embedded.size(), nullptr)) {
            qxm_song_free(loaded);
            std::fprintf(stderr, "song: the embedded song (%zu bytes)\n", embedded.size());
            return embedded;
        }
        std::vector<uint8_t> generated = xm::write(xm::busy_song(8, 8));
        std::fprintf(stderr, "song: generated, 8 channels, 8 patterns (%zu bytes)\n", generated.size());
        return generated;
    }();
    return bytes;
}

void render_ours(benchmark::State& state, const std::vector<uint8_t>& song)
{
    std::vector<int16_t> pcm(2 * BLOCK);
    for (auto _ : state) {
        QxmSong* loaded = qxm_song_load_memory(song.data(), song.size(), nullptr);
        QxmPlayer* player = qxm_player_create(loaded, RATE);
        if (!player) {
            qxm_song_free(loaded);
            state.SkipWithError("our player cannot load the song");
            break;
        }
        for (int done = 0; done < SONG_FRAMES; done += BLOCK) {
            qxm_player_render_int16(player, pcm.data(), std::min(BLOCK, SONG_FRAMES - done));
            benchmark::DoNotOptimize(pcm.data());
        }
        qxm_player_free(player);
        qxm_song_free(loaded);
    }
    state.counters["audio_s"] = SONG_SECONDS;
}

void render_libxmp(benchmark::State& state, const std::vector<uint8_t>& song)
{
    for (auto _ : state) {
        std::vector<int16_t> pcm = peer::render_libxmp_pcm(song, SONG_FRAMES, RATE, false, BLOCK);
        if (pcm.empty()) {
            state.SkipWithError("libxmp cannot load the song");
            break;
        }
        benchmark::DoNotOptimize(pcm.data());
    }
    state.counters["audio_s"] = SONG_SECONDS;
}

void render_libopenmpt(benchmark::State& state, const std::vector<uint8_t>& song)
{
    std::vector<int16_t> pcm(2 * BLOCK);
    for (auto _ : state) {
        openmpt_module* mod = openmpt_module_create_from_memory2(
            song.data(), song.size(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
        if (!mod) {
            state.SkipWithError("libopenmpt cannot load the song");
            break;
        }
        openmpt_module_set_repeat_count(mod, -1);
        openmpt_module_set_render_param(mod, OPENMPT_MODULE_RENDER_INTERPOLATIONFILTER_LENGTH, 2);
        for (int done = 0; done < SONG_FRAMES; done += BLOCK) {
            int n = std::min(BLOCK, SONG_FRAMES - done);
            openmpt_module_read_interleaved_stereo(mod, RATE, static_cast<size_t>(n), pcm.data());
            benchmark::DoNotOptimize(pcm.data());
        }
        openmpt_module_destroy(mod);
    }
    state.counters["audio_s"] = SONG_SECONDS;
}

void BM_RenderSong_ours(benchmark::State& state) { render_ours(state, bench_song()); }
void BM_RenderSong_libxmp(benchmark::State& state) { render_libxmp(state, bench_song()); }
void BM_RenderSong_libopenmpt(benchmark::State& state) { render_libopenmpt(state, bench_song()); }

BENCHMARK(BM_RenderSong_ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderSong_libxmp)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderSong_libopenmpt)->Unit(benchmark::kMillisecond);

// --- real songs -----------------------------------------------------------------

struct RealSong {
    std::string name;
    std::vector<uint8_t> bytes;
    double ours_correlation = 0, libxmp_correlation = 0;  // 20 ms RMS envelopes against libopenmpt's
    double ours_sides = 0, libxmp_sides = 0;              // the same, each side apart
};

std::vector<RealSong> real_songs;

std::vector<RealSong> read_songs(const std::string& folder)
{
    std::vector<RealSong> songs;
    std::vector<std::filesystem::path> paths;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.is_regular_file())
            paths.push_back(entry.path());
    std::sort(paths.begin(), paths.end());
    for (const auto& path : paths) {
        std::ifstream in(path, std::ios::binary);
        songs.push_back({path.stem().string(), {std::istreambuf_iterator<char>(in), {}}});
    }
    return songs;
}

// How closely each player's loudness follows libopenmpt's over the first 60 s.
void measure_correlations(RealSong& song)
{
    constexpr int WINDOW = RATE / 50;  // 20 ms
    std::vector<float> reference = peer::render_libopenmpt(song.bytes, SONG_FRAMES, RATE);
    std::vector<float> ours = peer::render_ours(song.bytes, SONG_FRAMES, RATE);
    std::vector<float> xmp_float = peer::render_libxmp(song.bytes, SONG_FRAMES, RATE);
    if (reference.empty())
        return;
    std::vector<double> expected = peer::rms_envelope(reference, SONG_FRAMES, WINDOW);
    std::vector<double> expected_sides = peer::side_rms_envelopes(reference, SONG_FRAMES, WINDOW);
    if (!ours.empty()) {
        song.ours_correlation = peer::correlation(peer::rms_envelope(ours, SONG_FRAMES, WINDOW), expected);
        song.ours_sides = peer::correlation(peer::side_rms_envelopes(ours, SONG_FRAMES, WINDOW), expected_sides);
    }
    if (!xmp_float.empty()) {
        song.libxmp_correlation = peer::correlation(peer::rms_envelope(xmp_float, SONG_FRAMES, WINDOW), expected);
        song.libxmp_sides =
            peer::correlation(peer::side_rms_envelopes(xmp_float, SONG_FRAMES, WINDOW), expected_sides);
    }
}

// The song's duration of one pass, stepped without mixing, and the render
// of that pass it stands for: their ratio is how much faster the duration is.
void song_duration(benchmark::State& state, const std::vector<uint8_t>& song)
{
    QxmSong* loaded = qxm_song_load_memory(song.data(), song.size(), nullptr);
    for (auto _ : state)
        benchmark::DoNotOptimize(qxm_song_duration_ms(loaded, RATE, 1));
    qxm_song_free(loaded);
}

// A new player rendering frames frames, or with frames -1 one pass of the
// song, for each run; the song is loaded once, outside the runs.
void render_new_player(benchmark::State& state, const std::vector<uint8_t>& song, int frames)
{
    QxmSong* loaded = qxm_song_load_memory(song.data(), song.size(), nullptr);
    std::vector<int16_t> pcm(2 * BLOCK);
    for (auto _ : state) {
        QxmPlayer* player = qxm_player_create(loaded, RATE);
        if (frames < 0)
            qxm_player_end_after_loops(player, 1);
        for (int done = 0; frames < 0 || done < frames; done += BLOCK) {
            const int want = frames < 0 ? BLOCK : std::min(BLOCK, frames - done);
            if (qxm_player_render_int16(player, pcm.data(), want) < want)
                break;
            benchmark::DoNotOptimize(pcm.data());
        }
        qxm_player_free(player);
    }
    qxm_song_free(loaded);
}

void render_pass(benchmark::State& state, const std::vector<uint8_t>& song)
{
    render_new_player(state, song, -1);
}

// A new player sought to 60 s, against a new player rendering those 60 s.
void seek_minute(benchmark::State& state, const std::vector<uint8_t>& song)
{
    QxmSong* loaded = qxm_song_load_memory(song.data(), song.size(), nullptr);
    for (auto _ : state) {
        QxmPlayer* player = qxm_player_create(loaded, RATE);
        if (!qxm_player_seek_ms(player, SONG_SECONDS * 1000))
            state.SkipWithError("the seek was refused");
        qxm_player_free(player);
    }
    qxm_song_free(loaded);
}

void render_minute(benchmark::State& state, const std::vector<uint8_t>& song)
{
    render_new_player(state, song, SONG_FRAMES);
}

// Keeps each run's CPU seconds per iteration (steadier than wall time on a
// busy machine), for the summary after the table.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    std::vector<std::pair<std::string, Run>> runs;  // in the order they ran
    void ReportRuns(const std::vector<Run>& reports) override
    {
        for (const Run& run : reports)
            if (!run.error_occurred && run.iterations > 0)
                runs.emplace_back(run.benchmark_name(), run);
        ConsoleReporter::ReportRuns(reports);
    }
    static double seconds(const Run& run) { return run.cpu_accumulated_time / run.iterations; }
};

void print_summary(const SummaryReporter& reporter)
{
    std::printf("\nmixer, ns per voice-frame:\n");
    for (const auto& [name, run] : reporter.runs) {
        if (name.rfind("BM_MixVoices", 0) != 0)
            continue;
        double voice_frames = run.counters.at("voice_frames");
        std::printf("  %-48s %6.2f\n", name.c_str() + 13, SummaryReporter::seconds(run) * 1e9 / voice_frames);
    }
    auto speed = [&](const std::string& name) {
        for (const auto& [run_name, run] : reporter.runs)
            if (run_name == name)
                return SONG_SECONDS / SummaryReporter::seconds(run);
        return 0.0;
    };
    double ours = speed("BM_RenderSong_ours");
    double xmp = speed("BM_RenderSong_libxmp");
    double openmpt = speed("BM_RenderSong_libopenmpt");
    if (!real_songs.empty()) {
        std::printf("\nreal songs, first %d s: correlation of 20 ms RMS envelopes with libopenmpt, speed × real time\n",
                    SONG_SECONDS);
        std::printf("  %-46s %8s %8s %8s %8s %9s %9s %7s\n", "song", "ours", "libxmp", "ours L/R", "xmp L/R",
                    "ours ×rt", "xmp ×rt", "ratio");
        std::vector<double> ours_r, xmp_r, ours_sides, xmp_sides, ratios;
        int ours_good = 0, xmp_good = 0;
        for (const RealSong& song : real_songs) {
            double ours = speed("song/" + song.name + "/ours");
            double xmp = speed("song/" + song.name + "/libxmp");
            std::printf("  %-46s %8.4f %8.4f %8.4f %8.4f %9.1f %9.1f %7.2f\n", song.name.c_str(),
                        song.ours_correlation, song.libxmp_correlation, song.ours_sides, song.libxmp_sides, ours,
                        xmp, xmp > 0 ? ours / xmp : 0.0);
            ours_r.push_back(song.ours_correlation);
            xmp_r.push_back(song.libxmp_correlation);
            ours_sides.push_back(song.ours_sides);
            xmp_sides.push_back(song.libxmp_sides);
            if (xmp > 0)
                ratios.push_back(ours / xmp);
            ours_good += song.ours_correlation >= 0.99;
            xmp_good += song.libxmp_correlation >= 0.99;
        }
        auto median = [](std::vector<double> v) {
            if (v.empty())
                return 0.0;
            std::sort(v.begin(), v.end());
            return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
        };
        std::printf("  %zu songs: median correlation ours %.4f, libxmp %.4f; songs ≥ 0.99: ours %d, libxmp %d;"
                    " each side: median ours %.4f, libxmp %.4f; median speed ours/libxmp %.2f×\n",
                    real_songs.size(), median(ours_r), median(xmp_r), ours_good, xmp_good, median(ours_sides),
                    median(xmp_sides), median(ratios));
    }
    if (!real_songs.empty()) {
        // CPU seconds of one run by name, 0 where it did not run.
        auto seconds = [&](const std::string& name) {
            for (const auto& [run_name, run] : reporter.runs)
                if (run_name == name)
                    return SummaryReporter::seconds(run);
            return 0.0;
        };
        // How much faster the quick run is than the render it stands for, per song.
        auto print_ratios = [&](const char* quick, const char* render, const char* what) {
            std::vector<double> ratios;
            for (const RealSong& song : real_songs) {
                const double fast = seconds("song/" + song.name + "/" + quick);
                const double slow = seconds("song/" + song.name + "/" + render);
                if (fast > 0 && slow > 0)
                    ratios.push_back(slow / fast);
            }
            if (ratios.empty())
                return;
            std::sort(ratios.begin(), ratios.end());
            const size_t n = ratios.size();
            std::printf("\n%s, %zu songs: median %.1f× faster (%.1f..%.1f)\n", what, n,
                        n % 2 ? ratios[n / 2] : (ratios[n / 2 - 1] + ratios[n / 2]) / 2, ratios.front(),
                        ratios.back());
        };
        print_ratios("duration", "pass", "duration of one pass against rendering it");
        print_ratios("seek_60s", "render_60s", "a seek to 60 s against rendering 60 s");
    }
    std::printf("\nwhole song, %d s of audio, × real time:\n", SONG_SECONDS);
    std::printf("  ours        %8.1f\n", ours);
    if (xmp > 0)
        std::printf("  libxmp      %8.1f   ours is %.2f× libxmp's speed\n", xmp, ours / xmp);
    if (openmpt > 0)
        std::printf("  libopenmpt  %8.1f   ours is %.2f× libopenmpt's speed\n", openmpt, ours / openmpt);
}

}  // namespace

int main(int argc, char** argv)
{
    // --songs=FOLDER is ours; the rest go to the benchmark library.
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--songs=", 8) == 0) {
            real_songs = read_songs(argv[i] + 8);
            if (real_songs.empty()) {
                std::fprintf(stderr, "player_bench: no songs in %s\n", argv[i] + 8);
                return 1;
            }
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    for (RealSong& song : real_songs) {
        measure_correlations(song);
        const std::vector<uint8_t>* bytes = &song.bytes;
        using Run = void (*)(benchmark::State&, const std::vector<uint8_t>&);
        const std::pair<const char*, Run> runs[] = {
            {"ours", render_ours},     {"libxmp", render_libxmp},         {"duration", song_duration},
            {"pass", render_pass},     {"seek_60s", seek_minute},         {"render_60s", render_minute}};
        for (const auto& [name, run] : runs)
            benchmark::RegisterBenchmark(("song/" + song.name + "/" + name).c_str(),
                                         [bytes, run](benchmark::State& state) { run(state, *bytes); })
                ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    print_summary(reporter);
    benchmark::Shutdown();
    return 0;
}
