// The mixer: segment boundaries, loops, ramps and the conversion to 16 bits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "player/mixer.h"
#include "player/module.h"
#include "player/player.h"

namespace {

// A sample of length frames of one value (or a ramp of values), with the 8
// spare frames the loader adds and the loop fix-up frame written.
struct TestSample {
    std::vector<int16_t> frames;
    Sample sample = {};

    TestSample(uint32_t length, uint8_t loop_mode, uint32_t loop_start, uint32_t loop_length,
               bool ascending = false)
        : frames(length + 8, 0)
    {
        for (uint32_t i = 0; i < length; ++i)
            frames[i] = static_cast<int16_t>(ascending ? i * 10 : 1000);
        sample.data = frames.data();
        sample.length = length;
        sample.loop_mode = loop_mode;
        sample.loop_start = loop_start;
        sample.loop_length = loop_length;
        uint32_t end = loop_start + loop_length;
        if (loop_mode == SAMPLE_FORWARD_LOOP)
            frames[end] = frames[loop_start];
        if (loop_mode == SAMPLE_PING_PONG)
            frames[end] = frames[end - 1];
    }
};

class Mixing : public ::testing::Test {
protected:
    void SetUp() override { mixer_configure(mixer, 44100); }

    Mixer mixer;

    // Voice 0 playing sample at full left gain, already at its targets (no ramp).
    MixVoice& play(const Sample& sample, uint32_t step, uint32_t step_fraction)
    {
        MixVoice& v = mixer.voices[0];
        v = MixVoice{};
        v.sample = &sample;
        v.step = step;
        v.step_fraction = step_fraction;
        v.direction = VOICE_FORWARD;
        v.target_left = v.ramp_goal_left = v.gain_left = FULL_GAIN;
        return v;
    }

