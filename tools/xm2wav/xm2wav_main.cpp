// xm2wav: renders an XM song through the player to a 16-bit stereo WAV file.
//
//   xm2wav SONG.xm OUT.wav [--rate HZ] [--from ORDER/ROW | --from-seconds S]
//                          [--seconds S | --until ORDER/ROW]
//   xm2wav --info SONG.xm
//
// --info prints what the song says about itself, one field a line, and the
// length of one pass in seconds.
// Without a length the song plays once, up to where it first goes back to an
// order it has played (its end, or a jump back), at most 10 minutes; with
// --until, up to where that row would begin. --from starts where the song
// first plays that row, --from-seconds that far into it (to the nearest
// millisecond): the rest of the same render, bit for bit. The WAV is written to a
// temporary file beside OUT.wav and renamed into place when complete, so a
// failed run leaves no partial output.
#include <sys/stat.h>
#include <unistd.h>
#ifdef _WIN32
#include <io.h>
#endif

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "qxm.h"

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
    int from_order = -1, from_row = -1;
    double from_seconds = -1;      // ≥ 0: start this far into the song
    bool info = false;             // print the song's fields instead of rendering
};

[[noreturn]] void fail(const std::string& message)
{
    std::fprintf(stderr, "xm2wav: %s\n", message.c_str());
    std::exit(1);
}

const char* USAGE =
    "usage: xm2wav SONG.xm OUT.wav [--rate HZ] [--from ORDER/ROW | --from-seconds S] [--seconds S | --until "
    "ORDER/ROW], or xm2wav --info SONG.xm";

// ORDER/ROW, each 0..255, into order and row; else the option fails.
void parse_row(const std::string& option, const char* text, int& order, int& row)
{
    int consumed = 0;
    if (std::sscanf(text, "%d/%d%n", &order, &row, &consumed) != 2 || text[consumed] || order < 0 ||
        order > 255 || row < 0 || row > 255)
        fail(option + " must be ORDER/ROW, each 0..255");
}

// A number of seconds from 0 to 86400; else the option fails.
double parse_seconds(const std::string& option, const char* text)
{
    char* end = nullptr;
    const double seconds = std::strtod(text, &end);
    if (end == text || *end || !(seconds >= 0) || seconds > 86400)
        fail(option + " must be a number from 0 to 86400");
    return seconds;
}

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
        } else if (arg == "--info") {
            options.info = true;
        } else if (arg == "--rate") {
            char* end = nullptr;
            long rate = std::strtol(value(), &end, 10);
            if (*end || rate < QXM_MIN_RATE || rate > QXM_MAX_RATE)
                fail("--rate must be a whole number of Hz from " + std::to_string(QXM_MIN_RATE) +
                     " to " + std::to_string(QXM_MAX_RATE));
            options.rate = static_cast<int>(rate);
        } else if (arg == "--seconds") {
            options.seconds = parse_seconds(arg, value());
        } else if (arg == "--until") {
            parse_row(arg, value(), options.until_order, options.until_row);
        } else if (arg == "--from") {
            parse_row(arg, value(), options.from_order, options.from_row);
        } else if (arg == "--from-seconds") {
            options.from_seconds = parse_seconds(arg, value());
        } else if (arg.size() > 1 && arg[0] == '-') {
            fail("unknown option " + arg + "; " + USAGE);
        } else {
            paths.push_back(argv[i]);
        }
    }
    if (options.info) {
        if (paths.size() != 1)
            fail(USAGE);
        options.song_path = paths[0];
        return options;
    }
    if (paths.size() != 2)
        fail(USAGE);
    if (options.seconds >= 0 && options.until_order >= 0)
        fail("give either --seconds or --until, not both");
    if (options.from_seconds >= 0 && options.from_order >= 0)
        fail("give either --from or --from-seconds, not both");
    options.song_path = paths[0];
    options.wav_path = paths[1];
    return options;
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

// Prints the song's fields, one a line, as NAME: VALUE.
void print_info(const QxmSong* song, int rate)
{
    std::printf("title: %s\n", qxm_song_title(song));
    std::printf("tracker: %s\n", qxm_song_tracker(song));
    std::printf("channels: %d\n", qxm_song_channel_count(song));
    std::printf("orders: %d\n", qxm_song_order_count(song));
    std::printf("patterns: %d\n", qxm_song_pattern_count(song));
    std::printf("instruments: %d\n", qxm_song_instrument_count(song));
    for (int i = 0; i < qxm_song_instrument_count(song); ++i)
        std::printf("instrument %d: %s\n", i + 1, qxm_song_instrument_name(song, i));
    std::printf("speed: %d\n", qxm_song_initial_speed(song));
    std::printf("bpm: %d\n", qxm_song_initial_bpm(song));
    std::printf("frequency table: %s\n", qxm_song_linear_frequencies(song) ? "linear" : "amiga");
    std::printf("seconds: %.3f\n", static_cast<double>(qxm_song_duration_ms(song, rate, 1)) / 1000);
}

// The player for the song as options ask: its end (one pass, or the row of
// --until) unless a length is given, and its start.
QxmPlayer* start_player(const Options& options, const QxmSong* song)
{
    QxmPlayer* player = qxm_player_create(song, options.rate);
    if (!player)
        fail("out of memory");
    if (options.seconds < 0) {
        qxm_player_end_after_loops(player, 1);
        qxm_player_end_at(player, options.until_order, options.until_row);
    }
    // The start is sought with the end set, so that one past the end is refused.
    if (options.from_order >= 0 && !qxm_player_seek_row(player, options.from_order, options.from_row))
        fail(std::string(options.song_path) + ": the song never plays " + std::to_string(options.from_order) + "/" +
             std::to_string(options.from_row) + (options.seconds < 0 ? " before its end" : ""));
    if (options.from_seconds >= 0 &&
        !qxm_player_seek_ms(player, static_cast<int64_t>(options.from_seconds * 1000 + 0.5))) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%g", options.from_seconds);
        fail(std::string(options.song_path) + ": the song ends before " + seconds + " s");
    }
    return player;
}

