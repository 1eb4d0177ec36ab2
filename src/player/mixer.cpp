// The software mixer.
//
// Each voice is mixed in segments: a segment ends where the sample's loop (or
// end) is reached, where a gain ramp ends, or where the call's frames run out,
// so the inner loops carry no tests. Positions are 32.32 fixed point held as
// one 64-bit value; bit 0 of the fraction is dropped before every advance
// because the interpolation weight uses only its upper 31 bits. Values are
// interpolated and mixed in single precision, the buffer's own; only ramping
// gains are carried in double precision.
#include "player/mixer.h"

#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

#include "player/mixer_wide.h"
#include "player/sample.h"

namespace {

constexpr uint64_t MIN_STEP = 256;               // 256 × 2^-32 frames per output frame
constexpr uint64_t MAX_STEP = uint64_t{255} << 32;  // 255 frames per output frame

// One interpolated sample value at a 32.32 position, in single precision: the
// weight's 31 bits are rounded to 24 as the conversion rounds them, s1 - s0 is
// exact, then one multiplication and one addition round. Every path forms the
// value by these operations in this order, so all give the same bits.
inline float interpolate(const int16_t* data, uint64_t position)
{
    const int16_t* frame = data + (position >> 32);
    const float s0 = frame[0];
    const float weight =
        static_cast<float>(static_cast<int32_t>(static_cast<uint32_t>(position) >> 1)) * WEIGHT_UNIT;
    return s0 + (frame[1] - s0) * weight;
}

// One frame at the constant gains left and right, in single precision; the
// position moves on by advance.
inline void mix_steady_frame(const int16_t* data, uint64_t& position, uint64_t advance, float* out, float left,
                             float right)
{
    const float v = interpolate(data, position);
    out[0] += v * left;
    out[1] += v * right;
    position = (position & ~uint64_t{1}) + advance;
}

// One frame at ramping gains, which are carried in double precision.
inline void mix_ramped_frame(const int16_t* data, uint64_t& position, uint64_t advance, float* out, double left,
                             double right)
{
    const double v = interpolate(data, position);
    out[0] = static_cast<float>(out[0] + v * left);
    out[1] = static_cast<float>(out[1] + v * right);
    position = (position & ~uint64_t{1}) + advance;
}

// Frames at a constant gain. advance is the step, negated on the ping-pong
// return leg.
void mix_steady([[maybe_unused]] bool wide, const int16_t* data, uint64_t& position, uint64_t advance,
                float* out, int count, float left, float right)
{
    uint64_t p = position;
#if defined(MIXER_HAS_AVX2_PATH)
    if (wide && count >= 8) {
        if ((p ^ advance) & 1) {  // frame 0 is off the series the later frames follow
            mix_steady_frame(data, p, advance, out, left, right);
            --count;
            out += 2;
        }
        const int passes = count / 8;
        p = mix_steady_wide(data, p, advance & ~uint64_t{1}, out, passes, left, right);
        count -= 8 * passes;
        out += 16 * passes;
    }
#endif
    // Two frames per pass, their arithmetic interleaved.
    for (; count >= 2; count -= 2, out += 4) {
        const uint64_t next = (p & ~uint64_t{1}) + advance;
        const float v0 = interpolate(data, p);
        const float v1 = interpolate(data, next);
        out[0] += v0 * left;
        out[1] += v0 * right;
        out[2] += v1 * left;
        out[3] += v1 * right;
        p = (next & ~uint64_t{1}) + advance;
    }
    if (count)
        mix_steady_frame(data, p, advance, out, left, right);
    position = p;
}

// The gains of a ramp count frames on.
inline void ramp_on(double& left, double& right, int count, double left_increment, double right_increment)
{
    left += count * left_increment;
    right += count * right_increment;
}

// Frames whose gains move by a fixed increment per frame, from left and right
// at the first frame; left and right are left at the gains after the last.
// Frame j's gain is formed as start + j × increment rather than by repeated
// addition, which does not make each frame wait for the one before.
void mix_ramped([[maybe_unused]] bool wide, const int16_t* data, uint64_t& position, uint64_t advance,
                float* out, int count, double& left, double& right, double left_increment,
                double right_increment)
{
    uint64_t p = position;
    int j = 0;
#if defined(MIXER_HAS_AVX2_PATH)
    if (wide && count >= 8) {
        if ((p ^ advance) & 1) {  // frame 0 is off the series the later frames follow
            mix_ramped_frame(data, p, advance, out, left, right);
            j = 1;
            out += 2;
        }
        const int passes = (count - j) / 8;
        p = mix_ramped_wide(data, p, advance & ~uint64_t{1}, out, passes, j, left, right, left_increment,
                            right_increment);
        j += 8 * passes;
        out += 16 * passes;
    }
#endif
    for (; j < count; ++j, out += 2)
        mix_ramped_frame(data, p, advance, out, left + j * left_increment, right + j * right_increment);
    position = p;
    ramp_on(left, right, count, left_increment, right_increment);
}

// Where a silent voice would be after count frames: the same advances as the
// loops above, without mixing. After the first advance bit 0 of the position
// is that of the step, so each further advance adds the step less its bit 0.
uint64_t advanced(uint64_t position, uint64_t advance, int count)
{
    if (count == 0)
        return position;
    return (position & ~uint64_t{1}) + advance +
           static_cast<uint64_t>(count - 1) * (advance & ~uint64_t{1});
}

// Starts a ramp towards new targets, or continues the one running towards the
// same targets. Returns the frames the ramp has left (0: no ramp).
int set_up_ramp(const Mixer& mixer, MixVoice& v, float& left_increment, float& right_increment)
{
    if (v.ramp_frames_left != 0 && v.target_left == v.ramp_goal_left &&
        v.target_right == v.ramp_goal_right) {
        left_increment = v.ramp_increment_left;
        right_increment = v.ramp_increment_right;
        return v.ramp_frames_left;
    }
    if (v.ramp_frames_left == 0 && v.gain_left == v.target_left && v.gain_right == v.target_right) {
        left_increment = right_increment = 0;  // steady: most calls
        return 0;
    }
    int frames = 0;
    auto side = [&](float target, float gain, float& goal, float& stored) {
        goal = target;
        const double difference = double{target} - gain;
        // A side that is already at its target stops ramping: a stale increment
        // would carry it past the target when the ramp is continued.
        stored = static_cast<float>(difference * mixer.ramp_frames_inverse);
        if (difference != 0)
            frames = mixer.ramp_frames;
        return stored;
    };
    left_increment = side(v.target_left, v.gain_left, v.ramp_goal_left, v.ramp_increment_left);
    right_increment = side(v.target_right, v.gain_right, v.ramp_goal_right, v.ramp_increment_right);
    v.ramp_frames_left = frames;
    return frames;
}

// Frames to mix before the position reaches the loop's end (forward) or passes
// below its start (backward): the smallest k whose k-th advance gets there, so
// that frames 0 .. k - 1 all lie inside the loop. Counted exactly, with the bit
// 0 that every advance drops: the first advance moves by the step less (or,
// backward, plus) the position's bit 0, each later one by the step less (plus)
// its own bit 0. distance is end - position forward and position - start + 1
// backward, 0 when the boundary is already passed. Counts beyond limit (the
// frames the call has left) are all the same to the caller: limit + 1 is
// returned for them, found by a multiplication rather than a division.
uint64_t frames_to_boundary(uint64_t distance, uint64_t position, uint64_t step, bool forward, int limit)
{
    if (distance == 0)
        return 0;
    const uint64_t odd = step & 1;
    const uint64_t first = forward ? step - (position & 1) : step + (position & 1);
    const uint64_t later = forward ? step - odd : step + odd;
    if (first >= distance)
        return 1;
    const uint64_t rest = distance - first;
    // A call's frames are far fewer than 2^24 and later is below 2^40, so the
    // product is exact.
    if (limit < (1 << 24) && static_cast<uint64_t>(limit - 1) * later < rest)
        return static_cast<uint64_t>(limit) + 1;
    return 2 + (rest - 1) / later;
}

// The sample's loop in 32.32 positions; without a loop it spans the whole
// sample, so that its end is where play ends.
struct LoopBounds {
    uint64_t start;   // first position of the loop
    uint64_t end;     // first position past it
    uint64_t length;  // end - start
};

LoopBounds loop_bounds(const Sample& sample)
{
    return {static_cast<uint64_t>(sample.loop_start) << 32,
            static_cast<uint64_t>(sample.loop_start + sample.loop_length) << 32,
            static_cast<uint64_t>(sample.loop_length) << 32};
}

// Brings a position that reached the loop's boundary back into play. A forward
// loop takes it back by whole loops, which leaves bit 0 and so every later
// advance as it was; a ping-pong loop mirrors it at the end it passed, turning
// the direction, until it lies inside; without a loop (or on the empty sample)
// the voice ends. Returns false when the voice ended.
bool wrap_at_boundary(const Sample& sample, const LoopBounds& loop, MixVoice& v, uint64_t& position)
{
    if (sample.loop_mode == SAMPLE_FORWARD_LOOP) {
        position = loop.start + (position - loop.start) % loop.length;
        return true;
    }
    if (sample.loop_mode == SAMPLE_PING_PONG) {
        auto p = static_cast<int64_t>(position);
        const auto start = static_cast<int64_t>(loop.start), end = static_cast<int64_t>(loop.end);
        for (;;) {
            if (v.direction != VOICE_BACKWARD && p >= end) {
                p = 2 * end - 1 - p;  // mirror image of the overshoot
                v.direction = VOICE_BACKWARD;
            } else if (v.direction == VOICE_BACKWARD && p < start) {
                p = 2 * start - 1 - p;
                v.direction = VOICE_FORWARD;
            } else {
                break;
            }
        }
        position = static_cast<uint64_t>(p);
        return true;
    }
    v.sample = nullptr;  // one-shot ended, or the empty sample
    position = 0;
    return false;
}

void store_position(MixVoice& v, uint64_t position)
{
    v.position = static_cast<uint32_t>(position >> 32);
    v.position_fraction = static_cast<uint32_t>(position);
}

// A voice at zero gain (one that handed its note over), or one not heard at all.
template <bool audible>
bool unheard(const MixVoice& v)
{
    return !audible || (v.target_left == 0 && v.target_right == 0);
}

// An unheard voice only moves on. Unless it plays a ping-pong loop or ramps,
// it is placed at once where the segments would leave it, and true is
// returned; else the segments must run.
template <bool audible>
bool move_on_at_once(const Mixer& mixer, MixVoice& v, const LoopBounds& loop, uint64_t position, uint64_t step,
                     int remaining)
{
    const Sample& sample = *v.sample;
    float left_increment = 0, right_increment = 0;
    if (!unheard<audible>(v) || v.direction != VOICE_FORWARD || sample.loop_mode == SAMPLE_PING_PONG ||
        set_up_ramp(mixer, v, left_increment, right_increment) != 0)
        return false;
    position = advanced(position, step, remaining);
    if (position >= loop.end)
        wrap_at_boundary(sample, loop, v, position);
    store_position(v, position);
    return true;
}

// The frames of the next segment: up to the loop's boundary where the voice
// reaches it within remaining frames (boundary is then set), else all of them.
int segment_frames(const MixVoice& v, const LoopBounds& loop, uint64_t position, uint64_t step, int remaining,
                   bool& boundary)
{
    const bool forward = v.direction != VOICE_BACKWARD;
    // On the return leg the position may have passed below frame 0: compare signed.
    const bool below_start = static_cast<int64_t>(position) < static_cast<int64_t>(loop.start);
    const uint64_t distance = forward ? (position < loop.end ? loop.end - position : 0)
                                      : (below_start ? 0 : position - loop.start + 1);
    const uint64_t k = frames_to_boundary(distance, position, step, forward, remaining);
    boundary = k <= static_cast<uint64_t>(remaining);
    return boundary ? static_cast<int>(k) : remaining;
}

// count frames of a running ramp with ramp frames left: the gains move on, and
// are set to their targets where the ramp ends.
template <bool audible>
void mix_ramp_segment(bool wide, MixVoice& v, uint64_t& position, uint64_t advance, float* out, int count, int ramp,
                      float left_increment, float right_increment)
{
    double left = v.gain_left, right = v.gain_right;
    if constexpr (audible) {
        mix_ramped(wide, v.sample->data, position, advance, out, count, left, right, left_increment,
                   right_increment);
    } else {
        position = advanced(position, advance, count);
        ramp_on(left, right, count, left_increment, right_increment);
    }
    v.gain_left = static_cast<float>(left);
    v.gain_right = static_cast<float>(right);
    v.ramp_frames_left = ramp - count;
    if (v.ramp_frames_left == 0) {
        v.ramp_increment_left = v.ramp_increment_right = 0;
        v.gain_left = v.target_left;
        v.gain_right = v.target_right;
    }
}

// Mixes count frames of the voice, or (unheard) only moves it on; a ramp that
// ends sooner cuts the segment short there. Returns the frames done.
template <bool audible>
int mix_segment(const Mixer& mixer, MixVoice& v, uint64_t& position, uint64_t advance, float* out, int count)
{
    float left_increment = 0, right_increment = 0;
    const int ramp = set_up_ramp(mixer, v, left_increment, right_increment);
    if (ramp > 0 && count > ramp)
        count = ramp;
    if (ramp == 0 && unheard<audible>(v))
        position = advanced(position, advance, count);
    else if (ramp == 0)
        mix_steady(mixer.wide, v.sample->data, position, advance, out, count, v.target_left, v.target_right);
    else
        mix_ramp_segment<audible>(mixer.wide, v, position, advance, out, count, ramp, left_increment,
                                  right_increment);
    return count;
}

// Mixes a voice into out, or with audible false moves it on alone: its
// position, loop direction, end and gain ramps, by the same segments, so that
// it is left exactly as mixing would leave it.
template <bool audible>
void mix_voice(const Mixer& mixer, MixVoice& v, float* out, int remaining)
{
    const Sample& sample = *v.sample;
    uint64_t step = static_cast<uint64_t>(v.step) << 32 | v.step_fraction;
    step = step < MIN_STEP ? MIN_STEP : step > MAX_STEP ? MAX_STEP : step;
    const LoopBounds loop = loop_bounds(sample);
    uint64_t position = static_cast<uint64_t>(v.position) << 32 | v.position_fraction;
    if (move_on_at_once<audible>(mixer, v, loop, position, step, remaining))
        return;
    for (;;) {
        bool boundary = false;
        const int count = segment_frames(v, loop, position, step, remaining, boundary);
        const uint64_t advance = v.direction != VOICE_BACKWARD ? step : 0 - step;
        const int done = mix_segment<audible>(mixer, v, position, advance, out, count);
        out += 2 * done;
        remaining -= done;
        if (done < count)  // the ramp, not the boundary or the call, ended the segment
            continue;
        // Past a boundary the position is at or beyond it.
        if (!boundary || !wrap_at_boundary(sample, loop, v, position) || remaining == 0)
            break;
    }
    store_position(v, position);
}

}  // namespace

