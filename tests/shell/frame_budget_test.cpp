// The frame budget on a stubbed clock: a renderer whose frame work grows with
// the picture's area, fed to the budget frame by frame.
#include "shell/frame_budget.h"
#include "shell/show_window.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr double kPeriod = 1.0 / 60;

// Runs frames on a display 1920 wide (its 4:3 area is 1440 wide) with a
// renderer that needs seconds_at_640 a frame at 640×480, more in proportion
// to the area; returns the picture width of every frame.
std::vector<int> run_frames(FrameBudget& budget, double seconds_at_640, int frames, int start_width = 0)
{
    std::vector<int> widths;
    int width = start_width;
    for (int f = 0; f < frames; ++f) {
        int height = 0;
        if (!start_width || f > 0)
            picture_size_for_output(1920, 1080, budget.max_width, &width, &height);
        const double area = double(width) / 640 * width / 640;
        frame_budget_step(budget, seconds_at_640 * area, width, kPeriod);
        widths.push_back(width);
    }
    return widths;
}

int direction_changes(const std::vector<int>& widths)
{
    int changes = 0, last = 0;
    for (size_t i = 1; i < widths.size(); ++i) {
        const int direction = widths[i] > widths[i - 1] ? 1 : widths[i] < widths[i - 1] ? -1 : 0;
        if (direction && last && direction != last)
            ++changes;
        if (direction)
            last = direction;
    }
    return changes;
}

} // namespace

TEST(FrameBudget, LongFramesStepDownToTheSizeThatFitsNeverBelow640)
{
    FrameBudget budget = frame_budget_start();
    // 1440 costs 20 ms, over a 16.7 ms period; 1152 costs 12.8 ms and fits.
    std::vector<int> widths = run_frames(budget, 0.020 / (2.25 * 2.25), 2000);
    EXPECT_EQ(widths.front(), 1440);
    EXPECT_EQ(widths.back(), 1152);
    EXPECT_EQ(direction_changes(widths), 0);

    // Far too slow at any size: down to 640×480 and no further.
    FrameBudget slow = frame_budget_start();
    widths = run_frames(slow, 0.030, 2000);
    EXPECT_EQ(widths.back(), 640);
    EXPECT_EQ(slow.max_width, 640);
}

TEST(FrameBudget, ShortFramesStepBackUpWithoutSwinging)
{
    // A hitch of 8 slow frames at 1440 sends the cap down; then frames with
    // room bring it back up, but not to the width that ran over.
    FrameBudget budget = frame_budget_start();
    for (int f = 0; f < 8; ++f)
        frame_budget_step(budget, 0.030, 1440, kPeriod);
    EXPECT_EQ(budget.max_width, 1152);
    std::vector<int> widths = run_frames(budget, 0.0015, 3000);
    EXPECT_EQ(widths.back(), 1436);
    EXPECT_EQ(direction_changes(widths), 0);

    // A renderer whose cost jumps at 1440 (its caches overflow there): the
    // area rule sees room at 1152, so the cap goes up once, but never back
    // to the width that ran over, and the picture settles.
    FrameBudget edge = frame_budget_start();
    widths.clear();
    int width = 1440, height = 0;
    for (int f = 0; f < 20000; ++f) {
        frame_budget_step(edge, width >= 1440 ? 0.020 : 0.004, width, kPeriod);
        widths.push_back(width);
        picture_size_for_output(1920, 1080, edge.max_width, &width, &height);
    }
    int moves = 0;
    for (size_t i = 1; i < widths.size(); ++i)
        moves += widths[i] != widths[i - 1];
    EXPECT_LE(moves, 2);
    EXPECT_EQ(widths.back(), 1436);

    // One slow frame now and then (every fourth) is a hitch, not a slow
    // renderer: nothing moves.
    FrameBudget hitches = frame_budget_start();
    for (int f = 0; f < 2000; ++f)
        frame_budget_step(hitches, f % 4 == 3 ? 0.030 : 0.005, 1440, kPeriod);
    EXPECT_EQ(hitches.max_width, 2880);

    // Frames with room at 640 climb to the output's own size.
    FrameBudget fast = frame_budget_start();
    fast.max_width = 640;
    widths = run_frames(fast, 0.001, 3000);
    EXPECT_EQ(widths.back(), 1440);
}
