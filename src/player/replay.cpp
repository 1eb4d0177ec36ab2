// The replay engine.
//
// Notes and key-off, instruments with their volume and panning envelopes
// (sustain, loop), fade-out and auto-vibrato, the volume column and the whole
// XM effect set, played as FastTracker II plays them. Both frequency tables
// are played: linear periods, and Amiga periods for modules with the linear
// flag clear. Panning 0 is left and 255 right.
#include "player/replay.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "player/mixer.h"

namespace {

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
constexpr double ENVELOPE_FULL = 64 << 16;     // an envelope at 64, in 16.16
constexpr int32_t ENVELOPE_CENTRE = 32 << 16;  // a panning envelope at 32: the panning as set
constexpr int32_t MAX_PERIOD = 31999;

// The single-precision value nearest 1/768: one octave of linear period.
constexpr double LINEAR_OCTAVE = 0x1.555556p-10f;  // bits 0x3AAAAAAB
constexpr int AMIGA_CLOCK = 14317056;    // frequency = AMIGA_CLOCK / period
constexpr double AMIGA_C0_PERIOD = 27392.0;  // C-4 (note 48) is period 1712, 8363 Hz

// Half a sine cycle in 32 steps, 0..255: the vibrato and tremolo waveform.
constexpr uint8_t VIBRATO_SINE[32] = {0,   24,  49,  74,  97,  120, 141, 161, 180, 197, 212,
                                      224, 235, 244, 250, 253, 255, 253, 250, 244, 235, 224,
                                      212, 197, 180, 161, 141, 120, 97,  74,  49,  24};

// A whole sine cycle in 256 steps, -64..64, falling first: the auto-vibrato's sine.
struct AutoVibratoSine {
    int8_t values[256];
    AutoVibratoSine()
    {
        for (int i = 0; i < 256; ++i)
            values[i] = static_cast<int8_t>(std::lround(-64 * std::sin(2 * 3.14159265358979 * i / 256)));
    }
};
const AutoVibratoSine auto_vibrato_sine;

struct Voiced {
    const Instrument* instrument;
    const Sample* sample;
};

// The instrument and sample of the note the channel plays.
Voiced look_up(const Module& module, const Channel& channel)
{
    const Instrument* instrument =
        channel.instrument < module.instrument_count ? &module.instruments[channel.instrument] : &empty_instrument;
    return {instrument, channel.sample ? channel.sample : &empty_sample};
}

// The sample an instrument (0-based) plays for a note (1..96).
const Sample& mapped_sample(const Module& module, int instrument, int note)
{
    if (instrument >= module.instrument_count)
        return empty_sample;
    const uint8_t slot = module.instruments[instrument].sample_map[note - 1];
    return slot >= MAX_INSTRUMENT_SAMPLES ? empty_sample : *module.instruments[instrument].samples[slot];
}

const PatternCell* row_cells(const Replay& replay)
{
    const Module& module = *replay.module;
    const Pattern& pattern = module.patterns[module.order_table[replay.order]];
    return pattern.cells + replay.row * module.channel_count;
}

bool is_note(uint8_t note)
{
    return note >= 1 && note <= 96;
}

int clamp(int value, int low, int high)
{
    return value < low ? low : value > high ? high : value;
}

// Amiga periods of the lowest octave in eighths of a semitone, C with
// finetune -128 first: the last entry is B's finetune +112.
constexpr uint16_t AMIGA_FINE_PERIODS[104] = {
    907, 900, 894, 887, 881, 875, 868, 862, 856, 850, 844, 838, 832, 826, 820, 814, 808, 802, 796, 791, 785,
    779, 774, 768, 762, 757, 752, 746, 741, 736, 730, 725, 720, 715, 709, 704, 699, 694, 689, 684, 678, 675,
    670, 665, 660, 655, 651, 646, 640, 636, 632, 628, 623, 619, 614, 610, 604, 601, 597, 592, 588, 584, 580,
    575, 570, 567, 563, 559, 555, 551, 547, 543, 538, 535, 532, 528, 524, 520, 516, 513, 508, 505, 502, 498,
    494, 491, 487, 484, 480, 477, 474, 470, 467, 463, 460, 457, 453, 450, 447, 443, 440, 437, 434, 431};

// XM Amiga period of a 0-based note, finetune in 1/128 semitone: 1712 at C-4.
// The finetune counts in sixteenths of a semitone (its low 3 bits are
// dropped); odd sixteenths lie halfway between two table entries. The period
// is the table's, 32 times over at C-0, halved per octave up with the
// remainder dropped, so that the periods are those of the period table.
int32_t amiga_period(int note, int finetune)
{
    note = clamp(note, 0, 255);
    finetune &= ~7;
    const int semitone = (note % 12) * 8;
    int step = finetune / 16;  // toward zero
    const int32_t low = AMIGA_FINE_PERIODS[clamp(semitone + step + 8, 0, 103)];
    step += finetune < 0 ? -1 : 1;
    const int32_t high = AMIGA_FINE_PERIODS[clamp(semitone + step + 8, 0, 103)];
    const int fraction = std::abs(finetune) & 15;
    return ((low * (16 - fraction) + high * fraction) * 2) >> (note / 12);
}

// The period of a 0-based note (the cell's note plus the sample's relative note).
int32_t note_period(const Module& module, uint8_t real_note, int finetune)
{
    if (module.flags & MODULE_LINEAR_FREQUENCIES)
        return 7680 - real_note * 64 - finetune / 2;
    return amiga_period(real_note, finetune);
}

// The period of the semitone nearest to period, for glissando.
int32_t nearest_semitone(const Module& module, int32_t period, int finetune)
{
    if (module.flags & MODULE_LINEAR_FREQUENCIES) {
        int32_t base = 7680 - finetune / 2;
        return base - static_cast<int32_t>(std::lround((base - period) / 64.0)) * 64;
    }
    if (period < MIN_PERIOD)
        return period;
    double semitones = -12.0 * std::log2(period / AMIGA_C0_PERIOD) - finetune / 128.0;
    return amiga_period(static_cast<int>(std::lround(semitones)), finetune);
}

// Envelope and fade-out, on the row tick and every other tick.
void run_envelopes_and_fadeout(Channel& channel, const Instrument& instrument)
{
    if (instrument.volume_type & ENVELOPE_ON) {
        if (!channel.envelope_finished)
            envelope_step(channel, instrument);
    }
    if (channel.panning_envelope_on && !channel.panning_envelope_finished)
        panning_envelope_step(channel, instrument);
    if (channel.key_off) {
        channel.fadeout_volume -= instrument.fadeout;
        if (channel.fadeout_volume < 0)
            channel.fadeout_volume = 0;
        channel.update_flags |= UPDATE_VOLUME;
    }
}

// Every change of the channel volume is heard as it is: tremolo's hold on the
// output volume ends here. Tremor's off phase does not: only an instrument
// number ends it.
void set_volume(Channel& channel, int volume)
{
    channel.volume = volume;
    channel.volume_delta = 0;
    channel.update_flags |= UPDATE_VOLUME;
}

void volume_down(Channel& channel, int x)
{
    set_volume(channel, channel.volume - x < 0 ? 0 : channel.volume - x);
}

void volume_up(Channel& channel, int x)
{
    set_volume(channel, channel.volume + x > 64 ? 64 : channel.volume + x);
}

// A slide parameter xy (Axy, Hxy, Pxy): up by x when x is set, else down by y.
int slide_amount(uint8_t parameter)
{
    return (parameter & 0xF0) ? parameter >> 4 : -(parameter & 0x0F);
}

uint8_t remembered(uint8_t parameter, uint8_t& memory)
{
    if (parameter != 0)
        memory = parameter;
    return memory;
}

void slide_period(Channel& channel, int amount)
{
    channel.period = clamp(channel.period + amount, MIN_PERIOD, MAX_PERIOD);
    channel.update_flags |= UPDATE_FREQUENCY;
}

void key_off(Channel& channel, const Instrument& instrument)
{
    channel.key_off = 1;
    // Without an envelope a key-off silences the note, until a volume brings it back.
    if (!(instrument.volume_type & ENVELOPE_ON))
        set_volume(channel, 0);
    channel.update_flags |= UPDATE_VOLUME;
}

// The volume-column slides that repeat on every tick of the row.
void volume_column_tick(Channel& channel, uint8_t volume_byte)
{
    int x = volume_byte & 0x0F;
    switch (volume_byte >> 4) {
    case 0x6: volume_down(channel, x); break;
    case 0x7: volume_up(channel, x); break;
    case 0xD:
        channel.panning -= x;
        channel.update_flags |= UPDATE_PANNING;
        break;
    case 0xE:
        channel.panning += x;
        channel.update_flags |= UPDATE_PANNING;
        break;
    default: break;
    }
}

// One step of a vibrato waveform at position (0..255 a cycle), -255..255.
int waveform_value(uint8_t waveform, uint8_t position, uint8_t ramp_position)
{
    int magnitude;
    switch (waveform & 3) {
    case 0: magnitude = VIBRATO_SINE[(position >> 2) & 0x1F]; break;
    case 1:
        magnitude = ((position >> 2) & 0x1F) << 3;
        if (ramp_position & 0x80)
            magnitude = 255 - magnitude;
        break;
    default: magnitude = 255; break;
    }
    return (position & 0x80) ? -magnitude : magnitude;
}

// The vibrato's period delta at its current position.
int32_t vibrato_delta(const Channel& channel)
{
    int value = waveform_value(channel.waveforms & 0x0F, channel.vibrato_position, channel.vibrato_position);
    // The magnitude is scaled before the sign is applied, as FastTracker II does.
    int magnitude = (std::abs(value) * channel.vibrato_depth) >> 5;
    return value < 0 ? -magnitude : magnitude;
}

void vibrato(Channel& channel)
{
    channel.period_delta = vibrato_delta(channel);
    channel.vibrato_position = static_cast<uint8_t>(channel.vibrato_position + channel.vibrato_speed);
    channel.update_flags |= UPDATE_FREQUENCY;
}

// Tremolo's volume change at its current position, held on the output volume.
void apply_tremolo(Channel& channel)
{
    // The ramp follows the vibrato's position, a FastTracker II quirk kept here.
    int value = waveform_value(channel.waveforms >> 4, channel.tremolo_position, channel.vibrato_position);
    int magnitude = (std::abs(value) * channel.tremolo_depth) >> 6;
    int volume = clamp(channel.volume + (value < 0 ? -magnitude : magnitude), 0, 64);
    channel.volume_delta = volume - channel.volume;
    channel.update_flags |= UPDATE_VOLUME;
}

void tremolo(Channel& channel)
{
    apply_tremolo(channel);
    channel.tremolo_position = static_cast<uint8_t>(channel.tremolo_position + channel.tremolo_speed);
}

void tone_portamento(Channel& channel, const Module& module, const Sample& sample)
{
    if (channel.porta_target == 0)
        return;
    if (channel.period < channel.porta_target)
        channel.period = std::min(channel.period + channel.porta_speed, channel.porta_target);
    else if (channel.period > channel.porta_target)
        channel.period = std::max(channel.period - channel.porta_speed, channel.porta_target);
    channel.period_delta =
        channel.glissando ? nearest_semitone(module, channel.period, sample.finetune) - channel.period : 0;
    channel.update_flags |= UPDATE_FREQUENCY;
}

void volume_slide(Channel& channel, uint8_t parameter)
{
    int amount = slide_amount(remembered(parameter, channel.volume_slide_memory));
    set_volume(channel, clamp(channel.volume + amount, 0, 64));
}

// 4xy: speed x and depth y, each kept where the parameter gives 0.
void set_vibrato(Channel& channel, uint8_t parameter)
{
    if (parameter & 0x0F)
        channel.vibrato_depth = parameter & 0x0F;
    if (parameter >> 4)
        channel.vibrato_speed = static_cast<uint8_t>((parameter >> 4) * 4);
}

// Restarts the channel's sample from its start, keeping pitch and volume.
void retrigger(Channel& channel)
{
    channel.sample_offset = 0;
    channel.update_flags |= UPDATE_TRIGGER;
}

// Rxy on every tick of its rows, counting them as FastTracker II does: the
// count is looked at before it moves on, a row's first tick with an
// instrument number counts from 1, on that tick a note is not retriggered
// (it has just started), and a volume set in the volume column keeps the
// first tick from counting at all.
void multi_retrigger(Channel& channel, uint8_t parameter, const PatternCell& cell, bool first_tick)
{
    if (parameter & 0x0F)
        channel.retrigger_interval = parameter & 0x0F;
    if (parameter >> 4)
        channel.retrigger_volume = parameter >> 4;
    int count = channel.retrigger_count;
    if (first_tick) {
        if (cell.instrument != 0 && cell.note != NOTE_KEY_OFF)
            count = 1;
        if (cell.volume > 0x10 && cell.volume <= 0x50) {
            channel.retrigger_count = static_cast<uint8_t>(count);
            return;
        }
    }
    const bool due = count >= channel.retrigger_interval && !(first_tick && is_note(cell.note));
    channel.retrigger_count = static_cast<uint8_t>(due ? 1 : count + 1);
    if (!due)
        return;
    int v = channel.volume;
    switch (channel.retrigger_volume) {
    case 0x1: v -= 1; break;
    case 0x2: v -= 2; break;
    case 0x3: v -= 4; break;
    case 0x4: v -= 8; break;
    case 0x5: v -= 16; break;
    case 0x6: v = (v >> 1) + (v >> 3) + (v >> 4); break;  // about 2/3
    case 0x7: v >>= 1; break;
    case 0x9: v += 1; break;
    case 0xA: v += 2; break;
    case 0xB: v += 4; break;
    case 0xC: v += 8; break;
    case 0xD: v += 16; break;
    case 0xE: v = (v >> 1) + v; break;
    case 0xF: v += v; break;
    default: break;
    }
    set_volume(channel, clamp(v, 0, 64));
    // A volume in the volume column wins over the slide, as in FastTracker II.
    if (cell.volume >= 0x10 && cell.volume <= 0x50)
        set_volume(channel, cell.volume - 0x10);
    retrigger(channel);
}

void tremor(Channel& channel, uint8_t parameter)
{
    parameter = remembered(parameter, channel.tremor_memory);
    uint8_t on = channel.tremor_position & 0x80;
    int left = (channel.tremor_position & 0x7F) - 1;
    if (left < 0) {
        on ^= 0x80;
        left = on ? parameter >> 4 : parameter & 0x0F;
    }
    channel.tremor_position = static_cast<uint8_t>(on | left);
    channel.tremor_mute = !on;
    channel.update_flags |= UPDATE_VOLUME;
}

// Moves an envelope to tick position (Lxx): the point after it becomes the
// next to reach, and the value is interpolated on the segment it falls in.
void set_envelope_position(const EnvelopePoint* points, int count, int position, int32_t& tick,
                           int32_t& point, int32_t& value, int32_t& slope, uint8_t& finished,
                           int32_t& volume)
{
    if (count < 2)
        return;
    int i = 0;
    while (i < count - 2 && position >= points[i + 1].x)
        ++i;
    int dx = points[i + 1].x - points[i].x;
    slope = dx != 0 ? static_cast<int32_t>(int64_t{points[i + 1].y - points[i].y} * 65536 / dx) : 0;
    if (position > points[i + 1].x)
        position = points[i + 1].x;
    int offset = position < points[i].x ? 0 : position - points[i].x;
    value = static_cast<int32_t>((int64_t{points[i].y} << 16) + int64_t{slope} * offset);
    point = i + 1;
    tick = position;
    finished = 0;
    volume = value;
}

// The instrument's auto-vibrato, on every tick: a period delta for this tick.
void auto_vibrato(Channel& channel, const Instrument& instrument)
{
    if (instrument.vibrato_depth == 0)
        return;
    if (channel.auto_vibrato_sweep != 0 && !channel.key_off) {
        channel.auto_vibrato_depth += channel.auto_vibrato_sweep;
        if (channel.auto_vibrato_depth >= instrument.vibrato_depth << 8) {
            channel.auto_vibrato_depth = instrument.vibrato_depth << 8;
            channel.auto_vibrato_sweep = 0;
        }
    }
    channel.auto_vibrato_position = static_cast<uint8_t>(channel.auto_vibrato_position + instrument.vibrato_rate);
    const int p = channel.auto_vibrato_position;
    int value;
    switch (instrument.vibrato_type) {
    case 1: value = p > 127 ? 64 : -64; break;                 // square
    case 2: value = (((p >> 1) + 64) & 127) - 64; break;       // ramp up
    case 3: value = (((-(p >> 1)) + 64) & 127) - 64; break;    // ramp down
    default: value = auto_vibrato_sine.values[p]; break;
    }
    channel.auto_vibrato_delta = (value * channel.auto_vibrato_depth) >> 14;
    channel.update_flags |= UPDATE_FREQUENCY;
}

// An instrument number: volume and panning as the sounding note's sample
// sets them.
void reset_volumes(Channel& channel)
{
    const Sample& sample = channel.sample ? *channel.sample : empty_sample;
    channel.volume = sample.volume;
    channel.panning = sample.panning;
    channel.volume_delta = 0;
    channel.tremor_mute = 0;
    channel.update_flags |= UPDATE_VOLUME | UPDATE_PANNING;
}

// An instrument number with a note, or alone: the instrument's envelopes,
// fade-out and auto-vibrato start again, the key is held, and the effect
// phases a new note begins restart.
void trigger_instrument(Channel& channel, const Instrument& instrument)
{
    channel.envelope_volume = 64 << 16;
    channel.envelope_tick = 0;
    channel.envelope_point = 0;
    channel.envelope_slope = 0;
    channel.envelope_finished = 0;
    channel.key_off = 0;
    channel.fadeout_volume = 65536;
    channel.update_flags |= UPDATE_VOLUME;
    if (!(channel.waveforms & 0x04))
        channel.vibrato_position = 0;
    if (!(channel.waveforms & 0x40))
        channel.tremolo_position = 0;
    channel.retrigger_count = 0;
    channel.tremor_position = 0;
    channel.panning_envelope_on = (instrument.panning_type & ENVELOPE_ON) != 0;
    channel.panning_envelope_volume = ENVELOPE_CENTRE;
    channel.panning_envelope_tick = channel.panning_envelope_point = 0;
    channel.panning_envelope_slope = 0;
    channel.panning_envelope_finished = 0;
    channel.auto_vibrato_position = 0;
    channel.auto_vibrato_delta = 0;
    if (instrument.vibrato_sweep != 0) {
        channel.auto_vibrato_depth = 0;
        channel.auto_vibrato_sweep = (instrument.vibrato_depth << 8) / instrument.vibrato_sweep;
    } else {
        channel.auto_vibrato_depth = instrument.vibrato_depth << 8;
        channel.auto_vibrato_sweep = 0;
    }
}

int32_t voice_frequency(const Channel& channel, const Module& module)
{
    const int32_t period = channel.period + channel.period_delta + channel.auto_vibrato_delta;
    int32_t frequency;
    if (module.flags & MODULE_LINEAR_FREQUENCIES) {
        double exponent = (4608 - period + channel.period_offset) * LINEAR_OCTAVE;
        double hz = 8363.0 * std::exp2(exponent);
        // Out of the integer range counts as too low, as a wrapped conversion would.
        frequency = hz < 2147483648.0 ? static_cast<int32_t>(hz) : 0;
    } else {
        int32_t divisor = period + channel.period_offset;
        frequency = AMIGA_CLOCK / (divisor < MIN_PERIOD ? MIN_PERIOD : divisor);
    }
    return frequency < 100 ? 100 : frequency;
}

// Which of an arpeggio's notes a tick plays (0 the note, 1 the high nibble's,
// 2 the low nibble's), from the ticks left in the row: FastTracker II counts
// them down, so at speed 6 the row plays 0, y, x, 0, y, x. Its table of steps
// has 16 entries; at speeds above 16 the ticks read the table that follows it.
int arpeggio_step(int ticks_left)
{
    if (ticks_left > 16)
        return 2;
    if (ticks_left == 16)
        return 0;
    return ticks_left % 3;
}

// The extended effects (Exy) on the row tick.
void extended_row(Replay& replay, Channel& channel, uint8_t parameter)
{
    const uint8_t x = parameter & 0x0F;
    switch (parameter >> 4) {
    case EXTENDED_FINE_PORTA_UP: slide_period(channel, -4 * remembered(x, channel.fine_porta_up_memory)); break;
    case EXTENDED_FINE_PORTA_DOWN: slide_period(channel, 4 * remembered(x, channel.fine_porta_down_memory)); break;
    case EXTENDED_GLISSANDO: channel.glissando = x != 0; break;
    case EXTENDED_VIBRATO_WAVEFORM: channel.waveforms = static_cast<uint8_t>((channel.waveforms & 0xF0) | x); break;
    case EXTENDED_TREMOLO_WAVEFORM: channel.waveforms = static_cast<uint8_t>((channel.waveforms & 0x0F) | x << 4); break;
    case EXTENDED_PATTERN_LOOP:
        if (x == 0) {
            channel.loop_row = static_cast<uint8_t>(replay.row);
        } else if (channel.loop_count == 0 || --channel.loop_count != 0) {
            if (channel.loop_count == 0)
                channel.loop_count = x;
            // The loop's start also becomes the row the next pattern starts at,
            // and stays so after the last pass (a FastTracker II quirk).
            replay.loop_jump_row = replay.break_row = channel.loop_row;
        }
        break;
    case EXTENDED_FINE_VOLUME_UP: volume_up(channel, remembered(x, channel.fine_volume_up_memory)); break;
    case EXTENDED_FINE_VOLUME_DOWN: volume_down(channel, remembered(x, channel.fine_volume_down_memory)); break;
    case EXTENDED_NOTE_CUT:
        if (x == 0)
            set_volume(channel, 0);
        break;
    case EXTENDED_PATTERN_DELAY:  // in several channels, the last one's counts
        if (!replay.repeating_row)
            replay.pattern_delay = x;
        break;
    default: break;  // E5x acts with the note, E9x, ECx and EDx on later ticks
    }
}

// The row tick's effect column.
void effect_row(Replay& replay, Channel& channel, const Instrument& instrument, const PatternCell& cell)
{
    const uint8_t p = cell.effect_param;
    switch (cell.effect) {
    case EFFECT_SET_PANNING:
        channel.panning = p;
        channel.update_flags |= UPDATE_PANNING;
        break;
    case EFFECT_POSITION_JUMP:
        replay.jump_order = p;
        replay.break_row = 0;
        replay.pattern_break = true;
        break;
    case EFFECT_SET_VOLUME: set_volume(channel, p > 64 ? 64 : p); break;
    case EFFECT_PATTERN_BREAK: {
        // The parameter is read as two decimal digits.
        int row = (p >> 4) * 10 + (p & 0x0F);
        replay.break_row = row > 63 ? 0 : row;
        replay.pattern_break = true;
        break;
    }
    case EFFECT_EXTENDED:
        extended_row(replay, channel, p);
        if (p == (EXTENDED_RETRIGGER << 4) && !is_note(cell.note))  // E90: the row's first tick, with or without a note
            retrigger(channel);
        break;
    case EFFECT_SET_SPEED:
        if (p >= 32)
            replay_set_bpm(replay, p);
        else if (p != 0)  // F00 changes nothing
            replay.speed = p;
        break;
    case EFFECT_GLOBAL_VOLUME:
        replay.global_volume = p > 64 ? 64 : p;
        channel.update_flags |= UPDATE_VOLUME;
        break;
    case EFFECT_ENVELOPE_POSITION:
        set_envelope_position(instrument.volume_envelope, instrument.volume_point_count, p,
                              channel.envelope_tick, channel.envelope_point, channel.envelope_value,
                              channel.envelope_slope, channel.envelope_finished, channel.envelope_volume);
        // FastTracker II moves the panning envelope only when the volume envelope has a sustain.
        if (instrument.volume_type & ENVELOPE_SUSTAIN)
            set_envelope_position(instrument.panning_envelope, instrument.panning_point_count, p,
                                  channel.panning_envelope_tick, channel.panning_envelope_point,
                                  channel.panning_envelope_value, channel.panning_envelope_slope,
                                  channel.panning_envelope_finished, channel.panning_envelope_volume);
        channel.update_flags |= UPDATE_VOLUME | UPDATE_PANNING;
        break;
    case EFFECT_EXTRA_FINE_PORTA:
        if ((p >> 4) == 1)
            slide_period(channel, -remembered(p & 0x0F, channel.extra_fine_up_memory));
        else if ((p >> 4) == 2)
            slide_period(channel, remembered(p & 0x0F, channel.extra_fine_down_memory));
        break;
    case EFFECT_MULTI_RETRIGGER: multi_retrigger(channel, p, cell, true); break;
    default: break;  // the rest act on the ticks after the row's first
    }
}

bool is_tone_portamento(const PatternCell& cell)
{
    return cell.effect == EFFECT_TONE_PORTAMENTO || cell.effect == EFFECT_TONE_PORTAMENTO_VOLUME_SLIDE ||
           (cell.volume >> 4) == 0xF;
}

bool is_note_delay(const PatternCell& cell)
{
    return cell.effect == EFFECT_EXTENDED && (cell.effect_param >> 4) == EXTENDED_NOTE_DELAY &&
           (cell.effect_param & 0x0F) != 0;
}

// Starts a note (1..96) on the instrument last given: its sample, its pitch,
// and a trigger. A note that the sample's relative note puts outside the
// playable range is not played: the sounding note goes on.
void start_tone(const Module& module, Channel& channel, const PatternCell& cell, uint8_t note)
{
    channel.note = note;
    channel.instrument = channel.given_instrument;
    const Sample& sample = mapped_sample(module, channel.instrument, note);
    const int real_note = note + sample.relative_note;
    if (real_note < 1 || real_note > 119)
        return;
    channel.sample = &sample;
    int finetune = sample.finetune;
    if (cell.effect == EFFECT_EXTENDED && (cell.effect_param >> 4) == EXTENDED_FINETUNE)
        finetune = ((cell.effect_param & 0x0F) << 4) - 128;
    channel.period = note_period(module, static_cast<uint8_t>(real_note - 1), finetune);
    channel.period_delta = 0;
    // A new note restarts the vibrato and tremolo waves, with or without an instrument.
    if (!(channel.waveforms & 0x04))
        channel.vibrato_position = 0;
    if (!(channel.waveforms & 0x40))
        channel.tremolo_position = 0;
    channel.sample_offset = cell.effect == EFFECT_SAMPLE_OFFSET ? channel.sample_offset_memory * 256u : 0;
    channel.update_flags = UPDATE_TRIGGER;
}

// A channel's row: its cell's note, instrument and volume column, then the
// effects of the row tick, then the envelopes. Runs on the row tick, or
// (delayed) on the tick a note delay names, where a cell without a note plays
// the last note again. The caller hands the changes to the voice.
void channel_row(Replay& replay, Channel& channel, const PatternCell& cell, bool delayed)
{
    const Module& module = *replay.module;
    const bool porta = is_tone_portamento(cell);
    // K00 releases the sounding note at once, and a note beside it is not played.
    const bool k00 = cell.effect == EFFECT_KEY_OFF && cell.effect_param == 0;
    const uint8_t note = delayed && cell.note == 0 ? channel.note : cell.note;
    const bool release = note == NOTE_KEY_OFF || k00;
    if (cell.instrument != 0 && !porta)
        channel.given_instrument = cell.instrument - 1;

    channel.update_flags = 0;
    if (cell.effect == EFFECT_VIBRATO)
        set_vibrato(channel, cell.effect_param);
    // A vibrato that goes on into this row plays its current position from the
    // row's first tick, a glissando its rounded pitch; other rows drop what
    // they added to the pitch.
    const bool vibrato_row =
        cell.effect == EFFECT_VIBRATO || cell.effect == EFFECT_VIBRATO_VOLUME_SLIDE || (cell.volume >> 4) == 0xB;
    if (vibrato_row)
        channel.period_delta = vibrato_delta(channel);
    else if (porta && channel.glissando)
        channel.period_delta = nearest_semitone(module, channel.period, look_up(module, channel).sample->finetune) -
                               channel.period;
    else
        channel.period_delta = 0;
    if (cell.effect == EFFECT_SAMPLE_OFFSET)  // kept for the next note, also on a row without one
        remembered(cell.effect_param, channel.sample_offset_memory);
    // Tremolo's hold on the output volume ends with its rows, tremor's does not.
    if (cell.effect != EFFECT_TREMOLO)
        channel.volume_delta = 0;
    // Note values 97..254 come only from damaged files: no note.
    if (is_note(note) && !k00) {
        if (porta) {
            const Sample& sample = *look_up(module, channel).sample;
            const int real_note = clamp(note + sample.relative_note, 1, 119);
            channel.porta_target = note_period(module, static_cast<uint8_t>(real_note - 1), sample.finetune);
        } else {
            start_tone(module, channel, cell, note);
        }
    }
    const Instrument& instrument = *look_up(module, channel).instrument;
    if (cell.effect == EFFECT_TONE_PORTAMENTO && cell.effect_param != 0)
        channel.porta_speed = cell.effect_param * 4;
    channel.period_offset = 0;
    channel.update_flags |= UPDATE_FREQUENCY | UPDATE_VOLUME;
    if (release)
        key_off(channel, instrument);
    if (cell.instrument != 0)
        reset_volumes(channel);
    if ((cell.instrument != 0 && !release) || delayed)
        trigger_instrument(channel, instrument);
    // A new note with vibrato sounds the wave at its restarted position from
    // its first tick (a square wave starts a depth away from the note).
    if (vibrato_row && is_note(note) && !k00 && !porta)
        channel.period_delta = vibrato_delta(channel);
    if (cell.volume != 0)
        volume_column_row(channel, cell.volume);
    if (cell.effect == EFFECT_TREMOLO && is_note(note) && !k00 && !porta)  // likewise the tremolo
        apply_tremolo(channel);
    effect_row(replay, channel, instrument, cell);
    run_envelopes_and_fadeout(channel, instrument);
    auto_vibrato(channel, instrument);
}

// The effect column on the ticks after the row's first.
void effect_tick(Replay& replay, Channel& channel, const Voiced& voiced, const PatternCell& cell)
{
    const Module& module = *replay.module;
    const uint8_t p = cell.effect_param;
    const uint8_t x = p & 0x0F;
    switch (cell.effect) {
    case EFFECT_ARPEGGIO:
        if (p != 0) {
            const int step = arpeggio_step(replay.speed - replay.tick);
            int semitones = step == 1 ? p >> 4 : step == 2 ? x : 0;
            // A step above the top of the note range plays the top note (C-8 on the sample's finetune).
            const int32_t top = note_period(module, 96, voiced.sample->finetune);
            if (module.flags & MODULE_LINEAR_FREQUENCIES)
                channel.period_offset = semitones != 0 ? std::min(semitones * 64, channel.period - top) : 0;
            else if (semitones != 0)
                channel.period_offset =
                    std::max(top, static_cast<int32_t>(std::lround(channel.period * std::exp2(-semitones / 12.0)))) -
                    channel.period;
            channel.update_flags |= UPDATE_FREQUENCY;
        }
        break;
    case EFFECT_PORTA_UP: slide_period(channel, -4 * remembered(p, channel.porta_up_memory)); break;
    case EFFECT_PORTA_DOWN: slide_period(channel, 4 * remembered(p, channel.porta_down_memory)); break;
    case EFFECT_TONE_PORTAMENTO: tone_portamento(channel, module, *voiced.sample); break;
    case EFFECT_TONE_PORTAMENTO_VOLUME_SLIDE:
        tone_portamento(channel, module, *voiced.sample);
        volume_slide(channel, p);
        break;
    case EFFECT_VIBRATO: vibrato(channel); break;
    case EFFECT_VIBRATO_VOLUME_SLIDE:
        vibrato(channel);
        volume_slide(channel, p);
        break;
    case EFFECT_TREMOLO:
        if (x)
            channel.tremolo_depth = x;
        if (p >> 4)
            channel.tremolo_speed = static_cast<uint8_t>((p >> 4) * 4);
        tremolo(channel);
        break;
    case EFFECT_VOLUME_SLIDE: volume_slide(channel, p); break;
    case EFFECT_EXTENDED:
        if ((p >> 4) == EXTENDED_RETRIGGER && x != 0 && replay.tick % x == 0)
            retrigger(channel);
        else if ((p >> 4) == EXTENDED_NOTE_CUT && replay.tick == x)
            set_volume(channel, 0);
        break;
    case EFFECT_KEY_OFF:
        if (replay.tick == p)
            key_off(channel, *voiced.instrument);
        break;
    case EFFECT_PANNING_SLIDE:
        channel.panning = clamp(channel.panning + slide_amount(remembered(p, channel.panning_slide_memory)), 0, 255);
        channel.update_flags |= UPDATE_PANNING;
        break;
    case EFFECT_MULTI_RETRIGGER: multi_retrigger(channel, p, cell, false); break;
    case EFFECT_TREMOR: tremor(channel, p); break;
    default: break;
    }
}

}  // namespace

