// The software mixer.
//
// Each voice is mixed in segments: a segment ends where the sample's loop (or
// end) is reached, where a gain ramp ends, or where the call's frames run out,
// so the inner loops carry no tests. Positions are 32.32 fixed point held as
// one 64-bit value; bit 0 of the fraction is dropped before every advance
// because the interpolation weight uses only its upper 31 bits.
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
    return __builtin_cpu_supports("avx2") != 0;
}();
#else
bool mixer_avx2 = false;
#endif
namespace {

constexpr double WEIGHT_UNIT = 0x1p-31;   // interpolation weight per unit of fraction >> 1
constexpr uint64_t MIN_STEP = 256;               // 256 × 2^-32 frames per output frame
constexpr uint64_t MAX_STEP = uint64_t{255} << 32;  // 255 frames per output frame

// One interpolated sample value at a 32.32 position.
inline double interpolate(const int16_t* data, uint64_t position)
{
    const int16_t* frame = data + (position >> 32);
    double s0 = frame[0];
    return s0 + (frame[1] - s0) * ((static_cast<uint32_t>(position) >> 1) * WEIGHT_UNIT);
}

#if defined(__SSE2__)
// Two interpolated values, for the positions p0 and p1, in one register. The
// same double-precision operations as interpolate(), two at a time.
inline __m128d interpolate_pair(const int16_t* data, uint64_t p0, uint64_t p1)
{
    int32_t pair0, pair1;  // a frame and the next, as two int16
    std::memcpy(&pair0, data + (p0 >> 32), 4);
    std::memcpy(&pair1, data + (p1 >> 32), 4);
    __m128i frames = _mm_unpacklo_epi32(_mm_cvtsi32_si128(pair0), _mm_cvtsi32_si128(pair1));
    frames = _mm_srai_epi32(_mm_unpacklo_epi16(frames, frames), 16);  // s0 a, s1 a, s0 b, s1 b
    __m128d s0 = _mm_cvtepi32_pd(_mm_shuffle_epi32(frames, _MM_SHUFFLE(3, 1, 2, 0)));
    __m128d s1 = _mm_cvtepi32_pd(_mm_shuffle_epi32(frames, _MM_SHUFFLE(2, 0, 3, 1)));
    __m128i halves = _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int32_t>(static_cast<uint32_t>(p0) >> 1)),
                                        _mm_cvtsi32_si128(static_cast<int32_t>(static_cast<uint32_t>(p1) >> 1)));
    __m128d weight = _mm_mul_pd(_mm_cvtepi32_pd(halves), _mm_set1_pd(WEIGHT_UNIT));
    return _mm_add_pd(s0, _mm_mul_pd(_mm_sub_pd(s1, s0), weight));
}
#endif

#if defined(__x86_64__) && defined(__GNUC__)
#define MIXER_HAS_AVX2_PATH 1

