// Animation curves: key timing, a curve's single start, and the end of its keys.
#include "show/curves.h"

#include "shell/arena.h"

#include <gtest/gtest.h>

namespace {

// Key k is (k², 1000 − k), so every key differs from its neighbours.
struct CurvesTest : ::testing::Test {
    void SetUp() override
    {
        ASSERT_EQ(arena_create(), 1);
        ASSERT_EQ(prepare_curves(), 1);
        for (int k = 0; k < kCurveKeyCount; ++k)
            curve_keys[0][k] = {float(k * k), float(1000 - k)};
    }
    void TearDown() override { arena_destroy(); }

    const uint32_t ids[1] = {0};
    CurvePoint at(int show_ms)
    {
        evaluate_curves(0, 0, 0, show_ms, 16, 1, ids);
        return curve_values[0];
    }
    CurvePoint key(int k) { return curve_keys[0][k]; }
};

} // namespace

TEST(CubicInterpolate, PassesThroughTheMiddleKeys)
{
    EXPECT_FLOAT_EQ(cubic_interpolate(5, 1, 2, 7, 0.0f), 1.0f);
    EXPECT_FLOAT_EQ(cubic_interpolate(5, 1, 2, 7, 1.0f), 2.0f);
    // a = 7 − 2 − 5 + 1 = 1: 1/8 + (5 − 1 − 1)/4 + (2 − 5)/2 + 1
    EXPECT_FLOAT_EQ(cubic_interpolate(5, 1, 2, 7, 0.5f), 0.125f + 0.75f - 1.5f + 1.0f);
    // Not a spline through straight lines: a = 2 bends even evenly spaced keys.
    EXPECT_FLOAT_EQ(cubic_interpolate(0, 1, 2, 3, 0.25f), 1.34375f);
}

TEST_F(CurvesTest, PreparedKeysAreTheStoredOnesAndNoCurveHasStarted)
{
    ASSERT_EQ(prepare_curves(), 1);
    EXPECT_EQ(curve_start_ms[0], -1);
    EXPECT_FLOAT_EQ(curve_keys[0][3].x, 57.0f);
    EXPECT_FLOAT_EQ(curve_keys[0][4].x, 385.0f);
    EXPECT_FLOAT_EQ(curve_keys[0][5].x, 639.0f);
}

TEST_F(CurvesTest, StartsAtKeyOneAndTakesOneKeyPer100Milliseconds)
{
    EXPECT_FLOAT_EQ(at(700).x, key(1).x);
    EXPECT_EQ(curve_start_ms[0], 700);
    const CurvePoint half = at(750);
    EXPECT_FLOAT_EQ(half.x, cubic_interpolate(key(0).x, key(1).x, key(2).x, key(3).x, 0.5f));
    EXPECT_FLOAT_EQ(half.y, cubic_interpolate(key(0).y, key(1).y, key(2).y, key(3).y, 0.5f));
    // 100 ms lies just below 1.0 in double but rounds to t = 1.0 in float:
    // segment 0 at its end, which is key 2.
    EXPECT_FLOAT_EQ(at(800).x, key(2).x);
    // 2530 ms: segment 25 (keys 25..28) at t = 0.3.
    EXPECT_FLOAT_EQ(at(700 + 2530).y, cubic_interpolate(key(25).y, key(26).y, key(27).y, key(28).y, 0.3f));
}

TEST_F(CurvesTest, ASecondNamingContinuesRatherThanRestarts)
{
    at(1000);
    at(1200);
    EXPECT_FLOAT_EQ(at(5000).x, key(41).x);
    EXPECT_EQ(curve_start_ms[0], 1000);
}

TEST_F(CurvesTest, HoldsItsLastValueInsteadOfReadingPastKey499)
{
    at(0);
    EXPECT_FLOAT_EQ(at(49700).x, key(498).x); // the last segment ends
    for (int ms : {49701, 49799, 49800, 60000, 1000000})
        EXPECT_FLOAT_EQ(at(ms).x, key(498).x) << ms;
    EXPECT_FLOAT_EQ(at(49650).x, cubic_interpolate(key(496).x, key(497).x, key(498).x, key(499).x, 0.5f));
}

TEST(Curves, ArenaExhaustionFailsTheTask)
{
    ASSERT_EQ(arena_create(), 1);
    ASSERT_NE(arena_alloc(arena.remaining - 100), nullptr);
    EXPECT_EQ(prepare_curves(), 0); // the keys need 4000 bytes
    arena_destroy();
}
