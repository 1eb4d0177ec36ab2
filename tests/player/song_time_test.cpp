// The song's duration, found without mixing, against the length of a full
// render at the same rate, on crafted songs and on the real songs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "qxm.h"
#include "testkit/xm_writer.h"

namespace {

// Frames a player at rate renders before the song ends after loops loops.
int64_t rendered_frames(const QxmSong* song, int rate, int loops)
{
    QxmPlayer* player = qxm_player_create(song, rate);
    qxm_player_end_after_loops(player, loops);
    std::vector<int16_t> frames(2 * 4096);
    int64_t total = 0;
    for (int n; (n = qxm_player_render_int16(player, frames.data(), 4096)) > 0;)
        total += n;
    qxm_player_free(player);
    return total;
}

void expect_duration_of_render(const QxmSong* song, int rate, int loops, const std::string& name)
{
    const int64_t frames = rendered_frames(song, rate, loops);
    EXPECT_EQ(qxm_song_duration_ms(song, rate, loops), (frames * 1000 + rate / 2) / rate)
        << name << " at " << rate << " Hz, " << loops << " loops";
}

TEST(SongDuration, EqualsTheRenderedLengthOfCraftedSongsAtAnyRate)
{
    xm::Song written = xm::busy_song(4, 3);
    // Tempo and speed changes, a pattern delay and a jump back to order 1.
    written.patterns[0].at(5, 3, 4) = {0, 0, 0, 0xF, 0x03};
    written.patterns[1].at(10, 3, 4) = {0, 0, 0, 0xF, 0xA7};
    written.patterns[1].at(20, 3, 4) = {0, 0, 0, 0xE, 0xE3};
    written.patterns[2].at(40, 3, 4) = {0, 0, 0, 0xB, 0x01};
    const std::vector<uint8_t> bytes = xm::write(written);
    QxmSong* song = qxm_song_load_memory(bytes.data(), bytes.size(), nullptr);
    ASSERT_NE(song, nullptr);
    for (int rate : {1000, 8000, 44100, 48000, 96000})
        for (int loops : {1, 3})
            expect_duration_of_render(song, rate, loops, "crafted");
    EXPECT_EQ(qxm_song_duration_ms(song, 44100, 0), -1);
    EXPECT_EQ(qxm_song_duration_ms(song, 999, 1), -1);
    EXPECT_EQ(qxm_song_duration_ms(nullptr, 44100, 1), -1);
    qxm_song_free(song);
}

TEST(SongDuration, EqualsTheRenderedLengthOfRealSongs)
{
    const char* home = std::getenv("HOME");
    const std::filesystem::path folder = std::filesystem::path(home ? home : "") / ".cache/invitation-xm-songs";
    if (!std::filesystem::is_directory(folder))
        GTEST_SKIP() << folder << " is absent (bench/player/fetch_songs.sh gathers it)";
    int songs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        QxmSong* song = qxm_song_load_file(entry.path().c_str(), nullptr);
        if (!song)
            continue;
        expect_duration_of_render(song, 44100, 1, entry.path().filename().string());
        expect_duration_of_render(song, 22050, 1, entry.path().filename().string());
        qxm_song_free(song);
        ++songs;
    }
    EXPECT_GT(songs, 0);
}

}  // namespace