void replay_start(Replay& replay, const Module* module, int rate, MixVoice* voices)
{
    std::memset(&replay, 0, sizeof replay);
    replay.module = module;
    replay.rate = rate;
    replay.voices = voices;
    replay.next_order = -1;
    replay.next_row = -1;
    replay.jump_order = replay.loop_jump_row = -1;
    replay.global_volume = module->initial_global_volume;
    replay.speed = module->default_speed;
    replay_set_bpm(replay, module->default_bpm);
    for (int i = 0; i < MAX_CHANNELS; ++i)
        replay.channels[i].voice = &voices[i];
}

void replay_set_bpm(Replay& replay, int bpm)
{
    replay.samples_per_tick = samples_per_tick_at(replay.rate, bpm);
}

int samples_per_tick_at(int rate, int bpm)
{
    if (bpm < 1)
        bpm = 1;
    // Single-precision constants, double-precision arithmetic, truncated: 882
    // frames at 125 BPM and 44100 Hz.
    double frames = 1000.0 / (bpm * static_cast<double>(0.4f)) * rate * static_cast<double>(0.001f);
    return frames >= 1.0 ? static_cast<int32_t>(frames) : 1;
}

void replay_seek(Replay& replay, int order)
{
    // The state of a song about to play its first row, at order.
    replay.order = order;
    replay.row = 0;
    replay.next_order = replay.next_row = -1;
    replay.jump_order = replay.loop_jump_row = -1;
    replay.break_row = 0;
    replay.pattern_break = false;
    replay.pattern_delay = 0;
    replay.repeating_row = false;
    replay.tick = 0;
    replay.samples_to_tick = 0;
}

