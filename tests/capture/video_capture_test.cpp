// invitation-capture's video files, decoded back with FFmpeg's libraries and
// held against the capture's own PNG pictures and against the song as xm2wav
// renders it; and its refusals, each one line with nothing left behind.
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kRate = 44100;
constexpr int kFps = 60;
// The figure takes a new pose every 4 rows (38.4 frames): at 608 ms of show
// time comes the first frame of a pose, at 1200 ms the last one, so a
// picture taken from a neighbouring frame shows.
constexpr int kShotMs = 608;
constexpr int kLastShotMs = 1200;

struct Outcome {
    int status = -1;
    std::string err;
};

// Runs a program with stderr kept; limit_bytes > 0 caps the size of any file
// it writes, as a full disk would (writes past it fail with EFBIG); meanwhile
// is called with the program's process id while it runs.
Outcome run(std::vector<std::string> args, const fs::path& err_path, long limit_bytes = 0,
            const std::function<void(pid_t)>& meanwhile = nullptr)
{
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    rlimit old_limit{};
    if (limit_bytes > 0) {
        // Inherited by the child: no SIGXFSZ, and a cap on file size.
        signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old_limit);
        rlimit limit = {rlim_t(limit_bytes), old_limit.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    if (limit_bytes > 0) {
        setrlimit(RLIMIT_FSIZE, &old_limit);
        signal(SIGXFSZ, SIG_DFL);
    }
    posix_spawn_file_actions_destroy(&actions);
    if (spawned == 0 && meanwhile)
        meanwhile(pid);
    Outcome result;
    int wait_status = 0;
    if (spawned == 0 && waitpid(pid, &wait_status, 0) == pid && WIFEXITED(wait_status))
        result.status = WEXITSTATUS(wait_status);
    std::ifstream in(err_path);
    std::stringstream text;
    text << in.rdbuf();
    result.err = text.str();
    return result;
}

int line_count(const std::string& text)
{
    int lines = 0;
    for (char c : text)
        lines += c == '\n';
    return lines;
}

// A decoded video file: its streams, frame count and rate, the RGB pictures
// asked for, and its sound as stereo frames in 16-bit units.
struct Decoded {
    std::string video_codec, audio_codec;
    AVPixelFormat pixel_format = AV_PIX_FMT_NONE;
    AVRational frame_rate = {0, 1};
    int width = 0, height = 0;
    int frames = 0;
    double video_seconds = 0, audio_seconds = 0;  // as the container states them
    std::map<int, std::vector<uint8_t>> pictures; // frame index → RGB, top row first
    std::map<int, std::vector<uint8_t>> luma;     // frame index → the Y plane of yuv420p frames
    std::vector<float> sound;
};

// Decodes the whole file; pictures keeps the frames listed in wanted.
Decoded decode(const fs::path& path, std::set<int> wanted = {})
{
    Decoded out;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0)
        return out;
    avformat_find_stream_info(format, nullptr);
    const int video_index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const int audio_index = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    AVCodecContext* decoders[2] = {};
    for (int i = 0; i < 2; ++i) {
        const int index = i == 0 ? video_index : audio_index;
        if (index < 0)
            continue;
        AVStream* stream = format->streams[index];
        const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
        decoders[i] = avcodec_alloc_context3(codec);
        avcodec_parameters_to_context(decoders[i], stream->codecpar);
        avcodec_open2(decoders[i], codec, nullptr);
        const double seconds = stream->duration > 0 ? double(stream->duration) * av_q2d(stream->time_base)
                                                    : double(format->duration) / AV_TIME_BASE;
        (i == 0 ? out.video_seconds : out.audio_seconds) = seconds;
        (i == 0 ? out.video_codec : out.audio_codec) = codec->name;
    }
    if (video_index >= 0)
        out.frame_rate = format->streams[video_index]->avg_frame_rate;

    SwsContext* to_rgb = nullptr;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto take = [&](int which) {
        while (avcodec_receive_frame(decoders[which], frame) == 0) {
            if (which == 0) {
                out.width = frame->width;
                out.height = frame->height;
                out.pixel_format = AVPixelFormat(frame->format);
                if (wanted.count(out.frames)) {
                    to_rgb = sws_getCachedContext(to_rgb, frame->width, frame->height, out.pixel_format,
                                                  frame->width, frame->height, AV_PIX_FMT_RGB24,
                                                  SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT,
                                                  nullptr, nullptr, nullptr);
                    if (out.pixel_format == AV_PIX_FMT_YUV420P)
                        sws_setColorspaceDetails(to_rgb, sws_getCoefficients(SWS_CS_ITU709), 0,
                                                 sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
                    std::vector<uint8_t>& rgb = out.pictures[out.frames];
                    rgb.resize(size_t(frame->width) * frame->height * 3);
                    uint8_t* planes[1] = {rgb.data()};
                    const int strides[1] = {frame->width * 3};
                    sws_scale(to_rgb, frame->data, frame->linesize, 0, frame->height, planes, strides);
                    if (out.pixel_format == AV_PIX_FMT_YUV420P) {
                        std::vector<uint8_t>& y = out.luma[out.frames];
                        for (int row = 0; row < frame->height; ++row)
                            y.insert(y.end(), frame->data[0] + size_t(row) * frame->linesize[0],
                                     frame->data[0] + size_t(row) * frame->linesize[0] + frame->width);
                    }
                }
                ++out.frames;
            } else {
                for (int i = 0; i < frame->nb_samples; ++i)
                    for (int channel = 0; channel < 2; ++channel) {
                        if (frame->format == AV_SAMPLE_FMT_S16)
                            out.sound.push_back(reinterpret_cast<int16_t*>(frame->data[0])[2 * i + channel]);
                        else if (frame->format == AV_SAMPLE_FMT_FLTP)
                            out.sound.push_back(reinterpret_cast<float*>(frame->data[channel])[i] * 32768.0f);
                    }
            }
        }
    };
    while (av_read_frame(format, packet) >= 0) {
        const int which = packet->stream_index == video_index ? 0 : packet->stream_index == audio_index ? 1 : -1;
        if (which >= 0 && avcodec_send_packet(decoders[which], packet) >= 0)
            take(which);
        av_packet_unref(packet);
    }
    for (int which = 0; which < 2; ++which)
        if (decoders[which] && avcodec_send_packet(decoders[which], nullptr) >= 0)
            take(which);
    sws_freeContext(to_rgb);
    av_frame_free(&frame);
    av_packet_free(&packet);
    for (AVCodecContext*& decoder : decoders)
        avcodec_free_context(&decoder);
    avformat_close_input(&format);
    return out;
}

// A PNG from the capture, decoded by the same libraries.
std::vector<uint8_t> png_pixels(const fs::path& path)
{
    const Decoded picture = decode(path, {0});
    return picture.pictures.count(0) ? picture.pictures.at(0) : std::vector<uint8_t>{};
}

// The song's first frames as xm2wav renders them: 16-bit stereo.
std::vector<int16_t> song_samples(const fs::path& work, double seconds)
{
    const fs::path wav = work / "song.wav";
    run({XM2WAV_PATH, SONG_PATH, wav.string(), "--seconds", std::to_string(seconds)}, work / "xm2wav.err");
    std::ifstream in(wav, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The data chunk follows the 12-byte RIFF header and the chunks before it.
    size_t at = 12;
    while (at + 8 <= bytes.size() && std::string(&bytes[at], 4) != "data") {
        uint32_t size = 0;
        std::memcpy(&size, &bytes[at + 4], 4);
        at += 8 + size;
    }
    std::vector<int16_t> samples((bytes.size() - std::min(bytes.size(), at + 8)) / 2);
    if (!samples.empty())
        std::memcpy(samples.data(), &bytes[at + 8], samples.size() * 2);
    return samples;
}

// The BT.709 limited-range luma of RGB pixels, as the mp4 stores it.
std::vector<uint8_t> luma_of(const std::vector<uint8_t>& rgb)
{
    std::vector<uint8_t> y(rgb.size() / 3);
    for (size_t i = 0; i < y.size(); ++i) {
        const double light = 0.2126 * rgb[3 * i] + 0.7152 * rgb[3 * i + 1] + 0.0722 * rgb[3 * i + 2];
        y[i] = uint8_t(std::lround(16 + 219 * light / 255));
    }
    return y;
}

double psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b)
{
    double squares = 0;
    for (size_t i = 0; i < a.size(); ++i)
        squares += double(a[i] - b[i]) * double(a[i] - b[i]);
    const double mean = squares / double(a.size());
    return mean == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mean);
}

