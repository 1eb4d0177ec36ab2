// xm2wav: renders an XM song through the player to a 16-bit stereo WAV file.
//
//   xm2wav SONG.xm OUT.wav [--rate HZ] [--seconds S | --until ORDER/ROW]
//
// Without a length the song plays until it first returns to its restart
// position after the last order, at most 10 minutes. The WAV is written to a
// temporary file beside OUT.wav and renamed into place when complete, so a
// failed run leaves no partial output.
#include <sys/stat.h>
#include <unistd.h>
#ifdef _WIN32
#include <io.h>
#endif

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "player/memory_file.h"
#include "player/mixer.h"
#include "player/module.h"
#include "player/output.h"
#include "player/render.h"
#include "player/replay.h"

namespace {

// The few file services that differ on Windows: there, a file has no POSIX
// permissions to widen, fsync is _commit, and rename does not replace an
// existing file (the complete temporary file is ready before the old one goes).
#ifdef _WIN32
void give_new_file_permissions(int) {}
int flush_to_disk(int fd) { return _commit(fd); }
int replace_file(const char* from, const char* to)
{
    std::remove(to);
    return std::rename(from, to);
}
#elif defined(__EMSCRIPTEN__)
// Under node, Emscripten's umask is its own (0777 at start), not the
// process's: give the file the usual 0644.
void give_new_file_permissions(int fd) { fchmod(fd, 0644); }
int flush_to_disk(int fd) { return fsync(fd); }
int replace_file(const char* from, const char* to) { return std::rename(from, to); }
#else
// mkstemp makes the file private; give it the permissions a new file gets.
void give_new_file_permissions(int fd)
{
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
}
int flush_to_disk(int fd) { return fsync(fd); }
int replace_file(const char* from, const char* to) { return std::rename(from, to); }
#endif

constexpr int DEFAULT_RATE = 44100;
constexpr int64_t MAX_DEFAULT_SECONDS = 600;

struct Options {
    const char* song_path = nullptr;
    const char* wav_path = nullptr;
    int rate = DEFAULT_RATE;
    double seconds = -1;           // ≥ 0: render exactly this long
    int until_order = -1, until_row = -1;
};

[[noreturn]] void fail(const std::string& message)
{
    std::fprintf(stderr, "xm2wav: %s\n", message.c_str());
    std::exit(1);
}

const char* USAGE = "usage: xm2wav SONG.xm OUT.wav [--rate HZ] [--seconds S | --until ORDER/ROW]";

Options parse_options(int argc, char** argv)
{
    Options options;
    std::vector<const char*> paths;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc)
                fail(arg + " needs a value; " + USAGE);
            return argv[++i];
        };
        if (arg == "-h" || arg == "--help") {
            std::printf("%s\n", USAGE);
            std::exit(0);
        } else if (arg == "--rate") {
            char* end = nullptr;
            long rate = std::strtol(value(), &end, 10);
            if (*end || rate < MIN_OUTPUT_RATE || rate > MAX_OUTPUT_RATE)
                fail("--rate must be a whole number of Hz from " + std::to_string(MIN_OUTPUT_RATE) +
                     " to " + std::to_string(MAX_OUTPUT_RATE));
            options.rate = static_cast<int>(rate);
        } else if (arg == "--seconds") {
            char* end = nullptr;
            options.seconds = std::strtod(value(), &end);
            if (*end || !(options.seconds >= 0) || options.seconds > 86400)
                fail("--seconds must be a number from 0 to 86400");
        } else if (arg == "--until") {
            const char* text = value();
            int consumed = 0;
            if (std::sscanf(text, "%d/%d%n", &options.until_order, &options.until_row, &consumed) != 2 ||
                text[consumed] || options.until_order < 0 || options.until_order > 255 ||
                options.until_row < 0 || options.until_row > 255)
                fail("--until must be ORDER/ROW, each 0..255");
        } else if (arg.size() > 1 && arg[0] == '-') {
            fail("unknown option " + arg + "; " + USAGE);
        } else {
            paths.push_back(argv[i]);
        }
    }
    if (paths.size() != 2)
        fail(USAGE);
    if (options.seconds >= 0 && options.until_order >= 0)
        fail("give either --seconds or --until, not both");
    options.song_path = paths[0];
    options.wav_path = paths[1];
    return options;
}

std::vector<unsigned char> read_file(const char* path)
{
    FILE* file = std::fopen(path, "rb");
    if (!file)
        fail(std::string(path) + ": " + std::strerror(errno));
    std::vector<unsigned char> bytes;
    unsigned char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        bytes.insert(bytes.end(), buffer, buffer + n);
        if (bytes.size() > 0x7FFFFFFF)
            fail(std::string(path) + ": too large to be an XM song");
    }
    bool read_error = std::ferror(file);
    std::fclose(file);
    if (read_error)
        fail(std::string(path) + ": read error");
    return bytes;
}

// Where rendering stops: the position of the row the next tick would start.
struct StopRule {
    int until_order = -1, until_row = -1;  // --until; otherwise the return to the restart position
    bool last_order_played = false;
};

bool stop_before_tick(const Module* m, void* context)
{
    auto* rule = static_cast<StopRule*>(context);
    if (m->tick != 0 || m->repeating_row)
        return false;
    int order = m->next_order >= 0 ? m->next_order : m->order;
    int row = m->next_row >= 0 ? m->next_row : m->row;
    bool started = m->next_row >= 0;  // a row has been played
    if (rule->until_order >= 0)
        return order == rule->until_order && row == rule->until_row;
    if (started && m->order == m->song_length - 1)
        rule->last_order_played = true;
    return rule->last_order_played && order == m->restart_position && row == 0;
}

