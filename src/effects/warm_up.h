// Warm-up drawing: every scene of the show drawn once in each kind of GL
// state it uses, so that a renderer which compiles code for each new state
// combination (Mesa's llvmpipe does) compiles it while the loading screen is
// up instead of stalling the show. Main thread, GL context current, after
// every init task has run; the caller picks where the pictures go.
#pragma once

// Number of warm-up steps; each is one scene situation (a few draws).
int warm_up_step_count();

// Draws warm-up step 0 <= step < warm_up_step_count(). Every effect's state,
// the random generator included, is put back as it was: the show draws the
// same numbers and pictures whether or not steps ran before it.
void draw_warm_up_step(int step);