// RMS of the mono mix in windows of 1024 frames.
std::vector<double> envelope(const std::vector<float>& sound)
{
    constexpr size_t kWindow = 1024;
    std::vector<double> levels;
    for (size_t start = 0; start + kWindow <= sound.size() / 2; start += kWindow) {
        double sum = 0;
        for (size_t i = start; i < start + kWindow; ++i) {
            const double mono = (sound[2 * i] + sound[2 * i + 1]) / 2;
            sum += mono * mono;
        }
        levels.push_back(std::sqrt(sum / kWindow));
    }
    return levels;
}

double correlation(const std::vector<double>& a, const std::vector<double>& b)
{
    const size_t n = std::min(a.size(), b.size());
    double mean_a = 0, mean_b = 0;
    for (size_t i = 0; i < n; ++i) {
        mean_a += a[i] / double(n);
        mean_b += b[i] / double(n);
    }
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < n; ++i) {
        ab += (a[i] - mean_a) * (b[i] - mean_b);
        aa += (a[i] - mean_a) * (a[i] - mean_a);
        bb += (b[i] - mean_b) * (b[i] - mean_b);
    }
    return ab / std::sqrt(aa * bb);
}

// The frame index of the first log line at or past ms of show time.
int frame_at(const fs::path& log, int ms)
{
    std::ifstream in(log);
    int frame = 0, show_ms = 0, order = 0, row = 0, entry = 0;
    while (in >> frame >> show_ms >> order >> row >> entry)
        if (show_ms >= ms)
            return frame;
    return -1;
}