void replay_mute(Replay& replay, int channel_index, bool muted)
{
    Channel& channel = replay.channels[channel_index];
    channel.muted = muted;
    channel.update_flags = UPDATE_VOLUME;
    update_voice(channel, *look_up(*replay.module, channel).sample, replay);
}

void replay_tick(Replay& replay)
{
    const Module& module = *replay.module;
    if (replay.tick != 0 || replay.repeating_row) {
        if (!replay.timing_only)  // no effect of the later ticks moves the song or its tempo
            replay_effects_tick(replay);
    } else {
        if (replay.next_order >= 0)
            replay.order = replay.next_order;
        if (replay.next_row >= 0)
            replay.row = replay.next_row;
        replay_row(replay);
        const int32_t rows = module.patterns[module.order_table[replay.order]].row_count;
        replay.next_row = replay.row + 1;
        replay.next_order = -1;
        if (replay.loop_jump_row >= 0)  // E6x: back within this pattern
            replay.next_row = replay.loop_jump_row;
        if (replay.pattern_break || replay.next_row >= rows) {
            replay.next_order = replay.jump_order >= 0 ? replay.jump_order : replay.order + 1;
            if (replay.next_order >= module.song_length)
                replay.next_order = module.restart_position;
            replay.next_row = replay.break_row;
            replay.break_row = 0;
            const int32_t next_rows = module.patterns[module.order_table[replay.next_order]].row_count;
            if (replay.next_row >= next_rows)
                replay.next_row = 0;
        }
    }
    if (++replay.tick >= replay.speed) {
        replay.tick = 0;
        // EEx plays the row's ticks again, reading no cells, before moving on.
        replay.repeating_row = replay.pattern_delay > 0;
        if (replay.repeating_row)
            --replay.pattern_delay;
    }
}

