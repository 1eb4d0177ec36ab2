// The software mixer.
//
// Each voice is mixed in segments: a segment ends where the sample's loop (or
// end) is reached, where a gain ramp ends, or where the call's frames run out,
// so the inner loops carry no tests. Positions are 32.32 fixed point held as
// one 64-bit value; bit 0 of the fraction is dropped before every advance
// because the interpolation weight uses only its upper 31 bits.
#include "player/mixer.h"

#include <bit>
#include <cmath>
#include <cstring>

#include "player/module.h"

MixVoice voices[VOICE_COUNT];
int ramp_frames = 128;
float ramp_frames_inverse = 1.0f / 128;

namespace {

// The single-precision value nearest 1/255: gain g scales a sample by g × GAIN_UNIT.
const double GAIN_UNIT = std::bit_cast<float>(0x3B808081u);
constexpr double WEIGHT_UNIT = 0x1p-31;   // interpolation weight per unit of fraction >> 1
constexpr uint64_t MIN_STEP = 256;               // 256 × 2^-32 frames per output frame
constexpr uint64_t MAX_STEP = uint64_t{255} << 32;  // 255 frames per output frame

// Frames at a constant gain. advance is the step, negated on the ping-pong return leg.
void mix_steady(const int16_t* data, uint64_t& position, uint64_t advance, float* out, int count,
                double left, double right)
{
    for (int j = 0; j < count; ++j) {
        uint32_t whole = static_cast<uint32_t>(position >> 32);
        uint32_t fraction = static_cast<uint32_t>(position);
        double s0 = data[whole];
        double v = s0 + (data[whole + 1] - s0) * ((fraction >> 1) * WEIGHT_UNIT);
        out[2 * j] = static_cast<float>(out[2 * j] + v * left);
        out[2 * j + 1] = static_cast<float>(out[2 * j + 1] + v * right);
        position = (position & ~uint64_t{1}) + advance;
    }
}

// Frames whose gains move by a fixed increment per frame; the new gain applies
// from the next frame.
void mix_ramped(const int16_t* data, uint64_t& position, uint64_t advance, float* out, int count,
                double& left, double& right, double left_increment, double right_increment)
{
    for (int j = 0; j < count; ++j) {
        uint32_t whole = static_cast<uint32_t>(position >> 32);
        uint32_t fraction = static_cast<uint32_t>(position);
        double s0 = data[whole];
        double v = s0 + (data[whole + 1] - s0) * ((fraction >> 1) * WEIGHT_UNIT);
        out[2 * j] = static_cast<float>(out[2 * j] + v * left);
        out[2 * j + 1] = static_cast<float>(out[2 * j + 1] + v * right);
        left += left_increment;
        right += right_increment;
        position = (position & ~uint64_t{1}) + advance;
    }
}

// Starts a ramp towards new targets, or continues the one running towards the
// same targets. Returns the frames the ramp has left (0: no ramp).
int set_up_ramp(MixVoice& v, float& left_increment, float& right_increment)
{
    if (v.ramp_frames_left != 0 && v.target_left == v.ramp_goal_left &&
        v.target_right == v.ramp_goal_right) {
        left_increment = v.ramp_increment_left;
        right_increment = v.ramp_increment_right;
        return v.ramp_frames_left;
    }
    int frames = 0;
    auto side = [&](int32_t target, int32_t gain, int32_t& goal, float& stored) {
        goal = target;
        int difference = target - static_cast<int32_t>(static_cast<uint32_t>(gain) >> 8);
        // A side that is already at its target stops ramping: a stale increment
        // would carry it past the target when the ramp is continued.
        stored = difference != 0
                     ? static_cast<float>(difference * GAIN_UNIT * ramp_frames_inverse)
                     : 0.0f;
        if (difference != 0)
            frames = ramp_frames;
        return stored;
    };
    left_increment = side(v.target_left, v.gain_left, v.ramp_goal_left, v.ramp_increment_left);
    right_increment = side(v.target_right, v.gain_right, v.ramp_goal_right, v.ramp_increment_right);
    v.ramp_frames_left = frames;
    return frames;
}

// Frames until the position reaches the loop's end (forward) or passes below
// its start (backward), counted from both values cut to 24 fractional bits;
// at least 1 while the boundary is still ahead, so every segment advances.
uint64_t frames_to_boundary(uint64_t distance, uint64_t step)
{
    if (distance == 0)
        return 0;
    uint64_t d = distance >> 8, s = step >> 8;
    uint64_t k = d / s + (d % s != 0);
    return k ? k : 1;
}

void mix_voice(MixVoice& v, float* out, int remaining)
{
    const Sample& sample = *v.sample;
    const int16_t* data = sample.data;
    uint64_t step = static_cast<uint64_t>(v.step) << 32 | v.step_fraction;
    step = step < MIN_STEP ? MIN_STEP : step > MAX_STEP ? MAX_STEP : step;
    const uint64_t start = static_cast<uint64_t>(sample.loop_start) << 32;
    const uint64_t end = static_cast<uint64_t>(sample.loop_start + sample.loop_length) << 32;
    const uint64_t loop = static_cast<uint64_t>(sample.loop_length) << 32;
    uint64_t position = static_cast<uint64_t>(v.position) << 32 | v.position_fraction;

    for (;;) {
        const bool forward = v.direction != VOICE_BACKWARD;
        // On the return leg the position may have passed below frame 0: compare signed.
        const bool below_start = static_cast<int64_t>(position) < static_cast<int64_t>(start);
        uint64_t distance = forward ? (position < end ? end - position : 0)
                                    : (below_start ? 0 : position - start + 1);
        int count = remaining;
        bool boundary = false;
        uint64_t k = frames_to_boundary(distance, step);
        if (k <= static_cast<uint64_t>(count)) {
            count = static_cast<int>(k);
            boundary = true;
        }

        const int uncut = count;
        float left_increment = 0, right_increment = 0;
        const int ramp = set_up_ramp(v, left_increment, right_increment);
        if (ramp > 0 && count > ramp)
            count = ramp;

        const uint64_t advance = forward ? step : 0 - step;
        if (ramp == 0) {
            double left = static_cast<float>(v.target_left * GAIN_UNIT);
            double right = static_cast<float>(v.target_right * GAIN_UNIT);
            mix_steady(data, position, advance, out, count, left, right);
        } else {
            double left = static_cast<float>(v.gain_left * 0x1p-8 * GAIN_UNIT);
            double right = static_cast<float>(v.gain_right * 0x1p-8 * GAIN_UNIT);
            mix_ramped(data, position, advance, out, count, left, right, left_increment,
                       right_increment);
            v.gain_left = static_cast<int32_t>(std::nearbyint(left * 255 * 256));
            v.gain_right = static_cast<int32_t>(std::nearbyint(right * 255 * 256));
            v.ramp_frames_left = ramp - count;
            if (v.ramp_frames_left == 0) {
                v.ramp_increment_left = v.ramp_increment_right = 0;
                v.gain_left = v.target_left * 256;
                v.gain_right = v.target_right * 256;
                if (count < uncut) {  // the ramp, not the boundary or the call, ended the segment
                    out += 2 * count;
                    remaining -= count;
                    continue;
                }
            }
        }
        if (!boundary)
            break;
        out += 2 * count;
        remaining -= count;

        // Counting from cut values can stop a hair short of the boundary; only
        // a position that has reached it wraps, so none ever leaves the sample.
        if (forward ? position >= end
                    : static_cast<int64_t>(position) < static_cast<int64_t>(start)) {
            if (sample.loop_mode == SAMPLE_FORWARD_LOOP) {
                position = start + (position - start) % loop;
            } else if (sample.loop_mode == SAMPLE_PING_PONG) {
                auto p = static_cast<int64_t>(position);
                for (;;) {
                    if (v.direction != VOICE_BACKWARD && p >= static_cast<int64_t>(end)) {
                        p = 2 * static_cast<int64_t>(end) - 1 - p;  // mirror image of the overshoot
                        v.direction = VOICE_BACKWARD;
                    } else if (v.direction == VOICE_BACKWARD && p < static_cast<int64_t>(start)) {
                        p = 2 * static_cast<int64_t>(start) - 1 - p;
                        v.direction = VOICE_FORWARD;
                    } else {
                        break;
                    }
                }
                position = static_cast<uint64_t>(p);
            } else {
                v.sample = nullptr;  // one-shot ended, or the empty sample
                position = 0;
                break;
            }
        }
        if (remaining == 0)
            break;
    }
    v.position = static_cast<uint32_t>(position >> 32);
    v.position_fraction = static_cast<uint32_t>(position);
}

}  // namespace

void mixer_configure(int rate)
{
    ramp_frames = rate * 128 / 44100;
    ramp_frames_inverse = 1.0f / ramp_frames;
    std::memset(voices, 0, sizeof voices);
    for (int i = 0; i < VOICE_COUNT; ++i) {
        voices[i].index = i;
        voices[i].step = 1;
    }
}

void mix_voices(float* buffer, int frames)
{
    if (frames < 1)
        return;
    for (int i = 0; i < MIXED_VOICES; ++i)
        if (voices[i].sample)
            mix_voice(voices[i], buffer, frames);
}

void float_to_pcm16(int16_t* destination, const float* source, int frames)
{
    if (frames <= 0 || !destination || !source)
        return;
    for (int i = 0; i < 2 * frames; ++i) {
        double value = std::nearbyint(source[i]);  // the default rounding: ties to even
        destination[i] = static_cast<int16_t>(value >= 32767.0    ? 32767
                                              : value >= -32768.0 ? value
                                                                  : -32768);
    }
}
