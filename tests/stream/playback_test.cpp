// The looping output ring and its feeder on the headless device, whose
// position follows the virtual clock and which can keep what it played:
// the audio heard must be the song, block for block, and the position
// reported must be that of the block being heard.
#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "player/module.h"
#include "player/module_source.h"
#include "player/output.h"
#include "player/playback.h"
#include "support/song_reference.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

constexpr int kRate = 44100;

// Opens the headless device and starts the song, fed by the test itself.
class Playback : public testing::Test {
protected:
    void SetUp() override
    {
        module = load_embedded_song();
        ASSERT_NE(module, nullptr);
        ASSERT_TRUE(output_open(kRate));
        playback_set_threaded(false);
    }
    void TearDown() override
    {
        playback_stop(module);
        module_free(module);
        output_close();
        headless_audio_capture(0);
        playback_set_threaded(true);
    }
    // Moves the virtual clock on by micros and lets the feeder catch up.
    void play(int64_t micros)
    {
        headless_advance_clock(micros);
        playback_feed();
    }
    static int64_t frames_played()
    {
        uint32_t bytes = 0;
        platform_audio_position_bytes(&bytes);
        return bytes / 4;
    }

    Module* module = nullptr;
};

// Frames [begin, end) of what the device played against the song shifted back by shift frames.
::testing::AssertionResult heard_matches(const std::vector<int16_t>& heard, size_t begin, size_t end, size_t shift)
{
    const std::vector<int16_t>& song = song_reference().pcm;
    for (size_t f = begin; f < end; ++f)
        for (int c = 0; c < 2; ++c)
            if (heard[2 * f + c] != song[2 * (f - shift) + c])
                return ::testing::AssertionFailure() << "frame " << f << " differs";
    return ::testing::AssertionSuccess();
}

} // namespace

TEST_F(Playback, RingSizesFollowTheRate)
{
    EXPECT_EQ(block_frames, 884);
    EXPECT_EQ(ring_frames, 88400);
    EXPECT_EQ(ring_block_count(), 100);
}

