// The frame budget: on a renderer too slow to fill a large picture in a
// display period, the show draws a smaller one. It watches how long each
// frame's work takes (from its start to the swap, before the pacing wait) and
// moves a cap on the picture's width: down while frames run over the period,
// up again while they leave room, never below 640 and never back up to a
// width that ran over, so it settles instead of swinging. Plain logic over
// the times it is given; main thread.
#pragma once

struct FrameBudget {
    int max_width;      // the cap on the picture's width, pixels: 640..2880, a multiple of 4
    int too_wide;       // the narrowest cap whose frames ran over; 0 while none did
    int frames_over;    // consecutive frames whose work took longer than the period allows
    int frames_roomy;   // consecutive frames with room for a wider picture
    int frames_held;    // frames left before the cap may move again
};

// A budget that starts at the largest picture.
FrameBudget frame_budget_start();

// Takes one frame's work in seconds at the picture width drawn and the
// display's period in seconds; returns the cap for the next frames.
int frame_budget_step(FrameBudget& budget, double work_seconds, int width, double period);
