// The in-memory song: patterns, instruments and 16-bit samples, plus the
// replay state the engine advances while the song plays. Built by the XM
// loader (module.cpp), read-only from the end of loading until module_free
// except for the replay fields and the tick counters.
#pragma once

#include <cstdint>

struct SourceStream;

struct EnvelopePoint {
    uint16_t x;  // tick position
    uint16_t y;  // value, 0..64 in a valid envelope
};

struct Sample {
    int16_t* data;         // length + 8 frames, delta-decoded; null when length is 0
    uint32_t length;       // frames
    uint32_t loop_start;   // frames; 0 without a loop
    uint32_t loop_length;  // frames; = length without a loop, so start + length is where play ends or wraps
    uint8_t volume;        // default volume, 0..64 in a well-formed file
    int8_t finetune;       // 1/128 semitone
    int32_t panning;       // default panning 0..255
    uint8_t bits;          // depth in the file; 16 once loaded
    uint8_t loop_mode;     // SAMPLE_ONE_SHOT, SAMPLE_FORWARD_LOOP or SAMPLE_PING_PONG; 0 for the empty sample
    int8_t relative_note;  // semitones added to the cell note
};

enum : uint8_t { SAMPLE_ONE_SHOT = 1, SAMPLE_FORWARD_LOOP = 2, SAMPLE_PING_PONG = 4 };

// Envelope type bits.
enum : uint8_t { ENVELOPE_ON = 1, ENVELOPE_SUSTAIN = 2, ENVELOPE_LOOP = 4 };

constexpr int MAX_ENVELOPE_POINTS = 12;
constexpr int MAX_INSTRUMENT_SAMPLES = 16;

struct Instrument {
    int32_t sample_count;                            // 0..16
    Sample* samples[MAX_INSTRUMENT_SAMPLES];         // slots past sample_count hold &empty_sample
    uint8_t sample_map[96];                          // sample slot per note 1..96 (entry note - 1)
    EnvelopePoint volume_envelope[MAX_ENVELOPE_POINTS];
    EnvelopePoint panning_envelope[MAX_ENVELOPE_POINTS];
    uint8_t volume_point_count;                      // 0..12
    uint8_t panning_point_count;                     // 0..12
    uint8_t volume_sustain_point;
    uint8_t volume_loop_start;
    uint8_t volume_loop_end;
    uint8_t panning_sustain_point;
    uint8_t panning_loop_start;
    uint8_t panning_loop_end;
    uint8_t volume_type;                             // ENVELOPE_* bits
    uint8_t panning_type;                            // kept, not played
    uint8_t vibrato_type;                            // auto-vibrato: kept, not played
    uint8_t vibrato_sweep;
    uint8_t vibrato_depth;
    uint8_t vibrato_rate;
    uint16_t fadeout;                                // the file's fadeout × 2, per tick after key-off
};

struct PatternCell {
    uint8_t note;          // 0 none, 1..96 note, 255 key off
    uint8_t instrument;    // 0 none, 1..128
    uint8_t volume;        // volume column byte
    uint8_t effect;
    uint8_t effect_param;
};

struct Pattern {
    int32_t row_count;     // 1..256
    PatternCell* cells;    // row_count × channel_count, row-major; the module's empty_cells when the file has none
};

constexpr uint8_t NOTE_KEY_OFF = 255;
constexpr int MAX_CHANNELS = 64;
constexpr int MAX_INSTRUMENTS = 128;
constexpr int MAX_ORDERS = 256;
constexpr int MAX_ROWS = 256;

struct Module {
    Pattern* patterns;             // pattern_count, owned
    PatternCell* empty_cells;      // MAX_ROWS × channel_count empty cells, shared by the patterns without data
    Instrument* instruments;       // instrument_count, owned
    int32_t samples_to_tick;       // output frames before the next tick; 0 = a tick is due
    int32_t samples_per_tick;      // output frames per tick at the current BPM, ≥ 1
    int16_t song_length;           // order entries in use, 1..256
    int16_t restart_position;      // order to continue at after the last, < song_length
    int16_t channel_count;         // 1..MAX_CHANNELS
    int32_t used_pattern_count;    // 1 + highest pattern named in the order list
    int32_t pattern_count;         // max(patterns in the file, used_pattern_count)
    int16_t instrument_count;      // 0..MAX_INSTRUMENTS
    uint16_t flags;                // bit 0: linear frequency table (else Amiga periods)
    int16_t default_speed;         // ticks per row at start
    int16_t default_bpm;
    uint8_t order_table[MAX_ORDERS];
    uint8_t initial_global_volume; // 64
    // Replay state (replay.cpp), given start values by replay_start.
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
    void (*tick_handler)(Module*); // one tick of the song: replay_tick, set by replay_start
};

constexpr uint16_t MODULE_LINEAR_FREQUENCIES = 1;

// Fill the instrument slots past sample_count, and stand in for instrument
// numbers past instrument_count. Never written.
extern Sample empty_sample;
// Why the last module_create or module_load failed, one line without a full
// stop; empty after a success.
extern char module_error[160];
extern Instrument empty_instrument;

// Opens name through the module source and loads it; null on any failure
// (nothing is leaked), with the reason in module_error.
Module* module_create(const char* name);
// Releases everything module_create built; false for null. A module still
// playing is stopped first (through module_release_hook).
bool module_free(Module* module);
// Called by module_free before it releases anything; the streaming side sets
// it so that a playing module's feeder is gone before its data is. Null: none.
extern void (*module_release_hook)(Module* module);
// samples_per_tick for bpm at the current output rate; samples_to_tick is left alone.
void module_set_bpm(Module* module, int bpm);
// Reads an XM song from an open stream into a zeroed module; false if the
// stream does not hold one the player can play.
bool module_load(Module* module, SourceStream* stream);