void replay_row(Replay& replay)
{
    const Module& module = *replay.module;
    Channel* channels = replay.channels;
    replay.next_order = -1;
    replay.next_row = -1;
    replay.jump_order = replay.loop_jump_row = -1;
    replay.pattern_break = false;
    const PatternCell* cells = row_cells(replay);
    if (replay.timing_only) {
        // Only the effects that move the song or set its tempo: Bxx, Dxx,
        // E6x, EEx and Fxx (a delayed cell's effect is its EDx).
        for (int c = 0; c < module.channel_count; ++c) {
            const PatternCell& cell = cells[c];
            const uint8_t extended = cell.effect_param >> 4;
            if (cell.effect == EFFECT_POSITION_JUMP || cell.effect == EFFECT_PATTERN_BREAK ||
                cell.effect == EFFECT_SET_SPEED ||
                (cell.effect == EFFECT_EXTENDED &&
                 (extended == EXTENDED_PATTERN_LOOP || extended == EXTENDED_PATTERN_DELAY)))
                effect_row(replay, channels[c], empty_instrument, cell);
        }
        return;
    }
    const int32_t global_volume = replay.global_volume;
    for (int c = 0; c < module.channel_count; ++c) {
        const PatternCell& cell = cells[c];
        Channel& channel = channels[c];
        if (is_note_delay(cell)) {
            // The cell waits for its tick; until then the channel runs on.
            const Voiced voiced = look_up(module, channel);
            channel.update_flags = 0;
            channel.period_offset = 0;
            run_envelopes_and_fadeout(channel, *voiced.instrument);
            auto_vibrato(channel, *voiced.instrument);
            continue;
        }
        channel_row(replay, channel, cell, false);
    }
    // The voices follow once every cell is read, so that a global volume set
    // in any channel reaches all of them on this tick.
    for (int c = 0; c < module.channel_count; ++c) {
        if (replay.global_volume != global_volume)
            channels[c].update_flags |= UPDATE_VOLUME;
        update_voice(channels[c], *look_up(module, channels[c]).sample, replay);
    }
}

