// The per-frame body of the show: stepping the timeline by the music position
// and calling the current entry's handlers.
#include "shell/show_frame.h"

#include "shell/arena.h"
#include "show/curves.h"
#include "support/gl_test.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Call {
    int handler, order, row, start_key, show_ms, frame_ms;
    bool operator==(const Call&) const = default;
};
std::vector<Call> calls;

template <int Id>
int record(int order, int row, int start_key, int show_ms, int frame_ms)
{
    calls.push_back({Id, order, row, start_key, show_ms, frame_ms});
    return 0;
}

SceneHandler first_handlers[] = {record<1>};
SceneHandler pair_handlers[] = {record<2>, record<3>};
uint32_t curve_zero[] = {0};

// Keys 0, 10, 11 and 20, then the end of the show at 30.
const TimelineEntry test_timeline[] = {
    {0, 1, 0, first_handlers, nullptr},
    {10, 2, 0, pair_handlers, nullptr},
    {11, 1, 0, first_handlers, nullptr},
    {20, 1, 1, first_handlers, curve_zero},
    {30, 0, 0, nullptr, nullptr},
};

struct ShowFrameTest : ::testing::Test {
    ShowProgress progress = {test_timeline, 0, 0, 0};
    void SetUp() override
    {
        ASSERT_TRUE(ensure_gl_context());
        ASSERT_EQ(arena_create(), 1);
        ASSERT_EQ(prepare_curves(), 1);
        calls.clear();
    }
    void TearDown() override { arena_destroy(); }
    // One frame at order/row; returns the entry current afterwards.
    uint32_t frame(int order, int row)
    {
        run_show_frame(progress, {order, row});
        return progress.entry_index;
    }
};

} // namespace

TEST_F(ShowFrameTest, FirstEntryDrawsUntilTheNextKeyIsReached)
{
    progress.show_ms = 0;
    progress.frame_ms = 0;
    EXPECT_EQ(frame(0, 0), 0u);
    EXPECT_EQ(frame(0, 9), 0u);
    EXPECT_EQ(calls, (std::vector<Call>{{1, 0, 0, 0, 0, 0}, {1, 0, 9, 0, 0, 0}}));
}

TEST_F(ShowFrameTest, KeyEqualToThePositionStepsOnThatFrame)
{
    EXPECT_EQ(frame(0, 10), 1u);
    // The handlers run in table order with the new entry's key and the times.
    progress.show_ms = 500;
    progress.frame_ms = 16;
    frame(0, 10);
    EXPECT_EQ(calls, (std::vector<Call>{{2, 0, 10, 10, 0, 0},
                                        {3, 0, 10, 10, 0, 0},
                                        {2, 0, 10, 10, 500, 16},
                                        {3, 0, 10, 10, 500, 16}}));
}

TEST_F(ShowFrameTest, PositionIsOrderTimesSixtyFourPlusRow)
{
    EXPECT_EQ(music_position({2, 9}), 137u);
    EXPECT_EQ(music_position({10, 16}), 656u);
    // Order 1 row 0 is key 64: far past every key here, one step per frame.
    EXPECT_EQ(frame(1, 0), 1u);
}

TEST_F(ShowFrameTest, JumpsArePassedOneEntryPerFrameAndNeverBack)
{
    EXPECT_EQ(frame(0, 25), 1u);
    EXPECT_EQ(frame(0, 25), 2u);
    EXPECT_EQ(frame(0, 0), 2u); // the music went back; the timeline does not
    EXPECT_EQ(frame(0, 25), 3u);
    EXPECT_EQ(frame(0, 25), 3u);
}

TEST_F(ShowFrameTest, ReachingTheEndDrawsNothingAndStaysThere)
{
    progress.entry_index = 3;
    EXPECT_FALSE(show_has_ended(progress));
    EXPECT_EQ(frame(0, 30), 4u);
    EXPECT_TRUE(show_has_ended(progress));
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(frame(63, 63), 4u); // nothing after the end entry is read
    EXPECT_TRUE(calls.empty());
}

TEST_F(ShowFrameTest, CurvesOfTheEntryAreEvaluatedBeforeItsHandlers)
{
    for (int k = 0; k < kCurveKeyCount; ++k)
        curve_keys[0][k] = {float(k), float(-k)};
    progress.entry_index = 2;
    progress.show_ms = 700;
    EXPECT_EQ(frame(0, 20), 3u);
    EXPECT_EQ(curve_start_ms[0], 700);
    EXPECT_FLOAT_EQ(curve_values[0].x, 1.0f); // key 1 at elapsed 0
    EXPECT_FLOAT_EQ(curve_values[0].y, -1.0f);
}
