// One sample as the player holds it: signed 16-bit mono frames, how they
// loop, and how loud each stretch of them is. Built by the loader (module.cpp), read by the replay and the mixer.
#pragma once

#include <cstdint>

constexpr int SAMPLE_SPARE_FRAMES = 8;  // the mixer interpolates into the frame after a loop's end
constexpr int PEAK_SHIFT = 6;           // a peak covers 2^PEAK_SHIFT frames of data

struct Sample {
    int16_t* data;         // length + SAMPLE_SPARE_FRAMES frames, delta-decoded; null when length is 0
    uint16_t* peaks;       // the largest |frame| of each 2^PEAK_SHIFT frames of data, for the channel levels;
                           // null when data is, or for samples made outside the loader (their level is 0)
    uint32_t length;       // frames
    uint32_t loop_start;   // frames; 0 without a loop
    uint32_t loop_length;  // frames; = length without a loop, so start + length is where play ends or wraps
    uint8_t volume;        // default volume, 0..64 in a well-formed file
    int8_t finetune;       // 1/128 semitone
    int32_t panning;       // default panning 0..255
    uint8_t bits;          // depth in the file; 16 once loaded
    uint8_t loop_mode;     // SAMPLE_ONE_SHOT, SAMPLE_FORWARD_LOOP or SAMPLE_PING_PONG; 0 for the empty sample
    int8_t relative_note;  // semitones added to the cell note
    char name[23];         // the file's name, trailing spaces dropped; shown, not played
};

enum : uint8_t { SAMPLE_ONE_SHOT = 1, SAMPLE_FORWARD_LOOP = 2, SAMPLE_PING_PONG = 4 };
