// The song as another player sees it: libopenmpt, a mature peer, loads it
// without complaint and finds the shape the show is built around.
#include "data/embedded_song.h"

#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.hpp>

#include <sstream>

namespace {

TEST(SongPeer, LoadsWithoutWarnings) {
    std::ostringstream log;
    openmpt::module song(embedded_song, embedded_song_size, log);
    EXPECT_EQ(log.str(), "");
    EXPECT_EQ(song.get_metadata("warnings"), "");
    EXPECT_EQ(song.get_metadata("type"), "xm");
}

TEST(SongPeer, HasTheShapeTheShowExpects) {
    std::ostringstream log;
    openmpt::module song(embedded_song, embedded_song_size, log);
    EXPECT_EQ(song.get_num_channels(), 8);
    EXPECT_EQ(song.get_num_orders(), 11);
    EXPECT_EQ(song.get_num_patterns(), 8);
    EXPECT_EQ(song.get_num_instruments(), 3);
    EXPECT_EQ(song.get_num_samples(), 3);
    for (int pattern = 0; pattern < 8; ++pattern) EXPECT_EQ(song.get_pattern_num_rows(pattern), 64);
    EXPECT_EQ(song.get_current_speed(), 8);
    EXPECT_EQ(song.get_current_tempo(), 125);
    // 11 orders of 64 rows at 160 ms a row.
    EXPECT_NEAR(song.get_duration_seconds(), 11 * 64 * 0.16, 0.01);
}

} // namespace
