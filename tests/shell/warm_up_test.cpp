// The loading screen's warm-up draws every scene behind its fade; it must
// leave no trace in the show. Two headless runs, with and without it, are
// compared picture by picture (loading and show) with the random
// generator's state after each, up to a show frame past the first camera
// flight, overlays and text scenes. The show draws through a scissor round
// the screen's centre, which the message spam's middle line crosses, so the
// software rasteriser does not spend the run on the rest.
#include "effects/noise.h"
#include "shell/invitation.h"

#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "platform/recordable.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr int kLastShowFrame = 1560; // order 2 row 34: entries 0 to 4 seen

struct SwappedFrame {
    uint64_t picture_hash;
    uint32_t seed;
    uint64_t draws;
    bool operator==(const SwappedFrame&) const = default;
};

std::vector<SwappedFrame> swapped;

PlaybackPosition stop_at_last_frame(int frame, const ShowProgress&)
{
    glEnable(GL_SCISSOR_TEST);
    glScissor(256, 192, 128, 96);
    if (frame == kLastShowFrame)
        headless_request_quit();
    return player_position();
}

void record_swap(int)
{
    uint64_t hash = 14695981039346656037ull; // FNV-1a
    for (uint8_t byte : platform_read_picture())
        hash = (hash ^ byte) * 1099511628211ull;
    swapped.push_back({hash, noise_state.random.seed, noise_state.random.draws});
}

std::vector<SwappedFrame> run_show(int warm_up)
{
    swapped.clear();
    set_warm_up(warm_up);
    headless_set_answer(kAnswerNo);
    set_position_source(stop_at_last_frame);
    platform_set_swap_observer(record_swap);
    const int status = run_invitation();
    set_position_source(nullptr);
    platform_set_swap_observer(nullptr);
    set_warm_up(1);
    EXPECT_EQ(status, 0);
    return swapped;
}

} // namespace

TEST(WarmUpTest, EveryPictureAndRandomDrawIsAsWithoutIt)
{
    const std::vector<SwappedFrame> without = run_show(0);
    const std::vector<SwappedFrame> with = run_show(1);
    ASSERT_GT(without.size(), size_t(kLastShowFrame));
    ASSERT_EQ(with.size(), without.size());
    for (size_t i = 0; i < with.size(); ++i)
        ASSERT_EQ(with[i], without[i]) << "swap " << i + 1;
}
