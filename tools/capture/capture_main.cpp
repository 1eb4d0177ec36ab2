// invitation-capture: runs the whole show on the headless backend, in virtual
// time paced at 60 Hz, with the song streamed through the same ring and feeder
// as in the real program, and records what it shows and plays.
//
//   invitation-capture [--log FILE] [--timings FILE] [--png DIR --at MS[,MS...]]
//                      [--video FILE.mp4|FILE.mkv [--size WxH]]
//                      [--sheet FILE.png] [--until ORDER/ROW | --seconds S]
//
// --log writes one line per show frame: "frame show_ms order row entry".
// --timings writes one line per show frame: "frame micros", the wall-clock
// time of the frame's drawing, from its music position to the GL pipeline
// finished (glFinish), without the capture's own reading and writing.
// --png writes, for each MS, the first show frame whose show_ms is at or past
// MS, as DIR/frame_MS.png (640×480 RGB).
// --video writes every show frame, from the first to the end of the show, at
// 60 frames a second with the sound the device played (video_file.h).
// --sheet writes a contact sheet: 4 × 3 frames at half size, one every 8.5 s
// of frames from 4 s on (what the capture did not reach stays black).
// --until and --seconds end the capture early: before the first frame heard
// at or past ORDER/ROW, or after S seconds of frames.
// Exits with the show's status; 1 when anything asked for was not written.
// The same command always gives the same log, pictures and video.
#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "png_file.h"
#include "shell/invitation.h"
#include "shell/player_wrappers.h"
#include "video_file.h"

#include <GL/gl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kFrameRate = 60;
constexpr int kSampleRate = 44100;
constexpr int kSamplesPerFrame = kSampleRate / kFrameRate;  // 735
// The smallest whole number of virtual microseconds that the show's pacing
// (which waits until more than 1/60 s has passed) accepts as one frame.
constexpr int64_t kVideoFrameMicros = 1000000 / kFrameRate + 1;
constexpr uint32_t kShowEndKey = 10 * 64 + 16;

// Everything the command line can say. Every option takes one value.
struct Options {
    const char* log_path = nullptr;
    const char* timings_path = nullptr;
    const char* png_dir = nullptr;
    const char* times = nullptr;
    const char* video_path = nullptr;
    const char* size = nullptr;
    const char* until = nullptr;
    const char* seconds = nullptr;
    const char* sheet_path = nullptr;
};

struct OptionSpec {
    const char* name;
    const char* Options::*value;
};

// One more option is one more line here (and a field above).
constexpr OptionSpec kOptions[] = {
    {"--log", &Options::log_path},
    {"--timings", &Options::timings_path},
    {"--png", &Options::png_dir},
    {"--at", &Options::times},
    {"--video", &Options::video_path},
    {"--size", &Options::size},
    {"--until", &Options::until},
    {"--seconds", &Options::seconds},
    {"--sheet", &Options::sheet_path},
};

constexpr const char* kUsage =
    "usage: invitation-capture [--log FILE] [--timings FILE] [--png DIR --at MS[,MS...]]\n"
    "                          [--video FILE.mp4|FILE.mkv [--size WxH]] [--sheet FILE.png]\n"
    "                          [--until ORDER/ROW | --seconds S]\n";

// The contact sheet: cells of half-size frames, left to right, top to bottom.
constexpr int kSheetColumns = 4;
constexpr int kSheetRows = 3;
constexpr int kCellWidth = kWidth / 2;
constexpr int kCellHeight = kHeight / 2;
constexpr int kSheetFirstFrame = 4 * kFrameRate;
constexpr int kSheetStepFrames = 17 * kFrameRate / 2;

struct Shot {
    int at_ms;       // asked-for show time
    bool written;
};

FILE* log_file = nullptr;
FILE* timings_file = nullptr;
std::chrono::steady_clock::time_point frame_start; // after the frame's position was read
std::string png_dir;
std::vector<Shot> shots;
VideoFile* video = nullptr;
std::vector<uint8_t> sheet;      // the contact sheet, RGB; empty when not asked for
int sheet_cells_done = 0;
uint32_t end_key = kShowEndKey;  // MusicPosition at which the capture ends (the show's own end by default)
bool stop_at_end_key = false;    // --until: frames from end_key on are not kept
int64_t max_frames = -1;         // frames to capture; −1 = to the end

