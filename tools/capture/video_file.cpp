// The video file: one muxer, one picture encoder, one sound encoder, and the
// scaler between the show's RGB frames and the encoder's pixel format.
#include "video_file.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr int kMaxWidth = 7680;
constexpr int kMaxHeight = 4320;

// What each extension is made of.
struct Container {
    const char* extension;
    const char* muxer;
    const char* video_encoder;
    AVPixelFormat pixel_format;
    AVCodecID audio_codec;
};

constexpr Container kContainers[] = {
    {".mp4", "mp4", "libx264", AV_PIX_FMT_YUV420P, AV_CODEC_ID_AAC},
    {".mkv", "matroska", "ffv1", AV_PIX_FMT_BGR0, AV_CODEC_ID_FLAC},
};

const Container* container_of(const std::string& path)
{
    for (const Container& container : kContainers) {
        const size_t length = std::strlen(container.extension);
        if (path.size() > length && path.compare(path.size() - length, length, container.extension) == 0)
            return &container;
    }
    return nullptr;
}

bool is_subsampled(AVPixelFormat format) { return format == AV_PIX_FMT_YUV420P; }

std::string av_message(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

} // namespace

struct VideoFile {
    std::string final_path;
    std::string partial_path;
    const Container* container = nullptr;
    VideoSettings settings = {};
    AVFormatContext* muxer = nullptr;
    AVCodecContext* picture_encoder = nullptr;
    AVCodecContext* sound_encoder = nullptr;
    AVStream* picture_stream = nullptr;
    AVStream* sound_stream = nullptr;
    SwsContext* scaler = nullptr;
    AVFrame* picture = nullptr;      // output size; the bars stay black, the scaler fills the middle
    AVFrame* sound = nullptr;        // one encoder frame of sound
    AVPacket* packet = nullptr;
    int inner_x = 0, inner_y = 0;    // where the scaled picture sits, pixels
    int64_t frames_sent = 0;         // pictures handed to the encoder
    int64_t samples_sent = 0;        // sound frames handed to the encoder
    std::vector<int16_t> pending;    // sound not yet a whole encoder frame, 2 values a frame
    bool file_open = false;
    bool created = false;            // the partial file is ours to remove
    bool finished = false;
    std::string error;
};

