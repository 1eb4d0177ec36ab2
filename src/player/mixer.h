// The software mixer: resamples the sounding voices with linear interpolation
// at 32.32 fixed-point positions, follows their loops, ramps their gains, and
// sums them into interleaved stereo floats (left, right). Runs on the thread
// that renders, between replay ticks; all it changes is one player's Mixer.
#pragma once

#include <cstdint>

struct Sample;

// Gains are factors on the 16-bit sample values: a voice at full volume sends
// a sample at FULL_GAIN to the side it is panned to, half of full scale.
struct MixVoice {
    int32_t index;                // own number in voices
    float volume;                 // final volume from the replay, 0..1
    int32_t panning;              // final panning from the replay, 0 left .. 255 right
    const Sample* sample;         // null: idle, not mixed
    float target_left;            // gain to reach, 0..FULL_GAIN
    float target_right;
    uint32_t position;            // whole frames into the sample
    uint32_t position_fraction;   // 2^-32 frames
    uint32_t step_fraction;       // advance per output frame, 2^-32 frames
    uint32_t step;                // advance per output frame, whole frames (below 256)
    int32_t direction;            // VOICE_FORWARD or VOICE_BACKWARD (ping-pong return leg)
    float ramp_goal_left;         // target_left the running ramp was set up for
    float ramp_goal_right;
    float gain_left;              // current gain, 0..FULL_GAIN
    float gain_right;
    float ramp_increment_left;    // change of the gain per frame
    float ramp_increment_right;
    int32_t ramp_frames_left;     // frames left in the running ramp; 0 = none
};

enum : int32_t { VOICE_FORWARD = 1, VOICE_BACKWARD = 2 };

constexpr float FULL_GAIN = 0.5f;

constexpr int VOICE_COUNT = 256;   // the pool
constexpr int MIXED_VOICES = 128;  // two for each of the replay's 64 channels; the rest are never mixed

// One player's voices and the ramp length at its rate.
struct Mixer {
    MixVoice voices[VOICE_COUNT];
    int32_t ramp_frames;           // frames of a gain ramp: rate × 128 / 44100
    float ramp_frames_inverse;     // 1 / ramp_frames
};

// True where the processor has AVX2 and the eight-frame loops run; both paths give the same bits, and tests clear it to run the
// plain loops. Set once at start-up, shared by every player.
extern bool mixer_avx2;

// Sets the ramp constants for rate and resets every voice (index, step 1, idle).
void mixer_configure(Mixer& mixer, int rate);

// Adds frames frames of every sounding voice to buffer (2 floats a frame).
// The caller never asks for more frames than remain in the current tick.
void mix_voices(Mixer& mixer, float* buffer, int frames);

// Rounds (ties to even) and clips 2 × frames values to 16 bits.
void float_to_pcm16(int16_t* destination, const float* source, int frames);