int show_frame = -1;             // the show frame being drawn; -1 while loading
PlaybackPosition frame_position; // what that frame was given
int64_t frame_start_micros = 0;  // virtual time at which that frame began
bool frame_pending = false;      // a show frame was drawn since the last swap
bool capture_done = false;       // --until or --seconds reached: later frames are not kept
int64_t frames_kept = 0;
size_t audio_frames_sent = 0;    // device frames handed to the video
bool write_failed = false;
volatile std::sig_atomic_t interrupted = 0;

bool show_progress_bar = false;
std::chrono::steady_clock::time_point wall_start;
std::chrono::steady_clock::time_point last_progress;

void on_signal(int) { interrupted = 1; }

// Ctrl-C is answered as Esc is: the show ends after its current frame.
void on_pump(int)
{
    if (interrupted)
        headless_request_quit();
}

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Redraws the bar at most five times a second, unless forced.
void draw_progress(double fraction, bool force = false)
{
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - last_progress < std::chrono::milliseconds(200))
        return;
    last_progress = now;
    constexpr int kBarWidth = 30;
    const int filled = int(std::clamp(fraction, 0.0, 1.0) * kBarWidth);
    const double elapsed = seconds_since(wall_start);
    const double fps = elapsed > 0 ? double(frames_kept) / elapsed : 0.0;
    const int left = fraction > 0.001 ? int(elapsed * (1 - fraction) / fraction + 0.5) : 0;
    std::fprintf(stderr, "\r[%.*s%*s] %3d%%  %5.1f fps  %d:%02d left ", filled,
                 "##############################", kBarWidth - filled, "", int(fraction * 100), fps,
                 left / 60, left % 60);
}

PlaybackPosition record_position(int frame, int)
{
    show_frame = frame;
    frame_position = player_position();
    frame_start_micros = headless_clock_micros();
    frame_start = std::chrono::steady_clock::now();
    frame_pending = !capture_done;
    const bool until_reached = stop_at_end_key && music_position(frame_position) >= end_key;
    const bool seconds_reached = max_frames >= 0 && frames_kept >= max_frames;
    if (frame_pending && (until_reached || seconds_reached)) {
        frame_pending = false;
        capture_done = true;
        headless_request_quit();
    }
    return frame_position;
}

void fail_and_stop(const std::string& why)
{
    std::fprintf(stderr, "%sinvitation-capture: %s\n", show_progress_bar ? "\n" : "", why.c_str());
    write_failed = true;
    capture_done = true;
    headless_request_quit();
}

// Ends the video's frame at exactly 1/60 s of virtual time (the pacing
// would otherwise stop at the next 0.1 ms step, 16.7 ms, and the pictures
// would drift from the sound by 0.2 %), then takes what the device played
// during the frame. The device started at the virtual moment the first show
// frame began and each frame is drawn from the position heard when it begins,
// as the live show draws it: so sound frame j belongs to the picture on show
// at j / 44100 s. The file keeps the device's sound frame for frame and gives
// each picture 1/60 s, 735 sound frames; a picture lasted 735.015 device
// frames, so by the end of the show the pictures run 2 ms ahead of the sound.
void add_video_frame(const std::vector<uint8_t>& pixels)
{
    const int64_t behind = frame_start_micros + kVideoFrameMicros - headless_clock_micros();
    if (behind > 0)
        headless_advance_clock(behind);
    uint32_t played_bytes = 0;
    platform_audio_position_bytes(&played_bytes); // the device keeps what it played up to now
    const std::vector<int16_t>& played = headless_audio_captured();
    const size_t wanted = size_t(frames_kept) * kSamplesPerFrame;
    const size_t available = std::min(wanted, played.size() / 2);
    if (!video_add_frame(video, pixels.data()) ||
        !video_add_audio(video, played.data() + 2 * audio_frames_sent, available - audio_frames_sent)) {
        fail_and_stop(video_error(video));
        return;
    }
    audio_frames_sent = available;
}