// Four frames per pass in 256-bit registers, on processors that have AVX2;
// the same double-precision operations in the same order as the portable
// loops, so the sound is identical (no fused multiply-add is enabled here).
// Frame j is mixed at gains left + j × left_increment (and right alike).
//
// After one advance, bit 0 of the position is that of the step, so every
// further advance adds the step less its bit 0: from the second frame on the
// positions form an arithmetic series, which lets the four positions of a pass
// (and their fractions, in 32-bit lanes) be formed without waiting on each
// other.
//
// Mixes the first 4n + 1 of count frames and returns that number (0 when
// count is below 5); position is left at the frame after them.
template <bool ramped>
__attribute__((target("avx2"))) int mix_avx2(const int16_t* data, uint64_t& position,
                                              uint64_t advance, float* out, int count, double left,
                                              double right, double left_increment,
                                              double right_increment)
{
    if (count < 5)
        return 0;
    double v0 = interpolate(data, position);  // frame 0, at a position of any parity
    out[0] = static_cast<float>(out[0] + v0 * left);
    out[1] = static_cast<float>(out[1] + v0 * right);
    const uint64_t even_advance = advance & ~uint64_t{1};
    uint64_t p = (position & ~uint64_t{1}) + advance;  // frame 1
    // The four frames of a pass sit in the lanes in the order 0, 2, 1, 3, so
    // that in-lane unpacking of value × left and value × right yields the
    // left, right pairs of frames 0 and 1 and of frames 2 and 3.
    const auto f1 = static_cast<uint32_t>(p), even_fraction = static_cast<uint32_t>(even_advance);
    __m128i fractions = _mm_set_epi32(static_cast<int32_t>(f1 + 3 * even_fraction),
                                      static_cast<int32_t>(f1 + even_fraction),
                                      static_cast<int32_t>(f1 + 2 * even_fraction),
                                      static_cast<int32_t>(f1));
    const __m128i pass_fraction = _mm_set1_epi32(static_cast<int32_t>(4 * even_fraction));
    __m256d frames = _mm256_set_pd(4, 2, 3, 1);  // the j of each lane, for ramps
    const __m256d four = _mm256_set1_pd(4);
    const __m256d weight_unit = _mm256_set1_pd(WEIGHT_UNIT);
    const int passes = (count - 1) / 4;
    out += 2;
    for (int pass = 0; pass < passes; ++pass, out += 8) {
        int32_t pair0, pair1, pair2, pair3;  // a frame and the next, as two int16
        std::memcpy(&pair0, data + (p >> 32), 4);
        std::memcpy(&pair1, data + ((p + even_advance) >> 32), 4);
        std::memcpy(&pair2, data + ((p + 2 * even_advance) >> 32), 4);
        std::memcpy(&pair3, data + ((p + 3 * even_advance) >> 32), 4);
        p += 4 * even_advance;
        __m128i pairs = _mm_set_epi32(pair3, pair1, pair2, pair0);
        __m256d s0 = _mm256_cvtepi32_pd(_mm_srai_epi32(_mm_slli_epi32(pairs, 16), 16));
        __m256d s1 = _mm256_cvtepi32_pd(_mm_srai_epi32(pairs, 16));
        __m256d weight = _mm256_mul_pd(_mm256_cvtepi32_pd(_mm_srli_epi32(fractions, 1)), weight_unit);
        fractions = _mm_add_epi32(fractions, pass_fraction);
        __m256d v = _mm256_add_pd(s0, _mm256_mul_pd(_mm256_sub_pd(s1, s0), weight));
        __m256d left_gains = _mm256_set1_pd(left), right_gains = _mm256_set1_pd(right);
        if constexpr (ramped) {
            left_gains = _mm256_add_pd(left_gains, _mm256_mul_pd(frames, _mm256_set1_pd(left_increment)));
            right_gains = _mm256_add_pd(right_gains, _mm256_mul_pd(frames, _mm256_set1_pd(right_increment)));
            frames = _mm256_add_pd(frames, four);
        }
        __m256d to_left = _mm256_mul_pd(v, left_gains), to_right = _mm256_mul_pd(v, right_gains);
        // Left, right of frames 0 and 1, then of frames 2 and 3.
        __m256d low = _mm256_add_pd(_mm256_cvtps_pd(_mm_loadu_ps(out)), _mm256_unpacklo_pd(to_left, to_right));
        __m256d high = _mm256_add_pd(_mm256_cvtps_pd(_mm_loadu_ps(out + 4)), _mm256_unpackhi_pd(to_left, to_right));
        _mm_storeu_ps(out, _mm256_cvtpd_ps(low));
        _mm_storeu_ps(out + 4, _mm256_cvtpd_ps(high));
    }
    position = p;
    return 4 * passes + 1;
}

#endif

