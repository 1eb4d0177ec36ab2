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
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
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

// Four frames per pass in 256-bit registers, on processors that have AVX2 and
// fused multiply-add, giving the same bits as the portable loops.
//
// After one advance, bit 0 of the position is that of the step, so every
// further advance adds the step less its bit 0: from the second frame on the
// positions form an arithmetic series, which lets the four positions of a pass
// (and their weights) be formed without waiting on each other. The four frames
// sit in the 64-bit lanes in the order 0, 2, 1, 3, so that in-lane unpacking of
// value × left and value × right yields the left, right pairs of frames 0 and 1
// and of frames 2 and 3.
//
// The interpolation is done in integers, where it is exact: with the weight
// w = fraction >> 1, the value × 2^32 is s0 × 2^32 + 2 × (s1 - s0) × w, an
// integer below 2^49, and the portable loops' double arithmetic forms the same
// value (× 2^-32) without rounding. Its double is read from the bits of the
// integer plus those of 1.5 × 2^52, and the gains carry the 2^-32 (scaling by
// a power of two changes no rounding). Conversions from integer to double run
// on a single port of some processors, which this keeps free for the mix.
struct FourFrames {
    uint64_t position;      // of the pass's first frame
    uint64_t even_advance;  // the step less its bit 0, negated backward
    __m256i weights;        // each lane's w in its low 32 bits
};

__attribute__((target("avx2"))) inline FourFrames four_frames_from(uint64_t position, uint64_t even_advance)
{
    auto weight = [](uint64_t q) { return static_cast<int64_t>(static_cast<uint32_t>(q) >> 1); };
    return {position, even_advance,
            _mm256_set_epi64x(weight(position + 3 * even_advance), weight(position + even_advance),
                              weight(position + 2 * even_advance), weight(position))};
}

// The next four frames' values × 2^32, each as the bits of 1.5 × 2^52 plus it.
__attribute__((target("avx2"))) inline __m256i next_four_frames(const int16_t* data, FourFrames& f)
{
    const uint64_t p = f.position, a = f.even_advance;
    int32_t pair0, pair1, pair2, pair3;  // a frame and the next, as two int16
    std::memcpy(&pair0, data + (p >> 32), 4);
    std::memcpy(&pair1, data + ((p + a) >> 32), 4);
    std::memcpy(&pair2, data + ((p + 2 * a) >> 32), 4);
    std::memcpy(&pair3, data + ((p + 3 * a) >> 32), 4);
    f.position = p + 4 * a;
    // Each lane holds its pair twice; one multiply-add of 16-bit pairs gives
    // 2 × (s1 - s0) in the low half and s0 in the high half, which as a 64-bit
    // value is s0 × 2^32 once the low half is cleared.
    __m256i pairs = _mm256_blend_epi32(
        _mm256_blend_epi32(_mm256_set1_epi32(pair0), _mm256_set1_epi32(pair2), 0x0C),
        _mm256_blend_epi32(_mm256_set1_epi32(pair1), _mm256_set1_epi32(pair3), 0xC0), 0xF0);
    __m256i parts = _mm256_madd_epi16(pairs, _mm256_set1_epi64x(0x000000010002FFFE));
    __m256i slope = _mm256_mul_epi32(parts, f.weights);  // 2 × (s1 - s0) × w, 64 bits
    // A pass moves each fraction by four advances; the weights keep its upper 31 bits.
    f.weights = _mm256_and_si256(_mm256_add_epi64(f.weights, _mm256_set1_epi64x(static_cast<uint32_t>(2 * a))),
                                 _mm256_set1_epi64x(0x7FFFFFFF));
    __m256i start = _mm256_add_epi64(_mm256_and_si256(parts, _mm256_set1_epi64x(static_cast<int64_t>(0xFFFFFFFF00000000))),
                                     _mm256_set1_epi64x(0x4338000000000000));  // the bits of 1.5 × 2^52
    return _mm256_add_epi64(slope, start);
}

// Adds the products of four frames (lanes in the order 0, 2, 1, 3) to out.
__attribute__((target("avx2"))) inline void add_four_frames(float* out, __m256d to_left, __m256d to_right)
{
    __m256d low = _mm256_add_pd(_mm256_cvtps_pd(_mm_loadu_ps(out)), _mm256_unpacklo_pd(to_left, to_right));
    __m256d high = _mm256_add_pd(_mm256_cvtps_pd(_mm_loadu_ps(out + 4)), _mm256_unpackhi_pd(to_left, to_right));
    _mm_storeu_ps(out, _mm256_cvtpd_ps(low));
    _mm_storeu_ps(out + 4, _mm256_cvtpd_ps(high));
}

constexpr double UNSCALE = 0x1p-32;
constexpr double MAGIC = 0x1.8p52;