int log_lines(const fs::path& log)
{
    std::ifstream in(log);
    std::string line;
    int lines = 0;
    while (std::getline(in, line))
        ++lines;
    return lines;
}

// One short capture to each container, made once per test process and
// only when a test asks for it: the first 24 rows of the show (3.84 s), with
// the log and two pictures.
struct ShortCapture {
    fs::path dir;
    Outcome outcome;
    Decoded video;
};

fs::path short_capture_work()
{
    static const fs::path work = [] {
        const fs::path path = fs::temp_directory_path() / ("capture_test_" + std::to_string(getpid()));
        fs::remove_all(path);
        fs::create_directories(path);
        return path;
    }();
    return work;
}

const ShortCapture& short_capture(const std::string& kind)
{
    static std::map<std::string, ShortCapture> made;
    if (made.count(kind))
        return made[kind];
    ShortCapture& capture = made[kind];
    capture.dir = short_capture_work() / kind;
    capture.outcome = run({CAPTURE_PATH, "--video", (capture.dir / ("show." + kind)).string(), "--until", "0/24",
                           "--log", (capture.dir / "show.log").string(), "--png", capture.dir.string(), "--at",
                           std::to_string(kShotMs) + "," + std::to_string(kLastShotMs)},
                          short_capture_work() / (kind + ".err"));
    const int shot = frame_at(capture.dir / "show.log", kShotMs);
    const int last_shot = frame_at(capture.dir / "show.log", kLastShotMs);
    capture.video = decode(capture.dir / ("show." + kind), {shot - 1, shot, last_shot, last_shot + 1});
    return capture;
}

class VideoCapture : public testing::Test {
protected:
    static void TearDownTestSuite() { fs::remove_all(short_capture_work()); }
};

TEST_F(VideoCapture, MkvHoldsEveryFrameAndTheDeviceSoundLosslessly)
{
    const ShortCapture& capture = short_capture("mkv");
    ASSERT_EQ(capture.outcome.status, 0) << capture.outcome.err;
    EXPECT_EQ(line_count(capture.outcome.err), 1) << "one summary line when stderr is no terminal:\n"
                                                  << capture.outcome.err;
    const Decoded& mkv = capture.video;
    const fs::path work = short_capture_work();
    EXPECT_EQ(mkv.video_codec, "ffv1");
    EXPECT_EQ(mkv.audio_codec, "flac");
    EXPECT_EQ(mkv.frame_rate.num, kFps);
    EXPECT_EQ(mkv.frame_rate.den, 1);
    const int frames = log_lines(work / "mkv" / "show.log");
    EXPECT_EQ(mkv.frames, frames) << "one video frame per show frame";
    EXPECT_GT(frames, 3 * kFps);

    // The picture of the --png moment, exactly; its neighbours differ, so
    // the frame is the right one and not merely a similar one.
    const int shot = frame_at(work / "mkv" / "show.log", kShotMs);
    const int last_shot = frame_at(work / "mkv" / "show.log", kLastShotMs);
    const std::vector<uint8_t> png = png_pixels(work / "mkv" / ("frame_" + std::to_string(kShotMs) + ".png"));
    const std::vector<uint8_t> last_png =
        png_pixels(work / "mkv" / ("frame_" + std::to_string(kLastShotMs) + ".png"));
    ASSERT_EQ(png.size(), size_t(640 * 480 * 3));
    EXPECT_EQ(mkv.pictures.at(shot), png);
    EXPECT_NE(mkv.pictures.at(shot - 1), png);
    EXPECT_EQ(mkv.pictures.at(last_shot), last_png);
    EXPECT_NE(mkv.pictures.at(last_shot + 1), last_png);

    // The sound is the song from its first frame, 735 frames a picture.
    ASSERT_EQ(mkv.sound.size(), size_t(frames) * 735 * 2);
    const std::vector<int16_t> song = song_samples(work, 5.0);
    ASSERT_GE(song.size(), mkv.sound.size());
    size_t first_difference = mkv.sound.size();
    for (size_t i = 0; i < mkv.sound.size() && first_difference == mkv.sound.size(); ++i)
        if (mkv.sound[i] != float(song[i]))
            first_difference = i;
    EXPECT_EQ(first_difference, mkv.sound.size()) << "differs from the song at frame " << first_difference / 2;
}