bool mixer_wide_loops_available()
{
#if defined(MIXER_HAS_AVX2_PATH)
    static const bool available = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2");
    }();
    return available;
#else
    return false;
#endif
}

void mixer_configure(Mixer& mixer, int rate)
{
    mixer.ramp_frames = rate * 128 / 44100;
    mixer.ramp_frames_inverse = 1.0f / mixer.ramp_frames;
    std::memset(mixer.voices, 0, sizeof mixer.voices);
    for (int i = 0; i < VOICE_COUNT; ++i) {
        mixer.voices[i].index = i;
        mixer.voices[i].step = 1;
    }
    mixer.wide = mixer_wide_loops_available();
}

namespace {

template <bool audible>
void mix_or_move_voices(Mixer& mixer, float* buffer, int frames)
{
    if (frames < 1)
        return;
    // Most of the pool is idle: eight voices at a time are passed over when
    // none of them sounds.
    static_assert(MIXED_VOICES % 8 == 0);
    for (int group = 0; group < MIXED_VOICES; group += 8) {
        uintptr_t any = 0;
        for (int i = 0; i < 8; ++i)
            any |= reinterpret_cast<uintptr_t>(mixer.voices[group + i].sample);
        if (any == 0)
            continue;
        for (int i = group; i < group + 8; ++i)
            if (mixer.voices[i].sample)
                mix_voice<audible>(mixer, mixer.voices[i], buffer, frames);
    }
}

}  // namespace