    std::vector<float> mix(int frames)
    {
        std::vector<float> out(2 * static_cast<size_t>(frames), 0.0f);
        mix_voices(mixer, out.data(), frames);
        return out;
    }
};

TEST_F(Mixing, RampAndBlockLengthsFollowTheRate)
{
    EXPECT_EQ(mixer.ramp_frames, 128);
    EXPECT_EQ(block_frames_at(44100), 884);
    mixer_configure(mixer, 48000);
    EXPECT_EQ(mixer.ramp_frames, 139);
    mixer_configure(mixer, 22050);
    EXPECT_EQ(mixer.ramp_frames, 64);
    EXPECT_EQ(block_frames_at(22050), 444);  // 441 rounded up to a multiple of 4
    EXPECT_FLOAT_EQ(mixer.ramp_frames_inverse, 1.0f / 64);
    EXPECT_EQ(mixer.voices[200].index, 200);
    EXPECT_EQ(mixer.voices[200].step, 1u);
}

// 1000 frames at half speed last exactly 2000 output frames; the last one
// interpolates halfway to the zero frame after the end.
TEST_F(Mixing, OneShotAtHalfSpeedLastsTwiceItsLength)
{
    TestSample s(1000, SAMPLE_ONE_SHOT, 0, 1000);
    MixVoice& v = play(s.sample, 0, 0x80000000u);
    std::vector<float> out = mix(2100);
    const float full = out[0];
    EXPECT_GT(full, 0);
    EXPECT_FLOAT_EQ(out[2 * 1998], full);
    EXPECT_NEAR(out[2 * 1999], full / 2, 0.01);
    EXPECT_EQ(out[2 * 2000], 0.0f);
    EXPECT_EQ(out[1], 0.0f);  // nothing on the right at target 0
    EXPECT_EQ(v.sample, nullptr);
    EXPECT_EQ(v.position, 0u);
}

TEST_F(Mixing, ForwardLoopWrapsWithinTheCall)
{
    TestSample s(150, SAMPLE_FORWARD_LOOP, 100, 50, true);
    MixVoice& v = play(s.sample, 1, 0);
    v.position = 149;
    std::vector<float> out = mix(2);
    EXPECT_GT(out[2], 0);
    EXPECT_FLOAT_EQ(out[2] / out[0], 1000.0f / 1490.0f);  // second frame is frame 100
    EXPECT_EQ(v.position, 101u);
    EXPECT_EQ(v.position_fraction, 0u);
}

TEST_F(Mixing, PingPongReflectsAtTheEndAndTheStart)
{
    TestSample s(150, SAMPLE_PING_PONG, 100, 50, true);
    MixVoice& v = play(s.sample, 1, 0);
    v.position = 149;
    mix(1);
    EXPECT_EQ(v.direction, VOICE_BACKWARD);
    EXPECT_EQ(v.position, 149u);
    EXPECT_EQ(v.position_fraction, 0xFFFFFFFFu);
    // Back down through the loop and forward again at its start.
    mix(50);
    EXPECT_EQ(v.direction, VOICE_FORWARD);
    EXPECT_EQ(v.position, 100u);
    mix(10);
    EXPECT_EQ(v.position, 110u);
}

// A ramp from silence to full gain takes ramp_frames frames, also when split
// over calls, and ends exactly on its target.
TEST_F(Mixing, RampReachesItsTargetAfterExactlyRampFrames)
{
    TestSample s(100000, SAMPLE_ONE_SHOT, 0, 100000);
    MixVoice& v = play(s.sample, 1, 0);
    v.gain_left = 0;
    v.ramp_goal_left = 0;
    std::vector<float> first = mix(50);
    EXPECT_EQ(v.ramp_frames_left, 78);
    EXPECT_GT(v.gain_left, 0);
    EXPECT_LT(v.gain_left, FULL_GAIN);
    EXPECT_LT(first[0], first[98]);  // rising
    mix(78);
    EXPECT_EQ(v.ramp_frames_left, 0);
    EXPECT_EQ(v.gain_left, FULL_GAIN);
    EXPECT_EQ(v.ramp_increment_left, 0.0f);
    std::vector<float> steady = mix(2);
    EXPECT_EQ(steady[0], 1000 * FULL_GAIN);
}

// A target change in the middle of a ramp starts a new full ramp from where
// the gains are; a side already at its target does not drift.
TEST_F(Mixing, TargetChangeRestartsTheRampAndIdleSidesStayPut)
{
    TestSample s(100000, SAMPLE_ONE_SHOT, 0, 100000);
    MixVoice& v = play(s.sample, 1, 0);
    v.target_right = v.ramp_goal_right = v.gain_right = 0.4f;
    v.target_left = 0;  // left falls, right stays
    mix(64);
    EXPECT_EQ(v.ramp_frames_left, 64);
    EXPECT_EQ(v.gain_right, 0.4f);
    v.target_right = 0.2f;  // now the right side moves too, the left keeps falling
    mix(10);
    EXPECT_EQ(v.ramp_frames_left, 118);
    v.target_right = 0.4f;
    v.target_left = v.gain_left;
    mix(128);
    EXPECT_EQ(v.gain_left, v.target_left);
    EXPECT_EQ(v.gain_right, 0.4f);
}

// The eight-frame loops are a faster way to the same sound: over loops of every
// kind, steps, start positions, steady gains and ramps, they give the same
// bits as the plain loops.
TEST_F(Mixing, WideLoopsGiveThePlainLoopsBits)
{
    if (!mixer.wide)
        GTEST_SKIP() << "this processor runs only the plain loops";
    TestSample s(60000, SAMPLE_ONE_SHOT, 0, 60000);
    for (uint32_t i = 0; i < 60000; ++i)
        s.frames[i] = static_cast<int16_t>((i * 2654435761u) >> 16);
    TestSample looped(3000, SAMPLE_PING_PONG, 1000, 300);
    uint32_t seed = 11;
    auto random = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    for (int trial = 0; trial < 200; ++trial) {
        const Sample& sample = trial % 2 ? looped.sample : s.sample;
        const uint32_t step = random() % 3, fraction = random();
        const uint32_t position = trial % 2 ? 1000 + random() % 300 : random() % 2000;
        const uint32_t position_fraction = random();
        const float gains[4] = {(random() % 1000) / 2000.0f, (random() % 1000) / 2000.0f,
                                (random() % 1000) / 2000.0f, (random() % 1000) / 2000.0f};
        const bool ramped = trial % 3 != 0;
        std::vector<float> outs[2];
        MixVoice after[2];
        for (int wide = 0; wide < 2; ++wide) {
            mixer.wide = wide == 1;
            MixVoice& v = play(sample, step, fraction);
            v.position = position;
            v.position_fraction = position_fraction;
            v.gain_left = v.ramp_goal_left = v.target_left = gains[0];
            v.gain_right = v.ramp_goal_right = v.target_right = gains[1];
            if (ramped)
                v.target_left = gains[2], v.target_right = gains[3];
            outs[wide].assign(2 * 701, 0.25f);
            mix_voices(mixer, outs[wide].data(), 701);
            after[wide] = v;
        }
        ASSERT_EQ(outs[0], outs[1]) << "trial " << trial;
        // The voice goes on from the same place (a position off by 2^-32 of a
        // frame sounds the same for a while).
        ASSERT_EQ(after[0].position, after[1].position) << "trial " << trial;
        ASSERT_EQ(after[0].position_fraction, after[1].position_fraction) << "trial " << trial;
        ASSERT_EQ(after[0].direction, after[1].direction) << "trial " << trial;
        ASSERT_EQ(after[0].gain_left, after[1].gain_left) << "trial " << trial;
    }
}

TEST_F(Mixing, VoicesPastTheMixedOnesAreNotMixed)
{
    TestSample s(1000, SAMPLE_ONE_SHOT, 0, 1000);
    MixVoice& v = mixer.voices[MIXED_VOICES];
    v.sample = &s.sample;
    v.target_left = v.ramp_goal_left = v.gain_left = FULL_GAIN;
    std::vector<float> out = mix(100);
    for (float x : out)
        EXPECT_EQ(x, 0.0f);
    EXPECT_EQ(v.position, 0u);
}

TEST_F(Mixing, EmptySampleStopsAtOnceWithoutReading)
{
    MixVoice& v = play(empty_sample, 1, 0);
    std::vector<float> out = mix(10);
    EXPECT_EQ(v.sample, nullptr);
    EXPECT_EQ(out[0], 0.0f);
}

// Counting frames from cut values can stop a position a hair short of a loop
// boundary; such positions must neither stall nor leave the sample (the
// sanitizer build checks every read).
TEST_F(Mixing, TinyStepsOnLoopsAtFrameZeroKeepMovingInsideTheSample)
{
    TestSample forward(1, SAMPLE_FORWARD_LOOP, 0, 1);
    MixVoice& v = play(forward.sample, 0, 0x1FF);
    v.position_fraction = 0xFFFFFF00u;
    for (int i = 0; i < 1000; ++i) {
        mix(7);
        ASSERT_EQ(v.position, 0u);
        ASSERT_NE(v.sample, nullptr);
    }
    TestSample ping(3, SAMPLE_PING_PONG, 0, 3);
    MixVoice& w = play(ping.sample, 0, 0x101);
    w.position = 0;
    w.position_fraction = 0x300;
    w.direction = VOICE_BACKWARD;
    uint32_t before = w.position_fraction;
    for (int i = 0; i < 1000; ++i) {
        mix(5);
        ASSERT_LT(w.position, 3u);
    }
    EXPECT_NE(w.position_fraction, before);
}

// Every frame the mixer reads lies inside the loop being played (or, for a
// one-shot, inside the sample and its zero frame after the end), on every leg
// of every loop kind, for any step it accepts, through both the eight-frame
// and the plain loops, ramped or not. The loop's frames and the fix-up frame
// are 0 and every other frame, before the loop and past it, is large, so any
// read outside shows in the output; a read far outside crashes.
TEST_F(Mixing, EveryMixedPositionStaysInsideTheLoop)
{
    constexpr int GUARD = 64;     // frames before the sample's first, and after its spare frames
    constexpr int16_t OUTSIDE = 30000;
    uint32_t seed = 7;
    auto random = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    std::vector<uint64_t> steps = {256, 257, 0x1FF, 0x101 << 8, 0xFFFFFFFF, 0x100000001,
                                   // cell note 24 on a sample without relative note: 1972 Hz
                                   (uint64_t{1972} << 32) / 44100, uint64_t{255} << 32};
    for (int i = 0; i < 24; ++i)  // log-uniform from 2^-24 to 2^7 frames per output frame
        steps.push_back(static_cast<uint64_t>(std::exp2(8 + 31.0 * (random() >> 8) / (1 << 24))));

    for (bool avx2 : {false, true}) {
        if (avx2 && !mixer_wide_loops_available())
            continue;  // this processor runs only the plain loops
        mixer.wide = avx2;
        for (uint8_t mode : {SAMPLE_ONE_SHOT, SAMPLE_FORWARD_LOOP, SAMPLE_PING_PONG})
            for (uint32_t loop_length : {1u, 2u, 3u, 5u, 17u, 64u})
                for (uint32_t loop_start : {0u, 1u, 7u}) {
                    if (mode == SAMPLE_ONE_SHOT && loop_start != 0)
                        continue;
                    const uint32_t length = loop_start + loop_length + (mode == SAMPLE_ONE_SHOT ? 0 : 3);
                    const uint32_t end = loop_start + loop_length;
                    std::vector<int16_t> frames(GUARD + length + 8 + GUARD, OUTSIDE);
                    for (uint32_t f = loop_start; f <= end; ++f)
                        frames[GUARD + f] = 0;
                    Sample sample = {};
                    sample.data = frames.data() + GUARD;
                    sample.length = length;
                    sample.loop_mode = mode;
                    sample.loop_start = loop_start;
                    sample.loop_length = loop_length;
                    for (uint64_t step : steps)
                        for (int direction : {VOICE_FORWARD, VOICE_BACKWARD}) {
                            if (direction == VOICE_BACKWARD && mode != SAMPLE_PING_PONG)
                                continue;
                            MixVoice& v = play(sample, static_cast<uint32_t>(step >> 32),
                                               static_cast<uint32_t>(step));
                            v.direction = direction;
                            // Start within about 60 output frames of the boundary ahead, so
                            // that even the tiniest steps reach it.
                            const uint64_t span = std::min(uint64_t{loop_length} << 32, step * 60);
                            const uint64_t away = 1 + ((uint64_t{random()} << 32 | random()) % span);
                            const uint64_t position = direction == VOICE_FORWARD
                                                          ? (uint64_t{end} << 32) - away
                                                          : (uint64_t{loop_start} << 32) + away - 1;
                            v.position = static_cast<uint32_t>(position >> 32);
                            v.position_fraction = static_cast<uint32_t>(position);
                            for (int call = 0; call < 12 && v.sample; ++call) {
                                if (call % 4 == 0)  // a new target: the next frames ramp
                                    v.target_left = (random() % 128) / 255.0f;
                                std::vector<float> out = mix(1 + static_cast<int>(random() % 40));
                                for (float value : out)
                                    ASSERT_EQ(value, 0.0f)
                                        << "read outside: mode " << int{mode} << " start " << loop_start
                                        << " length " << loop_length << " step " << step
                                        << " direction " << direction << (avx2 ? " avx2" : " plain");
                                if (v.sample) {
                                    ASSERT_GE(v.position, loop_start);
                                    ASSERT_LT(v.position, end);
                                }
                            }
                        }
                }
    }
}

// Steps above 255 frames per output frame are held at 255, and steps below
// 256 × 2^-32 frames at that.
TEST_F(Mixing, StepsOutsideTheRangeAreClamped)
{
    TestSample s(10, SAMPLE_PING_PONG, 2, 3);
    MixVoice& v = play(s.sample, 4000, 0);
    for (int i = 0; i < 100; ++i) {
        mix(3);
        ASSERT_GE(v.position, 2u);
        ASSERT_LT(v.position, 5u);
    }
    TestSample still(10, SAMPLE_ONE_SHOT, 0, 10);
    MixVoice& w = play(still.sample, 0, 0);
    mix(10);
    EXPECT_EQ(w.position_fraction, 256u * 10);
}

// The sixteen-value loop converts as the plain one does, ties, clipping and
// block ends included.
TEST(FloatToPcm16, WideLoopGivesThePlainLoopsBits)
{
    if (!mixer_wide_loops_available())
        GTEST_SKIP() << "this processor runs only the plain loops";
    uint32_t seed = 5;
    auto random = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    std::vector<float> in(2 * 1000);
    for (float& x : in) {
        const int kind = static_cast<int>(random() % 4);
        const float whole = static_cast<float>(static_cast<int32_t>(random() % 90000) - 45000);
        x = kind == 0 ? whole + 0.5f : kind == 1 ? -whole : whole + (random() % 1000) / 1000.0f;
    }
    for (int frames : {1, 7, 8, 9, 1000}) {
        std::vector<int16_t> outs[2];
        for (int wide = 0; wide < 2; ++wide) {
            outs[wide].assign(2 * 1000, 7);
            float_to_pcm16(outs[wide].data(), in.data(), frames, wide == 1);
        }
        ASSERT_EQ(outs[0], outs[1]) << frames << " frames";
    }
}

TEST(FloatToPcm16, RoundsTiesToEvenAndClips)
{
    const float in[] = {40000.4f, -40000.6f, 2.5f, 3.5f, -2.5f, 1.4999f, -32768.4f, 32766.6f};
    int16_t out[8] = {};
    const bool wide = mixer_wide_loops_available();
    float_to_pcm16(out, in, 4, wide);
    const int16_t expected[] = {32767, -32768, 2, 4, -2, 1, -32768, 32767};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(out[i], expected[i]) << "value " << in[i];
    int16_t untouched[2] = {7, 7};
    float_to_pcm16(untouched, in, 0, wide);
    float_to_pcm16(nullptr, in, 1, wide);
    float_to_pcm16(untouched, nullptr, 1, wide);
    EXPECT_EQ(untouched[0], 7);
}

}  // namespace
