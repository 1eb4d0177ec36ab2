// What the replay's parts share: the effect numbers, the pattern and channel
// helpers every part uses, and the procedures one part offers the others.
// Included only by the replay's own files (replay, frequency, envelope,
// channel_row, row_effects, tick_effects).
#pragma once

#include <cstdint>

#include "player/replay.h"

enum : uint8_t {
    EFFECT_ARPEGGIO = 0x00,
    EFFECT_PORTA_UP = 0x01,
    EFFECT_PORTA_DOWN = 0x02,
    EFFECT_TONE_PORTAMENTO = 0x03,
    EFFECT_VIBRATO = 0x04,
    EFFECT_TONE_PORTAMENTO_VOLUME_SLIDE = 0x05,
    EFFECT_VIBRATO_VOLUME_SLIDE = 0x06,
    EFFECT_TREMOLO = 0x07,
    EFFECT_SET_PANNING = 0x08,
    EFFECT_SAMPLE_OFFSET = 0x09,
    EFFECT_VOLUME_SLIDE = 0x0A,
    EFFECT_POSITION_JUMP = 0x0B,
    EFFECT_SET_VOLUME = 0x0C,
    EFFECT_PATTERN_BREAK = 0x0D,
    EFFECT_EXTENDED = 0x0E,
    EFFECT_SET_SPEED = 0x0F,
    EFFECT_GLOBAL_VOLUME = 0x10,
    EFFECT_GLOBAL_VOLUME_SLIDE = 0x11,
    EFFECT_KEY_OFF = 0x14,
    EFFECT_ENVELOPE_POSITION = 0x15,
    EFFECT_PANNING_SLIDE = 0x19,
    EFFECT_MULTI_RETRIGGER = 0x1B,
    EFFECT_TREMOR = 0x1D,
    EFFECT_EXTRA_FINE_PORTA = 0x21,
};

// Extended effects, by the parameter's high nibble.
enum : uint8_t {
    EXTENDED_FINE_PORTA_UP = 0x1,
    EXTENDED_FINE_PORTA_DOWN = 0x2,
    EXTENDED_GLISSANDO = 0x3,
    EXTENDED_VIBRATO_WAVEFORM = 0x4,
    EXTENDED_FINETUNE = 0x5,
    EXTENDED_PATTERN_LOOP = 0x6,
    EXTENDED_TREMOLO_WAVEFORM = 0x7,
    EXTENDED_RETRIGGER = 0x9,
    EXTENDED_FINE_VOLUME_UP = 0xA,
    EXTENDED_FINE_VOLUME_DOWN = 0xB,
    EXTENDED_NOTE_CUT = 0xC,
    EXTENDED_NOTE_DELAY = 0xD,
    EXTENDED_PATTERN_DELAY = 0xE,
};

constexpr int32_t MIN_PERIOD = 1;
constexpr int32_t ENVELOPE_CENTRE = 32 << 16;  // a panning envelope at 32: the panning as set
constexpr int32_t MAX_PERIOD = 31999;

struct Voiced {
    const Instrument* instrument;
    const Sample* sample;
};

// The instrument and sample of the note the channel plays.
inline Voiced look_up(const Module& module, const Channel& channel)
{
    const Instrument* instrument =
        channel.instrument < module.instrument_count ? &module.instruments[channel.instrument] : &empty_instrument;
    return {instrument, channel.sample ? channel.sample : &empty_sample};
}

inline const PatternCell* row_cells(const Replay& replay)
{
    const Module& module = *replay.module;
    const Pattern& pattern = module.patterns[module.order_table[replay.order]];
    return pattern.cells + replay.row * module.channel_count;
}

inline bool is_note(uint8_t note)
{
    return note >= 1 && note <= 96;
}

inline int clamp(int value, int low, int high)
{
    return value < low ? low : value > high ? high : value;
}

inline bool is_note_delay(const PatternCell& cell)
{
    return cell.effect == EFFECT_EXTENDED && (cell.effect_param >> 4) == EXTENDED_NOTE_DELAY &&
           (cell.effect_param & 0x0F) != 0;
}