void replay_effects_tick(Replay& replay)
{
    const Module& module = *replay.module;
    Channel* channels = replay.channels;
    const PatternCell* cells = row_cells(replay);
    // Global volume slides first, so that every channel hears them on this tick.
    bool global_change = false;
    for (int c = 0; c < module.channel_count; ++c) {
        if (cells[c].effect == EFFECT_GLOBAL_VOLUME_SLIDE) {
            int amount = slide_amount(remembered(cells[c].effect_param, channels[c].global_slide_memory));
            replay.global_volume = clamp(replay.global_volume + amount, 0, 64);
            global_change = true;
        }
    }
    for (int c = 0; c < module.channel_count; ++c) {
        const PatternCell& cell = cells[c];
        Channel& channel = channels[c];
        const Voiced voiced = look_up(module, channel);
        channel.period_offset = 0;
        channel.update_flags = global_change ? UPDATE_VOLUME : 0;
        if (is_note_delay(cell) && replay.tick == (cell.effect_param & 0x0F)) {
            channel_row(replay, channel, cell, true);
            channel.update_flags |= global_change ? UPDATE_VOLUME : 0;
            update_voice(channel, *look_up(module, channel).sample, replay);
            continue;
        }
        volume_column_tick(channel, cell.volume);
        switch (cell.volume >> 4) {
        case 0xB: vibrato(channel); break;
        case 0xF: tone_portamento(channel, module, *voiced.sample); break;
        default: break;
        }
        effect_tick(replay, channel, voiced, cell);
        // After the effects, so that a key-off or a volume of this tick is in.
        run_envelopes_and_fadeout(channel, *voiced.instrument);
        auto_vibrato(channel, *voiced.instrument);
        update_voice(channel, *voiced.sample, replay);
    }
}

