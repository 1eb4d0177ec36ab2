// Whole runs of the program on the headless backend: the loading screen, the
// show driven by a scripted music position, quitting, and start-up failure.
#include "shell/invitation.h"

#include "data/show_tables.h"
#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "platform/recordable.h"
#include "support/gl_test.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int kLoadingFrames = 4 + 63; // 4 task frames, the last is the first of 64 fade frames

// What each swapped frame looked like.
struct Frame {
    int bar_width;        // red bar pixels along row 240
    int bar_red;          // red at (100, 240)
    int bar_green;        // green at (100, 240)
    int text_white;       // brightest pixel of "Init..." at its left stroke
    uint32_t entry;       // the show's entry_index at the swap
};

std::vector<Frame> frames;
const ShowProgress* show_seen = nullptr; // handed to the position source
std::vector<std::pair<int, int>> source_calls; // (frame, show_ms) the position source saw
std::function<void(int)> on_pump;

void record_swap(int)
{
    Frame f{};
    const std::vector<uint8_t> frame = read_frame();
    auto red = [&](int x, int y) { return int(frame[(y * 640 + x) * 3]); };
    while (f.bar_width < 640 && red(f.bar_width, 240) > 8)
        ++f.bar_width;
    f.bar_red = red(100, 240);
    f.bar_green = int(frame[(240 * 640 + 100) * 3 + 1]);
    for (int y = 40; y <= 64; ++y)
        for (int x = 16; x < 24; ++x)
            f.text_white = std::max(f.text_white, int(frame[(y * 640 + x) * 3 + 1]));
    f.entry = show_seen ? show_seen->entry_index : 0;
    frames.push_back(f);
}

// Moves the music 4 rows a frame from 0/0 up to the show's end.
PlaybackPosition ramp_to_the_end(int frame, const ShowProgress& progress)
{
    show_seen = &progress;
    source_calls.emplace_back(frame, progress.show_ms);
    const int key = std::min(frame * 4, int(kShowEndKey));
    return {key / 64, key % 64};
}

PlaybackPosition end_of_song(int, const ShowProgress& progress)
{
    show_seen = &progress;
    return {int(kShowEndOrder), int(kShowEndRow)};
}

struct InvitationTest : ::testing::Test {
    void SetUp() override
    {
        frames.clear();
        show_seen = nullptr;
        source_calls.clear();
        on_pump = nullptr;
        headless_set_answer(kAnswerNo);
        headless_fail_window(0);
        platform_set_swap_observer(record_swap);
        headless_set_pump_hook([](int pump) {
            if (on_pump)
                on_pump(pump);
        });
        set_position_source(ramp_to_the_end);
    }
    void TearDown() override
    {
        platform_set_swap_observer(nullptr);
        headless_set_pump_hook(nullptr);
        headless_fail_window(0);
        set_position_source(nullptr);
    }
};

} // namespace

TEST_F(InvitationTest, LoadingBarGrowsPerTaskThenFadesOver64Frames)
{
    set_position_source(end_of_song);
    ASSERT_EQ(run_invitation(), 0);
    ASSERT_GT(frames.size(), size_t(kLoadingFrames));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(frames[i].bar_width, 160 * (i + 1)) << "loading frame " << i + 1;
    const int full_red = frames[0].bar_red;
    EXPECT_NEAR(full_red, 128, 1);
    EXPECT_GT(frames[0].text_white, 200);
    // The fade starts on the frame of the last task: factors 64/64 .. 1/64.
    for (int j = 0; j < 64; ++j) {
        const Frame& f = frames[3 + j];
        EXPECT_NEAR(f.bar_red, full_red * (64 - j) / 64.0, 1.0) << "fade frame " << j;
        EXPECT_NEAR(f.text_white, frames[0].text_white * (64 - j) / 64.0, 1.5) << "fade frame " << j;
    }
    // The show clears the bar away: its first frame (the noise fan and the
    // black noise) is grey there, not red.
    EXPECT_EQ(frames[kLoadingFrames].bar_red, frames[kLoadingFrames].bar_green);
}