// Frames at a constant gain, two per pass with their arithmetic interleaved.
// advance is the step, negated on the ping-pong return leg.
void mix_steady(const int16_t* data, uint64_t& position, uint64_t advance, float* out, int count,
                double left, double right)
{
#if defined(MIXER_HAS_AVX2_PATH)
    if (mixer_avx2) {
        int mixed = mix_avx2<false>(data, position, advance, out, count, left, right, 0, 0);
        count -= mixed;
        out += 2 * mixed;
    }
#endif
    uint64_t p = position;
#if defined(__SSE2__)
    const __m128d gains = _mm_set_pd(right, left);
    for (; count >= 2; count -= 2, out += 4) {
        uint64_t next = (p & ~uint64_t{1}) + advance;
        __m128d v = interpolate_pair(data, p, next);
        __m128 mixed = _mm_loadu_ps(out);  // left, right of two frames
        __m128d first = _mm_add_pd(_mm_cvtps_pd(mixed), _mm_mul_pd(_mm_unpacklo_pd(v, v), gains));
        __m128d second = _mm_add_pd(_mm_cvtps_pd(_mm_movehl_ps(mixed, mixed)),
                                    _mm_mul_pd(_mm_unpackhi_pd(v, v), gains));
        _mm_storeu_ps(out, _mm_movelh_ps(_mm_cvtpd_ps(first), _mm_cvtpd_ps(second)));
        p = (next & ~uint64_t{1}) + advance;
    }
#else
    for (; count >= 2; count -= 2, out += 4) {
        uint64_t next = (p & ~uint64_t{1}) + advance;
        double v0 = interpolate(data, p);
        double v1 = interpolate(data, next);
        out[0] = static_cast<float>(out[0] + v0 * left);
        out[1] = static_cast<float>(out[1] + v0 * right);
        out[2] = static_cast<float>(out[2] + v1 * left);
        out[3] = static_cast<float>(out[3] + v1 * right);
        p = (next & ~uint64_t{1}) + advance;
    }
#endif
    if (count) {
        double v = interpolate(data, p);
        out[0] = static_cast<float>(out[0] + v * left);
        out[1] = static_cast<float>(out[1] + v * right);
        p = (p & ~uint64_t{1}) + advance;
    }
    position = p;
}

// Frames whose gains move by a fixed increment per frame, from left and right
// at the first frame; left and right are left at the gains after the last.
// Frame j's gain is formed as start + j × increment rather than by repeated
// addition: the gains and increments are single-precision values, so every
// partial sum is exact in double and both ways give the same bits, but this
// one does not make each frame wait for the one before.
void mix_ramped(const int16_t* data, uint64_t& position, uint64_t advance, float* out, int count,
                double& left, double& right, double left_increment, double right_increment)
{
    int j = 0;
#if defined(MIXER_HAS_AVX2_PATH)
    if (mixer_avx2) {
        j = mix_avx2<true>(data, position, advance, out, count, left, right, left_increment,
                           right_increment);
        out += 2 * j;
    }
#endif
    uint64_t p = position;
    for (; j < count; ++j, out += 2) {
        double v = interpolate(data, p);
        out[0] = static_cast<float>(out[0] + v * (left + j * left_increment));
        out[1] = static_cast<float>(out[1] + v * (right + j * right_increment));
        p = (p & ~uint64_t{1}) + advance;
    }
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
// backward, 0 when the boundary is already passed.
uint64_t frames_to_boundary(uint64_t distance, uint64_t position, uint64_t step, bool forward)
{
    if (distance == 0)
        return 0;
    const uint64_t odd = step & 1;
    const uint64_t first = forward ? step - (position & 1) : step + (position & 1);
    const uint64_t later = forward ? step - odd : step + odd;
    if (first >= distance)
        return 1;
    const uint64_t rest = distance - first;
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

    for (;;) {
        const bool forward = v.direction != VOICE_BACKWARD;
        // On the return leg the position may have passed below frame 0: compare signed.
        const bool below_start = static_cast<int64_t>(position) < static_cast<int64_t>(start);
        uint64_t distance = forward ? (position < end ? end - position : 0)
                                    : (below_start ? 0 : position - start + 1);
        int count = remaining;
        bool boundary = false;
        uint64_t k = frames_to_boundary(distance, position, step, forward);
        if (k <= static_cast<uint64_t>(count)) {
            count = static_cast<int>(k);
            boundary = true;
        }

        const int uncut = count;
        float left_increment = 0, right_increment = 0;
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
    for (int i = 0; i < MIXED_VOICES; ++i)
        if (mixer.voices[i].sample)
            mix_voice(mixer, mixer.voices[i], buffer, frames);
}

void float_to_pcm16(int16_t* destination, const float* source, int frames)
{
    if (frames <= 0 || !destination || !source)
        return;
    int i = 0;
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
