// invitation-capture: runs the whole show on the headless backend, in virtual
// time paced at 60 Hz, with the song streamed through the same ring and feeder
// as in the real program, and records what it shows.
//
//   invitation-capture [--log FILE] [--timings FILE] [--png DIR --at MS[,MS...]]
//
// --log writes one line per show frame: "frame show_ms order row entry".
// --timings writes one line per show frame: "frame micros", the wall-clock
// time of the frame's drawing, from its music position to the GL pipeline
// finished (glFinish), without the capture's own reading and writing.
// --png writes, for each MS, the first show frame whose show_ms is at or past
// MS, as DIR/frame_MS.png (640×480 RGB). Exits with the show's status.
// The same command always gives the same log and pictures.
#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "png_file.h"
#include "shell/invitation.h"
#include "shell/player_wrappers.h"

#include <GL/gl.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

struct Shot {
    int at_ms;       // asked-for show time
    bool written;
};

FILE* log_file = nullptr;
FILE* timings_file = nullptr;
std::chrono::steady_clock::time_point frame_start; // after the frame's position was read
std::string png_dir;
std::vector<Shot> shots;
int show_frame = -1;             // the show frame being drawn; -1 while loading
PlaybackPosition frame_position; // what that frame was given
bool frame_pending = false;      // a show frame was drawn since the last swap
bool write_failed = false;

PlaybackPosition record_position(int frame, int)
{
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
    if (timings_file) {
        glFinish();
        const auto work = std::chrono::steady_clock::now() - frame_start;
        std::fprintf(timings_file, "%d %lld\n", show_frame,
                     static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(work).count()));
    }
    const int show_ms = show_progress.show_ms;
    if (log_file)
        std::fprintf(log_file, "%d %d %d %d %u\n", show_frame, show_ms, frame_position.order,
                     frame_position.row, show_progress.entry_index);
    std::vector<uint8_t> pixels;
    for (Shot& shot : shots) {
        if (shot.written || show_ms < shot.at_ms)
            continue;
        if (pixels.empty())
            pixels = headless_read_frame();
        const std::string path = png_dir + "/frame_" + std::to_string(shot.at_ms) + ".png";
        if (!write_png_rgb(path.c_str(), pixels.data(), kWidth, kHeight)) {
            std::fprintf(stderr, "invitation-capture: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
            write_failed = true;
            headless_request_quit();
        }
        shot.written = true;
    }
}

bool parse_times(const char* list)
{
    const char* p = list;
    while (*p) {
        char* end = nullptr;
        errno = 0;
        const long ms = std::strtol(p, &end, 10);
        if (end == p || errno || ms < 0 || ms > 24 * 3600 * 1000 || (*end && *end != ','))
            return false;
        shots.push_back({int(ms), false});
        p = *end ? end + 1 : end;
    }
    return !shots.empty();
}

int usage(const char* why)
{
    std::fprintf(stderr, "invitation-capture: %s\nusage: invitation-capture [--log FILE] [--timings FILE] [--png DIR --at MS[,MS...]]\n", why);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    const char* log_path = nullptr;
    const char* timings_path = nullptr;
    const char* times = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc)
            return usage(("missing value after " + arg).c_str());
        if (arg == "--log")
            log_path = argv[++i];
        else if (arg == "--timings")
            timings_path = argv[++i];
        else if (arg == "--png")
            png_dir = argv[++i];
        else if (arg == "--at")
            times = argv[++i];
        else
            return usage(("unknown argument " + arg).c_str());
    }
    if (png_dir.empty() != (times == nullptr))
        return usage("--png and --at go together");
    if (times && !parse_times(times))
        return usage("--at takes milliseconds separated by commas, e.g. --at 0,5000,60000");
    std::error_code error;
    if (!png_dir.empty() && !std::filesystem::create_directories(png_dir, error) && error) {
        std::fprintf(stderr, "invitation-capture: cannot make %s: %s\n", png_dir.c_str(), error.message().c_str());
        return 1;
    }
    if (log_path && !(log_file = std::fopen(log_path, "w"))) {
        std::fprintf(stderr, "invitation-capture: cannot write %s: %s\n", log_path, std::strerror(errno));
        return 1;
    }

    if (timings_path && !(timings_file = std::fopen(timings_path, "w"))) {
        std::fprintf(stderr, "invitation-capture: cannot write %s: %s\n", timings_path, std::strerror(errno));
        return 1;
    }

    set_position_source(record_position);
    headless_set_swap_hook(on_swap);
    int status = run_invitation();
    if (log_file && std::fclose(log_file) != 0) {
        std::fprintf(stderr, "invitation-capture: cannot write %s\n", log_path);
        status = 1;
    }
    if (timings_file && std::fclose(timings_file) != 0) {
        std::fprintf(stderr, "invitation-capture: cannot write %s\n", timings_path);
        status = 1;
    }
    for (const Shot& shot : shots)
        if (!shot.written && !write_failed)
            std::fprintf(stderr, "invitation-capture: the show ended before %d ms\n", shot.at_ms);
    return write_failed ? 1 : status;
}
