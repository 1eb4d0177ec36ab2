// What a driver records of the show (the capture tool, the web page's test
// reports): for each show frame a log line "frame show_ms order row entry",
// with timings on a line "frame micros", the frame's drawing in wall-clock
// time from its music position to the GL pipeline finished (glFinish), and
// which asked-for moments the frame pictures: each moment is pictured by the
// first show frame whose show_ms is at or past it.
//
// The driver's position source calls recorder_begin_frame, its swap observer
// (platform/recordable.h) recorder_end_frame; where the lines and pictures
// go is the driver's. Main thread.
#pragma once

#include "shell/show_frame.h"

#include <chrono>
#include <string>
#include <vector>

struct RecorderMoment {
    int at_ms;     // asked-for show time
    bool taken;    // a frame has pictured it
};

struct Recorder {
    bool timed = false;                       // measure each frame's drawing
    std::vector<RecorderMoment> moments;
    const ShowProgress* progress = nullptr;   // the show's, handed with each frame
    int frame = -1;                           // the show frame being drawn
    PlaybackPosition position = {};           // what that frame was given
    std::chrono::steady_clock::time_point start; // after the frame's position was read
    bool pending = false;                     // a show frame was drawn since the last swap
};

// What one drawn show frame gives.
struct RecordedFrame {
    std::string log_line;         // "frame show_ms order row entry\n"
    std::string timing_line;      // "frame micros\n"; empty unless timed
    std::vector<int> moments;     // the moments (ms) it pictures, now taken
};

// Notes the start of show frame frame, drawn from position. A driver that
// keeps no more frames clears recorder.pending afterwards.
void recorder_begin_frame(Recorder& recorder, int frame, const ShowProgress& progress, PlaybackPosition position);

// At the swap: when a show frame was drawn since the last swap, fills frame
// (after glFinish when timed) and returns 1; else 0 (loading frames).
int recorder_end_frame(Recorder& recorder, RecordedFrame& frame);

// 1 when a frame at show_ms would picture a moment not yet taken.
int recorder_moment_due(const Recorder& recorder, int show_ms);