namespace {

bool fail(VideoFile* video, const std::string& why)
{
    if (video->error.empty())
        video->error = why;
    return false;
}

bool fail_write(VideoFile* video, int code)
{
    return fail(video, "cannot write " + video->final_path + ": " + av_message(code));
}

// Sends what the encoder has ready to the muxer.
bool drain(VideoFile* video, AVCodecContext* encoder, AVStream* stream)
{
    for (;;) {
        int code = avcodec_receive_packet(encoder, video->packet);
        if (code == AVERROR(EAGAIN) || code == AVERROR_EOF)
            return true;
        if (code < 0)
            return fail(video, "the " + std::string(encoder->codec->name) + " encoder failed: " + av_message(code));
        av_packet_rescale_ts(video->packet, encoder->time_base, stream->time_base);
        video->packet->stream_index = stream->index;
        code = av_interleaved_write_frame(video->muxer, video->packet);
        if (code < 0)
            return fail_write(video, code);
    }
}

bool encode(VideoFile* video, AVCodecContext* encoder, AVStream* stream, const AVFrame* frame)
{
    const int code = avcodec_send_frame(encoder, frame);
    if (code < 0)
        return fail(video, "the " + std::string(encoder->codec->name) + " encoder failed: " + av_message(code));
    return drain(video, encoder, stream);
}

// One encoder frame of sound from the front of pending, converted to the
// encoder's sample format (16-bit interleaved for FLAC, planar float for AAC).
bool encode_sound(VideoFile* video, int frames)
{
    AVFrame* sound = video->sound;
    int code = av_frame_make_writable(sound);
    if (code < 0)
        return fail(video, "out of memory for sound: " + av_message(code));
    sound->nb_samples = frames;
    const int16_t* in = video->pending.data();
    if (sound->format == AV_SAMPLE_FMT_S16) {
        std::memcpy(sound->data[0], in, size_t(frames) * 4);
    } else {
        auto* left = reinterpret_cast<float*>(sound->data[0]);
        auto* right = reinterpret_cast<float*>(sound->data[1]);
        for (int i = 0; i < frames; ++i) {
            left[i] = float(in[2 * i]) / 32768.0f;
            right[i] = float(in[2 * i + 1]) / 32768.0f;
        }
    }
    sound->pts = video->samples_sent;
    video->samples_sent += frames;
    video->pending.erase(video->pending.begin(), video->pending.begin() + 2 * frames);
    return encode(video, video->sound_encoder, video->sound_stream, sound);
}

// Opens a set-up encoder and gives it a stream of the file; null (with the
// reason kept) on failure.
AVStream* open_stream(VideoFile* video, AVCodecContext* encoder, const AVCodec* codec, const char* what)
{
    if (video->muxer->oformat->flags & AVFMT_GLOBALHEADER)
        encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int code = avcodec_open2(encoder, codec, nullptr);
    if (code < 0) {
        fail(video, std::string("cannot open the ") + codec->name + " encoder: " + av_message(code));
        return nullptr;
    }
    AVStream* stream = avformat_new_stream(video->muxer, nullptr);
    if (!stream) {
        fail(video, std::string("out of memory for the ") + what + " stream");
        return nullptr;
    }
    stream->time_base = encoder->time_base;
    code = avcodec_parameters_from_context(stream->codecpar, encoder);
    if (code < 0) {
        fail(video, std::string("cannot describe the ") + what + " stream: " + av_message(code));
        return nullptr;
    }
    return stream;
}

bool open_picture_encoder(VideoFile* video)
{
    const VideoSettings& s = video->settings;
    const AVCodec* codec = avcodec_find_encoder_by_name(video->container->video_encoder);
    if (!codec)
        return fail(video, std::string("this FFmpeg has no ") + video->container->video_encoder + " encoder");
    AVCodecContext* encoder = video->picture_encoder = avcodec_alloc_context3(codec);
    encoder->width = s.width;
    encoder->height = s.height;
    encoder->pix_fmt = video->container->pixel_format;
    encoder->time_base = {1, s.frame_rate};
    encoder->framerate = {s.frame_rate, 1};
    encoder->sample_aspect_ratio = {1, 1};
    encoder->thread_count = 0;
    if (is_subsampled(encoder->pix_fmt)) {
        encoder->color_range = AVCOL_RANGE_MPEG;
        encoder->colorspace = AVCOL_SPC_BT709;
        encoder->color_primaries = AVCOL_PRI_BT709;
        encoder->color_trc = AVCOL_TRC_BT709;
        encoder->gop_size = 2 * s.frame_rate;
        av_opt_set(encoder->priv_data, "preset", "veryfast", 0); // 2.5x less work than "fast", same size
        av_opt_set(encoder->priv_data, "crf", "18", 0);
    } else {
        encoder->gop_size = 1;   // FFV1: every frame stands alone, so any frame can be cut out
        av_opt_set_int(encoder->priv_data, "level", 3, 0);
        av_opt_set_int(encoder->priv_data, "slicecrc", 1, 0);
    }
    video->picture_stream = open_stream(video, encoder, codec, "picture");
    if (!video->picture_stream)
        return false;
    video->picture_stream->avg_frame_rate = encoder->framerate;

    // The picture: black all over once; each frame rewrites only the middle.
    AVFrame* picture = video->picture = av_frame_alloc();
    picture->format = encoder->pix_fmt;
    picture->width = s.width;
    picture->height = s.height;
    if (const int code = av_frame_get_buffer(picture, 0); code < 0)
        return fail(video, "out of memory for the picture: " + av_message(code));
    const bool yuv = is_subsampled(encoder->pix_fmt);
    for (int plane = 0; plane < av_pix_fmt_count_planes(encoder->pix_fmt); ++plane) {
        const int rows = yuv && plane > 0 ? s.height / 2 : s.height;
        const int black = yuv ? (plane == 0 ? 16 : 128) : 0;
        std::memset(picture->data[plane], black, size_t(picture->linesize[plane]) * size_t(rows));
    }

    // Fit the source inside, aspect kept, centred; even sizes and offsets for
    // yuv420p, whose chroma covers 2 × 2 pixels.
    const double scale = std::min(double(s.width) / s.source_width, double(s.height) / s.source_height);
    const int align = yuv ? 2 : 1;
    const int inner_width = std::max(align, int(s.source_width * scale + 0.5) / align * align);
    const int inner_height = std::max(align, int(s.source_height * scale + 0.5) / align * align);
    video->inner_x = (s.width - inner_width) / 2 / align * align;
    video->inner_y = (s.height - inner_height) / 2 / align * align;
    video->scaler = sws_getContext(s.source_width, s.source_height, AV_PIX_FMT_RGB24, inner_width,
                                   inner_height, encoder->pix_fmt,
                                   SWS_LANCZOS | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr);
    if (!video->scaler)
        return fail(video, "cannot scale the picture to " + std::to_string(inner_width) + "x" +
                               std::to_string(inner_height));
    if (yuv)
        sws_setColorspaceDetails(video->scaler, sws_getCoefficients(SWS_CS_DEFAULT), 1,
                                 sws_getCoefficients(SWS_CS_ITU709), 0, 0, 1 << 16, 1 << 16);
    return true;
}

bool open_sound_encoder(VideoFile* video)
{
    const AVCodec* codec = avcodec_find_encoder(video->container->audio_codec);
    if (!codec)
        return fail(video, "this FFmpeg has no " + std::string(avcodec_get_name(video->container->audio_codec)) +
                               " encoder");
    AVCodecContext* encoder = video->sound_encoder = avcodec_alloc_context3(codec);
    encoder->sample_rate = video->settings.sample_rate;
    encoder->ch_layout = AV_CHANNEL_LAYOUT_STEREO;
    encoder->time_base = {1, video->settings.sample_rate};
    if (video->container->audio_codec == AV_CODEC_ID_AAC) {
        encoder->sample_fmt = AV_SAMPLE_FMT_FLTP;
        encoder->bit_rate = 192000;
    } else {
        encoder->sample_fmt = AV_SAMPLE_FMT_S16;
    }
    video->sound_stream = open_stream(video, encoder, codec, "sound");
    if (!video->sound_stream)
        return false;

    AVFrame* sound = video->sound = av_frame_alloc();
    sound->format = encoder->sample_fmt;
    sound->sample_rate = encoder->sample_rate;
    sound->nb_samples = encoder->frame_size > 0 ? encoder->frame_size : 1024;
    av_channel_layout_copy(&sound->ch_layout, &encoder->ch_layout);
    if (const int code = av_frame_get_buffer(sound, 0); code < 0)
        return fail(video, "out of memory for sound: " + av_message(code));
    return true;
}

} // namespace

