// The committed song is the composer's output, and the program carries it.
#include "compose.h"
#include "data/embedded_song.h"
#include "notation.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <vector>

namespace {

std::vector<std::uint8_t> committed_song() {
    std::ifstream file(SONG_PATH, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST(SongFile, CommittedFileIsWhatTheComposerMakesNow) {
    const std::vector<std::uint8_t> committed = committed_song();
    ASSERT_FALSE(committed.empty()) << SONG_PATH << " is missing";
    const std::vector<std::uint8_t> made = compose_song_bytes();
    ASSERT_EQ(made.size(), committed.size()) << "run: build/bin/compose_song src/data/song.xm";
    EXPECT_TRUE(made == committed) << "run: build/bin/compose_song src/data/song.xm";
}

TEST(SongFile, ProgramEmbedsTheCommittedFile) {
    const std::vector<std::uint8_t> committed = committed_song();
    ASSERT_EQ(embedded_song_size, committed.size());
    EXPECT_TRUE(std::equal(committed.begin(), committed.end(), embedded_song));
}

TEST(SongFile, ScoreNotationRejectsMistakes) {
    // A part must fill the pattern, and every token must mean something.
    EXPECT_THROW(track("C-4 . .", 1), std::runtime_error);
    EXPECT_THROW(track("C-4x" + repeat(" .", 63), 1), std::runtime_error);
    EXPECT_THROW(track("v41" + repeat(" .", 63), 1), std::runtime_error);
    EXPECT_THROW(chart("G C"), std::runtime_error);
}

TEST(SongFile, ScoreNotationReadsTrackerCells) {
    const Track part = track("C-4v20a37 ^^^ F#5<3 p8 g10 f7D" + repeat(" .", 58), 2);
    EXPECT_EQ(part[0].note, 49);
    EXPECT_EQ(part[0].instrument, 2);
    EXPECT_EQ(part[0].volume, 0x30);
    EXPECT_EQ(part[0].effect, 0);
    EXPECT_EQ(part[0].effect_param, 0x37);
    EXPECT_EQ(part[1].note, XM_KEY_OFF);
    EXPECT_EQ(part[1].instrument, 0) << "a key-off must not restart the instrument";
    EXPECT_EQ(part[2].note, 5 * 12 + 6 + 1);
    EXPECT_EQ(part[2].volume, 0x63);
    EXPECT_EQ(part[3].volume, 0xC8);
    EXPECT_EQ(part[4].effect, XM_EFFECT_GLOBAL_VOLUME);
    EXPECT_EQ(part[4].effect_param, 0x10);
    EXPECT_EQ(part[5].effect, XM_EFFECT_SPEED);
    EXPECT_EQ(part[5].effect_param, 0x7D);
}

} // namespace
