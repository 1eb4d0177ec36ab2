// invitation-capture: runs the whole show on the headless backend, in virtual
// time paced at 60 Hz, with the song streamed through the same ring and feeder
// as in the real program, and records what it shows and plays.
//
//   invitation-capture [--log FILE] [--timings FILE] [--png DIR --at MS[,MS...]]
//                      [--video FILE.mp4|FILE.mkv] [--sheet FILE.png] [--size WxH]
//                      [--until ORDER/ROW | --seconds S]
//
// --log writes one line per show frame: "frame show_ms order row entry".
// --timings writes one line per show frame: "frame micros", the wall-clock
// time of the frame's drawing, from its music position to the GL pipeline
// finished (glFinish), without the capture's own reading and writing.
// --png writes, for each MS, the first show frame whose show_ms is at or past
// MS, as DIR/frame_MS.png (RGB, the picture's size).
// --video writes every show frame, from the first to the end of the show, at
// 60 frames a second with the sound the device played (video_file.h).
// --sheet writes a contact sheet: 4 × 3 frames at half size, one every 8.5 s
// of frames from 4 s on (what the capture did not reach stays black).
// --size sets the size the scenes draw at, 640x480 by default: a 4:3 size
// up to 2880x2160, for the pictures, the sheet and the video alike.
// --until and --seconds end the capture early: before the first frame heard
// at or past ORDER/ROW, or after S seconds of frames.
// Exits with the show's status; 1 when anything asked for was not written.
// The same command always gives the same log, pictures and video.
#include "data/show_tables.h"
#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "platform/recordable.h"
#include "png_file.h"
#include "shell/invitation.h"
#include "shell/player_wrappers.h"
#include "shell/recorder.h"
#include "shell/show_window.h"
#include "video_file.h"

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

constexpr int kFrameRate = 60;
constexpr int kSampleRate = 44100;
constexpr int kSamplesPerFrame = kSampleRate / kFrameRate;  // 735
// The smallest whole number of virtual microseconds that the show's pacing
// (which waits until more than 1/60 s has passed) accepts as one frame.
constexpr int64_t kVideoFrameMicros = 1000000 / kFrameRate + 1;

// Everything the command line can say: each option's text as given (null when
// it is not), then what read_options reads from them.
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

    std::vector<int> shot_ms;         // --at: show times to picture, ms
    int width = 640;                  // --size: the picture, pixels
    int height = 480;
    uint32_t end_key = kShowEndKey;   // MusicPosition at which the capture ends (the show's own end by default)
    bool stop_at_end_key = false;     // --until: frames from end_key on are not kept
    int64_t max_frames = -1;          // --seconds: frames to capture; -1 = to the end
};

struct OptionSpec {
    const char* name;
    const char* Options::*value;
};

// One more option is one more line here (and a field above). Every option
// takes one value.
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
    "                          [--video FILE.mp4|FILE.mkv] [--sheet FILE.png] [--size WxH]\n"
    "                          [--until ORDER/ROW | --seconds S]\n";

// The contact sheet: cells of half-size frames, left to right, top to bottom.
constexpr int kSheetColumns = 4;
constexpr int kSheetRows = 3;
constexpr int kSheetFirstFrame = 4 * kFrameRate;
constexpr int kSheetStepFrames = 17 * kFrameRate / 2;

// One capture: what it writes to and how far the show has come.
struct CaptureRun {
    Options options;
    FILE* log_file = nullptr;
    FILE* timings_file = nullptr;
    VideoFile* video = nullptr;
    Recorder recorder;               // the log, the timings and the moments of --at
    std::vector<uint8_t> sheet;      // the contact sheet, RGB; empty when not asked for
    int sheet_cells_done = 0;

    int64_t frame_start_micros = 0;  // virtual time at which the show frame being drawn began
    bool capture_done = false;       // --until or --seconds reached: later frames are not kept
    int64_t frames_kept = 0;
    size_t audio_frames_sent = 0;    // device frames handed to the video
    bool write_failed = false;

    bool show_progress_bar = false;
    std::chrono::steady_clock::time_point wall_start;
    std::chrono::steady_clock::time_point last_progress;
};

