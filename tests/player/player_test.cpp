// The player object: where ticks fall, where the song ends and what a
// position says, muted channels, and players that share nothing but songs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <thread>
#include <vector>

#include "song_loading.h"

namespace {

xm::Song quiet_song(int rows = 4)
{
    xm::Song song;
    song.channels = 1;
    song.patterns.resize(1);
    song.patterns[0].rows = rows;
    return song;
}

// Whether two renders are the same bits; else where they first differ.
::testing::AssertionResult same_sound(const std::vector<float>& a, const std::vector<float>& b)
{
    if (a.size() != b.size())
        return ::testing::AssertionFailure() << a.size() / 2 << " frames against " << b.size() / 2;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i])
            return ::testing::AssertionFailure() << "frame " << i / 2 << " differs: " << a[i] << " against " << b[i];
    return ::testing::AssertionSuccess();
}

// frames frames of player, asked for chunk frames at a time.
std::vector<float> render(QxmPlayer* player, int frames, int chunk)
{
    std::vector<float> mix(2 * static_cast<size_t>(frames));
    for (int done = 0; done < frames; done += chunk)
        qxm_player_render_float(player, mix.data() + 2 * done, std::min(chunk, frames - done));
    return mix;
}

// At 125 BPM a tick is 882 frames: a block of 884 runs the ticks at frame 0
// and 882, and leaves 880 frames of the second tick for the next block.
TEST(Player, TicksFallWhereTheirFramesAreUsedUp)
{
    PlayedSong m = start_song(quiet_song());
    render(m.player.get(), 884, 884);
    EXPECT_EQ(m->tick, 2);
    EXPECT_EQ(m->samples_to_tick, 880);
    render(m.player.get(), 884, 884);
    EXPECT_EQ(m->tick, 3);
    EXPECT_EQ(m->samples_to_tick, 878);
}

// A tempo change applies to the tick that makes it.
TEST(Player, TempoChangeAppliesToItsOwnTick)
{
    xm::Song song = quiet_song();
    song.patterns[0].at(0, 0, 1) = {0, 0, 0, 15, 32};
    PlayedSong m = start_song(song);
    render(m.player.get(), 884, 884);
    EXPECT_EQ(m->tick, 1);
    EXPECT_EQ(m->samples_to_tick, 3445 - 884);
}

// The song ends where the row asked for would begin, or where it goes back
// for the loops-th time; the position is that of the last frame handed out,
// and a seek plays on from an order's first row.
TEST(Player, EndsPositionsAndSeeksFallOnTheFramesHandedOut)
{
    xm::Song song = quiet_song();
    song.speed = 1;  // a row is one tick of 882 frames
    PlayedSong m = start_song(song);
    QxmPlayer* player = m.player.get();
    qxm_player_end_at(player, 0, 2);
    std::vector<float> mix(2 * 10000);
    EXPECT_EQ(qxm_player_render_float(player, mix.data(), 882), 882);
    EXPECT_EQ(qxm_player_position(player).row, 0);
    EXPECT_EQ(qxm_player_render_float(player, mix.data(), 1), 1);
    EXPECT_EQ(qxm_player_position(player).row, 1);
    EXPECT_EQ(qxm_player_render_float(player, mix.data(), 10000), 881);
    QxmPosition end = qxm_player_position(player);
    EXPECT_EQ(end.row, 1);
    EXPECT_EQ(end.ended, 1);
    EXPECT_EQ(qxm_player_render_float(player, mix.data(), 10), 0);

    EXPECT_EQ(qxm_player_seek_order(player, 1), 0);  // the song has one order
    ASSERT_EQ(qxm_player_seek_order(player, 0), 1);
    EXPECT_EQ(qxm_player_position(player).ended, 0);
    qxm_player_end_at(player, -1, 0);
    qxm_player_end_after_loops(player, 2);
    EXPECT_EQ(qxm_player_render_float(player, mix.data(), 10000), 8 * 882);
    end = qxm_player_position(player);
    EXPECT_EQ(end.row, 3);
    EXPECT_EQ(end.rows, 4);
    EXPECT_EQ(end.loops, 2);
    EXPECT_EQ(end.ended, 1);
}

