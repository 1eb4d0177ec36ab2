// The mixer's eight-frame loops, on processors that have AVX2 (see
// mixer_wide.h). Runs on the rendering thread, inside mix_voices and
// float_to_pcm16.
#include "player/mixer_wide.h"

#if defined(MIXER_HAS_AVX2_PATH)

#include <cstring>
#include <immintrin.h>

namespace {

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

}  // namespace

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