// Averages each 2 × 2 block of the frame into the next cell of the sheet.
void add_sheet_cell(const std::vector<uint8_t>& pixels)
{
    const int cell_x = sheet_cells_done % kSheetColumns * kCellWidth;
    const int cell_y = sheet_cells_done / kSheetColumns * kCellHeight;
    const size_t sheet_stride = size_t(kSheetColumns) * kCellWidth * 3;
    for (int y = 0; y < kCellHeight; ++y)
        for (int x = 0; x < kCellWidth; ++x)
            for (int c = 0; c < 3; ++c) {
                const size_t at = (size_t(2 * y) * kWidth + size_t(2 * x)) * 3 + size_t(c);
                const int sum = pixels[at] + pixels[at + 3] + pixels[at + kWidth * 3] + pixels[at + kWidth * 3 + 3];
                sheet[size_t(cell_y + y) * sheet_stride + size_t(cell_x + x) * 3 + size_t(c)] = uint8_t((sum + 2) / 4);
            }
    ++sheet_cells_done;
}

void on_swap(int)
{
    if (!frame_pending)
        return;
    frame_pending = false;
    ++frames_kept;
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
        if (!write_png_rgb(path.c_str(), pixels.data(), kWidth, kHeight))
            fail_and_stop("cannot write " + path + ": " + std::strerror(errno));
        shot.written = true;
    }
    const bool sheet_frame = !sheet.empty() && sheet_cells_done < kSheetColumns * kSheetRows &&
                             frames_kept - 1 == kSheetFirstFrame + int64_t(sheet_cells_done) * kSheetStepFrames;
    if ((video && !write_failed) || sheet_frame) {
        if (pixels.empty())
            pixels = headless_read_frame();
    }
    if (sheet_frame)
        add_sheet_cell(pixels);
    if (video && !write_failed)
        add_video_frame(pixels);
    if (show_progress_bar) {
        const double fraction = max_frames >= 0 ? double(frames_kept) / double(std::max<int64_t>(max_frames, 1))
                                                : double(music_position(frame_position)) / double(end_key);
        draw_progress(fraction);
    }
}

int usage(const std::string& why)
{
    std::fprintf(stderr, "invitation-capture: %s\n%s", why.c_str(), kUsage);
    return 2;
}