std::string video_check(const char* path, int width, int height)
{
    const Container* container = container_of(path);
    if (!container)
        return std::string(path) + ": the video file must end in .mp4 (H.264 and AAC) or .mkv (FFV1 and FLAC)";
    if (width <= 0 || height <= 0 || width > kMaxWidth || height > kMaxHeight)
        return "the video size must be between 1x1 and " + std::to_string(kMaxWidth) + "x" + std::to_string(kMaxHeight);
    if (is_subsampled(container->pixel_format) && (width % 2 || height % 2))
        return "an .mp4 video (yuv420p) needs an even width and height";
    return {};
}

VideoFile* video_open(const char* path, const VideoSettings& settings, std::string& error)
{
    error = video_check(path, settings.width, settings.height);
    if (!error.empty())
        return nullptr;
    av_log_set_level(AV_LOG_ERROR); // the encoders' statistics are not for the user
    auto* video = new VideoFile;
    video->final_path = path;
    video->partial_path = video->final_path + ".part";
    video->container = container_of(path);
    video->settings = settings;
    video->packet = av_packet_alloc();

    bool ok = avformat_alloc_output_context2(&video->muxer, nullptr, video->container->muxer, nullptr) >= 0 &&
              video->muxer;
    if (!ok)
        fail(video, std::string("this FFmpeg cannot write ") + video->container->muxer);
    ok = ok && open_picture_encoder(video) && open_sound_encoder(video);
    if (ok)
        video->muxer->url = av_strdup(video->partial_path.c_str()); // the mp4 muxer reopens it to move its index
    if (ok) {
        const int code = avio_open(&video->muxer->pb, video->partial_path.c_str(), AVIO_FLAG_WRITE);
        video->file_open = video->created = code >= 0;
        ok = video->file_open || fail_write(video, code);
    }
    if (ok) {
        AVDictionary* options = nullptr;
        if (is_subsampled(video->container->pixel_format))
            av_dict_set(&options, "movflags", "+faststart", 0); // the index up front, for streaming sites
        const int code = avformat_write_header(video->muxer, &options);
        av_dict_free(&options);
        ok = code >= 0 || fail_write(video, code);
    }
    if (!ok) {
        error = video->error;
        video_close(video);
        return nullptr;
    }
    return video;
}

