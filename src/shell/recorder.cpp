#include "shell/recorder.h"

#include <GL/gl.h>

#include <cstdio>

void recorder_begin_frame(Recorder& recorder, int frame, const ShowProgress& progress, PlaybackPosition position)
{
    recorder.progress = &progress;
    recorder.frame = frame;
    recorder.position = position;
    recorder.start = std::chrono::steady_clock::now();
    recorder.pending = true;
}

int recorder_end_frame(Recorder& recorder, RecordedFrame& frame)
{
    if (!recorder.pending)
        return 0;
    recorder.pending = false;
    char line[96];
    frame.timing_line.clear();
    if (recorder.timed) {
        glFinish(); // the frame's drawing counts until the GL pipeline has done it
        const auto work = std::chrono::steady_clock::now() - recorder.start;
        std::snprintf(line, sizeof line, "%d %lld\n", recorder.frame,
                      static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(work).count()));
        frame.timing_line = line;
    }
    const int show_ms = recorder.progress->show_ms;
    std::snprintf(line, sizeof line, "%d %d %d %d %u\n", recorder.frame, show_ms, recorder.position.order,
                  recorder.position.row, recorder.progress->entry_index);
    frame.log_line = line;
    frame.moments.clear();
    for (RecorderMoment& moment : recorder.moments) {
        if (moment.taken || show_ms < moment.at_ms)
            continue;
        moment.taken = true;
        frame.moments.push_back(moment.at_ms);
    }
    return 1;
}

int recorder_moment_due(const Recorder& recorder, int show_ms)
{
    for (const RecorderMoment& moment : recorder.moments)
        if (!moment.taken && show_ms >= moment.at_ms)
            return 1;
    return 0;
}
