// Our player against libopenmpt on the embedded song: the same length, and the
// same rise and fall of loudness through the show.
#include "data/embedded_song.h"
#include "song_rendering.h"

#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.hpp>

#include <cmath>
#include <sstream>

namespace {

double correlation(const std::vector<double>& a, const std::vector<double>& b) {
    const std::size_t n = std::min(a.size(), b.size());
    double mean_a = 0, mean_b = 0;
    for (std::size_t i = 0; i < n; ++i) mean_a += a[i], mean_b += b[i];
    mean_a /= n, mean_b /= n;
    double ab = 0, aa = 0, bb = 0;
    for (std::size_t i = 0; i < n; ++i) {
        ab += (a[i] - mean_a) * (b[i] - mean_b);
        aa += (a[i] - mean_a) * (a[i] - mean_a);
        bb += (b[i] - mean_b) * (b[i] - mean_b);
    }
    return ab / std::sqrt(aa * bb);
}

TEST(SongPeerComparison, SameLengthInRows) {
    std::ostringstream log;
    openmpt::module peer(embedded_song, embedded_song_size, log);
    const double row_seconds = double(ROW_TICKS * TICK_FRAMES) / SONG_RATE;
    EXPECT_EQ(std::lround(peer.get_duration_seconds() / row_seconds), our_rendering().rows_until_restart);
    EXPECT_EQ(our_rendering().rows_until_restart, 11 * 64);
}

TEST(SongPeerComparison, LoudnessEnvelopesAgreeUntilTheShowEnds) {
    const SongRendering& ours = our_rendering();
    const std::size_t frames = first_tick_of(ours, SHOW_END_KEY) * TICK_FRAMES;

    std::ostringstream log;
    openmpt::module peer(embedded_song, embedded_song_size, log);
    peer.set_render_param(openmpt::module::RENDER_INTERPOLATIONFILTER_LENGTH, 2);
    std::vector<float> theirs(2 * frames);
    std::size_t done = 0;
    while (done < frames) {
        const std::size_t got = peer.read_interleaved_stereo(SONG_RATE, std::min<std::size_t>(4096, frames - done),
                                                             theirs.data() + 2 * done);
        ASSERT_GT(got, 0u);
        done += got;
    }
    constexpr int WINDOW = SONG_RATE / 50; // 20 ms
    const double r = correlation(rms_envelope(ours.mix, frames, WINDOW), rms_envelope(theirs, frames, WINDOW));
    EXPECT_GE(r, 0.95);
    RecordProperty("envelope_correlation", std::to_string(r));
}

} // namespace
