// The frame budget (see the header).
#include "shell/frame_budget.h"

#include <algorithm>

namespace {

constexpr int kSmallest = 640;
constexpr int kLargest = 2880;
// A frame runs over when its work takes more than this share of the period
// (the rest is the swap's and the system's), and leaves room for the next
// wider step when its work, grown with the picture's area, stays under it.
constexpr double kBusyShare = 0.85;
constexpr double kRoomShare = 0.6;
constexpr int kOverFrames = 8;      // a short hitch is not a slow renderer
constexpr int kRoomyFrames = 120;   // two seconds at 60 Hz before a wider picture
constexpr int kHoldFrames = 30;     // the frames after a move are measured anew
constexpr double kStep = 1.25;      // each move: a quarter of the width

int to_step(double width) { return std::clamp(int(width) / 4 * 4, kSmallest, kLargest); }

} // namespace

FrameBudget frame_budget_start() { return {kLargest, 0, 0, 0, 0}; }

int frame_budget_step(FrameBudget& b, double work_seconds, int width, double period)
{
    if (b.frames_held > 0) {
        --b.frames_held;
        return b.max_width;
    }
    const double wider = std::min(double(kLargest), width * kStep);
    const bool over = work_seconds > kBusyShare * period;
    const bool roomy = work_seconds * (wider / width) * (wider / width) < kRoomShare * period;
    b.frames_over = over ? b.frames_over + 1 : 0;
    b.frames_roomy = roomy ? b.frames_roomy + 1 : 0;
    if (b.frames_over >= kOverFrames && width > kSmallest) {
        b.too_wide = b.too_wide ? std::min(b.too_wide, width) : width;
        b.max_width = to_step(width / kStep);
        b.frames_over = b.frames_roomy = 0;
        b.frames_held = kHoldFrames;
    } else if (b.frames_roomy >= kRoomyFrames && width == b.max_width && width < kLargest) {
        // Never back to a width that ran over: one step below it at most.
        const int up = to_step(b.too_wide ? std::min(wider, double(b.too_wide - 4)) : wider);
        if (up > width) {
            b.max_width = up;
            b.frames_held = kHoldFrames;
        }
        b.frames_roomy = 0;
    }
    return b.max_width;
}
