// A channel's row: the cell's note, instrument and volume column, the key-off,
// then the row tick's effects and the envelopes.
#include "player/replay_internal.h"

namespace {

// The sample an instrument (0-based) plays for a note (1..96).
const Sample& mapped_sample(const Module& module, int instrument, int note)
{
    if (instrument >= module.instrument_count)
        return empty_sample;
    const uint8_t slot = module.instruments[instrument].sample_map[note - 1];
    return slot >= MAX_INSTRUMENT_SAMPLES ? empty_sample : *module.instruments[instrument].samples[slot];
}

// 4xy: speed x and depth y, each kept where the parameter gives 0.
void set_vibrato(Channel& channel, uint8_t parameter)
{
    if (parameter & 0x0F)
        channel.vibrato_depth = parameter & 0x0F;
    if (parameter >> 4)
        channel.vibrato_speed = static_cast<uint8_t>((parameter >> 4) * 4);
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

bool is_tone_portamento(const PatternCell& cell)
{
    return cell.effect == EFFECT_TONE_PORTAMENTO || cell.effect == EFFECT_TONE_PORTAMENTO_VOLUME_SLIDE ||
           (cell.volume >> 4) == 0xF;
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

}  // namespace

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
