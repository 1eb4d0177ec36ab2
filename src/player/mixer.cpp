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

#include "player/sample.h"

#if defined(__x86_64__) && defined(__GNUC__)
bool mixer_avx2 = [] {
    __builtin_cpu_init();  // this runs as a static constructor, maybe before the runtime's own
    return __builtin_cpu_supports("avx2");
}();
#else
bool mixer_avx2 = false;
#endif
namespace {

constexpr float WEIGHT_UNIT = 0x1p-31f;          // interpolation weight per unit of fraction >> 1
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

#if defined(__x86_64__) && defined(__GNUC__)
#define MIXER_HAS_AVX2_PATH 1

// Eight frames per pass in 256-bit registers on processors that have AVX2,
// giving the same bits as the portable loops.
//
// After one advance, bit 0 of the position is that of the step, so every
// further advance adds the step less its bit 0: from the second frame on the
// positions form an arithmetic series, which lets the frames of a pass be
// fetched without waiting on each other, and their fractions move on in
// 32-bit lanes by one addition a pass.
//
// The lanes hold the frames in the order 0, 1, 4, 5, 2, 3, 6, 7, so that
// unpacking value × left with value × right within each half of the register
// yields frames 0 to 3 and 4 to 7 as left, right pairs in the order of memory.
constexpr int LANE_FRAME[8] = {0, 1, 4, 5, 2, 3, 6, 7};

struct EightFrames {
    uint64_t position;      // of the pass's first frame
    uint64_t even_advance;  // the step less its bit 0, negated backward
    __m256i fractions;      // each lane's position fraction
};

__attribute__((target("avx2"))) inline EightFrames eight_frames_from(uint64_t position, uint64_t even_advance)
{
    int32_t fractions[8];
    for (int lane = 0; lane < 8; ++lane)
        fractions[lane] = static_cast<int32_t>(static_cast<uint32_t>(position + LANE_FRAME[lane] * even_advance));
    return {position, even_advance, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(fractions))};
}

// The frame at position and the next, as two int16, in every lane.
__attribute__((target("avx2"))) inline __m256i pair_at(const int16_t* data, uint64_t position)
{
    int32_t bits;
    std::memcpy(&bits, data + (position >> 32), 4);
    return _mm256_set1_epi32(bits);
}

// The next eight frames' interpolated values, lanes in LANE_FRAME order.
__attribute__((target("avx2"))) inline __m256 next_eight_values(const int16_t* data, EightFrames& f)
{
    const uint64_t p = f.position, a = f.even_advance;
    // Each frame's pair is broadcast from memory and blended into its lane.
    const __m256i front = _mm256_blend_epi32(_mm256_blend_epi32(pair_at(data, p), pair_at(data, p + a), 0x02),
                                             _mm256_blend_epi32(pair_at(data, p + 4 * a), pair_at(data, p + 5 * a), 0x08),
                                             0x0C);
    const __m256i back = _mm256_blend_epi32(_mm256_blend_epi32(pair_at(data, p + 2 * a), pair_at(data, p + 3 * a), 0x20),
                                            _mm256_blend_epi32(pair_at(data, p + 6 * a), pair_at(data, p + 7 * a), 0x80),
                                            0xC0);
    const __m256i pairs = _mm256_blend_epi32(front, back, 0xF0);
    f.position = p + 8 * a;
    const __m256 s0 = _mm256_cvtepi32_ps(_mm256_srai_epi32(_mm256_slli_epi32(pairs, 16), 16));
    const __m256 s1 = _mm256_cvtepi32_ps(_mm256_srai_epi32(pairs, 16));
    const __m256 weight =
        _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_srli_epi32(f.fractions, 1)), _mm256_set1_ps(WEIGHT_UNIT));
    f.fractions = _mm256_add_epi32(f.fractions, _mm256_set1_epi32(static_cast<int32_t>(static_cast<uint32_t>(8 * a))));
    return _mm256_add_ps(s0, _mm256_mul_ps(_mm256_sub_ps(s1, s0), weight));
}

// passes × 8 frames at constant gains from position, which has bit 0 of the
// advance (so that its frames follow the series); returns the position after
// them. Only AVX2 is asked for, so nothing here can be fused into a
// multiply-add that the portable loops would round differently.
__attribute__((target("avx2"))) uint64_t mix_steady_wide(const int16_t* data, uint64_t position,
                                                         uint64_t even_advance, float* out, int passes,
                                                         float left, float right)
{
    EightFrames f = eight_frames_from(position, even_advance);
    const __m256 left_gain = _mm256_set1_ps(left), right_gain = _mm256_set1_ps(right);
    for (int pass = 0; pass < passes; ++pass, out += 16) {
        const __m256 v = next_eight_values(data, f);
        const __m256 to_left = _mm256_mul_ps(v, left_gain), to_right = _mm256_mul_ps(v, right_gain);
        _mm256_storeu_ps(out, _mm256_add_ps(_mm256_loadu_ps(out), _mm256_unpacklo_ps(to_left, to_right)));
        _mm256_storeu_ps(out + 8, _mm256_add_ps(_mm256_loadu_ps(out + 8), _mm256_unpackhi_ps(to_left, to_right)));
    }
    return f.position;
}

