// The picture size for an output: its largest 4:3 area, from 640×480 to
// 2880×2160, under a cap on the width.
#include "shell/show_window.h"

#include <gtest/gtest.h>

TEST(PictureSize, TheOutputsLargest4By3AreaWithinTheRange)
{
    struct Case {
        int output_width, output_height, max_width, width, height;
    };
    const Case cases[] = {
        {640, 480, 2880, 640, 480},       // the windowed show: exactly its pixels
        {1920, 1080, 2880, 1440, 1080},   // full screen on a 1080p panel
        {3840, 2160, 2880, 2880, 2160},   // on a 4K panel
        {1921, 1203, 2880, 1604, 1203},   // a maximised window: 4:3 in steps of 4 × 3
        {1001, 1000, 2880, 1000, 750},    // taller than 4:3: the width decides
        {320, 240, 2880, 640, 480},       // smaller: never below 640×480
        {7680, 4320, 2880, 2880, 2160},   // larger: never above 2880×2160
        {1920, 1080, 1000, 1000, 750},    // the frame budget's cap
        {1920, 1080, 100, 640, 480},      // ... which stops at 640×480
    };
    for (const Case& c : cases) {
        int width = 0, height = 0;
        picture_size_for_output(c.output_width, c.output_height, c.max_width, &width, &height);
        EXPECT_EQ(width, c.width) << c.output_width << "x" << c.output_height << " under " << c.max_width;
        EXPECT_EQ(height, c.height) << c.output_width << "x" << c.output_height << " under " << c.max_width;
    }
}

TEST(PictureSize, OnlyFourByThreeSizesInTheRangeAreTaken)
{
    EXPECT_EQ(set_picture_size(800, 480), 0);
    EXPECT_EQ(set_picture_size(320, 240), 0);
    EXPECT_EQ(set_picture_size(3200, 2400), 0);
    EXPECT_EQ(picture_width, 640);
    EXPECT_EQ(set_picture_size(1440, 1080), 1);
    EXPECT_EQ(picture_height, 1080);
    EXPECT_EQ(set_picture_size(640, 480), 1);
}
