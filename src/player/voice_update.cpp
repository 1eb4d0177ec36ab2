// How a channel's changes reach its mixer voice: a trigger starts the sample
// (on the partner voice where the channel's own still sounds), and the
// volume, panning and frequency the tick left are turned into the voice's
// gains and step.
#include <algorithm>
#include <cstdlib>

#include "player/mixer.h"
#include "player/replay.h"
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