struct RampGains {
    __m256d left, right;            // at frame j = 0 of the segment
    __m256d left_step, right_step;  // per frame
};

// Adds four frames' values (in frame order) at the gains of their frames j to out.
__attribute__((target("avx2"))) inline void add_four_ramped(float* out, __m128 values, __m256d frames,
                                                            const RampGains& gains)
{
    const __m256d v = _mm256_cvtps_pd(values);
    const __m256d to_left = _mm256_mul_pd(v, _mm256_add_pd(gains.left, _mm256_mul_pd(frames, gains.left_step)));
    const __m256d to_right = _mm256_mul_pd(v, _mm256_add_pd(gains.right, _mm256_mul_pd(frames, gains.right_step)));
    // The unpackings give left, right of frames 0 and 2, then of frames 1 and 3.
    const __m256d even = _mm256_unpacklo_pd(to_left, to_right), odd = _mm256_unpackhi_pd(to_left, to_right);
    const __m256d first = _mm256_permute2f128_pd(even, odd, 0x20), second = _mm256_permute2f128_pd(even, odd, 0x31);
    _mm_storeu_ps(out, _mm256_cvtpd_ps(_mm256_add_pd(_mm256_cvtps_pd(_mm_loadu_ps(out)), first)));
    _mm_storeu_ps(out + 4, _mm256_cvtpd_ps(_mm256_add_pd(_mm256_cvtps_pd(_mm_loadu_ps(out + 4)), second)));
}

// The same with gains that move by an increment per frame, carried in double
// precision: frame j of the ramp's segment (these frames start at
// j = first_frame) at left + j × left_increment, and right alike, each product
// and sum rounded as the portable loop rounds them.
__attribute__((target("avx2"))) uint64_t mix_ramped_wide(const int16_t* data, uint64_t position,
                                                         uint64_t even_advance, float* out, int passes,
                                                         int first_frame, double left, double right,
                                                         double left_increment, double right_increment)
{
    EightFrames f = eight_frames_from(position, even_advance);
    const RampGains gains = {_mm256_set1_pd(left), _mm256_set1_pd(right), _mm256_set1_pd(left_increment),
                             _mm256_set1_pd(right_increment)};
    // j of frames 0, 1, 2, 3 (the left, right pairs of the low unpacking) and 4 .. 7
    __m256d low_frames = _mm256_add_pd(_mm256_set_pd(3, 2, 1, 0), _mm256_set1_pd(first_frame));
    __m256d high_frames = _mm256_add_pd(low_frames, _mm256_set1_pd(4));
    const __m256d eight = _mm256_set1_pd(8);
    for (int pass = 0; pass < passes; ++pass, out += 16) {
        // Lanes 0, 1, 4, 5 hold frames 0 to 3 and lanes 2, 3, 6, 7 frames 4 to 7.
        const __m256 v = next_eight_values(data, f);
        const __m256 ordered = _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(v), 0xD8));
        add_four_ramped(out, _mm256_castps256_ps128(ordered), low_frames, gains);
        add_four_ramped(out + 8, _mm256_extractf128_ps(ordered, 1), high_frames, gains);
        low_frames = _mm256_add_pd(low_frames, eight);
        high_frames = _mm256_add_pd(high_frames, eight);
    }
    return f.position;
}

// Sixteen values per pass, by the same operations as the 128-bit loop of
// float_to_pcm16. Packing works within each half of the register, so the
// middle quarters change places after it. Returns the values converted.
__attribute__((target("avx2"))) int float_to_pcm16_wide(int16_t* destination, const float* source, int count)
{
    const __m256 high = _mm256_set1_ps(32767.0f), low = _mm256_set1_ps(-32768.0f);
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        __m256i a = _mm256_cvtps_epi32(_mm256_max_ps(_mm256_min_ps(_mm256_loadu_ps(source + i), high), low));
        __m256i b = _mm256_cvtps_epi32(_mm256_max_ps(_mm256_min_ps(_mm256_loadu_ps(source + i + 8), high), low));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(destination + i),
                            _mm256_permute4x64_epi64(_mm256_packs_epi32(a, b), 0xD8));
    }
    return i;
}

