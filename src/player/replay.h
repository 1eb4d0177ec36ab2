// The replay engine: one call of replay_tick is one tick of the song. On a
// row's first tick it reads the row's cells and starts notes; on the others it
// runs envelopes, fade-out, volume-column slides and arpeggio. Each channel's
// pending changes then go to its mixer voice. Runs on the thread that renders,
// interleaved with the mixer; allocates nothing.
#pragma once

#include <cstdint>

#include "player/module.h"

struct MixVoice;

// Pending voice updates of a channel.
enum : uint8_t {
    UPDATE_FREQUENCY = 1,
    UPDATE_VOLUME = 2,
    UPDATE_PANNING = 4,
    UPDATE_TRIGGER = 8,
};

struct Channel {
    uint8_t note;             // current note, 0-based 0..95; indexes the instrument's sample_map
    uint8_t update_flags;     // UPDATE_* bits pending for this tick
    MixVoice* voice;          // voice i or its partner i + 32
    int32_t period;           // linear period (7680 - note × 64 - finetune / 2), or Amiga period
    int32_t volume;           // 0..64
    int32_t panning;          // nominally 0..255; clamped when handed to the voice
    int32_t period_offset;    // arpeggio, this tick only
    int32_t envelope_tick;    // volume envelope position, ticks
    int32_t envelope_point;   // point that starts the next segment
    int32_t envelope_value;   // 16.16
    int32_t envelope_volume;  // 0..64 for valid envelopes
    int32_t envelope_slope;   // 16.16 per tick
    uint8_t envelope_finished;
    int32_t fadeout_volume;   // 65536 full .. 0
    uint8_t key_off;
    uint8_t instrument;       // current instrument, 0-based
};

extern Channel channels[MAX_CHANNELS];

// Gives the replay state its start values (order 0, row 0, default speed and
// BPM, a tick due at once) and binds channel i to voice i. The output rate must
// be configured first (output_configure).
void replay_start(Module* module);

// One tick; the module's tick_handler.
void replay_tick(Module* module);
void replay_row(Module* module);
void replay_effects_tick(Module* module);

void envelope_step(Channel& channel, const Instrument& instrument);
void volume_column_row(Channel& channel, uint8_t volume_byte);
void reset_channel_instrument(Channel& channel, const Sample& sample);
void update_voice(Channel& channel, const Sample& sample, const Module& module);
