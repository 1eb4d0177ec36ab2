// The in-memory song: patterns, instruments and 16-bit samples. Built by the
// XM loader (module.cpp) and only read from then on until module_free, so
// that any number of players (player.h) may play one song at once. The
// public header calls it QxmSong.
#pragma once

#include <cstdint>

#include "player/sample.h"

struct EnvelopePoint {
    uint16_t x;  // tick position
    uint16_t y;  // value, 0..64 in a valid envelope
};

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
    char name[23];                                   // the file's name, trailing spaces dropped
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
    PatternCell* cells;    // row_count × channel_count, row-major; the module's empty_cells when the file has
                           // none, or the order list never names the pattern
};

constexpr uint8_t NOTE_KEY_OFF = 255;
constexpr int MAX_CHANNELS = 64;
constexpr int MAX_INSTRUMENTS = 128;
constexpr int MAX_ORDERS = 256;
constexpr int MAX_ROWS = 256;

struct QxmSong {
    Pattern* patterns;             // pattern_count, owned
    PatternCell* empty_cells;      // MAX_ROWS × channel_count empty cells, shared by the patterns without data
    Instrument* instruments;       // instrument_count, owned
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
    char title[21];                // the song's name and the tracker that saved it, trailing spaces dropped
    char tracker[21];
};
using Module = QxmSong;

constexpr uint16_t MODULE_LINEAR_FREQUENCIES = 1;

// Fill the instrument slots past sample_count, and stand in for instrument
// numbers past instrument_count. Never written.
extern Sample empty_sample;
extern Instrument empty_instrument;

constexpr int MODULE_ERROR_SIZE = 160;  // bytes of a load's error text, its end included

// Opens name through the registered module source and loads it; null on any
// failure (nothing is leaked).
Module* module_create(const char* name);
// Releases everything module_create (or a public loader) built; false for
// null. A module still playing is stopped first (through module_release_hook).
bool module_free(Module* module);
// Called by module_free before it releases anything; the streaming side sets
// it so that a playing module's feeder is gone before its data is. Null: none.
extern void (*module_release_hook)(Module* module);