// passes × 4 frames at constant gains from position, which has bit 0 of the
// advance (so that its frames follow the series); returns the position after
// them. With b the bits read as a double, the product is
// (b - 1.5 × 2^52) × gain, formed with one rounding as
// b × gain - 1.5 × 2^52 × gain: that last product has at most 26 significant
// bits, so it is exact, and the fused multiply-add rounds the same value the
// portable loops round. No other arithmetic here could be fused.
__attribute__((target("avx2,fma"))) uint64_t mix_steady_wide(const int16_t* data, uint64_t position,
                                                             uint64_t even_advance, float* out, int passes,
                                                             double left, double right)
{
    FourFrames f = four_frames_from(position, even_advance);
    const __m256d left_gain = _mm256_set1_pd(left * UNSCALE), right_gain = _mm256_set1_pd(right * UNSCALE);
    const __m256d left_offset = _mm256_set1_pd(-MAGIC * (left * UNSCALE));
    const __m256d right_offset = _mm256_set1_pd(-MAGIC * (right * UNSCALE));
    for (int pass = 0; pass < passes; ++pass, out += 8) {
        __m256d b = _mm256_castsi256_pd(next_four_frames(data, f));
        add_four_frames(out, _mm256_fmadd_pd(b, left_gain, left_offset), _mm256_fmadd_pd(b, right_gain, right_offset));
    }
    return f.position;
}

// The same with gains that move by an increment per frame: frame j of the
// ramp's segment (these frames start at j = first_frame) at
// left + j × left_increment, and right alike, each rounded as the portable
// loop rounds it.
__attribute__((target("avx2"))) uint64_t mix_ramped_wide(const int16_t* data, uint64_t position,
                                                         uint64_t even_advance, float* out, int passes,
                                                         int first_frame, double left, double right,
                                                         double left_increment, double right_increment)
{
    FourFrames f = four_frames_from(position, even_advance);
    const __m256d magic = _mm256_set1_pd(MAGIC);
    const __m256d left_gain = _mm256_set1_pd(left * UNSCALE), right_gain = _mm256_set1_pd(right * UNSCALE);
    const __m256d left_step = _mm256_set1_pd(left_increment * UNSCALE);
    const __m256d right_step = _mm256_set1_pd(right_increment * UNSCALE);
    __m256d frames = _mm256_add_pd(_mm256_set_pd(3, 1, 2, 0), _mm256_set1_pd(first_frame));  // j of each lane
    const __m256d four = _mm256_set1_pd(4);
    for (int pass = 0; pass < passes; ++pass, out += 8) {
        __m256d v = _mm256_sub_pd(_mm256_castsi256_pd(next_four_frames(data, f)), magic);
        __m256d left_gains = _mm256_add_pd(left_gain, _mm256_mul_pd(frames, left_step));
        __m256d right_gains = _mm256_add_pd(right_gain, _mm256_mul_pd(frames, right_step));
        frames = _mm256_add_pd(frames, four);
        add_four_frames(out, _mm256_mul_pd(v, left_gains), _mm256_mul_pd(v, right_gains));
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

// One frame at the gains left and right; the position moves on by advance.
inline void mix_frame(const int16_t* data, uint64_t& position, uint64_t advance, float* out, double left,
                      double right)
{
    double v = interpolate(data, position);
    out[0] = static_cast<float>(out[0] + v * left);
    out[1] = static_cast<float>(out[1] + v * right);
    position = (position & ~uint64_t{1}) + advance;
}

// Frames at a constant gain. advance is the step, negated on the ping-pong
// return leg.
void mix_steady(const int16_t* data, uint64_t& position, uint64_t advance, float* out, int count,
                double left, double right)
{
    uint64_t p = position;
#if defined(MIXER_HAS_AVX2_PATH)
    if (mixer_avx2 && count >= 4) {
        if ((p ^ advance) & 1) {  // frame 0 is off the series the later frames follow
            mix_frame(data, p, advance, out, left, right);
            --count;
            out += 2;
        }
        const int passes = count / 4;
        p = mix_steady_wide(data, p, advance & ~uint64_t{1}, out, passes, left, right);
        count -= 4 * passes;
        out += 8 * passes;
    }
#endif
#if defined(__SSE2__)
    // Two frames per pass, their arithmetic interleaved.
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
    if (count)
        mix_frame(data, p, advance, out, left, right);
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
    if (mixer_avx2 && count >= 4) {
        if ((p ^ advance) & 1) {  // frame 0 is off the series the later frames follow
            mix_frame(data, p, advance, out, left, right);
            j = 1;
            out += 2;
        }
        const int passes = (count - j) / 4;
        p = mix_ramped_wide(data, p, advance & ~uint64_t{1}, out, passes, j, left, right, left_increment,
                            right_increment);
        j += 4 * passes;
        out += 8 * passes;
    }
#endif
    for (; j < count; ++j, out += 2)
        mix_frame(data, p, advance, out, left + j * left_increment, right + j * right_increment);
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
