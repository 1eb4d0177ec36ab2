// Building the timeline from its stored words.
#include "show/timeline.h"

#include "data/show_tables.h"
#include "effects/effects.h"
#include "shell/arena.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
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

TEST_F(TimelineTest, ShippedTableHasTwentySevenEntriesEndingAt10_16)
{
    const TimelineEntry* t = build_timeline();
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t[0].start_key, 0u);
    ASSERT_EQ(t[0].handler_count, 1u);
    EXPECT_EQ(t[0].scene_handlers[0], &draw_block_scene);
    EXPECT_EQ(t[1].start_key, 128u); // block scene alone until 2/0

    const SceneHandler spinning[] = {draw_spinning_blocks, draw_word_cascade, draw_beat_words,
                                     draw_random_storm_overlay, draw_random_noise_overlay};
    EXPECT_EQ(t[21].start_key, 320u);
    ASSERT_EQ(t[21].handler_count, 5u);
    for (int h = 0; h < 5; ++h)
        EXPECT_EQ(t[21].scene_handlers[h], spinning[h]) << h;

    for (int i = 0; i < 26; ++i) {
        EXPECT_GT(t[i].handler_count, 0u) << i;
        EXPECT_EQ(t[i].curve_count, 0u) << i; // the shipped show names no curve
        EXPECT_EQ(t[i].curve_ids, nullptr) << i;
        EXPECT_LT(t[i].start_key, t[i + 1].start_key) << i;
    }
    EXPECT_EQ(t[26].start_key, 656u);
    EXPECT_EQ(t[26].handler_count, 0u);
    EXPECT_EQ(t[26].scene_handlers, nullptr);
}

TEST_F(TimelineTest, ShippedTableNamesEveryHandler)
{
    const TimelineEntry* t = build_timeline();
    ASSERT_NE(t, nullptr);
    std::vector<bool> named(kSceneProcedureCount);
    for (int i = 0; i < 26; ++i)
        for (uint32_t h = 0; h < t[i].handler_count; ++h)
            for (uint32_t p = 0; p < kSceneProcedureCount; ++p)
                if (t[i].scene_handlers[h] == scene_procedures[p])
                    named[p] = true;
    for (uint32_t p = 0; p < kSceneProcedureCount; ++p)
        EXPECT_TRUE(named[p]) << "procedure " << p;
}

TEST_F(TimelineTest, StopsAtTheEndEntryWhateverTheCountSays)
{
    // The count claims 5 entries; the third ends the show and is the last word.
    const GuardedWords table({5, 0, 1, kDrawFadeIn, 2, 3, 1, 7, 2, kDrawFadeOut, kDrawBlockScene, 0, 9, 0});
    const TimelineEntry* t = build_timeline_from(table.words);
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
    EXPECT_EQ(build_timeline(), nullptr);
}