#endif

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
void mix_steady(const int16_t* data, uint64_t& position, uint64_t advance, float* out, int count, float left,
                float right)
{
    uint64_t p = position;
#if defined(MIXER_HAS_AVX2_PATH)
    if (mixer_avx2 && count >= 8) {
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

// Frames whose gains move by a fixed increment per frame, from left and right
// at the first frame; left and right are left at the gains after the last.
// Frame j's gain is formed as start + j × increment rather than by repeated
// addition, which does not make each frame wait for the one before.
void mix_ramped(const int16_t* data, uint64_t& position, uint64_t advance, float* out, int count,
                double& left, double& right, double left_increment, double right_increment)
{
    uint64_t p = position;
    int j = 0;
#if defined(MIXER_HAS_AVX2_PATH)
    if (mixer_avx2 && count >= 8) {
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
    left += count * left_increment;
    right += count * right_increment;
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

void mix_voice(const Mixer& mixer, MixVoice& v, float* out, int remaining)
{
    const Sample& sample = *v.sample;
    const int16_t* data = sample.data;
    uint64_t step = static_cast<uint64_t>(v.step) << 32 | v.step_fraction;
    step = step < MIN_STEP ? MIN_STEP : step > MAX_STEP ? MAX_STEP : step;
    const uint64_t start = static_cast<uint64_t>(sample.loop_start) << 32;
    const uint64_t end = static_cast<uint64_t>(sample.loop_start + sample.loop_length) << 32;
    const uint64_t loop = static_cast<uint64_t>(sample.loop_length) << 32;
    uint64_t position = static_cast<uint64_t>(v.position) << 32 | v.position_fraction;

    // A voice at zero gain (one that handed its note over) only moves on.
    // Unless it plays a ping-pong loop, it is placed at once where the
    // segments below would leave it: a wrap subtracts whole frames, which
    // leaves bit 0 and so every later advance as it was.
    float left_increment = 0, right_increment = 0;
    if (v.target_left == 0 && v.target_right == 0 && v.direction == VOICE_FORWARD &&
        sample.loop_mode != SAMPLE_PING_PONG && set_up_ramp(mixer, v, left_increment, right_increment) == 0) {
        position = advanced(position, step, remaining);
        if (position >= end) {
            if (sample.loop_mode == SAMPLE_FORWARD_LOOP) {
                position = start + (position - start) % loop;
            } else {
                v.sample = nullptr;  // one-shot ended, or the empty sample
                position = 0;
            }
        }
        v.position = static_cast<uint32_t>(position >> 32);
        v.position_fraction = static_cast<uint32_t>(position);
        return;
    }

    for (;;) {
        const bool forward = v.direction != VOICE_BACKWARD;
        // On the return leg the position may have passed below frame 0: compare signed.
        const bool below_start = static_cast<int64_t>(position) < static_cast<int64_t>(start);
        uint64_t distance = forward ? (position < end ? end - position : 0)
                                    : (below_start ? 0 : position - start + 1);
        int count = remaining;
        bool boundary = false;
        uint64_t k = frames_to_boundary(distance, position, step, forward, remaining);
        if (k <= static_cast<uint64_t>(count)) {
            count = static_cast<int>(k);
            boundary = true;
        }

        const int uncut = count;
        const int ramp = set_up_ramp(mixer, v, left_increment, right_increment);
        if (ramp > 0 && count > ramp)
            count = ramp;

        const uint64_t advance = forward ? step : 0 - step;
        if (ramp == 0 && v.target_left == 0 && v.target_right == 0) {
            // Silent (a voice that handed its note over): only the position moves.
            position = advanced(position, advance, count);
        } else if (ramp == 0) {
            mix_steady(data, position, advance, out, count, v.target_left, v.target_right);
        } else {
            double left = v.gain_left, right = v.gain_right;
            mix_ramped(data, position, advance, out, count, left, right, left_increment,
                       right_increment);
            v.gain_left = static_cast<float>(left);
            v.gain_right = static_cast<float>(right);
            v.ramp_frames_left = ramp - count;
            if (v.ramp_frames_left == 0) {
                v.ramp_increment_left = v.ramp_increment_right = 0;
                v.gain_left = v.target_left;
                v.gain_right = v.target_right;
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

        // The count reached the boundary: the position is at or past it.
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
        if (remaining == 0)
            break;
    }
    v.position = static_cast<uint32_t>(position >> 32);
    v.position_fraction = static_cast<uint32_t>(position);
}

}  // namespace

void mixer_configure(Mixer& mixer, int rate)
{
    mixer.ramp_frames = rate * 128 / 44100;
    mixer.ramp_frames_inverse = 1.0f / mixer.ramp_frames;
    std::memset(mixer.voices, 0, sizeof mixer.voices);
    for (int i = 0; i < VOICE_COUNT; ++i) {
        mixer.voices[i].index = i;
        mixer.voices[i].step = 1;
    }
}

void mix_voices(Mixer& mixer, float* buffer, int frames)
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
                mix_voice(mixer, mixer.voices[i], buffer, frames);
    }
}

void float_to_pcm16(int16_t* destination, const float* source, int frames)
{
    if (frames <= 0 || !destination || !source)
        return;
    int i = 0;
#if defined(MIXER_HAS_AVX2_PATH)
    if (mixer_avx2)
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
