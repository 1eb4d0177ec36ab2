// Our player against libopenmpt on the embedded song: the same length, and the
// same rise and fall of loudness through the show.
#include "data/embedded_song.h"
#include "song_rendering.h"
#include "testkit/peer_compare.h"

#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.hpp>

#include <cmath>
#include <sstream>

namespace {

TEST(SongPeerComparison, SameLengthInRows) {
    std::ostringstream log;
    openmpt::module peer(embedded_song, embedded_song_size, log);
    const double row_seconds = double(ROW_TICKS * TICK_FRAMES) / SONG_RATE;
    EXPECT_EQ(std::lround(peer.get_duration_seconds() / row_seconds), our_rendering().rows_until_restart);
    EXPECT_EQ(our_rendering().rows_until_restart, 11 * 64);
}

TEST(SongPeerComparison, LoudnessEnvelopesAgreeUntilTheShowEnds) {
    const SongRendering& ours = our_rendering();
    const std::size_t frames = first_tick_of(ours, kShowEndKey) * TICK_FRAMES;

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
    const double r = peer::correlation(peer::rms_envelope(ours.mix, frames, WINDOW), peer::rms_envelope(theirs, frames, WINDOW));
    EXPECT_GE(r, 0.95);
    RecordProperty("envelope_correlation", std::to_string(r));
}

} // namespace