TEST_F(VideoCapture, Mp4IsH264AndAacCloseToTheLosslessCapture)
{
    const ShortCapture& capture = short_capture("mp4");
    ASSERT_EQ(capture.outcome.status, 0) << capture.outcome.err;
    const Decoded& mp4 = capture.video;
    const Decoded& mkv = short_capture("mkv").video;
    const fs::path work = short_capture_work();
    EXPECT_EQ(mp4.video_codec, "h264");
    EXPECT_EQ(mp4.pixel_format, AV_PIX_FMT_YUV420P);
    EXPECT_EQ(mp4.audio_codec, "aac");
    const double frame = 1.0 / kFps;
    const double seconds = double(log_lines(work / "mp4" / "show.log")) / kFps;
    EXPECT_EQ(mp4.frames, mkv.frames);
    EXPECT_NEAR(mp4.video_seconds, seconds, frame);
    EXPECT_NEAR(mp4.audio_seconds, seconds, frame);

    EXPECT_GE(correlation(envelope(mp4.sound), envelope(mkv.sound)), 0.99);
    const int shot = frame_at(work / "mp4" / "show.log", kShotMs);
    const std::vector<uint8_t> png = png_pixels(work / "mp4" / ("frame_" + std::to_string(kShotMs) + ".png"));
    ASSERT_EQ(mp4.pictures.at(shot).size(), png.size());
    // Luma carries the encoder's loss. yuv420p keeps colour at half
    // resolution, which alone costs the figure's sharp red edges about 34 dB
    // in RGB; a swapped or misplaced colour plane would cost far more.
    const double luma_psnr = psnr(mp4.luma.at(shot), luma_of(png));
    const double rgb_psnr = psnr(mp4.pictures.at(shot), png);
    EXPECT_GE(luma_psnr, 35.0);
    EXPECT_GE(rgb_psnr, 30.0);
    std::printf("mp4 frame %d against its PNG: luma %.1f dB, RGB %.1f dB\n", shot, luma_psnr, rgb_psnr);
}

// --size sets the size the scenes draw at: the picture, each video frame
// (lossless here, so the same bytes) and the sheet's cells are all drawn at
// it. That the drawing holds what the 640×480 picture shows, sharper, is the
// e2e size test's.
TEST(VideoCaptureSize, PicturesVideoAndSheetAreDrawnAtTheSize)
{
    const fs::path work = fs::temp_directory_path() / ("capture_size_" + std::to_string(getpid()));
    fs::remove_all(work);
    fs::create_directories(work);
    const std::string at = std::to_string(kShotMs);
    const Outcome result =
        run({CAPTURE_PATH, "--video", (work / "show.mkv").string(), "--size", "1280x960", "--seconds", "0.7", "--log",
             (work / "show.log").string(), "--png", work.string(), "--at", at, "--sheet", (work / "sheet.png").string()},
            work / "err");
    ASSERT_EQ(result.status, 0) << result.err;
    const std::vector<uint8_t> png = png_pixels(work / ("frame_" + at + ".png"));
    ASSERT_EQ(png.size(), size_t(1280 * 960 * 3));
    EXPECT_EQ(png_pixels(work / "sheet.png").size(), size_t(4 * 640 * 3 * 480 * 3));

    const int shot = frame_at(work / "show.log", kShotMs);
    Decoded video = decode(work / "show.mkv", {shot});
    ASSERT_EQ(video.width, 1280);
    ASSERT_EQ(video.height, 960);
    EXPECT_TRUE(video.pictures[shot] == png);
    fs::remove_all(work);
}