// Every change of the channel volume is heard as it is: tremolo's hold on the
// output volume ends here. Tremor's off phase does not: only an instrument
// number ends it.
inline void set_volume(Channel& channel, int volume)
{
    channel.volume = volume;
    channel.volume_delta = 0;
    channel.update_flags |= UPDATE_VOLUME;
}

inline void volume_down(Channel& channel, int x)
{
    set_volume(channel, channel.volume - x < 0 ? 0 : channel.volume - x);
}

inline void volume_up(Channel& channel, int x)
{
    set_volume(channel, channel.volume + x > 64 ? 64 : channel.volume + x);
}

// A slide parameter xy (Axy, Hxy, Pxy): up by x when x is set, else down by y.
inline int slide_amount(uint8_t parameter)
{
    return (parameter & 0xF0) ? parameter >> 4 : -(parameter & 0x0F);
}

inline uint8_t remembered(uint8_t parameter, uint8_t& memory)
{
    if (parameter != 0)
        memory = parameter;
    return memory;
}

inline void slide_period(Channel& channel, int amount)
{
    channel.period = clamp(channel.period + amount, MIN_PERIOD, MAX_PERIOD);
    channel.update_flags |= UPDATE_FREQUENCY;
}

inline void key_off(Channel& channel, const Instrument& instrument)
{
    channel.key_off = 1;
    // Without an envelope a key-off silences the note, until a volume brings it back.
    if (!(instrument.volume_type & ENVELOPE_ON))
        set_volume(channel, 0);
    channel.update_flags |= UPDATE_VOLUME;
}

// Restarts the channel's sample from its start, keeping pitch and volume.
inline void retrigger(Channel& channel)
{
    channel.sample_offset = 0;
    channel.update_flags |= UPDATE_TRIGGER;
}

// ---- Periods and frequencies (frequency.cpp).

// The period of a 0-based note (the cell's note plus the sample's relative note).
int32_t note_period(const Module& module, uint8_t real_note, int finetune);

// The period of the semitone nearest to period, for glissando.
int32_t nearest_semitone(const Module& module, int32_t period, int finetune);

// The voice's frequency in Hz for the channel's period and its deltas, at least 100.
int32_t voice_frequency(const Channel& channel, const Module& module);

// ---- Envelopes, fade-out and auto-vibrato (envelope.cpp).

// Envelope and fade-out, on the row tick and every other tick.
void run_envelopes_and_fadeout(Channel& channel, const Instrument& instrument);

// Moves an envelope to tick position (Lxx): the point after it becomes the
// next to reach, and the value is interpolated on the segment it falls in.
void set_envelope_position(const EnvelopePoint* points, int count, int position, int32_t& tick,
                           int32_t& point, int32_t& value, int32_t& slope, uint8_t& finished,
                           int32_t& volume);

// The instrument's auto-vibrato, on every tick: a period delta for this tick.
void auto_vibrato(Channel& channel, const Instrument& instrument);

// ---- Vibrato, tremolo and retriggers, which rows start and ticks go on with (waves.cpp).

// The vibrato's period delta at its current position.
int32_t vibrato_delta(const Channel& channel);

// Tremolo's volume change at its current position, held on the output volume.
void apply_tremolo(Channel& channel);

// Rxy on every tick of its rows, counting them as FastTracker II does: the
// count is looked at before it moves on, a row's first tick with an
// instrument number counts from 1, on that tick a note is not retriggered
// (it has just started), and a volume set in the volume column keeps the
// first tick from counting at all.
void multi_retrigger(Channel& channel, uint8_t parameter, const PatternCell& cell, bool first_tick);

// ---- The row tick (row_effects.cpp, channel_row.cpp).

// The row tick's effect column.
void effect_row(Replay& replay, Channel& channel, const Instrument& instrument, const PatternCell& cell);

// A channel's row: its cell's note, instrument and volume column, then the
// effects of the row tick, then the envelopes. Runs on the row tick, or
// (delayed) on the tick a note delay names, where a cell without a note plays
// the last note again. The caller hands the changes to the voice.
void channel_row(Replay& replay, Channel& channel, const PatternCell& cell, bool delayed);