void volume_column_row(Channel& channel, uint8_t volume_byte)
{
    int x = volume_byte & 0x0F;
    if (volume_byte >= 0x10 && volume_byte <= 0x50) {
        set_volume(channel, volume_byte - 0x10);
        return;
    }
    switch (volume_byte >> 4) {
    case 0x8: volume_down(channel, x); break;  // fine slides: once, at the row
    case 0x9: volume_up(channel, x); break;
    case 0xA:
        if (x)
            channel.vibrato_speed = static_cast<uint8_t>(x * 4);
        break;
    case 0xB:
        if (x)
            channel.vibrato_depth = static_cast<uint8_t>(x);
        break;
    case 0xC:
        channel.panning = x * 16;
        channel.update_flags |= UPDATE_PANNING;
        break;
    case 0xF:
        if (x)
            channel.porta_speed = x * 64;
        break;
    default: break;  // 0x00..0x0F, 0x51..0x5F: nothing; 6x, 7x, Dx, Ex slide on the later ticks
    }
}


namespace {

// One tick of an envelope (points of x = tick, y = value): the volume
// envelope and the panning envelope step alike.
void step_envelope(const EnvelopePoint* points, int count, uint8_t type, int sustain_point,
                   int loop_start, int loop_end, bool released, int32_t& tick, int32_t& point,
                   int32_t& value, int32_t& slope, uint8_t& finished, int32_t& output)
{
    if (point < count) {
        if (tick != points[point].x) {
            value = static_cast<int32_t>(static_cast<uint32_t>(value) + static_cast<uint32_t>(slope));
        } else {
            // A point is reached. The loop is tested before the sustain, so a
            // sustain point at the loop's end loops rather than holds; once
            // the key is released that point no longer loops.
            const bool released_sustain = released && (type & ENVELOPE_SUSTAIN) && point == sustain_point;
            if ((type & ENVELOPE_LOOP) && point == loop_end && !released_sustain) {
                point = loop_start;
                tick = points[point].x;
            }
            const int i = point;
            if (i == count - 1) {
                output = points[i].y << 16;
                finished = 1;
                return;
            }
            if ((type & ENVELOPE_SUSTAIN) && i == sustain_point && !released) {
                output = points[i].y << 16;  // held until the key is released
                return;
            }
            int dx = points[i + 1].x - points[i].x;
            int64_t dy = points[i + 1].y - points[i].y;
            slope = dx != 0 ? static_cast<int32_t>(dy * 65536 / dx) : 0;
            value = static_cast<int32_t>(static_cast<uint32_t>(points[i].y) << 16);
            point = i + 1;
        }
    }
    output = value;
    tick += 1;
}

}  // namespace