// end_at takes only positions the song has. An end is met where the song
// arrives, not where the player stands (end_at(0, 0) plays the whole song),
// and after the end a call that makes the stopping place no longer an end
// plays on from there, the loop back there counted once.
TEST(Player, EndsTakeOnlyRealPositionsAndNewEndsResume)
{
    xm::Song song = quiet_song();
    song.speed = 1;  // a row is one tick of 882 frames; 4 rows, one order
    PlayedSong m = start_song(song);
    QxmPlayer* player = m.player.get();
    std::vector<float> mix(2 * 10000);
    auto rows_played = [&] { return qxm_player_render_float(player, mix.data(), 10000) / 882.0; };
    ASSERT_EQ(qxm_player_end_at(player, 0, 0), 1);
    EXPECT_EQ(rows_played(), 4) << "one pass, up to where the song comes back to 0/0";
    ASSERT_EQ(qxm_player_seek_order(player, 0) + qxm_player_end_at(player, 0, 2), 2);
    for (auto [order, row] : {std::pair{1, 0}, {0, 4}, {0, -1}, {-2, 0}})
        EXPECT_EQ(qxm_player_end_at(player, order, row), 0) << order << "/" << row;
    EXPECT_EQ(rows_played(), 2) << "the end set before the refused ones";
    qxm_player_end_at(player, 0, 0);
    EXPECT_EQ(rows_played(), 2);
    qxm_player_end_after_loops(player, 1);
    EXPECT_EQ(rows_played(), 0) << "still an end";
    qxm_player_end_at(player, -1, 0);
    EXPECT_EQ(rows_played(), 0) << "going back there is the first loop";
    qxm_player_end_after_loops(player, 2);
    EXPECT_EQ(rows_played(), 4);
    EXPECT_EQ(qxm_player_position(player).loops, 2);
}

// A muted channel is not heard at all: the song sounds exactly as if the
// channel were empty. Let sound again, it is heard.
TEST(Player, MutedChannelIsNotHeard)
{
    xm::Song song = xm::busy_song(3, 1);
    xm::Song without = song;
    for (int row = 0; row < 64; ++row)
        without.patterns[0].at(row, 1, 3) = {};
    PlayedSong muted = start_song(song), empty = start_song(without);
    EXPECT_EQ(qxm_player_mute_channel(muted.player.get(), 3, 1), 0);
    ASSERT_EQ(qxm_player_mute_channel(muted.player.get(), 1, 1), 1);
    EXPECT_TRUE(same_sound(render(muted.player.get(), 44100, 1000), render(empty.player.get(), 44100, 1000)));
    qxm_player_mute_channel(muted.player.get(), 1, 0);
    EXPECT_FALSE(same_sound(render(muted.player.get(), 44100, 1000), render(empty.player.get(), 44100, 1000)));
}

// Players share nothing but their song: two songs rendered in turn, and
// three players (two of one song) on threads of their own, each give exactly
// what a player alone gives, however many frames each call asks for.
TEST(Player, PlayersShareNothingButTheirSong)
{
    xm::Song other = xm::busy_song(4, 3);
    other.bpm = 140;
    other.flags = 0;  // Amiga periods
    ModulePtr songs[2] = {load_song(xm::busy_song(6, 2)), load_song(other)};
    const int frames = 3 * 44100;
    std::vector<float> alone[2];
    for (int s = 0; s < 2; ++s) {
        PlayerPtr player(qxm_player_create(songs[s].get(), 44100));
        alone[s] = render(player.get(), frames, 884);
        ASSERT_NE(std::count(alone[s].begin(), alone[s].end(), 0.0f), 2 * frames) << "song " << s << " is silent";
    }

    PlayerPtr players[2] = {PlayerPtr(qxm_player_create(songs[0].get(), 44100)),
                            PlayerPtr(qxm_player_create(songs[1].get(), 44100))};
    const int chunks[2] = {313, 1000};
    std::vector<float> in_turn[2] = {std::vector<float>(2 * frames), std::vector<float>(2 * frames)};
    for (int done[2] = {0, 0}; done[0] < frames || done[1] < frames;)
        for (int s = 0; s < 2; ++s) {
            const int n = std::min(chunks[s], frames - done[s]);
            qxm_player_render_float(players[s].get(), in_turn[s].data() + 2 * done[s], n);
            done[s] += n;
        }
    EXPECT_TRUE(same_sound(in_turn[0], alone[0]));
    EXPECT_TRUE(same_sound(in_turn[1], alone[1]));

    const int songs_played[3] = {0, 0, 1}, thread_chunks[3] = {97, 4410, 256};
    std::vector<float> threaded[3];
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t)
        threads.emplace_back([&, t] {
            PlayerPtr player(qxm_player_create(songs[songs_played[t]].get(), 44100));
            threaded[t] = render(player.get(), frames, thread_chunks[t]);
        });
    for (std::thread& thread : threads)
        thread.join();
    for (int t = 0; t < 3; ++t)
        EXPECT_TRUE(same_sound(threaded[t], alone[songs_played[t]])) << "thread " << t;
}

// An 8-bit ping-pong loop over a whole 17-frame sample, cell note 24: the
// return leg once counted one frame too many and read far before the sample
// within two seconds.
TEST(Player, PingPongLoopFromFrameZeroPlaysOn)
{
    PlayedSong m = start_song(xm::ping_pong_from_frame_zero_song());
    ASSERT_TRUE(m);
    double energy = 0;
    for (float v : render(m.player.get(), 3 * 44100, 882))
        energy += double(v) * v;
    EXPECT_GT(energy, 0);
    EXPECT_TRUE(std::isfinite(energy));
}

}  // namespace
