// The replay engine.
//
// Notes and key-off, instruments with their volume and panning envelopes
// (sustain, loop), fade-out and auto-vibrato, the volume column and the whole
// XM effect set, played as FastTracker II plays them. Both frequency tables
// are played: linear periods, and Amiga periods for modules with the linear
// flag clear. Panning 0 is left and 255 right.
//
// This file drives the song: its start, its ticks and rows. The parts it
// drives are in channel_row.cpp, row_effects.cpp and tick_effects.cpp, which
// share waves.cpp; below them frequency.cpp, envelope.cpp, tempo.cpp and
// voice_update.cpp (how a channel's changes reach its mixer voice).
#include "player/replay.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "player/mixer.h"
#include "player/replay_internal.h"

namespace {

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