// The run the show's hooks, which take no context, work on.
CaptureRun run;
// Set by the signal handler, so a plain flag of its own.
volatile std::sig_atomic_t interrupted = 0;

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
    if (!force && now - run.last_progress < std::chrono::milliseconds(200))
        return;
    run.last_progress = now;
    constexpr int kBarWidth = 30;
    const int filled = int(std::clamp(fraction, 0.0, 1.0) * kBarWidth);
    const double elapsed = seconds_since(run.wall_start);
    const double fps = elapsed > 0 ? double(run.frames_kept) / elapsed : 0.0;
    const int left = fraction > 0.001 ? int(elapsed * (1 - fraction) / fraction + 0.5) : 0;
    std::fprintf(stderr, "\r[%.*s%*s] %3d%%  %5.1f fps  %d:%02d left ", filled,
                 "##############################", kBarWidth - filled, "", int(fraction * 100), fps,
                 left / 60, left % 60);
}

PlaybackPosition record_position(int frame, const ShowProgress& progress)
{
    const PlaybackPosition position = player_position();
    run.frame_start_micros = headless_clock_micros();
    recorder_begin_frame(run.recorder, frame, progress, position);
    run.recorder.pending = !run.capture_done;
    const Options& o = run.options;
    const bool until_reached = o.stop_at_end_key && music_position(position) >= o.end_key;
    const bool seconds_reached = o.max_frames >= 0 && run.frames_kept >= o.max_frames;
    if (run.recorder.pending && (until_reached || seconds_reached)) {
        run.recorder.pending = false;
        run.capture_done = true;
        headless_request_quit();
    }
    return position;
}

void fail_and_stop(const std::string& why)
{
    std::fprintf(stderr, "%sinvitation-capture: %s\n", run.show_progress_bar ? "\n" : "", why.c_str());
    run.write_failed = true;
    run.capture_done = true;
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
    const int64_t behind = run.frame_start_micros + kVideoFrameMicros - headless_clock_micros();
    if (behind > 0)
        headless_advance_clock(behind);
    uint32_t played_bytes = 0;
    platform_audio_position_bytes(&played_bytes); // the device keeps what it played up to now
    const std::vector<int16_t>& played = headless_audio_captured();
    const size_t wanted = size_t(run.frames_kept) * kSamplesPerFrame;
    const size_t available = std::min(wanted, played.size() / 2);
    if (!video_add_frame(run.video, pixels.data()) ||
        !video_add_audio(run.video, played.data() + 2 * run.audio_frames_sent, available - run.audio_frames_sent)) {
        fail_and_stop(video_error(run.video));
        return;
    }
    run.audio_frames_sent = available;
}

// Averages each 2 × 2 block of the frame into the next cell of the sheet.
void add_sheet_cell(const std::vector<uint8_t>& pixels)
{
    const size_t width = size_t(run.options.width);
    const int cell_width = run.options.width / 2, cell_height = run.options.height / 2;
    const int cell_x = run.sheet_cells_done % kSheetColumns * cell_width;
    const int cell_y = run.sheet_cells_done / kSheetColumns * cell_height;
    const size_t sheet_stride = size_t(kSheetColumns) * size_t(cell_width) * 3;
    for (int y = 0; y < cell_height; ++y)
        for (int x = 0; x < cell_width; ++x)
            for (int c = 0; c < 3; ++c) {
                const size_t at = (size_t(2 * y) * width + size_t(2 * x)) * 3 + size_t(c);
                const int sum = pixels[at] + pixels[at + 3] + pixels[at + width * 3] + pixels[at + width * 3 + 3];
                run.sheet[size_t(cell_y + y) * sheet_stride + size_t(cell_x + x) * 3 + size_t(c)] = uint8_t((sum + 2) / 4);
            }
    ++run.sheet_cells_done;
}

// Writes the pictures of the moments the frame reached.
void write_shots(const RecordedFrame& frame, std::vector<uint8_t>& pixels)
{
    for (int at_ms : frame.moments) {
        if (pixels.empty())
            pixels = platform_read_picture();
        const std::string path = std::string(run.options.png_dir) + "/frame_" + std::to_string(at_ms) + ".png";
        if (!write_png_rgb(path.c_str(), pixels.data(), run.options.width, run.options.height))
            fail_and_stop("cannot write " + path + ": " + std::strerror(errno));
    }
}

