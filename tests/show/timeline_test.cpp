// Building the timeline from its stored words.
#include "show/timeline.h"

#include "data/show_tables.h"
#include "effects/effects.h"
#include "shell/arena.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct TimelineTest : ::testing::Test {
    void SetUp() override { ASSERT_EQ(arena_create(), 1); }
    void TearDown() override { arena_destroy(); }
};

// Copies words to the very end of a readable page followed by one that
// cannot be read, so reading one word too many crashes the test.
struct GuardedWords {
    long page = sysconf(_SC_PAGESIZE);
    unsigned char* pages = nullptr;
    const uint32_t* words = nullptr;
    explicit GuardedWords(const std::vector<uint32_t>& table)
    {
        pages = static_cast<unsigned char*>(
            mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        mprotect(pages + page, page, PROT_NONE);
        auto* start = reinterpret_cast<uint32_t*>(pages + page) - table.size();
        std::memcpy(start, table.data(), table.size() * sizeof(uint32_t));
        words = start;
    }
    ~GuardedWords() { munmap(pages, 2 * page); }
};

} // namespace

namespace {

// What each entry of the shipped show draws, written out from the show's
// description rather than from the stored words: a handler swapped, dropped
// or moved in any entry shows up here. No entry names a curve.
struct ExpectedEntry {
    int order, row;
    std::vector<SceneHandler> handlers;
};
const ExpectedEntry shipped_show[] = {
    {0, 0, {draw_block_scene}},
    {2, 0, {draw_noise_fan, draw_beat_words, draw_black_noise_overlay}},
    {2, 9, {draw_block_scene}},
    {2, 32, {draw_noise_fan, draw_message_spam}},
    {2, 33, {draw_block_scene}},
    {2, 38, {draw_line_storm, draw_dark_bars, draw_message_spam, draw_white_noise_overlay}},
    {2, 41, {draw_block_scene}},
    {2, 46, {draw_block_scene, draw_dark_bars}},
    {2, 47, {draw_block_scene}},
    {2, 52, {draw_crossed_stripes, draw_message_spam, draw_dark_bars, draw_black_noise_overlay}},
    {2, 56, {draw_block_scene}},
    {4, 0, {draw_noise_fan, draw_beat_words, draw_black_noise_overlay}},
    {4, 9, {draw_block_scene}},
    {4, 32, {draw_noise_fan, draw_message_spam}},
    {4, 33, {draw_block_scene}},
    {4, 38, {draw_line_storm, draw_dark_bars, draw_message_spam, draw_white_noise_overlay}},
    {4, 41, {draw_block_scene}},
    {4, 46, {draw_noise_fan, draw_message_spam}},
    {4, 47, {draw_block_scene}},
    {4, 52, {draw_crossed_stripes, draw_message_spam, draw_dark_bars, draw_black_noise_overlay}},
    {4, 56, {draw_block_scene}},
    {5, 0, {draw_spinning_blocks, draw_word_cascade, draw_beat_words, draw_random_storm_overlay,
            draw_random_noise_overlay}},
    {7, 0, {draw_block_scene}},
    {8, 16, {draw_block_scene, draw_fade_out}},
    {8, 48, {draw_closing_screen, draw_fade_in}},
    {10, 0, {draw_closing_screen, draw_fade_out}},
    {10, 16, {}}, // the end of the show
};

} // namespace

TEST_F(TimelineTest, ShippedTableIsTheShowEntryByEntry)
{
    const TimelineEntry* t = build_timeline(timeline_table, scene_procedures);
    ASSERT_NE(t, nullptr);
    const int count = int(std::size(shipped_show));
    ASSERT_EQ(timeline_table[0], uint32_t(count));
    for (int i = 0; i < count; ++i) {
        const ExpectedEntry& expected = shipped_show[i];
        SCOPED_TRACE("entry " + std::to_string(i));
        EXPECT_EQ(t[i].start_key, uint32_t(expected.order * 64 + expected.row));
        EXPECT_EQ(t[i].curve_count, 0u);
        EXPECT_EQ(t[i].curve_ids, nullptr);
        ASSERT_EQ(t[i].handler_count, expected.handlers.size());
        if (expected.handlers.empty()) {
            EXPECT_EQ(t[i].scene_handlers, nullptr);
        }
        for (size_t h = 0; h < expected.handlers.size(); ++h)
            EXPECT_EQ(t[i].scene_handlers[h], expected.handlers[h]) << "handler " << h;
    }
}

TEST_F(TimelineTest, StopsAtTheEndEntryWhateverTheCountSays)
{
    // The count claims 5 entries; the third ends the show and is the last word.
    const GuardedWords table({5, 0, 1, scene::draw_fade_in, 2, 3, 1, 7, 2, scene::draw_fade_out,
                              scene::draw_block_scene, 0, 9, 0});
    const TimelineEntry* t = build_timeline(table.words, scene_procedures);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t[0].scene_handlers[0], &draw_fade_in);
    ASSERT_EQ(t[0].curve_count, 2u);
    EXPECT_EQ(t[0].curve_ids[0], 3u);
    EXPECT_EQ(t[0].curve_ids[1], 1u);
    EXPECT_EQ(t[1].start_key, 7u);
    EXPECT_EQ(t[1].scene_handlers[1], &draw_block_scene);
    EXPECT_EQ(t[1].curve_ids, nullptr);
    EXPECT_EQ(t[2].start_key, 9u);
    EXPECT_EQ(t[2].handler_count, 0u);
    for (int i = 3; i < 5; ++i) { // never read, left as the arena gave them
        EXPECT_EQ(t[i].start_key, 0u);
        EXPECT_EQ(t[i].scene_handlers, nullptr);
    }
}

TEST_F(TimelineTest, ArenaExhaustionGivesNull)
{
    ASSERT_NE(arena_alloc(arena.remaining - 8), nullptr);
    EXPECT_EQ(build_timeline(timeline_table, scene_procedures), nullptr);
}