// Every refusal: exit status 1, one line, no file under the name asked for
// nor beside it.
TEST(VideoCaptureRefusals, BadRequestsAndFailedWritesLeaveNothingBehind)
{
    const fs::path work = fs::temp_directory_path() / ("capture_refusals_" + std::to_string(getpid()));
    fs::remove_all(work);
    fs::create_directories(work);
    std::ofstream(work / "a_file") << "not a folder";
    struct Case {
        std::vector<std::string> args;
        std::string target;   // the video asked for
        std::string says;     // part of the line
        long limit_bytes;
    };
    const std::string mp4 = (work / "show.mp4").string(), mkv = (work / "show.mkv").string();
    const Case cases[] = {
        {{"--video", (work / "show.avi").string()}, (work / "show.avi").string(), ".mp4", 0},
        {{"--video", (work / "missing" / "show.mp4").string()}, (work / "missing" / "show.mp4").string(),
         "No such file or directory", 0},
        {{"--video", (work / "a_file" / "show.mkv").string()}, (work / "a_file" / "show.mkv").string(),
         "Not a directory", 0},
        // The scenes draw at 4:3 sizes from 640x480 to 2880x2160 only.
        {{"--video", mp4, "--size", "0x480"}, mp4, "4:3 size", 0},
        {{"--video", mp4, "--size", "800x480"}, mp4, "4:3 size", 0},
        {{"--video", mp4, "--size", "320x240"}, mp4, "4:3 size", 0},
        {{"--video", mkv, "--size", "3200x2400"}, mkv, "4:3 size", 0},
        {{"--video", mp4, "--size", "big"}, mp4, "4:3 size", 0},
        {{"--video", mp4, "--size", "644x483"}, mp4, "even", 0},
        // A disk that fills up: the lossless file passes 200 kB in its first frames.
        {{"--video", mkv, "--seconds", "2"}, mkv, "File too large", 200000},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {CAPTURE_PATH};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Outcome result = run(args, work / "err", c.limit_bytes);
        EXPECT_EQ(result.status, 1) << c.args[1] << ": " << result.err;
        EXPECT_EQ(line_count(result.err), 1) << c.args[1] << ": " << result.err;
        EXPECT_NE(result.err.find(c.says), std::string::npos) << result.err;
        EXPECT_FALSE(fs::exists(c.target)) << c.target;
        EXPECT_FALSE(fs::exists(c.target + ".part")) << c.target;
    }

    // Ctrl-C: the capture stops, says so, and takes its partial file away.
    const Outcome interrupted = run({CAPTURE_PATH, "--video", mkv}, work / "err", 0, [&](pid_t pid) {
        // Once the file has grown past its header, the show is under way.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < deadline &&
               !(fs::exists(mkv + ".part") && fs::file_size(mkv + ".part") > 100000))
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        kill(pid, SIGINT);
    });
    EXPECT_EQ(interrupted.status, 1);
    EXPECT_NE(interrupted.err.find("interrupted"), std::string::npos) << interrupted.err;
    EXPECT_FALSE(fs::exists(mkv));
    EXPECT_FALSE(fs::exists(mkv + ".part"));
    fs::remove_all(work);
}

// An unknown argument is named as such, even last; a picture asked for but
// never taken fails the run.
TEST(VideoCaptureRefusals, UnknownArgumentsAndMissingPicturesFail)
{
    const fs::path work = fs::temp_directory_path() / ("capture_arguments_" + std::to_string(getpid()));
    fs::remove_all(work);
    fs::create_directories(work);
    const Outcome unknown = run({CAPTURE_PATH, "--log", (work / "log").string(), "--bogus"}, work / "err");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("unknown argument --bogus"), std::string::npos) << unknown.err;

    const Outcome missing = run({CAPTURE_PATH, "--until", "0/4", "--png", (work / "png").string(), "--at", "100,60000"},
                            work / "err");
    EXPECT_EQ(missing.status, 1) << missing.err;
    EXPECT_NE(missing.err.find("60000"), std::string::npos) << missing.err;
    EXPECT_TRUE(fs::exists(work / "png" / "frame_100.png"));
    fs::remove_all(work);
}

} // namespace
