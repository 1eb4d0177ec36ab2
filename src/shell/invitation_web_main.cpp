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
#include "platform/web/web.h"
#include "shell/invitation.h"

#include <GL/gl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Moment {
    int at_ms;
    bool sent;
};

std::string show_log, timings_log;
std::vector<Moment> moments;
bool timings = false;
int show_frame = -1;
PlaybackPosition frame_position;
bool frame_pending = false; // a show frame was drawn since the last swap
std::chrono::steady_clock::time_point frame_start;

PlaybackPosition record_position(int frame, int show_ms)
{
    bool pictured = timings;
    for (const Moment& moment : moments)
        pictured = pictured || (!moment.sent && show_ms >= moment.at_ms);
    web_set_drawing(pictured);
    show_frame = frame;
    frame_position = player_position();
    frame_pending = true;
    frame_start = std::chrono::steady_clock::now();
    return frame_position;
}

void on_swap(int)
{
    if (!frame_pending)
        return;
    frame_pending = false;
    char line[96];
    if (timings) {
        glFinish();
        const auto work = std::chrono::steady_clock::now() - frame_start;
        std::snprintf(line, sizeof line, "%d %lld\n", show_frame,
                      static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(work).count()));
        timings_log += line;
    }
    std::snprintf(line, sizeof line, "%d %d %d %d %u\n", show_frame, show_progress.show_ms, frame_position.order,
                  frame_position.row, show_progress.entry_index);
    show_log += line;
    for (Moment& moment : moments) {
        if (moment.sent || show_progress.show_ms < moment.at_ms)
            continue;
        const std::vector<uint8_t> pixels = web_read_frame();
        web_report(("frame_" + std::to_string(moment.at_ms) + ".rgb").c_str(), pixels.data(), pixels.size());
        moment.sent = true;
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
        moments.push_back({int(ms), false});
        p = *end == ',' ? end + 1 : end;
    }
}

} // namespace

int main()
{
    const bool capturing = web_virtual_time() && web_page_parameter("report") == "1";
    if (capturing) {
        parse_moments(web_page_parameter("at"));
        timings = web_page_parameter("timings") == "1";
        set_position_source(record_position);
        web_set_swap_hook(on_swap);
    }
    const int status = run_invitation();
    web_set_drawing(1);
    if (capturing) {
        web_report("show.log", show_log.data(), show_log.size());
        if (timings)
            web_report("timings.log", timings_log.data(), timings_log.size());
    }
    web_program_ended(status);
    return status;
}
