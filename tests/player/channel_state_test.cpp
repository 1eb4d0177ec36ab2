// Channel state (qxm_player_channel): what each channel plays at the last
// frame handed out, against a song whose notes, volumes and hits are known.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "song_loading.h"

namespace {

constexpr int TICK = 110;  // frames of a tick at 1000 BPM and 44100 Hz: eight ticks in a block of 884

// Speed 1, so a row is a tick. Channel 0: C-4 at volume 32 (row 0), C-5 on
// instrument 2 whose envelope holds 16, panned to 64 (row 3), a key-off
// (row 5). Channel 1: C-4 on every row.
xm::Song known_song()
{
    xm::Song song;
    song.channels = 2;
    song.speed = 1;
    song.bpm = 1000;
    song.patterns.resize(1);
    song.patterns[0].rows = 16;
    xm::Sample sine;
    sine.frames = xm::sine_frames(256, 32, 100);  // peaks at 100 × 256 in 16 bits
    sine.loop = 1;
    sine.loop_length = 256;
    xm::Instrument enveloped = xm::single_sample_instrument(sine);
    enveloped.volume.points = {{0, 16}, {100, 16}};
    enveloped.volume.type = 1 | 2;  // on, held at point 0 until the key-off
    song.instruments = {xm::single_sample_instrument(sine), enveloped};
    xm::Pattern& p = song.patterns[0];
    p.at(0, 0, 2) = {49, 1, 0x10 + 32, 0, 0};
    p.at(3, 0, 2) = {61, 2, 0, 0x08, 64};
    p.at(5, 0, 2).note = 97;
    for (int row = 0; row < 16; ++row)
        p.at(row, 1, 2) = {49, 1, 0, 0, 0};
    return song;
}

// After each render call, however many ticks it spans, the channels are those
// of the tick its last frame belongs to, and every note started up to that
// frame is counted. Channel 1 is muted: not heard, but its notes count.
TEST(ChannelState, IsThatOfTheLastFrameHandedOut)
{
    PlayedSong m = start_song(known_song());
    ASSERT_EQ(m->samples_per_tick, TICK);
    QxmPlayer* player = m.player.get();
    ASSERT_EQ(qxm_player_mute_channel(player, 1, 1), 1);
    struct Expected {
        int frames;  // handed out so far
        int note, instrument, volume, panning, frequency;
    };
    const Expected points[] = {
        {1, 49, 1, 32, 128, 8363},          {TICK, 49, 1, 32, 128, 8363},
        {3 * TICK, 49, 1, 32, 128, 8363},   {3 * TICK + 1, 61, 2, 16, 64, 16726},
        {5 * TICK, 61, 2, 16, 64, 16726},   {5 * TICK + 1, 97, 2, 16, 64, 16726},
        {15 * TICK + 7, 97, 2, 16, 64, 16726},  // ten ticks in one call
    };
    std::vector<float> frames(2 * 2 * 884);
    int done = 0;
    for (const Expected& e : points) {
        ASSERT_EQ(qxm_player_render_float(player, frames.data(), e.frames - done), e.frames - done);
        done = e.frames;
        QxmChannel c = {}, muted = {};
        ASSERT_EQ(qxm_player_channel(player, 0, &c) + qxm_player_channel(player, 1, &muted), 2);
        SCOPED_TRACE(testing::Message() << "after " << done << " frames");
        EXPECT_EQ(c.note, e.note);
        EXPECT_EQ(c.instrument, e.instrument);
        EXPECT_EQ(c.volume, e.volume);
        EXPECT_EQ(c.panning, e.panning);
        EXPECT_EQ(c.frequency, e.frequency);
        EXPECT_EQ(c.triggers, e.frames > 3 * TICK ? 2u : 1u);
        EXPECT_EQ(muted.triggers, static_cast<uint32_t>((done + TICK - 1) / TICK));
        EXPECT_EQ(muted.level, 0.0f);
        EXPECT_GT(c.level, 0.0f);
    }
    // Muted, channel 0 falls silent within a block (its gains ramp down), and
    // its level with it.
    qxm_player_mute_channel(player, 0, 1);
    qxm_player_render_float(player, frames.data(), 2 * 884);
    QxmChannel silenced = {};
    qxm_player_channel(player, 0, &silenced);
    EXPECT_EQ(silenced.level, 0.0f);
    // The second block's loudest: C-5 sounds through it at volume 16 of 64,
    // the sine's peak at a quarter of full volume.
    PlayedSong fresh = start_song(known_song());
    qxm_player_render_float(fresh.player.get(), frames.data(), 884 + 1);
    QxmChannel second = {};
    qxm_player_channel(fresh.player.get(), 0, &second);
    EXPECT_FLOAT_EQ(second.level, 100 * 256 / 32768.0f * 0.25f);
}

// Null arguments and channels the song lacks are refused, the state untouched.
TEST(ChannelState, RefusesWhatItCannotAnswer)
{
    PlayedSong m = start_song(known_song());
    QxmChannel state = {};
    state.note = -5;
    for (int channel : {-1, 2, 64})
        EXPECT_EQ(qxm_player_channel(m.player.get(), channel, &state), 0) << channel;
    EXPECT_EQ(qxm_player_channel(nullptr, 0, &state), 0);
    EXPECT_EQ(qxm_player_channel(m.player.get(), 0, nullptr), 0);
    EXPECT_EQ(state.note, -5);
    ASSERT_EQ(qxm_player_channel(m.player.get(), 1, &state), 1);
    EXPECT_EQ(state.note, 0) << "before the first frame, no note yet";
    EXPECT_EQ(state.triggers, 0u);
}

}  // namespace
