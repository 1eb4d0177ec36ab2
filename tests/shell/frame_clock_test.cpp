// The frame clock on the headless backend's virtual clock, which moves
// 100 µs per yield and only when the program waits.
#include "shell/frame_clock.h"

#include "platform/headless/headless.h"

#include <gtest/gtest.h>

TEST(FrameClock, PeriodHasASixtyHertzFloor)
{
    EXPECT_DOUBLE_EQ(frame_period_for(0.0), 1.0 / 60.0); // unknown rate
    EXPECT_DOUBLE_EQ(frame_period_for(1.0), 1.0 / 60.0);
    EXPECT_DOUBLE_EQ(frame_period_for(59.0), 1.0 / 60.0);
    EXPECT_DOUBLE_EQ(frame_period_for(75.0), 1.0 / 75.0);
}

TEST(FrameClock, FrameMillisecondsAreTruncated)
{
    EXPECT_EQ(frame_ms_of(1.0 / 60.0), 16);
    EXPECT_EQ(frame_ms_of(0.0409), 40);
    EXPECT_EQ(frame_ms_of(0.0), 0);
}

TEST(FrameClock, ShortFrameWaitsPastThePeriod)
{
    ASSERT_EQ(clock_start(), 1);
    headless_advance_clock(5000); // the frame's drawing took 5 ms
    clock_wait(1.0 / 60.0);
    EXPECT_GT(clock_elapsed(), 1.0 / 60.0);
    EXPECT_LT(clock_elapsed(), 1.0 / 60.0 + 2 * kHeadlessYieldMicros / 1e6);
    clock_mark_frame();
    EXPECT_EQ(frame_ms_of(clock_frame_seconds()), 16);
    EXPECT_EQ(clock_elapsed(), 0.0); // the mark moved to now
}

TEST(FrameClock, LongFrameDoesNotWait)
{
    ASSERT_EQ(clock_start(), 1);
    headless_advance_clock(40900);
    const int64_t before = headless_clock_micros();
    clock_wait(1.0 / 60.0);
    EXPECT_EQ(headless_clock_micros(), before);
    clock_mark_frame();
    EXPECT_EQ(frame_ms_of(clock_frame_seconds()), 40);
}

TEST(FrameClock, SixtyPacedFramesAddUpTo960Milliseconds)
{
    ASSERT_EQ(clock_start(), 1);
    int show_ms = 0;
    for (int frame = 0; frame < 60; ++frame) {
        clock_wait(1.0 / 60.0);
        clock_mark_frame();
        show_ms += frame_ms_of(clock_frame_seconds());
    }
    EXPECT_EQ(show_ms, 960);
}