TEST_F(Playback, RefusesWithoutSourceOrModule)
{
    EXPECT_FALSE(playback_start(nullptr));
    EXPECT_FALSE(playback_stop(nullptr));
    EXPECT_EQ(playback_order(nullptr), 0);
    EXPECT_EQ(playback_row(nullptr), 0);
    module_source_set(nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_FALSE(output_open(kRate));
}

// Frames played by the device, fed every frame of a 60 Hz show, are the song
// sample for sample: no block lost, none repeated.
TEST_F(Playback, DeviceHearsTheSongUnbroken)
{
    ASSERT_TRUE(playback_start(module));
    headless_audio_capture(1);
    for (int frame = 0; frame < 60 * 20; ++frame)
        play(16667);
    const std::vector<int16_t>& heard = headless_audio_captured();
    ASSERT_GE(heard.size(), size_t(2 * 44100 * 19));
    EXPECT_TRUE(heard_matches(heard, 0, heard.size() / 2, 0));
}

// The device's 32-bit byte count wraps during playback (here about 5 s in, as
// after hours of play; the count starts at a whole number of laps of the ring):
// the song goes on unbroken across the wrap.
TEST_F(Playback, ByteCountWrapLosesNothing)
{
    const uint32_t ring_bytes = uint32_t(ring_frames) * 4;
    headless_audio_count_from((0xFFFFFFFFu - 5 * kRate * 4) / ring_bytes * ring_bytes);
    ASSERT_TRUE(playback_start(module));
    headless_audio_capture(1);
    for (int frame = 0; frame < 60 * 12; ++frame)
        play(16667);
    const std::vector<int16_t>& heard = headless_audio_captured();
    ASSERT_GE(heard.size(), size_t(2 * kRate * 11));
    EXPECT_TRUE(heard_matches(heard, 0, heard.size() / 2, 0));
}

// A stall shorter than the ring loses nothing: the device plays what was
// rendered before it, and the feeder renders exactly the blocks passed.
TEST_F(Playback, StallShorterThanTheRingLosesNothing)
{
    ASSERT_TRUE(playback_start(module));
    headless_audio_capture(1);
    for (int frame = 0; frame < 300; ++frame)
        play(16667);
    play(1500000);
    for (int frame = 0; frame < 300; ++frame)
        play(16667);
    const std::vector<int16_t>& heard = headless_audio_captured();
    EXPECT_TRUE(heard_matches(heard, 0, heard.size() / 2, 0));
}

// A stall longer than the ring goes unnoticed: the device replays one lap of
// the ring, and from there on the song is heard one ring late, unbroken.
TEST_F(Playback, StallLongerThanTheRingRepeatsOneLap)
{
    ASSERT_TRUE(playback_start(module));
    headless_audio_capture(1);
    for (int frame = 0; frame < 300; ++frame)
        play(16667);
    // The block being played when the stall begins is the first not yet re-rendered.
    const size_t stall_start = size_t(frames_played() / block_frames * block_frames);
    play(2500000);
    for (int frame = 0; frame < 300; ++frame)
        play(16667);
    const std::vector<int16_t>& heard = headless_audio_captured();
    const size_t lap = size_t(ring_frames);
    EXPECT_TRUE(heard_matches(heard, 0, stall_start + lap, 0));
    EXPECT_TRUE(heard_matches(heard, stall_start + lap, heard.size() / 2, lap));
}

// Position readings that fail, or come out a few bytes or a whole block
// behind the last, are passed over: the song is heard unbroken and the
// position reported stays that of the block being heard.
TEST_F(Playback, MisreadPositionsArePassedOver)
{
    ASSERT_TRUE(playback_start(module));
    headless_audio_capture(1);
    const uint32_t short_bytes[] = {4, 64, uint32_t(block_frames) * 4 + 4};
    for (int frame = 0; frame < 60 * 12; ++frame) {
        play(16667);
        // Read again at once, so that even 4 bytes short goes back.
        if (frame % 3 == 1) {
            headless_audio_misread_next(frame % 2, short_bytes[frame / 3 % 3]);
            playback_feed();
        }
        const size_t block = size_t(frames_played() / block_frames);
        const SyncRecord now = playback_position(module);
        ASSERT_EQ(now.order, song_reference().block_end[block].order) << "frame " << frame;
        ASSERT_EQ(now.row, song_reference().block_end[block].row) << "frame " << frame;
    }
    const std::vector<int16_t>& heard = headless_audio_captured();
    EXPECT_TRUE(heard_matches(heard, 0, heard.size() / 2, 0));
}

// The position reported at any moment is the record of the block being played
// then: at most one block ahead of the sound.
TEST_F(Playback, PositionIsThatOfTheBlockBeingHeard)
{
    ASSERT_TRUE(playback_start(module));
    const SyncRecord first = playback_position(module);
    EXPECT_EQ(first.order, song_reference().block_end[0].order);
    EXPECT_EQ(first.row, song_reference().block_end[0].row);
    const int64_t steps[] = {1000, 5000, 16667, 20045, 33000, 7};
    for (int i = 0; i < 1500; ++i) {
        play(steps[i % 6]);
        const size_t block = size_t(frames_played() / block_frames);
        const SyncRecord now = playback_position(module);
        ASSERT_EQ(now.order, song_reference().block_end[block].order) << "block " << block;
        ASSERT_EQ(now.row, song_reference().block_end[block].row) << "block " << block;
    }
}

// Freeing a module that plays stops its playback first: nothing is left
// rendering from released data.
TEST_F(Playback, FreeingAPlayingModuleStopsItFirst)
{
    playback_set_threaded(true);
    ASSERT_TRUE(playback_start(module));
    for (int i = 0; i < 20; ++i)
        std::this_thread::yield();
    module_free(module);
    module = load_embedded_song();
    EXPECT_EQ(playback_row(module), 0); // the records went with the stop
    EXPECT_EQ(playback_order(module), 0);
    ASSERT_TRUE(playback_start(module)); // the player starts again after it
}

// A second start in one run plays the song again from its beginning.
TEST_F(Playback, RestartPlaysFromTheBeginning)
{
    ASSERT_TRUE(playback_start(module));
    for (int frame = 0; frame < 200; ++frame)
        play(16667);
    EXPECT_NE(playback_position(module).row, song_reference().block_end[0].row);
    ASSERT_TRUE(playback_start(module));
    EXPECT_EQ(playback_position(module).order, 0);
    EXPECT_EQ(playback_position(module).row, song_reference().block_end[0].row);
    headless_audio_capture(1);
    for (int frame = 0; frame < 200; ++frame)
        play(16667);
    const std::vector<int16_t>& heard = headless_audio_captured();
    EXPECT_TRUE(heard_matches(heard, 0, heard.size() / 2, 0));
}

// The feeder thread starts and stops cleanly however short the playback,
// while the main thread reads positions (run under ThreadSanitizer too).
TEST_F(Playback, FeederThreadStartsAndStopsCleanly)
{
    playback_set_threaded(true);
    for (int cycle = 0; cycle < 200; ++cycle) {
        ASSERT_TRUE(playback_start(module));
        int reads = 0;
        for (int i = 0; i < cycle % 7; ++i) {
            reads += playback_row(module) >= 0;
            std::this_thread::yield();
        }
        EXPECT_EQ(reads, cycle % 7);
        ASSERT_TRUE(playback_stop(module));
    }
    // Playing on after all those cycles still moves the position.
    ASSERT_TRUE(playback_start(module));
    const int64_t deadline = headless_clock_micros() + 10000000;
    while (playback_order(module) == 0 && playback_row(module) < 20 && headless_clock_micros() < deadline)
        std::this_thread::yield();
    EXPECT_TRUE(playback_order(module) > 0 || playback_row(module) >= 20);
}
