// Stored keys of the show's animation curves: kCurveCount curves of exactly
// kCurveKeyCount (x, y) keys each, one key per 100 ms.
#pragma once

#include <cstdint>

constexpr uint32_t kCurveCount = 1;
constexpr int kCurveKeyCount = 500;

struct CurveKey {
    int16_t x, y;
};

extern const CurveKey curve_source[kCurveCount][kCurveKeyCount];
