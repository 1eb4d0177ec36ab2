// The video file's cost per show frame: scaling, encoding and muxing one
// 640×480 picture with its 735 sound frames, at the sizes the README names.
// The picture is half flat blocks and half fresh noise each frame, like the
// show's figure scenes and its noise overlays; the whole show is 6300 frames,
// so 10 ms a frame here is about a minute of a whole-show capture.
#include "video_file.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

void fill_picture(std::vector<uint8_t>& rgb, uint32_t& seed)
{
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            uint8_t* pixel = &rgb[(size_t(y) * 640 + x) * 3];
            if (y < 240) {
                const bool block = ((x / 20) + (y / 20)) % 2;
                pixel[0] = block ? 200 : 140;
                pixel[1] = block ? 20 : 140;
                pixel[2] = block ? 20 : 255;
            } else {
                seed = seed * 1664525u + 1013904223u;
                pixel[0] = pixel[1] = pixel[2] = uint8_t(seed >> 24);
            }
        }
}

void BM_VideoFrame(benchmark::State& state, const char* extension, int width, int height)
{
    const std::string path = std::string("/tmp/video_bench") + extension;
    std::string error;
    VideoFile* video = video_open(path.c_str(), {width, height, 640, 480, 60, 44100}, error);
    if (!video) {
        state.SkipWithError(error.c_str());
        return;
    }
    std::vector<uint8_t> rgb(640 * 480 * 3);
    std::vector<int16_t> sound(735 * 2);
    uint32_t seed = 1;
    for (auto _ : state) {
        state.PauseTiming();
        fill_picture(rgb, seed);
        for (size_t i = 0; i < sound.size(); ++i)
            sound[i] = int16_t((seed = seed * 1664525u + 1013904223u) >> 20);
        state.ResumeTiming();
        video_add_frame(video, rgb.data());
        video_add_audio(video, sound.data(), 735);
    }
    video_finish(video);
    video_close(video);
    std::remove(path.c_str());
}

BENCHMARK_CAPTURE(BM_VideoFrame, mp4_640x480, ".mp4", 640, 480)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_VideoFrame, mp4_1440x1080, ".mp4", 1440, 1080)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_VideoFrame, mkv_640x480, ".mkv", 640, 480)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
