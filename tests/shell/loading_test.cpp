// The loading loop with task lists of our own: failures and task counts.
#include "shell/invitation.h"

#include "platform/headless/headless.h"
#include "platform/recordable.h"
#include "show/init_tasks.h"
#include "support/gl_test.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<int> bar_widths; // per swapped frame, along row 240
std::vector<int> ran;        // tasks run, by number

void measure_bar(int)
{
    int width = 0;
    while (width < 640 && read_pixel(width, 240).r > 8)
        ++width;
    bar_widths.push_back(width);
}

int task_ok_1() { ran.push_back(1); return 1; }
int task_ok_2() { ran.push_back(2); return 1; }
int task_fails() { ran.push_back(0); return 0; }

struct LoadingTest : ::testing::Test {
    void SetUp() override
    {
        ASSERT_TRUE(ensure_gl_context());
        bar_widths.clear();
        ran.clear();
        quit_requested = 0;
        platform_set_swap_observer(measure_bar);
    }
    void TearDown() override
    {
        platform_set_swap_observer(nullptr);
        quit_requested = 0;
    }
};

} // namespace

TEST_F(LoadingTest, AFailingFirstTaskEndsLoadingAfterItsFrame)
{
    InitTask tasks[] = {task_fails, task_ok_1};
    EXPECT_EQ(run_loading({2, tasks}), 1);
    EXPECT_EQ(quit_requested, 1);
    EXPECT_EQ(ran, (std::vector<int>{0}));
    EXPECT_EQ(bar_widths, (std::vector<int>{320})); // 640 / 2 tasks
}

TEST_F(LoadingTest, AFailingLaterTaskStopsTheRest)
{
    InitTask tasks[] = {task_ok_1, task_fails, task_ok_2, task_ok_2};
    EXPECT_EQ(run_loading({4, tasks}), 2);
    EXPECT_EQ(ran, (std::vector<int>{1, 0}));
    EXPECT_EQ(bar_widths, (std::vector<int>{160, 320}));
}

TEST_F(LoadingTest, OneTaskFillsTheBarAndStartsTheFadeAtOnce)
{
    InitTask tasks[] = {task_ok_1};
    EXPECT_EQ(run_loading({1, tasks}), 0);
    EXPECT_EQ(ran, (std::vector<int>{1}));
    ASSERT_EQ(bar_widths.size(), 64u);
    EXPECT_EQ(bar_widths.front(), 640);
}

TEST_F(LoadingTest, AQuitBeforeLoadingSkipsIt)
{
    InitTask tasks[] = {task_ok_1};
    quit_requested = 1;
    EXPECT_EQ(run_loading({1, tasks}), 0);
    EXPECT_TRUE(ran.empty());
    EXPECT_TRUE(bar_widths.empty());
}