// The WAV file being written: a temporary file beside the one asked for,
// which takes its name only once it is whole, so a failed run leaves no
// half-written file under the name.
struct WavFile {
    const char* path = nullptr;
    std::string temp_path;
    int fd = -1;
    FILE* out = nullptr;
};

[[noreturn]] void abandon(WavFile& wav, const std::string& message)
{
    std::fclose(wav.out);
    std::remove(wav.temp_path.c_str());
    fail(message);
}

WavFile open_wav(const char* path, int rate)
{
    WavFile wav;
    wav.path = path;
    wav.temp_path = std::string(path) + ".XXXXXX";
    wav.fd = mkstemp(wav.temp_path.data());
    if (wav.fd < 0)
        fail(std::string(path) + ": cannot create a temporary file beside it: " + std::strerror(errno));
    give_new_file_permissions(wav.fd);
    wav.out = fdopen(wav.fd, "wb");
    const std::vector<unsigned char> header = wav_header(rate, 0);
    if (std::fwrite(header.data(), 1, header.size(), wav.out) != header.size())
        abandon(wav, std::string(path) + ": write error");
    return wav;
}

// Writes the header with the sound's length, and gives the file its name.
void finish_wav(WavFile& wav, int rate, int64_t frames)
{
    const std::vector<unsigned char> header = wav_header(rate, static_cast<uint32_t>(frames * 4));
    if (std::fseek(wav.out, 0, SEEK_SET) != 0 ||
        std::fwrite(header.data(), 1, header.size(), wav.out) != header.size() || std::fflush(wav.out) != 0 ||
        flush_to_disk(wav.fd) != 0)
        abandon(wav, std::string(wav.path) + ": write error");
    if (std::fclose(wav.out) != 0) {
        std::remove(wav.temp_path.c_str());
        fail(std::string(wav.path) + ": write error");
    }
    if (replace_file(wav.temp_path.c_str(), wav.path) != 0) {
        int error = errno;
        std::remove(wav.temp_path.c_str());
        fail(std::string(wav.path) + ": " + std::strerror(error));
    }
}

// Renders up to limit frames into the file, with a progress bar on a
// terminal; returns the frames written.
int64_t render_into(WavFile& wav, QxmPlayer* player, const QxmSong* song, const Options& options, int64_t limit)
{
    const bool progress = isatty(STDERR_FILENO);
    const int chunk_frames = 4096;
    std::vector<int16_t> pcm(2 * chunk_frames);
    int64_t frames_done = 0;
    int last_percent = -1;
    while (frames_done < limit) {
        int want = static_cast<int>(std::min<int64_t>(limit - frames_done, chunk_frames));
        int got = qxm_player_render_int16(player, pcm.data(), want);
        // WAV samples are little-endian: only a big-endian machine turns them round.
        if constexpr (std::endian::native == std::endian::big)
            for (int i = 0; i < 2 * got; ++i) {
                auto v = static_cast<uint16_t>(pcm[i]);
                pcm[i] = static_cast<int16_t>(static_cast<uint16_t>(v << 8 | v >> 8));
            }
        if (std::fwrite(pcm.data(), 4, static_cast<size_t>(got), wav.out) != static_cast<size_t>(got))
            abandon(wav, std::string(wav.path) + ": write error");
        frames_done += got;
        if (progress) {
            const QxmPosition at = qxm_player_position(player);
            double fraction = options.seconds >= 0 ? static_cast<double>(frames_done) / limit
                                                   : (at.order + static_cast<double>(at.row) / at.rows) /
                                                         qxm_song_order_count(song);
            int percent = static_cast<int>(fraction * 100);
            if (percent != last_percent) {
                show_progress(fraction);
                last_percent = percent;
            }
        }
        if (got < want)
            break;
    }
    return frames_done;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options = parse_options(argc, argv);
    char error[QXM_ERROR_SIZE];
    QxmSong* song = qxm_song_load_file(options.song_path, error);
    if (!song)
        fail(std::string(options.song_path) + ": " + error);
    if (options.info) {
        print_info(song, options.rate);
        qxm_song_free(song);
        return 0;
    }
    const int64_t limit_frames = options.seconds >= 0 ? static_cast<int64_t>(options.seconds * options.rate)
                                                      : MAX_DEFAULT_SECONDS * options.rate;
    if (limit_frames * 4 > 0xFFFFFFFFll - 36)
        fail("the output would exceed the 4 GiB a WAV file can hold");
    QxmPlayer* player = start_player(options, song);
    WavFile wav = open_wav(options.wav_path, options.rate);
    const int64_t frames = render_into(wav, player, song, options, limit_frames);

    // A song that ends before the row asked for never reaches it.
    const QxmPosition end = qxm_player_position(player);
    const bool missed = options.until_order >= 0 && !(end.ended && end.loops == 0);
    if (isatty(STDERR_FILENO)) {
        if (!missed)
            show_progress(1.0);
        std::fputc('\n', stderr);
    }
    qxm_player_free(player);
    qxm_song_free(song);
    if (missed)
        abandon(wav, std::string(options.song_path) + ": the song never reaches " +
                         std::to_string(options.until_order) + "/" + std::to_string(options.until_row));
    finish_wav(wav, options.rate, frames);
    return 0;
}
