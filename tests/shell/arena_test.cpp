// The arena: 4-byte steps, zero fill, and refusals that leave it usable.
#include "shell/arena.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

struct ArenaTest : ::testing::Test {
    void SetUp() override { ASSERT_EQ(arena_create(), 1); }
    void TearDown() override { arena_destroy(); }
};

} // namespace

TEST_F(ArenaTest, StartsEmptyAndZeroFilled)
{
    EXPECT_EQ(arena.capacity, kArenaCapacity);
    EXPECT_EQ(arena.remaining, kArenaCapacity);
    EXPECT_EQ(arena.used, 0);
    EXPECT_EQ(arena.cursor, arena.base);
    auto* all = static_cast<unsigned char*>(arena_alloc(kArenaCapacity));
    ASSERT_NE(all, nullptr);
    EXPECT_TRUE(std::all_of(all, all + kArenaCapacity, [](unsigned char b) { return b == 0; }));
}

TEST_F(ArenaTest, RoundsEveryRequestUpToFourBytes)
{
    unsigned char* start = arena.cursor;
    EXPECT_EQ(arena_alloc(0), start); // takes nothing
    EXPECT_EQ(arena.used, 0);
    for (int size = 1; size <= 4; ++size)
        EXPECT_EQ(arena_alloc(size), start + 4 * (size - 1)) << size;
    EXPECT_EQ(arena_alloc(5), start + 16);
    EXPECT_EQ(arena.used, 24);
    EXPECT_EQ(arena.remaining, kArenaCapacity - 24);
    EXPECT_EQ(arena.cursor, arena.base + arena.used);
}

TEST_F(ArenaTest, ExactFitEmptiesItAndLaterRequestsFail)
{
    ASSERT_NE(arena_alloc(100), nullptr);
    ASSERT_NE(arena_alloc(arena.remaining), nullptr);
    EXPECT_EQ(arena.remaining, 0);
    EXPECT_EQ(arena_alloc(1), nullptr);
    EXPECT_EQ(arena.used, kArenaCapacity);
}

TEST_F(ArenaTest, OversizedRequestFailsAndChangesNothing)
{
    ASSERT_NE(arena_alloc(kArenaCapacity - 8), nullptr);
    // 7 rounds to 8, which fits; 9 rounds to 12, which does not.
    EXPECT_EQ(arena_alloc(9), nullptr);
    EXPECT_EQ(arena.remaining, 8);
    EXPECT_NE(arena_alloc(7), nullptr);
    EXPECT_EQ(arena.remaining, 0);
}

TEST_F(ArenaTest, RefusesSizesThatWouldCorruptTheCursor)
{
    unsigned char* start = arena.cursor;
    EXPECT_EQ(arena_alloc(-4), nullptr);
    EXPECT_EQ(arena_alloc(INT32_MAX), nullptr);
    EXPECT_EQ(arena_alloc_array<uint64_t>(0x40000000u), nullptr); // 8 GiB must not wrap to a small size
    EXPECT_EQ(arena.cursor, start);
    EXPECT_EQ(arena.used, 0);
}

TEST_F(ArenaTest, RecordsWithPointersAreAlignedForThem)
{
    ASSERT_NE(arena_alloc(4), nullptr);
    void** pointers = arena_alloc_array<void*>(3);
    ASSERT_NE(pointers, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(pointers) % alignof(void*), 0u);
    EXPECT_EQ(arena.used, 4 + (alignof(void*) == 8 ? 4 : 0) + 3 * int32_t(sizeof(void*)));
    // The padding is taken from what remains: 12 bytes, 4 off alignment.
    ASSERT_NE(arena_alloc(arena.remaining - 12), nullptr);
    EXPECT_NE(arena_alloc_array<void*>(1), nullptr);
    EXPECT_EQ(arena.remaining, alignof(void*) == 8 ? 0 : 4);
    EXPECT_EQ(arena.cursor, arena.base + arena.used);
}

TEST(Arena, DestroyReleasesTheBlock)
{
    ASSERT_EQ(arena_create(), 1);
    arena_alloc(64);
    EXPECT_EQ(arena_destroy(), 1);
    EXPECT_EQ(arena.base, nullptr);
    EXPECT_EQ(arena.cursor, nullptr);
    EXPECT_EQ(arena.capacity, 0);
    EXPECT_EQ(arena.remaining, 0);
    EXPECT_EQ(arena.used, 0);
    EXPECT_EQ(arena_alloc(4), nullptr);
}
