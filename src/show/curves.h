// Animation curves: 2D paths of 500 keys, one per 100 ms of show time,
// evaluated by cubic interpolation from the moment a timeline entry first
// names them. Main thread.
#pragma once

#include "data/curve_source.h"

#include <cstdint>

struct CurvePoint {
    float x, y;
};

// Built by prepare_curves in the arena: per curve its 500 keys as floats and
// the show_ms at which it was first evaluated (−1 = not yet).
extern CurvePoint** curve_keys;
extern int32_t* curve_start_ms;

// Output of the last evaluation, one point per curve; offered to the scene
// handlers of the entry that names the curve.
extern CurvePoint curve_values[kCurveCount];

// Init task: converts the stored keys. Returns 1, or 0 when the arena is exhausted.
int prepare_curves();

// Evaluates the named curves at show_ms. The first three arguments and
// frame_ms are those every scene handler gets; they do not matter here.
void evaluate_curves(int order, int row, int start_key, int show_ms, int frame_ms,
                     uint32_t curve_count, const uint32_t* curve_ids);

// The cubic through p1 (t = 0) and p2 (t = 1) whose slopes p0 and p3 shape,
// carried in double precision and rounded once to single.
float cubic_interpolate(float p0, float p1, float p2, float p3, float t);