// A bad value: one line, exit status 1.
int refuse(const std::string& why)
{
    std::fprintf(stderr, "invitation-capture: %s\n", why.c_str());
    return 1;
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

// "AxB" with A and B whole numbers of at most 5 digits (beyond that the
// size check refuses them anyway).
bool parse_pair(const char* text, char separator, int& first, int& second)
{
    char* end = nullptr;
    errno = 0;
    const long a = std::strtol(text, &end, 10);
    if (end == text || *end != separator || errno || a < 0 || a > 99999)
        return false;
    const char* rest = end + 1;
    const long b = std::strtol(rest, &end, 10);
    if (end == rest || *end || errno || b < 0 || b > 99999)
        return false;
    first = int(a);
    second = int(b);
    return true;
}

bool parse_options(int argc, char** argv, Options& options, std::string& why)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const OptionSpec* spec = nullptr;
        for (const OptionSpec& candidate : kOptions)
            if (arg == candidate.name)
                spec = &candidate;
        if (!spec) {
            why = "unknown argument " + arg;
            return false;
        }
        if (i + 1 >= argc) {
            why = "missing value after " + arg;
            return false;
        }
        options.*spec->value = argv[++i];
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    std::string why;
    if (!parse_options(argc, argv, options, why))
        return usage(why);
    if (!options.png_dir != !options.times)
        return usage("--png and --at go together");
    if (options.times && !parse_times(options.times))
        return usage("--at takes milliseconds separated by commas, e.g. --at 0,5000,60000");
    if (options.until && options.seconds)
        return usage("--until and --seconds do not go together");
    if (options.size && !options.video_path)
        return usage("--size goes with --video");

    int width = kWidth, height = kHeight;
    if (options.size && !parse_pair(options.size, 'x', width, height))
        return refuse(std::string("--size takes WIDTHxHEIGHT, e.g. 1440x1080, not ") + options.size);
    if (options.until) {
        int order = 0, row = 0;
        if (!parse_pair(options.until, '/', order, row) || order > 255 || row > 255)
            return refuse(std::string("--until takes ORDER/ROW, e.g. 4/32, not ") + options.until);
        end_key = uint32_t(order) * 64 + uint32_t(row);
        stop_at_end_key = true;
    }
    if (options.seconds) {
        char* end = nullptr;
        const double seconds = std::strtod(options.seconds, &end);
        if (end == options.seconds || *end || !(seconds > 0 && seconds < 3600))
            return refuse(std::string("--seconds takes a length in seconds, e.g. 2.5, not ") + options.seconds);
        max_frames = int64_t(seconds * kFrameRate + 0.5);
    }
    if (options.video_path) {
        why = video_check(options.video_path, width, height);
        if (!why.empty())
            return refuse(why);
    }

    // From here on a partial file may exist: Ctrl-C is taken as Esc, and the
    // end of main takes the file away.
    struct sigaction action = {};
    action.sa_handler = on_signal;
    action.sa_flags = SA_RESETHAND; // a second Ctrl-C ends the program at once
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    if (options.sheet_path)
        sheet.assign(size_t(kSheetColumns) * kCellWidth * kSheetRows * kCellHeight * 3, 0);
    std::error_code error;
    if (options.png_dir) {
        png_dir = options.png_dir;
        if (!std::filesystem::create_directories(png_dir, error) && error)
            return refuse("cannot make " + png_dir + ": " + error.message());
    }
    if (options.video_path) {
        video = video_open(options.video_path, {width, height, kWidth, kHeight, kFrameRate, kSampleRate}, why);
        if (!video)
            return refuse(why);
        headless_audio_capture(1);
    }
    if (options.log_path && !(log_file = std::fopen(options.log_path, "w"))) {
        const int code = errno;
        video_close(video);
        return refuse(std::string("cannot write ") + options.log_path + ": " + std::strerror(code));
    }
    if (options.timings_path && !(timings_file = std::fopen(options.timings_path, "w"))) {
        const int code = errno;
        if (log_file)
            std::fclose(log_file);
        video_close(video);
        return refuse(std::string("cannot write ") + options.timings_path + ": " + std::strerror(code));
    }

    show_progress_bar = isatty(STDERR_FILENO);
    wall_start = std::chrono::steady_clock::now();
    set_position_source(record_position);
    headless_set_swap_hook(on_swap);
    headless_set_pump_hook(on_pump);
    int status = run_invitation();
    if (show_progress_bar) {
        if (!write_failed && !interrupted && status == 0)
            draw_progress(1.0, true);
        std::fputc('\n', stderr);
    }

    if (log_file && std::fclose(log_file) != 0) {
        std::fprintf(stderr, "invitation-capture: cannot write %s\n", options.log_path);
        status = 1;
    }
    if (timings_file && std::fclose(timings_file) != 0) {
        std::fprintf(stderr, "invitation-capture: cannot write %s\n", options.timings_path);
        status = 1;
    }
    if (interrupted) {
        std::fprintf(stderr, "invitation-capture: interrupted; %s\n",
                     video ? "no video written" : "the capture is incomplete");
        status = 1;
    } else if (!write_failed && status == 0) { // a failed start-up has said why already
        for (const Shot& shot : shots) {
            if (shot.written)
                continue;
            std::fprintf(stderr, "invitation-capture: the capture ended before %d ms: no frame_%d.png\n",
                         shot.at_ms, shot.at_ms);
            status = 1;
        }
    }
    if (write_failed)
        status = 1;
    if (options.sheet_path && status == 0 &&
        !write_png_rgb(options.sheet_path, sheet.data(), kSheetColumns * kCellWidth, kSheetRows * kCellHeight))
        status = refuse(std::string("cannot write ") + options.sheet_path + ": " + std::strerror(errno));
    if (video && status == 0 && frames_kept == 0)
        status = refuse("the show drew no frame to put in " + std::string(options.video_path));
    if (video && status == 0) {
        if (!video_finish(video)) {
            status = refuse(video_error(video));
        } else {
            const double wall = seconds_since(wall_start);
            std::fprintf(stderr,
                         "invitation-capture: wrote %s: %lld frames (%.2f s at %d fps, %dx%d) in %.1f s, %.1f fps\n",
                         options.video_path, static_cast<long long>(frames_kept),
                         double(frames_kept) / kFrameRate, kFrameRate, width, height, wall,
                         double(frames_kept) / wall);
        }
    }
    video_close(video);
    return status;
}
