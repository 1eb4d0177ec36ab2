// Whole headless runs with the embedded song streamed through the ring and
// feeder, fed from the show loop: the timeline follows what is heard, the
// device plays the song unbroken, and the show ends by itself at its end.
#include "shell/invitation.h"

#include "data/show_tables.h"
#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "platform/recordable.h"
#include "support/song_reference.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <vector>

namespace {

struct ShowFrame {
    uint32_t key;       // order × 64 + row the frame was given
    uint32_t entry;     // current entry after the frame's step
    uint32_t entry_key; // its start_key
    uint32_t next_key;  // the next entry's start_key (the end's own at the end)
};

std::vector<ShowFrame> show_frames;
const ShowProgress* show_seen = nullptr; // handed to heard with each show frame
int stall_frame = -1;       // show frame after which the clock jumps
int64_t stall_micros = 0;

PlaybackPosition heard(int frame, const ShowProgress& progress)
{
    show_seen = &progress;
    // What the scenes draw does not matter here: a one-pixel scissor keeps
    // the software rasteriser from spending the run on it.
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 1, 1);
    if (frame == stall_frame)
        headless_advance_clock(stall_micros);
    const PlaybackPosition position = player_position();
    show_frames.push_back({uint32_t(position.order * 64 + position.row), 0, 0, 0});
    return position;
}

// The timeline lives in the arena, which goes with the run: read it meanwhile.
void record_entry(int)
{
    if (show_frames.empty())
        return;
    ShowFrame& frame = show_frames.back();
    const uint32_t entry = show_seen->entry_index;
    frame.entry = entry;
    frame.entry_key = show_seen->timeline[entry].start_key;
    frame.next_key = show_seen->timeline[entry < 26 ? entry + 1 : entry].start_key;
}

struct ShowMusicTest : ::testing::Test {
    void SetUp() override
    {
        song_reference(); // rendered once, before the show's frames are timed
        show_frames.clear();
        stall_frame = -1;
        headless_set_answer(kAnswerNo);
        set_position_source(heard);
        platform_set_swap_observer(record_entry);
    }
    void TearDown() override
    {
        set_position_source(nullptr);
        platform_set_swap_observer(nullptr);
        headless_audio_capture(0);
    }
};

} // namespace

TEST_F(ShowMusicTest, TimelineFollowsTheSongToItsEndAndTheDeviceHearsItWhole)
{
    headless_set_pump_hook([](int pump) {
        if (pump == 1)
            headless_audio_capture(1); // before the music starts
    });
    ASSERT_EQ(run_invitation(), 0);
    headless_set_pump_hook(nullptr);
    ASSERT_FALSE(show_frames.empty());
    EXPECT_EQ(show_frames.back().key, kShowEndKey);
    EXPECT_EQ(show_frames.back().entry, 26u);

    // Each entry becomes current on the first frame whose position reaches
    // its key, and stays until the position reaches the next one's.
    EXPECT_EQ(show_frames.front().entry, 0u);
    for (size_t i = 0; i < show_frames.size(); ++i) {
        const ShowFrame& f = show_frames[i];
        ASSERT_GE(f.key, f.entry_key) << "show frame " << i;
        if (f.entry < 26) {
            ASSERT_LT(f.key, f.next_key) << "show frame " << i;
        }
        if (i > 0) {
            ASSERT_GE(f.key, show_frames[i - 1].key) << "show frame " << i;
            ASSERT_LE(f.entry, show_frames[i - 1].entry + 1) << "show frame " << i;
        }
    }

    // What the device played, from the start of playback to the end of the
    // show, is the song frame for frame.
    const std::vector<int16_t>& played = headless_audio_captured();
    const std::vector<int16_t>& song = song_reference().pcm;
    ASSERT_GT(played.size(), size_t(2 * 44100 * 100));
    ASSERT_LE(played.size(), song.size());
    EXPECT_TRUE(std::equal(played.begin(), played.end(), song.begin()));
}

// A feeder stall longer than the ring is not noticed: a lap of the ring is
// heard again, the position never goes back, and the show still ends.
TEST_F(ShowMusicTest, ALongStallStillReachesTheEnd)
{
    stall_frame = 600;
    stall_micros = 2500000;
    ASSERT_EQ(run_invitation(), 0);
    EXPECT_EQ(show_frames.back().key, kShowEndKey);
    for (size_t i = 1; i < show_frames.size(); ++i)
        ASSERT_GE(show_frames[i].key, show_frames[i - 1].key) << "show frame " << i;
}

// Esc while the last loading picture waits for the music: the music starts
// and stops, one show frame is drawn, and the program exits cleanly.
TEST_F(ShowMusicTest, EscDuringThePauseEndsCleanly)
{
    platform_set_swap_observer([](int swap) {
        if (swap == 4 + 63) // the last loading frame
            headless_request_quit();
        record_entry(swap);
    });
    EXPECT_EQ(run_invitation(), 0);
    EXPECT_EQ(show_frames.size(), 1u);
}
