// The ticks after a row's first: the volume column's slides, vibrato and
// tremolo, portamentos, arpeggio, retriggers, tremor, note cut, key-off and
// the delayed notes, then the envelopes of every channel.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "player/replay_internal.h"

namespace {

void vibrato(Channel& channel)
{
    channel.period_delta = vibrato_delta(channel);
    channel.vibrato_position = static_cast<uint8_t>(channel.vibrato_position + channel.vibrato_speed);
    channel.update_flags |= UPDATE_FREQUENCY;
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
