// The replay engine: one call of replay_tick is one tick of the song. On a
// row's first tick it reads the row's cells, starts notes and runs the effects
// of that tick; on the others it runs envelopes, fade-out, auto-vibrato and the
// effects that work tick by tick (slides, vibrato, tremolo, retriggers, delays).
// Each channel's pending changes then go to its mixer voice. Runs on the thread
// that renders, interleaved with the mixer; allocates nothing. All it changes
// is one player's Replay and the voices of that player's Mixer.
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
    uint8_t note;             // the last note played, 1..96; 0 before the first
    uint8_t update_flags;     // UPDATE_* bits pending for this tick
    MixVoice* voice;          // voice i or its partner i + MAX_CHANNELS
    int32_t period;           // linear period (7680 - note × 64 - finetune / 2), or Amiga period
    int32_t volume;           // 0..64
    int32_t panning;          // nominally 0..255; clamped when handed to the voice
    int32_t period_offset;    // arpeggio, this tick only
    int32_t envelope_tick;    // volume envelope position, ticks
    int32_t envelope_point;   // point that starts the next segment
    int32_t envelope_value;   // 16.16
    int32_t envelope_volume;  // 16.16, 0..64 for valid envelopes
    int32_t envelope_slope;   // 16.16 per tick
    uint8_t envelope_finished;
    int32_t fadeout_volume;   // 65536 full .. 0
    uint8_t key_off;
    uint8_t instrument;       // 0-based instrument of the sounding note: its envelopes, fade-out and auto-vibrato play
    uint8_t given_instrument; // 0-based instrument last named in a cell: the next note plays it
    const Sample* sample;     // the sounding note's sample; null before the first note

    // Effect state. A memory holds the last non-zero parameter of its effect,
    // which a zero parameter repeats.
    int32_t period_delta;     // vibrato or glissando: period units added to the output, kept while the effect runs
    int32_t auto_vibrato_delta;  // the instrument's auto-vibrato: period units added this tick
    int32_t volume_delta;     // tremolo: added to the output volume, -64..64
    uint8_t tremor_mute;      // tremor's off phase: the output volume is 0 until the next instrument number
    uint8_t muted;            // silenced by the player's user: the voice's gains are 0
    uint32_t triggers;        // times the voice has started a sample (notes and retriggers); wraps
    int32_t porta_target;     // tone portamento's goal period
    int32_t porta_speed;      // tone portamento, period units per tick
    uint32_t sample_offset;   // frames into the sample at which the next trigger starts (9xx)
    uint8_t porta_up_memory, porta_down_memory;            // 1xx, 2xx
    uint8_t fine_porta_up_memory, fine_porta_down_memory;  // E1x, E2x
    uint8_t extra_fine_up_memory, extra_fine_down_memory;  // X1x, X2x
    uint8_t volume_slide_memory;                           // Axy, also 5xy and 6xy
    uint8_t fine_volume_up_memory, fine_volume_down_memory; // EAx, EBx
    uint8_t global_slide_memory;                           // Hxy
    uint8_t panning_slide_memory;                          // Pxy
    uint8_t sample_offset_memory;                          // 9xx
    uint8_t vibrato_speed;     // added to vibrato_position per tick, 0..60
    uint8_t vibrato_depth;     // 0..15
    uint8_t vibrato_position;  // 0..255 is one cycle
    uint8_t tremolo_speed, tremolo_depth, tremolo_position;
    uint8_t waveforms;         // vibrato waveform (E4x) in the low nibble, tremolo (E7x) in the high; bit 2 of each: keep the position on new notes
    uint8_t glissando;         // E3x: tone portamento moves in semitones
    uint8_t retrigger_interval, retrigger_volume;  // Rxy memories
    uint8_t retrigger_count;  // Rxy's tick counter
    uint8_t tremor_memory, tremor_position;  // Txy: on and off ticks; phase (bit 7 on) and ticks left
    uint8_t loop_row, loop_count;            // E6x pattern loop
    // Panning envelope, stepped like the volume envelope; 32 is the centre.
    int32_t panning_envelope_tick, panning_envelope_point, panning_envelope_value, panning_envelope_slope;
    int32_t panning_envelope_volume;  // 16.16, 0..64
    uint8_t panning_envelope_finished;
    uint8_t panning_envelope_on;      // the instrument has a panning envelope
    // Auto-vibrato of the instrument.
    uint8_t auto_vibrato_position;    // 0..255 is one cycle
    int32_t auto_vibrato_depth;       // depth × 256, rising by the sweep to the instrument's depth
    int32_t auto_vibrato_sweep;       // added to the depth per tick until it is reached; 0: reached
};

// One player's replay: the song it reads, where the song stands, and the
// channels. The song is never written.
struct Replay {
    const Module* module;          // the song; read only, not owned
    int32_t rate;                  // output frames per second
    MixVoice* voices;              // the player's voice pool: channel i plays voice i or i + MAX_CHANNELS
    int32_t samples_to_tick;       // output frames before the next tick; 0 = a tick is due
    int32_t samples_per_tick;      // output frames per tick at the current BPM, ≥ 1
    int32_t global_volume;         // 0..64
    int32_t tick;                  // tick within the row
    int32_t speed;                 // ticks per row; 0 behaves like 1
    int32_t row;                   // row being played
    int32_t order;                 // order position being played
    int32_t next_row;              // row to take at the next row tick; -1 none
    int32_t next_order;            // order to take at the next row tick; -1 none
    int32_t jump_order;            // Bxx on the row being played: order to go to next; -1 none
    int32_t break_row;             // row the next pattern starts at: Dxx's, or a pattern loop's start; else 0
    bool pattern_break;            // Bxx or Dxx on the row: the next row is in the next pattern
    int32_t loop_jump_row;         // E6x on the row: row of this pattern to go back to; -1 none
    int32_t pattern_delay;         // EEx: times the row being played is still to be repeated
    bool repeating_row;            // the current tick 0 repeats a delayed row: no cells are read
    bool timing_only;              // stepped for its timing alone: the voices are left alone
    Channel channels[MAX_CHANNELS];
};

// Gives the replay its song, rate and voices, and its start values: order 0,
// row 0, default speed and BPM, a tick due at once; channel i on voice i.
void replay_start(Replay& replay, const Module* module, int rate, MixVoice* voices);

// One tick of the song.
void replay_tick(Replay& replay);
void replay_effects_tick(Replay& replay);

// samples_per_tick for bpm at the replay's rate; samples_to_tick is left alone.
void replay_set_bpm(Replay& replay, int bpm);
// Output frames per tick at bpm (below 1: 1) and rate, ≥ 1.
int samples_per_tick_at(int rate, int bpm);

// Goes on at row 0 of order with the next tick, as a jump there would; the
// channels play on.
void replay_seek(Replay& replay, int order);

// Silences a channel's voice, or lets it be heard again, at once.
void replay_mute(Replay& replay, int channel, bool muted);

void volume_column_row(Channel& channel, uint8_t volume_byte);
void update_voice(Channel& channel, const Sample& sample, Replay& replay);
