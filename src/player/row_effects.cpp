// The effects of a row's first tick: the effect column (with the extended
// Exy effects) and the volume column.
#include "player/replay_internal.h"

namespace {

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

}  // namespace

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