bool video_add_frame(VideoFile* video, const uint8_t* rgb)
{
    if (!video->error.empty())
        return false;
    AVFrame* picture = video->picture;
    int code = av_frame_make_writable(picture); // keeps the bars: a copy takes the old contents along
    if (code < 0)
        return fail(video, "out of memory for the picture: " + av_message(code));
    // The middle's top left corner in every plane; inner_x and inner_y are
    // even where the chroma planes are halved.
    const AVPixelFormat format = video->container->pixel_format;
    const bool yuv = is_subsampled(format);
    uint8_t* planes[4] = {};
    for (int plane = 0; plane < av_pix_fmt_count_planes(format); ++plane) {
        const int row = yuv && plane > 0 ? video->inner_y / 2 : video->inner_y;
        planes[plane] = picture->data[plane] + size_t(row) * size_t(picture->linesize[plane]) +
                        size_t(av_image_get_linesize(format, video->inner_x, plane));
    }
    const uint8_t* source[1] = {rgb};
    const int source_stride[1] = {video->settings.source_width * 3};
    sws_scale(video->scaler, source, source_stride, 0, video->settings.source_height, planes, picture->linesize);
    picture->pts = video->frames_sent++;
    return encode(video, video->picture_encoder, video->picture_stream, picture);
}

bool video_add_audio(VideoFile* video, const int16_t* samples, size_t frames)
{
    if (!video->error.empty())
        return false;
    video->pending.insert(video->pending.end(), samples, samples + 2 * frames);
    const int frame_size = video->sound->nb_samples;
    while (video->pending.size() >= size_t(frame_size) * 2)
        if (!encode_sound(video, frame_size))
            return false;
    return true;
}

bool video_finish(VideoFile* video)
{
    if (!video->error.empty())
        return false;
    if (!video->pending.empty() && !encode_sound(video, int(video->pending.size() / 2)))
        return false;
    if (!encode(video, video->picture_encoder, video->picture_stream, nullptr) ||
        !encode(video, video->sound_encoder, video->sound_stream, nullptr))
        return false;
    int code = av_write_trailer(video->muxer);
    if (code < 0)
        return fail_write(video, code);
    code = avio_closep(&video->muxer->pb);
    video->file_open = false;
    if (code < 0)
        return fail_write(video, code);
    if (std::rename(video->partial_path.c_str(), video->final_path.c_str()) != 0)
        return fail(video, "cannot rename " + video->partial_path + " to " + video->final_path + ": " +
                               std::strerror(errno));
    video->finished = true;
    return true;
}

const char* video_error(const VideoFile* video) { return video->error.c_str(); }

void video_close(VideoFile* video)
{
    if (!video)
        return;
    if (video->file_open)
        avio_closep(&video->muxer->pb);
    if (video->created && !video->finished)
        std::remove(video->partial_path.c_str());
    avcodec_free_context(&video->picture_encoder);
    avcodec_free_context(&video->sound_encoder);
    avformat_free_context(video->muxer);
    sws_freeContext(video->scaler);
    av_frame_free(&video->picture);
    av_frame_free(&video->sound);
    av_packet_free(&video->packet);
    delete video;
}
