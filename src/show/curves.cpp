// Curve keys and their evaluation. Times are whole milliseconds of show time.
#include "show/curves.h"

#include "shell/arena.h"

#include <cassert>
#include <cmath>

CurvePoint** curve_keys = nullptr;
int32_t* curve_start_ms = nullptr;
CurvePoint curve_values[kCurveCount] = {};

namespace {

// The last segment with four keys: keys 496..499. Past it (49700 ms after the
// start) a curve holds the value it reached there, key 498.
constexpr int kLastSegment = kCurveKeyCount - 4;

} // namespace

int prepare_curves()
{
    curve_keys = arena_alloc_array<CurvePoint*>(kCurveCount);
    if (!curve_keys)
        return 0;
    curve_start_ms = arena_alloc_array<int32_t>(kCurveCount);
    if (!curve_start_ms)
        return 0;
    for (uint32_t i = 0; i < kCurveCount; ++i) {
        curve_keys[i] = arena_alloc_array<CurvePoint>(kCurveKeyCount);
        if (!curve_keys[i])
            return 0;
        for (int k = 0; k < kCurveKeyCount; ++k)
            curve_keys[i][k] = {float(curve_source[i][k].x), float(curve_source[i][k].y)};
        curve_start_ms[i] = -1;
    }
    return 1;
}

float cubic_interpolate(float p0, float p1, float p2, float p3, float t)
{
    const double a = double(p3) - p2 - p0 + p1;
    const double tt = t;
    return float(a * tt * tt * tt + (double(p0) - p1 - a) * tt * tt + (double(p2) - p0) * tt + p1);
}

void evaluate_curves(int, int, int, int show_ms, int, uint32_t curve_count, const uint32_t* curve_ids)
{
    for (uint32_t n = 0; n < curve_count; ++n) {
        const uint32_t id = curve_ids[n];
        assert(id < kCurveCount);
        if (curve_start_ms[id] == -1) // a curve starts once and is never restarted
            curve_start_ms[id] = show_ms;
        const int elapsed = show_ms - curve_start_ms[id];
        // One key interval is 100 ms: the factor is the float nearest 0.01,
        // the product double. t comes from the product rounded to float, so
        // at elapsed 100 it is 1.0 on segment 0 rather than 0 on segment 1.
        const double u = elapsed * double(0.01f);
        int k = int(std::floor(u));
        float t = float(u) - float(k);
        if (k > kLastSegment) {
            k = kLastSegment;
            t = 1.0f;
        }
        const CurvePoint* key = curve_keys[id] + k;
        curve_values[id] = {cubic_interpolate(key[0].x, key[1].x, key[2].x, key[3].x, t),
                            cubic_interpolate(key[0].y, key[1].y, key[2].y, key[3].y, t)};
    }
}