void envelope_step(Channel& channel, const Instrument& instrument)
{
    step_envelope(instrument.volume_envelope, instrument.volume_point_count, instrument.volume_type,
                  instrument.volume_sustain_point, instrument.volume_loop_start, instrument.volume_loop_end,
                  channel.key_off, channel.envelope_tick, channel.envelope_point, channel.envelope_value,
                  channel.envelope_slope, channel.envelope_finished, channel.envelope_volume);
    channel.update_flags |= UPDATE_VOLUME;
}

void panning_envelope_step(Channel& channel, const Instrument& instrument)
{
    step_envelope(instrument.panning_envelope, instrument.panning_point_count, instrument.panning_type,
                  instrument.panning_sustain_point, instrument.panning_loop_start,
                  instrument.panning_loop_end, channel.key_off, channel.panning_envelope_tick,
                  channel.panning_envelope_point, channel.panning_envelope_value,
                  channel.panning_envelope_slope, channel.panning_envelope_finished,
                  channel.panning_envelope_volume);
    channel.update_flags |= UPDATE_PANNING;
}

void update_voice(Channel& channel, const Sample& sample, Replay& replay)
{
    if (replay.timing_only)
        return;
    const Module& module = *replay.module;
    MixVoice* voice = channel.voice;
    if (channel.period + channel.period_offset == 0)
        channel.update_flags &= ~UPDATE_FREQUENCY;

    if (channel.update_flags & UPDATE_TRIGGER) {
        // A sounding voice hands its note to its partner, which fades it out
        // while this channel's new note rises on the partner's old place.
        if (voice->sample) {
            MixVoice* partner = &replay.voices[voice->index < MAX_CHANNELS ? voice->index + MAX_CHANNELS
                                                                           : voice->index - MAX_CHANNELS];
            *partner = *voice;
            partner->index = static_cast<int32_t>(partner - replay.voices);
            voice->volume = voice->target_left = voice->target_right = 0;
            channel.voice = voice = partner;
        }
        // A sample offset past the sample's end plays nothing.
        const bool past_end = channel.sample_offset >= sample.length && channel.sample_offset != 0;
        voice->sample = past_end ? &empty_sample : &sample;
        voice->position = past_end ? 0 : channel.sample_offset;
        voice->position_fraction = 0;
        voice->direction = VOICE_FORWARD;
        voice->gain_left = voice->gain_right = 0;
        voice->ramp_frames_left = 0;
        ++channel.triggers;
    }
    if (channel.update_flags & UPDATE_VOLUME) {
        const int32_t heard = channel.tremor_mute ? 0 : clamp(channel.volume + channel.volume_delta, 0, 64);
        // Every factor at its full resolution, so that quiet levels and long
        // tails are heard as they fall; out-of-range instrument data is held
        // to full volume.
        const double volume = heard / 64.0 * (channel.envelope_volume / ENVELOPE_FULL) *
                              (channel.fadeout_volume / 65536.0) * (replay.global_volume / 64.0);
        voice->volume = static_cast<float>(std::clamp(volume, 0.0, 1.0));
    }
    if (channel.update_flags & UPDATE_PANNING) {
        int32_t panning = clamp(channel.panning, 0, 255);
        if (channel.panning_envelope_on) {
            // The envelope swings the panning as far as the nearer side allows.
            const int64_t room = 128 - std::abs(panning - 128);
            const int64_t swing = int64_t{channel.panning_envelope_volume} - ENVELOPE_CENTRE;
            panning = clamp(panning + static_cast<int32_t>(swing * room / ENVELOPE_CENTRE), 0, 255);
        }
        voice->panning = panning;
    }
    if (channel.update_flags & (UPDATE_VOLUME | UPDATE_PANNING)) {
        // Linear panning: 0 is all left, 128 the middle, 255 all but 1/256 right.
        const float gain = channel.muted ? 0.0f : voice->volume * FULL_GAIN;
        voice->target_left = gain * static_cast<float>(256 - voice->panning) / 256;
        voice->target_right = gain * static_cast<float>(voice->panning) / 256;
    }
    if (channel.update_flags & UPDATE_FREQUENCY) {
        auto frequency = static_cast<uint32_t>(voice_frequency(channel, module));
        auto rate = static_cast<uint32_t>(replay.rate);
        voice->step = frequency / rate;
        voice->step_fraction = static_cast<uint32_t>((uint64_t{frequency % rate} << 32) / rate);
    }
}
