// What a song tells about itself through the public header: names as the
// file holds them (cleaned for printing), counts and starting values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "qxm.h"
#include "testkit/xm_writer.h"

namespace {

// Overwrites the first occurrence of text in bytes, from its start.
void replace_text(std::vector<uint8_t>& bytes, const std::string& text, const char* with, size_t with_size)
{
    auto at = std::search(bytes.begin(), bytes.end(), text.begin(), text.end());
    ASSERT_NE(at, bytes.end()) << text;
    std::copy(with, with + with_size, at);
}

TEST(SongInfo, NamesCountsAndStartingValuesAsTheFileHoldsThem)
{
    xm::Song written = xm::busy_song(5, 3);
    written.speed = 4;
    written.bpm = 140;
    written.flags = 0;
    std::vector<uint8_t> bytes = xm::write(written);
    // A title with a control byte and trailing spaces; an instrument name
    // that fills its 22 bytes without a zero; a sample name cut by a zero.
    replace_text(bytes, "test song", "Deck\x01the halls   ", 18);
    replace_text(bytes, "instrument", "abcdefghijklmnopqrstuv", 22);
    replace_text(bytes, "sample", "kick\0zz", 7);

    char error[QXM_ERROR_SIZE] = "";
    QxmSong* song = qxm_song_load_memory(bytes.data(), bytes.size(), error);
    ASSERT_NE(song, nullptr) << error;
    EXPECT_STREQ(qxm_song_title(song), "Deck?the halls");
    EXPECT_STREQ(qxm_song_tracker(song), "FastTracker v2.00");
    EXPECT_EQ(qxm_song_channel_count(song), 5);
    EXPECT_EQ(qxm_song_pattern_count(song), 3);
    EXPECT_EQ(qxm_song_instrument_count(song), 3);
    EXPECT_STREQ(qxm_song_instrument_name(song, 0), "abcdefghijklmnopqrstuv");
    EXPECT_STREQ(qxm_song_instrument_name(song, 2), "instrument");
    EXPECT_EQ(qxm_song_sample_count(song, 1), 1);
    EXPECT_STREQ(qxm_song_sample_name(song, 0, 0), "kick");
    EXPECT_STREQ(qxm_song_sample_name(song, 2, 0), "sample");
    EXPECT_EQ(qxm_song_initial_speed(song), 4);
    EXPECT_EQ(qxm_song_initial_bpm(song), 140);
    EXPECT_EQ(qxm_song_linear_frequencies(song), 0);

    // Numbers the song lacks, and no song.
    EXPECT_EQ(qxm_song_instrument_name(song, 3), nullptr);
    EXPECT_EQ(qxm_song_instrument_name(song, -1), nullptr);
    EXPECT_EQ(qxm_song_sample_name(song, 0, 1), nullptr);
    EXPECT_EQ(qxm_song_sample_count(song, 3), 0);
    EXPECT_EQ(qxm_song_title(nullptr), nullptr);
    EXPECT_EQ(qxm_song_instrument_count(nullptr), 0);
    qxm_song_free(song);
}

}  // namespace
