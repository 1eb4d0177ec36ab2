// State of the full-screen overlays and fades (the handlers themselves are
// declared in effects.h). It lives for the run and moves only on calls.
#pragma once

struct OverlayState {
    double square_angle = 0;    // radians; the line storm adds frame_ms to it, never wrapped
    float storm_timer = 0;      // 0.1 a millisecond, toward the storm switcher's next choice
    int storm_choice = 0;       // 0 crossed stripes, 1 line storm, 2 noise fan
    float noise_timer = 0;      // as storm_timer, for the noise switcher
    int noise_choice = 0;       // 0 message spam, 1 dark bars, 2 white noise, 3 black noise
    float fade_out_level = 1.0f; // 1 full picture .. 0 black
    int fade_last_key = -1;     // start_key of the entry the fade-out last ran in
    float fade_in_level = 0;    // 0 black .. 1 full picture; never restarts
};
extern OverlayState overlay_state;

// Puts the overlays at rest, as at the start of a run.
void reset_overlay_state();
