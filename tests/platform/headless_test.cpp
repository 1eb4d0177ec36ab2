// The headless backend: a real GL context with no display, and a clock that
// moves only when the program waits.
#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "support/gl_test.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

TEST(Headless, ClearsAndReadsBackTopLeftPixels)
{
    ASSERT_TRUE(ensure_gl_context());
    glDisable(GL_SCISSOR_TEST);
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 479, 1, 1); // the top-left pixel in GL's bottom-up rows
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    Rgb top_left = read_pixel(0, 0), below = read_pixel(0, 1);
    EXPECT_EQ(top_left.r, 255);
    EXPECT_EQ(top_left.b, 0);
    EXPECT_EQ(below.b, 255);
    // The windowed show's buffers, so that blending rounds as it does there.
    for (GLenum channel : {GL_RED_BITS, GL_GREEN_BITS, GL_BLUE_BITS, GL_ALPHA_BITS}) {
        GLint bits = 0;
        glGetIntegerv(channel, &bits);
        EXPECT_EQ(bits, 8) << "channel " << channel;
    }
    GLint depth_bits = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depth_bits);
    EXPECT_EQ(depth_bits, 24);
}

TEST(Headless, VirtualClockMovesOnlyOnWaits)
{
    const int64_t start = platform_counter();
    EXPECT_EQ(platform_counter(), start);
    platform_yield();
    EXPECT_EQ(platform_counter() - start, kHeadlessYieldMicros);
    platform_sleep_ms(500);
    EXPECT_EQ(platform_counter() - start, kHeadlessYieldMicros + 500000);
    EXPECT_EQ(platform_counter_frequency(), kHeadlessCountsPerSecond);
}

TEST(Headless, ScriptedQuitIsReportedOnce)
{
    EXPECT_EQ(platform_pump_events(), 0);
    headless_request_quit();
    EXPECT_EQ(platform_pump_events(), 1);
    EXPECT_EQ(platform_pump_events(), 0);
}
