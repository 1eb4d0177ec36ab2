// Writing the captured show to a video file, through FFmpeg's libraries.
//
// ".mp4": H.264 in yuv420p (BT.709, limited range) and AAC, for players and
// video sites. ".mkv": FFV1 in 8-bit RGB (bgr0) and FLAC, lossless, for archiving.
// Frames come in as 8-bit RGB at the source size and are scaled (Lanczos) to
// fit the output size with their aspect kept, centred on black. Sound comes in
// as 16-bit interleaved stereo. The file is written beside its final name
// (NAME.part) and renamed into place by video_finish, so an error or an
// interruption never leaves a partial file under the final name.
// Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct VideoSettings {
    int width;           // output picture, pixels
    int height;
    int source_width;    // frames handed to video_add_frame, pixels
    int source_height;
    int frame_rate;      // frames per second
    int sample_rate;     // audio frames per second
};

struct VideoFile;

// Why path and size cannot make a video (unknown extension, a size of zero,
// beyond 7680×4320, or odd where yuv420p needs it even); empty when they can.
std::string video_check(const char* path, int width, int height);

// Opens the encoders and the partial file. Null, with error set to one line
// without a trailing newline, when that fails.
VideoFile* video_open(const char* path, const VideoSettings& settings, std::string& error);

// Add one picture (source_width × source_height × 3 bytes, top row first), or
// frames × 2 sound values. False once writing has failed (video_error says why).
bool video_add_frame(VideoFile* video, const uint8_t* rgb);
bool video_add_audio(VideoFile* video, const int16_t* samples, size_t frames);

// Drains the encoders, completes the file and renames it into place.
bool video_finish(VideoFile* video);

// What failed, in one line.
const char* video_error(const VideoFile* video);

// Releases everything; a file not finished is removed.
void video_close(VideoFile* video);
