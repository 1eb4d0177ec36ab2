// The invitation in a web page: the show as on the desktop, then the page's
// end of the show.
//
// Opened with the test-only parameters virtual_time=1&report=1, the page
// records what the headless capture tool records and sends it to the test's
// server: show.log, a line per show frame ("frame show_ms order row entry",
// the capture's own format), with at=MS,MS,... the picture of the first show
// frame at or past each MS (frame_MS.rgb, RGB at the picture's size, top row
// first: 640×480 on a canvas shown at 640×480 CSS pixels of one device pixel), and
// with timings=1 timings.log, a line per show frame ("frame micros": its
// drawing in wall-clock time, the GL pipeline finished). Without timings only
// the pictured frames are drawn: the others run their scenes, GL state and
// all, but the renderer rasterises nothing.
#include "platform/recordable.h"
#include "platform/web/web.h"
#include "shell/invitation.h"
#include "shell/recorder.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

Recorder recorder;
std::string show_log, timings_log;

PlaybackPosition record_position(int frame, const ShowProgress& progress)
{
    web_set_drawing(recorder.timed || recorder_moment_due(recorder, progress.show_ms));
    const PlaybackPosition position = player_position();
    recorder_begin_frame(recorder, frame, progress, position);
    return position;
}

void on_swap(int)
{
    RecordedFrame frame;
    if (!recorder_end_frame(recorder, frame))
        return;
    timings_log += frame.timing_line;
    show_log += frame.log_line;
    for (int at_ms : frame.moments) {
        const std::vector<uint8_t> pixels = platform_read_picture();
        web_report(("frame_" + std::to_string(at_ms) + ".rgb").c_str(), pixels.data(), pixels.size());
    }
}

// "1600,10700,..." into moments.
void parse_moments(const std::string& list)
{
    const char* p = list.c_str();
    while (*p) {
        char* end = nullptr;
        const long ms = std::strtol(p, &end, 10);
        if (end == p)
            break;
        recorder.moments.push_back({int(ms), false});
        p = *end == ',' ? end + 1 : end;
    }
}

} // namespace

int main()
{
    const bool capturing = web_virtual_time() && web_page_parameter("report") == "1";
    if (capturing) {
        parse_moments(web_page_parameter("at"));
        recorder.timed = web_page_parameter("timings") == "1";
        set_position_source(record_position);
        platform_set_swap_observer(on_swap);
    }
    const int status = run_invitation();
    web_set_drawing(1);
    if (capturing) {
        web_report("show.log", show_log.data(), show_log.size());
        if (recorder.timed)
            web_report("timings.log", timings_log.data(), timings_log.size());
    }
    web_program_ended(status);
    return status;
}
