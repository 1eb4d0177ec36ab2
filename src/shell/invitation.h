// The program's whole life: the start-up question, window, tables and font,
// the loading screen, then the show paced to the display until Esc, window
// close or the end of the timeline. Main thread.
#pragma once

#include "shell/player_wrappers.h"
#include "shell/show_frame.h"

// Non-zero ends the loading and the show (Esc, window close, a failed init
// task). Cleared at the start of each run.
extern int quit_requested;

// Where the show reads the music position: frame counts show frames from 0;
// progress is the running show's, as the frame starts (its show_ms is the
// show time handed to the frame's handlers). The record stays where it is,
// so a driver that records the show may keep the reference and read at the
// swap what the frame left (its entry_index).
using PositionSource = PlaybackPosition (*)(int frame, const ShowProgress& progress);

// Replaces the player as the source of the music position (null: the
// player), so a driver can script the show.
void set_position_source(PositionSource source);

// Whether the loading screen meets the show's GL states behind its fade, so
// a renderer that compiles code per state does it then (on unless turned
// off; the show is the same either way).
void set_warm_up(int on);

struct InitTaskTable;

// The loading loop: runs the init tasks one per frame behind a bar growing by
// 640 / task count pixels, then fades the last picture to black over 64
// frames, the first of which is the frame of the last task; the fade's other
// frames first draw the warm-up steps, one a frame. Leaves after a
// frame on which quit_requested was set (Esc, close, or a task returning 0).
// Returns the number of the task that failed (1 for the first), or 0.
int run_loading(const InitTaskTable& tasks);

// Runs the program. Returns the exit status: 0 when the show ends by Esc,
// window close or the end of the timeline; 1 after a start-up failure or a
// failed init task, with one line on stderr naming it.
int run_invitation();
