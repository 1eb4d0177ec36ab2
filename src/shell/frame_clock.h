// The frame clock: measures frames with the platform's high-resolution
// counter and holds each show frame to at least the display's refresh
// period. Main thread.
#pragma once

// Starts measuring from now. 1 on success; 0 when the platform has no
// counter frequency, and then the clock stays stopped: clock_elapsed reads 0
// and clock_wait does not wait.
int clock_start();

// Ends a frame: the time since the previous mark becomes the frame's length.
// Returns 1.
int clock_mark_frame();

// Seconds since the last mark, without moving it.
double clock_elapsed();

// Length of the last frame in seconds.
double clock_frame_seconds();

// Spins, giving up the time slice, until more than period seconds have passed
// since the last mark. A frame already longer does not wait; a stopped clock
// never waits.
void clock_wait(double period);

// The frame period for a display refresh rate in Hz: rates below 60 Hz
// (including 0 for unknown) are paced at 60 frames a second.
double frame_period_for(double refresh_hz);

// A frame length in whole milliseconds, truncated: 1/60 s gives 16, not 17.
int frame_ms_of(double seconds);
