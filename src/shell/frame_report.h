// The live show's own account of its frames, for measuring it on a real
// display: with INVITATION_FRAME_REPORT set (to anything), it prints one line
// on stderr per timeline entry as the show leaves it, and one for the whole
// show, each with the frame intervals (median, 99th percentile, max, in ms,
// nearest rank) and the picture sizes drawn. Off, it costs one branch a
// frame. Main thread.
#pragma once

// Reads INVITATION_FRAME_REPORT; call once before the show's first frame.
void frame_report_start();

// Records one frame: the entry it drew, the picture's width and height in
// pixels, and the interval since the previous frame in seconds. A new entry
// index prints the line of the entry before it.
void frame_report_add(unsigned entry_index, int width, int height, double interval_seconds);

// Prints the last entry's line and the whole show's.
void frame_report_finish();
