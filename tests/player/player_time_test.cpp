// The player in time: the clock in milliseconds, and seeks to a row or a time
// that go on with exactly the sound a render from the song's start has there.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "song_loading.h"

namespace {

constexpr int RATE = 44100;

// The busy song with the state a seek has to rebuild: a speed and a BPM
// change, a global volume slide, vibrato on its memory and a pattern loop,
// beside its own envelope with sustain and fade-out, key-offs, ping-pong pad
// and volume-column slides. Channel 1 plays the pad, channel 2 the drum.
xm::Song state_song()
{
    xm::Song song = xm::busy_song(4, 3);
    auto effect = [&](int pattern, int row, int channel, uint8_t type, uint8_t param) {
        xm::Cell& cell = song.patterns[pattern].at(row, channel, 4);
        cell.effect = type;
        cell.param = param;
    };
    effect(0, 8, 1, 0xF, 4);       // speed 4
    effect(0, 20, 1, 0xF, 140);    // 140 BPM
    for (int row = 24; row < 32; ++row)
        effect(0, row, 1, 0x11, row == 24 ? 0x03 : 0);  // global volume down 3 a tick, then on its memory
    for (int row = 1; row < 8; ++row)
        effect(1, row, 1, 0x4, row == 1 ? 0x6C : 0);    // vibrato, then on its memory
    effect(1, 32, 2, 0xE, 0x60);   // loop from row 32 ...
    effect(1, 39, 2, 0xE, 0x62);   // ... played three times
    return song;
}

// Frames rendered one at a time, up to the song's end or limit frames, and
// where each row first begins; the clock is checked on every frame, from
// the frames the player had handed out before.
struct FullRender {
    std::vector<float> sound;
    std::map<std::pair<int, int>, int64_t> row_starts;  // (order, row) → frame
};

FullRender render_whole(QxmPlayer* player, int64_t before = 0, int64_t limit = INT64_MAX)
{
    FullRender full;
    float frame[2];
    for (int64_t i = 0; i < limit && qxm_player_render_float(player, frame, 1) == 1; ++i) {
        full.sound.insert(full.sound.end(), frame, frame + 2);
        const QxmPosition at = qxm_player_position(player);
        full.row_starts.emplace(std::pair{at.order, at.row}, i);
        if (qxm_player_position_ms(player) != (before + i + 1) * 1000 / RATE) {
            ADD_FAILURE() << "clock after frame " << before + i << ": " << qxm_player_position_ms(player);
            break;
        }
    }
    return full;
}

// Whether player goes on with the render's sound from frame `from`: count
// frames, or all up to the render's end and then no more.
::testing::AssertionResult goes_on_as(QxmPlayer* player, const std::vector<float>& sound, int64_t from,
                                      int64_t count = -1)
{
    const int64_t left = static_cast<int64_t>(sound.size() / 2) - from;
    const int64_t wanted = count < 0 ? left + 1 : count;
    std::vector<float> got(2 * static_cast<size_t>(wanted));
    int64_t done = 0;
    for (int n = 1; done < wanted && n > 0; done += n)
        n = qxm_player_render_float(player, got.data() + 2 * done, static_cast<int>(std::min<int64_t>(wanted - done, 1000)));
    if (done != std::min(wanted, left))
        return ::testing::AssertionFailure() << done << " frames from frame " << from << ", not " << std::min(wanted, left);
    for (int64_t i = 0; i < 2 * done; ++i)
        if (got[i] != sound[2 * from + i])
            return ::testing::AssertionFailure() << "frame " << from + i / 2 << " differs: " << got[i] << " against "
                                                 << sound[2 * from + i];
    return ::testing::AssertionSuccess();
}

// Seeks back and forth, to times (mid-block, on a block's edge at 8840 ms,
// within a gain ramp begun in the block before at 482 ms, the end) and to rows (after the tempo changes, on the vibrato's memory,
// inside the pattern loop's first pass, in the next pattern, which the loop
// makes start at row 32), on a player that has played and
// ended in between, muted channel or not: each goes on exactly as the whole
// render does from there, and the clock tells where.
TEST(PlayerTime, SeeksGoOnAsTheWholeRenderDoes)
{
    for (int muted : {-1, 0}) {
        PlayedSong whole = start_song(state_song()), seeker = start_song(state_song());
        for (QxmPlayer* player : {whole.player.get(), seeker.player.get()}) {
            qxm_player_end_after_loops(player, 1);
            qxm_player_mute_channel(player, muted, 1);
        }
        const FullRender full = render_whole(whole.player.get());
        ASSERT_GT(full.sound.size(), 2u * 12 * RATE);
        ASSERT_TRUE(goes_on_as(seeker.player.get(), full.sound, 0, 5000));

        for (int64_t ms : {11111, 3333, 8840, 482, 1, 0}) {
            ASSERT_EQ(qxm_player_seek_ms(seeker.player.get(), ms), 1) << ms;
            EXPECT_EQ(qxm_player_position_ms(seeker.player.get()), ms);
            EXPECT_TRUE(goes_on_as(seeker.player.get(), full.sound, (ms * RATE + 999) / 1000)) << ms << " ms";
        }
        for (auto [order, row] : {std::pair{1, 36}, {0, 9}, {2, 40}, {1, 3}}) {
            ASSERT_EQ(qxm_player_seek_row(seeker.player.get(), order, row), 1) << order << "/" << row;
            const int64_t start = full.row_starts.at({order, row});
            EXPECT_EQ(qxm_player_position_ms(seeker.player.get()), start * 1000 / RATE);
            ASSERT_TRUE(goes_on_as(seeker.player.get(), full.sound, start, 1));
            const QxmPosition at = qxm_player_position(seeker.player.get());
            EXPECT_EQ(std::tuple(at.order, at.row, at.tick), std::tuple(order, row, 0));
            EXPECT_TRUE(goes_on_as(seeker.player.get(), full.sound, start + 1)) << order << "/" << row;
        }
        // A jump keeps the clock going from the end it played on from.
        ASSERT_EQ(qxm_player_seek_order(seeker.player.get(), 1), 1);
        std::vector<float> more(2 * 4410);
        ASSERT_EQ(qxm_player_render_float(seeker.player.get(), more.data(), 4410), 4410);
        EXPECT_EQ(qxm_player_position_ms(seeker.player.get()), (full.sound.size() / 2 + 4410) * 1000 / RATE);
        const int64_t end_ms = qxm_song_duration_ms(whole.song.get(), RATE, 1);
        ASSERT_EQ(qxm_player_seek_ms(seeker.player.get(), end_ms), 1);
        EXPECT_EQ(qxm_player_position(seeker.player.get()).ended, 1);
        float frame[2];
        EXPECT_EQ(qxm_player_render_float(seeker.player.get(), frame, 1), 0);
    }
}

// After a seek the channels read as after a render from the song's start to
// the same frame: the notes, volumes and levels there, and the triggers
// counted from the start.
TEST(PlayerTime, SeeksLeaveTheChannelsAsTheWholeRenderDoes)
{
    for (int64_t ms : {482, 3333, 8840, 11111}) {
        PlayedSong whole = start_song(state_song()), seeker = start_song(state_song());
        const int64_t frame = (ms * RATE + 999) / 1000;
        ASSERT_EQ(qxm_player_seek_ms(seeker.player.get(), ms), 1);
        std::vector<float> before(2 * static_cast<size_t>(frame));
        for (int64_t done = 0, n = 1; done < frame && n > 0; done += n)
            n = qxm_player_render_float(whole.player.get(), before.data() + 2 * done,
                                        static_cast<int>(std::min<int64_t>(frame - done, 1000)));
        for (int step = 0; step < 3; ++step) {
            for (int c = 0; c < qxm_song_channel_count(whole.song.get()); ++c) {
                QxmChannel a{}, b{};
                ASSERT_EQ(qxm_player_channel(whole.player.get(), c, &a), 1);
                ASSERT_EQ(qxm_player_channel(seeker.player.get(), c, &b), 1);
                EXPECT_EQ(std::tuple(a.note, a.instrument, a.volume, a.panning, a.frequency, a.triggers, a.level),
                          std::tuple(b.note, b.instrument, b.volume, b.panning, b.frequency, b.triggers, b.level))
                    << ms << " ms + " << step * 700 << " frames, channel " << c;
            }
            float more[2 * 700];
            ASSERT_EQ(qxm_player_render_float(whole.player.get(), more, 700), 700);
            ASSERT_EQ(qxm_player_render_float(seeker.player.get(), more, 700), 700);
        }
    }
}

// Every refused seek leaves the player exactly as it was: the same sound,
// clock and positions follow as from a twin that was never asked.
TEST(PlayerTime, RefusedSeeksChangeNothing)
{
    xm::Song song = state_song();
    song.orders = {0, 1, 2};
    song.patterns[0].at(63, 2, 4) = {0, 0, 0, 0xB, 2};  // order 1 is never played
    PlayedSong asked = start_song(song), twin = start_song(song);
    for (QxmPlayer* player : {asked.player.get(), twin.player.get()}) {
        qxm_player_end_after_loops(player, 1);
        std::vector<float> frames(2 * 30000);
        qxm_player_render_float(player, frames.data(), 30000);
    }
    QxmPlayer* player = asked.player.get();
    const int64_t end_ms = qxm_song_duration_ms(asked.song.get(), RATE, 1);
    for (auto [order, row] : {std::pair{3, 0}, {-1, 0}, {0, 64}, {0, -1}, {1, 0}})
        EXPECT_EQ(qxm_player_seek_row(player, order, row), 0) << order << "/" << row;
    for (int64_t ms : {int64_t{-1}, end_ms + 1})
        EXPECT_EQ(qxm_player_seek_ms(player, ms), 0) << ms;
    PlayedSong endless = start_song(song);  // no end: a seek looks 24 hours far
    EXPECT_EQ(qxm_player_seek_row(endless.player.get(), 1, 0), 0);
    EXPECT_EQ(qxm_player_seek_ms(endless.player.get(), int64_t{24} * 3600 * 1000 + 1), 0);
    EXPECT_EQ(qxm_player_seek_row(nullptr, 0, 0), 0);
    EXPECT_EQ(qxm_player_seek_ms(nullptr, 0), 0);
    EXPECT_EQ(qxm_player_position_ms(nullptr), -1);

    EXPECT_EQ(qxm_player_position_ms(player), qxm_player_position_ms(twin.player.get()));
    const FullRender rest = render_whole(twin.player.get(), 30000);
    EXPECT_TRUE(goes_on_as(player, rest.sound, 0));
    const QxmPosition a = qxm_player_position(player), b = qxm_player_position(twin.player.get());
    EXPECT_EQ(std::tuple(a.order, a.row, a.tick, a.loops, a.ended), std::tuple(b.order, b.row, b.tick, b.loops, b.ended));
}

// The real songs, when at hand: seeks to two times and to the first row
// first played 15 s or more in go on exactly as a render from the start does.
TEST(PlayerTime, SeeksInRealSongsGoOnAsTheWholeRenderDoes)
{
    const char* home = std::getenv("HOME");
    const std::filesystem::path folder = std::filesystem::path(home ? home : "") / ".cache/invitation-xm-songs";
    if (!std::filesystem::is_directory(folder))
        GTEST_SKIP() << folder << " is absent (bench/player/fetch_songs.sh gathers it)";
    int songs = 0, rows_sought = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        ModulePtr song(qxm_song_load_file(entry.path().c_str(), nullptr));
        if (!song)
            continue;
        const std::string name = entry.path().filename().string();
        PlayerPtr whole(qxm_player_create(song.get(), RATE)), seeker(qxm_player_create(song.get(), RATE));
        const FullRender full = render_whole(whole.get(), 0, 30 * RATE);
        for (int64_t ms : {27500, 9876}) {
            ASSERT_EQ(qxm_player_seek_ms(seeker.get(), ms), 1) << name;
            EXPECT_TRUE(goes_on_as(seeker.get(), full.sound, (ms * RATE + 999) / 1000, 2 * RATE)) << name << " at " << ms;
        }
        std::pair<std::pair<int, int>, int64_t> target{{-1, -1}, INT64_MAX};
        for (const auto& row : full.row_starts)
            if (row.second >= 15 * RATE && row.second < target.second)
                target = row;
        const auto [order, row] = target.first;
        if (order >= 0 && target.second + RATE <= 30 * RATE) {
            ASSERT_EQ(qxm_player_seek_row(seeker.get(), order, row), 1) << name;
            EXPECT_TRUE(goes_on_as(seeker.get(), full.sound, target.second, RATE)) << name << " at " << order << "/" << row;
            ++rows_sought;
        }
        ++songs;
    }
    EXPECT_GT(rows_sought, songs / 2);
}

}  // namespace
