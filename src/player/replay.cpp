// The replay engine.
//
// Notes and key-off, instruments with their volume and panning envelopes
// (sustain, loop), fade-out and auto-vibrato, the volume column and the whole
// XM effect set, played as FastTracker II plays them. Both frequency tables
// are played: linear periods, and Amiga periods for modules with the linear
// flag clear. Panning 0 is left and 255 right.
//
// This file drives the song: its start, its ticks and rows, and how a
// channel's changes reach its mixer voice. The parts it drives are in
// frequency.cpp, envelope.cpp, channel_row.cpp, row_effects.cpp and
// tick_effects.cpp.
#include "player/replay.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "player/mixer.h"
#include "player/replay_internal.h"

namespace {

constexpr double ENVELOPE_FULL = 64 << 16;     // an envelope at 64, in 16.16

// A trigger: the channel's sample starts (at its offset) on the channel's
// voice, or on the partner where that voice still sounds; returns the voice.
MixVoice* trigger_voice(Channel& channel, const Sample& sample, Replay& replay)
{
    MixVoice* voice = channel.voice;
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
    return voice;
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

void update_voice(Channel& channel, const Sample& sample, Replay& replay)
{
    if (replay.timing_only)
        return;
    const Module& module = *replay.module;
    MixVoice* voice = channel.voice;
    if (channel.period + channel.period_offset == 0)
        channel.update_flags &= ~UPDATE_FREQUENCY;

    if (channel.update_flags & UPDATE_TRIGGER)
        voice = trigger_voice(channel, sample, replay);
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