void put_le(std::vector<unsigned char>& out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

std::vector<unsigned char> wav_header(int rate, uint32_t data_bytes)
{
    std::vector<unsigned char> h;
    auto text = [&](const char* t) { h.insert(h.end(), t, t + 4); };
    text("RIFF");
    put_le(h, 36 + data_bytes, 4);
    text("WAVE");
    text("fmt ");
    put_le(h, 16, 4);
    put_le(h, 1, 2);  // PCM
    put_le(h, 2, 2);
    put_le(h, static_cast<uint32_t>(rate), 4);
    put_le(h, static_cast<uint32_t>(rate) * 4, 4);
    put_le(h, 4, 2);
    put_le(h, 16, 2);
    text("data");
    put_le(h, data_bytes, 4);
    return h;
}

void show_progress(double fraction)
{
    constexpr int WIDTH = 40;
    int filled = static_cast<int>(fraction * WIDTH);
    std::fprintf(stderr, "\r[%-*.*s] %3d%%", WIDTH, filled,
                 "########################################", static_cast<int>(fraction * 100));
}

}  // namespace

int main(int argc, char** argv)
{
    Options options = parse_options(argc, argv);
    std::vector<unsigned char> song = read_file(options.song_path);
    memory_source_use(song.data(), static_cast<int32_t>(song.size()));
    output_configure(options.rate);
    Module* module = module_create(options.song_path);
    if (!module)
        fail(std::string(options.song_path) + ": " + module_error);
    replay_start(module);

    const int64_t limit_frames =
        options.seconds >= 0 ? static_cast<int64_t>(options.seconds * options.rate)
                             : MAX_DEFAULT_SECONDS * options.rate;
    if (limit_frames * 4 > 0xFFFFFFFFll - 36)
        fail("the output would exceed the 4 GiB a WAV file can hold");
    StopRule rule;
    rule.until_order = options.until_order;
    rule.until_row = options.until_row;
    RenderStop stop = options.seconds >= 0 ? nullptr : stop_before_tick;

    std::string temp_path = std::string(options.wav_path) + ".XXXXXX";
    int fd = mkstemp(temp_path.data());
    if (fd < 0)
        fail(std::string(options.wav_path) + ": cannot create a temporary file beside it: " +
             std::strerror(errno));
    give_new_file_permissions(fd);
    FILE* out = fdopen(fd, "wb");
    auto write_failed = [&]() {
        std::fclose(out);
        std::remove(temp_path.c_str());
        fail(std::string(options.wav_path) + ": write error");
    };
    std::vector<unsigned char> header = wav_header(options.rate, 0);
    if (std::fwrite(header.data(), 1, header.size(), out) != header.size())
        write_failed();

    const bool progress = isatty(STDERR_FILENO);
    // Rendered in the streaming ring's blocks: ramps restart at every call of
    // the mixer, so the same chunks give the same samples the show plays.
    const int chunk_frames = block_frames;
    std::vector<float> mix(2 * chunk_frames);
    std::vector<int16_t> pcm(2 * chunk_frames);
    std::vector<unsigned char> bytes(4 * chunk_frames);
    int64_t frames_done = 0;
    int last_percent = -1;
    while (frames_done < limit_frames) {
        int want = static_cast<int>(limit_frames - frames_done < chunk_frames ? limit_frames - frames_done
                                                                              : chunk_frames);
        int got = render_mix(module, mix.data(), want, stop, &rule);
        float_to_pcm16(pcm.data(), mix.data(), got);
        for (int i = 0; i < 2 * got; ++i) {
            auto v = static_cast<uint16_t>(pcm[i]);
            bytes[2 * i] = static_cast<unsigned char>(v);
            bytes[2 * i + 1] = static_cast<unsigned char>(v >> 8);
        }
        if (std::fwrite(bytes.data(), 4, static_cast<size_t>(got), out) != static_cast<size_t>(got))
            write_failed();
        frames_done += got;
        if (progress) {
            int rows = module->patterns[module->order_table[module->order]].row_count;
            double fraction = options.seconds >= 0
                                  ? static_cast<double>(frames_done) / limit_frames
                                  : (module->order + static_cast<double>(module->row) / rows) /
                                        module->song_length;
            int percent = static_cast<int>(fraction * 100);
            if (percent != last_percent) {
                show_progress(fraction);
                last_percent = percent;
            }
        }
        if (got < want)
            break;
    }
    if (progress) {
        show_progress(1.0);
        std::fputc('\n', stderr);
    }
    module_free(module);

    header = wav_header(options.rate, static_cast<uint32_t>(frames_done * 4));
    if (std::fseek(out, 0, SEEK_SET) != 0 ||
        std::fwrite(header.data(), 1, header.size(), out) != header.size() || std::fflush(out) != 0 ||
        flush_to_disk(fd) != 0)
        write_failed();
    if (std::fclose(out) != 0) {
        std::remove(temp_path.c_str());
        fail(std::string(options.wav_path) + ": write error");
    }
    if (replace_file(temp_path.c_str(), options.wav_path) != 0) {
        int error = errno;
        std::remove(temp_path.c_str());
        fail(std::string(options.wav_path) + ": " + std::strerror(error));
    }
    return 0;
}