TEST_F(InvitationTest, ScriptedMusicVisitsEveryEntryInOrderAndEnds)
{
    ASSERT_EQ(run_invitation(), 0);
    ASSERT_GT(frames.size(), size_t(kLoadingFrames));
    std::vector<uint32_t> entries;
    for (size_t i = kLoadingFrames; i < frames.size(); ++i)
        entries.push_back(frames[i].entry);
    const uint32_t end_entry = timeline_table[0] - 1;
    EXPECT_EQ(entries.front(), 0u);
    EXPECT_EQ(entries.back(), end_entry); // the end entry's frame is swapped, then the show stops
    EXPECT_EQ(std::count(entries.begin(), entries.end(), end_entry), 1);
    for (size_t i = 1; i < entries.size(); ++i)
        EXPECT_TRUE(entries[i] == entries[i - 1] || entries[i] == entries[i - 1] + 1) << "frame " << i;
    // Show time: 0 on the first frame, then paced 1/60 s frames of 16 whole ms.
    ASSERT_EQ(source_calls.size(), entries.size());
    for (size_t i = 0; i < source_calls.size(); ++i) {
        EXPECT_EQ(source_calls[i].first, int(i));
        EXPECT_EQ(source_calls[i].second, 16 * int(i));
    }
}

TEST_F(InvitationTest, RunsAreTheSameFrameForFrame)
{
    static std::vector<uint64_t>* sink = nullptr;
    platform_set_swap_observer([](int) {
        uint64_t hash = 14695981039346656037u; // FNV-1a of the frame's bytes
        for (uint8_t byte : read_frame())
            hash = (hash ^ byte) * 1099511628211u;
        sink->push_back(hash);
    });
    std::vector<uint64_t> first, second;
    sink = &first;
    ASSERT_EQ(run_invitation(), 0);
    sink = &second;
    ASSERT_EQ(run_invitation(), 0);
    EXPECT_EQ(first, second);
}

TEST_F(InvitationTest, EscDuringLoadingEndsAfterThatFrameWithStatus0)
{
    on_pump = [](int pump) {
        if (pump == 2)
            headless_request_quit();
    };
    EXPECT_EQ(run_invitation(), 0);
    EXPECT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames.back().bar_width, 320); // the frame was still drawn
    EXPECT_TRUE(source_calls.empty());       // no show frame
}

TEST_F(InvitationTest, EscDuringTheShowEndsAfterThatFrame)
{
    on_pump = [](int pump) {
        if (pump == kLoadingFrames + 10)
            headless_request_quit();
    };
    EXPECT_EQ(run_invitation(), 0);
    EXPECT_EQ(frames.size(), size_t(kLoadingFrames + 10));
}

TEST_F(InvitationTest, WindowFailureExitsWithOneLineAndStatus1)
{
    headless_fail_window(1);
    testing::internal::CaptureStderr();
    const int status = run_invitation();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 1);
    EXPECT_EQ(err, "invitation: cannot open the 640x480 OpenGL window\n");
    EXPECT_TRUE(frames.empty());
    EXPECT_FALSE(platform_has_gl_context());
}

TEST_F(InvitationTest, AFailedQuestionBoxIsAskedAgainThenGivesUp)
{
    headless_set_answer(0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(run_invitation(), 1);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);
    EXPECT_EQ(err.rfind("invitation: ", 0), 0u);
    headless_set_answer(kAnswerNo);
}

TEST_F(InvitationTest, AnsweringYesWithoutADisplayModeShowsAWindow)
{
    headless_set_answer(kAnswerYes);
    set_position_source(end_of_song);
    EXPECT_EQ(run_invitation(), 0);
    EXPECT_GT(frames.size(), size_t(kLoadingFrames));
}