void mix_voices(Mixer& mixer, float* buffer, int frames)
{
    mix_or_move_voices<true>(mixer, buffer, frames);
}

void move_voices(Mixer& mixer, int frames)
{
    mix_or_move_voices<false>(mixer, nullptr, frames);
}

void float_to_pcm16(int16_t* destination, const float* source, int frames, [[maybe_unused]] bool wide)
{
    if (frames <= 0 || !destination || !source)
        return;
    int i = 0;
#if defined(MIXER_HAS_AVX2_PATH)
    if (wide)
        i = float_to_pcm16_wide(destination, source, 2 * frames);
#endif
#if defined(__SSE2__)
    // The conversion rounds by the default mode, to nearest with ties to even;
    // clipping first keeps every value inside the 16-bit range.
    const __m128 high = _mm_set1_ps(32767.0f), low = _mm_set1_ps(-32768.0f);
    for (; i + 8 <= 2 * frames; i += 8) {
        __m128i a = _mm_cvtps_epi32(_mm_max_ps(_mm_min_ps(_mm_loadu_ps(source + i), high), low));
        __m128i b = _mm_cvtps_epi32(_mm_max_ps(_mm_min_ps(_mm_loadu_ps(source + i + 4), high), low));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + i), _mm_packs_epi32(a, b));
    }
#endif
    for (; i < 2 * frames; ++i) {
        double value = std::nearbyint(source[i]);  // the default rounding: ties to even
        destination[i] = static_cast<int16_t>(value >= 32767.0    ? 32767
                                              : value >= -32768.0 ? value
                                                                  : -32768);
    }
}