void on_swap(int)
{
    RecordedFrame frame;
    if (!recorder_end_frame(run.recorder, frame))
        return;
    ++run.frames_kept;
    if (run.timings_file)
        std::fputs(frame.timing_line.c_str(), run.timings_file);
    if (run.log_file)
        std::fputs(frame.log_line.c_str(), run.log_file);
    std::vector<uint8_t> pixels;
    write_shots(frame, pixels);
    const bool sheet_frame = !run.sheet.empty() && run.sheet_cells_done < kSheetColumns * kSheetRows &&
                             run.frames_kept - 1 == kSheetFirstFrame + int64_t(run.sheet_cells_done) * kSheetStepFrames;
    if (((run.video && !run.write_failed) || sheet_frame) && pixels.empty())
        pixels = platform_read_picture();
    if (sheet_frame)
        add_sheet_cell(pixels);
    if (run.video && !run.write_failed)
        add_video_frame(pixels);
    if (run.show_progress_bar) {
        const Options& o = run.options;
        const double fraction = o.max_frames >= 0 ? double(run.frames_kept) / double(std::max<int64_t>(o.max_frames, 1))
                                                  : double(music_position(run.recorder.position)) / double(o.end_key);
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

bool parse_times(const char* list, std::vector<int>& times)
{
    const char* p = list;
    while (*p) {
        char* end = nullptr;
        errno = 0;
        const long ms = std::strtol(p, &end, 10);
        if (end == p || errno || ms < 0 || ms > 24 * 3600 * 1000 || (*end && *end != ','))
            return false;
        times.push_back(int(ms));
        p = *end ? end + 1 : end;
    }
    return !times.empty();
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

// Parses the command line into options and checks it. Returns 0, or the
// exit status after the one line that says what is wrong: 2 for a command
// line that breaks the usage, 1 for a value that cannot be taken.
int read_options(int argc, char** argv, Options& options)
{
    std::string why;
    if (!parse_options(argc, argv, options, why))
        return usage(why);
    if (!options.png_dir != !options.times)
        return usage("--png and --at go together");
    if (options.times && !parse_times(options.times, options.shot_ms))
        return usage("--at takes milliseconds separated by commas, e.g. --at 0,5000,60000");
    if (options.until && options.seconds)
        return usage("--until and --seconds do not go together");

    if (options.size && (!parse_pair(options.size, 'x', options.width, options.height) ||
                         !set_picture_size(options.width, options.height)))
        return refuse(std::string("--size takes ") + kPictureSizes + ", e.g. 1440x1080, not " + options.size);
    if (options.until) {
        int order = 0, row = 0;
        if (!parse_pair(options.until, '/', order, row) || order > 255 || row > 255)
            return refuse(std::string("--until takes ORDER/ROW, e.g. 4/32, not ") + options.until);
        options.end_key = uint32_t(order) * 64 + uint32_t(row);
        options.stop_at_end_key = true;
    }
    if (options.seconds) {
        char* end = nullptr;
        const double seconds = std::strtod(options.seconds, &end);
        if (end == options.seconds || *end || !(seconds > 0 && seconds < 3600))
            return refuse(std::string("--seconds takes a length in seconds, e.g. 2.5, not ") + options.seconds);
        options.max_frames = int64_t(seconds * kFrameRate + 0.5);
    }
    if (options.video_path) {
        why = video_check(options.video_path, options.width, options.height);
        if (!why.empty())
            return refuse(why);
    }
    return 0;
}

// From here on a partial file may exist: Ctrl-C is taken as Esc, and the end
// of main takes the file away.
void take_interrupts()
{
    struct sigaction action = {};
    action.sa_handler = on_signal;
    action.sa_flags = SA_RESETHAND; // a second Ctrl-C ends the program at once
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// Makes the folder, the video and the files asked for. Returns 0, or 1 after
// the line that says what failed (with nothing left open).
int open_outputs(const Options& options)
{
    for (int at_ms : options.shot_ms)
        run.recorder.moments.push_back({at_ms, false});
    run.recorder.timed = options.timings_path != nullptr;
    if (options.sheet_path)
        run.sheet.assign(size_t(kSheetColumns) * size_t(options.width / 2) * kSheetRows * size_t(options.height / 2) * 3, 0);
    std::error_code error;
    if (options.png_dir && !std::filesystem::create_directories(options.png_dir, error) && error)
        return refuse(std::string("cannot make ") + options.png_dir + ": " + error.message());
    std::string why;
    if (options.video_path) {
        run.video = video_open(options.video_path,
                               {options.width, options.height, options.width, options.height, kFrameRate, kSampleRate},
                               why);
        if (!run.video)
            return refuse(why);
        headless_audio_capture(1);
    }
    if (options.log_path && !(run.log_file = std::fopen(options.log_path, "w"))) {
        const int code = errno;
        video_close(run.video);
        return refuse(std::string("cannot write ") + options.log_path + ": " + std::strerror(code));
    }
    if (options.timings_path && !(run.timings_file = std::fopen(options.timings_path, "w"))) {
        const int code = errno;
        if (run.log_file)
            std::fclose(run.log_file);
        video_close(run.video);
        return refuse(std::string("cannot write ") + options.timings_path + ": " + std::strerror(code));
    }
    return 0;
}

// Runs the show with the capture's hooks in, the bar on a terminal. Returns
// the show's status.
int run_show()
{
    run.show_progress_bar = isatty(STDERR_FILENO);
    run.wall_start = std::chrono::steady_clock::now();
    set_position_source(record_position);
    platform_set_swap_observer(on_swap);
    headless_set_pump_hook(on_pump);
    const int status = run_invitation();
    if (run.show_progress_bar) {
        if (!run.write_failed && !interrupted && status == 0)
            draw_progress(1.0, true);
        std::fputc('\n', stderr);
    }
    return status;
}

// Closes the logs and says what the capture did not reach. Returns status,
// or 1 when anything asked for was not written.
int close_logs(const Options& options, int status)
{
    if (run.log_file && std::fclose(run.log_file) != 0) {
        std::fprintf(stderr, "invitation-capture: cannot write %s\n", options.log_path);
        status = 1;
    }
    if (run.timings_file && std::fclose(run.timings_file) != 0) {
        std::fprintf(stderr, "invitation-capture: cannot write %s\n", options.timings_path);
        status = 1;
    }
    if (interrupted) {
        std::fprintf(stderr, "invitation-capture: interrupted; %s\n",
                     run.video ? "no video written" : "the capture is incomplete");
        status = 1;
    } else if (!run.write_failed && status == 0) { // a failed start-up has said why already
        for (const RecorderMoment& moment : run.recorder.moments) {
            if (moment.taken)
                continue;
            std::fprintf(stderr, "invitation-capture: the capture ended before %d ms: no frame_%d.png\n",
                         moment.at_ms, moment.at_ms);
            status = 1;
        }
    }
    return run.write_failed ? 1 : status;
}

// Writes the sheet and finishes the video when all went well; the video goes
// either way. Returns the final status.
int finish_outputs(const Options& options, int status)
{
    if (options.sheet_path && status == 0 &&
        !write_png_rgb(options.sheet_path, run.sheet.data(), kSheetColumns * (options.width / 2),
                       kSheetRows * (options.height / 2)))
        status = refuse(std::string("cannot write ") + options.sheet_path + ": " + std::strerror(errno));
    if (run.video && status == 0 && run.frames_kept == 0)
        status = refuse("the show drew no frame to put in " + std::string(options.video_path));
    if (run.video && status == 0) {
        if (!video_finish(run.video)) {
            status = refuse(video_error(run.video));
        } else {
            const double wall = seconds_since(run.wall_start);
            std::fprintf(stderr,
                         "invitation-capture: wrote %s: %lld frames (%.2f s at %d fps, %dx%d) in %.1f s, %.1f fps\n",
                         options.video_path, static_cast<long long>(run.frames_kept),
                         double(run.frames_kept) / kFrameRate, kFrameRate, options.width,
                         options.height, wall, double(run.frames_kept) / wall);
        }
    }
    video_close(run.video);
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    if (const int refused = read_options(argc, argv, run.options))
        return refused;
    take_interrupts();
    if (const int failed = open_outputs(run.options))
        return failed;
    const int status = run_show();
    return finish_outputs(run.options, close_logs(run.options, status));
}
