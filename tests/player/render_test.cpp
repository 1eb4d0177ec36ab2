// The render loop: when ticks run, how chunks fall, where rendering stops.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "player/mixer.h"
#include "player/render.h"
#include "player/replay.h"
#include "song_loading.h"

namespace {

int ticks_run = 0;
void counting_tick(Module* m)
{
    ++ticks_run;
    replay_tick(m);
}

xm::Song quiet_song(int rows = 4)
{
    xm::Song song;
    song.channels = 1;
    song.patterns.resize(1);
    song.patterns[0].rows = rows;
    return song;
}

// At 125 BPM a tick is 882 frames: a block of 884 ticks at frame 0 and 882,
// and leaves 880 frames of the second tick for the next block.
TEST(Render, TicksFallWhereTheirFramesAreUsedUp)
{
    ModulePtr m = start_song(quiet_song());
    m->tick_handler = counting_tick;
    ticks_run = 0;
    std::vector<float> mix(2 * 884, 1.0f);
    EXPECT_EQ(render_mix(m.get(), mix.data(), 884), 884);
    EXPECT_EQ(ticks_run, 2);
    EXPECT_EQ(m->samples_to_tick, 880);
    EXPECT_EQ(mix[2 * 883 + 1], 0.0f);  // zeroed before mixing
    render_mix(m.get(), mix.data(), 884);
    EXPECT_EQ(ticks_run, 3);
    EXPECT_EQ(m->samples_to_tick, 878);
}

// A tempo change applies to the tick that makes it.
TEST(Render, TempoChangeAppliesToItsOwnTick)
{
    xm::Song song = quiet_song();
    song.patterns[0].at(0, 0, 1) = {0, 0, 0, 15, 32};
    ModulePtr m = start_song(song);
    m->tick_handler = counting_tick;
    ticks_run = 0;
    std::vector<float> mix(2 * 884);
    render_mix(m.get(), mix.data(), 884);
    EXPECT_EQ(ticks_run, 1);
    EXPECT_EQ(m->samples_to_tick, 3445 - 884);
}

bool stop_at_row_2(const Module* m, void*)
{
    return m->tick == 0 && m->next_row == 2;
}

TEST(Render, StopEndsRenderingBeforeTheTick)
{
    xm::Song song = quiet_song();
    song.speed = 1;
    ModulePtr m = start_song(song);
    std::vector<float> mix(2 * 10000);
    EXPECT_EQ(render_mix(m.get(), mix.data(), 10000, stop_at_row_2, nullptr), 2 * 882);
    EXPECT_EQ(m->row, 1);
    EXPECT_EQ(m->samples_to_tick, 0);
}

std::vector<int16_t> render_in_blocks(const xm::Song& song, int total, int block)
{
    ModulePtr m = start_song(song);
    std::vector<float> mix(2 * static_cast<size_t>(block));
    std::vector<int16_t> pcm(2 * static_cast<size_t>(total));
    for (int done = 0; done < total; done += block) {
        int n = std::min(block, total - done);
        render_mix(m.get(), mix.data(), n);
        float_to_pcm16(pcm.data() + 2 * done, mix.data(), n);
    }
    return pcm;
}

// The block size only decides where calls split; the sound stays the same
// (ramps split across calls may round their gains one step differently).
TEST(Render, BlockSizeDoesNotChangeTheSound)
{
    xm::Song song = xm::busy_song(6, 2);
    const int total = 44100 * 3;
    std::vector<int16_t> whole = render_in_blocks(song, total, total);
    std::vector<int16_t> ring_blocks = render_in_blocks(song, total, 884);
    std::vector<int16_t> odd_blocks = render_in_blocks(song, total, 313);
    long energy = 0;
    int left_energy = 0, right_energy = 0;
    for (size_t i = 0; i < whole.size(); ++i) {
        ASSERT_LE(std::abs(whole[i] - ring_blocks[i]), 1) << "frame " << i / 2;
        ASSERT_LE(std::abs(whole[i] - odd_blocks[i]), 1) << "frame " << i / 2;
        energy += std::abs(whole[i]);
        (i % 2 ? right_energy : left_energy) += whole[i] != 0;
    }
    EXPECT_GT(energy / static_cast<long>(whole.size()), 100);
    EXPECT_GT(left_energy, total / 2);
    EXPECT_GT(right_energy, total / 2);
}

// An 8-bit ping-pong loop over a whole 17-frame sample, cell note 24: the
// return leg once counted one frame too many and read far before the sample
// within two seconds.
TEST(Render, PingPongLoopFromFrameZeroPlaysOn)
{
    ModulePtr m = start_song(xm::ping_pong_from_frame_zero_song());
    ASSERT_TRUE(m);
    std::vector<float> mix(2 * 882);
    double energy = 0;
    for (int block = 0; block < 3 * 50; ++block) {
        render_mix(m.get(), mix.data(), 882);
        for (float v : mix)
            energy += double(v) * v;
    }
    EXPECT_GT(energy, 0);
    EXPECT_TRUE(std::isfinite(energy));
}

}  // namespace
