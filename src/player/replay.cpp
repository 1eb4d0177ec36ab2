// The replay engine.
//
// Supported: notes and key-off, instruments with their volume envelope
// (sustain, loop) and fade-out, the volume column, arpeggio, set speed/BPM
// (F), global volume (G) and key-off (K). Every other effect is ignored, and
// tone portamento (3, 5) only keeps the cell's note and instrument from
// changing the channel. Both frequency tables are played: linear periods, and
// Amiga periods for modules with the linear flag clear.
#include "player/replay.h"

#include <bit>
#include <cmath>
#include <cstring>

#include "player/mixer.h"
#include "player/output.h"

Channel channels[MAX_CHANNELS];

namespace {

constexpr uint8_t EFFECT_ARPEGGIO = 0;
constexpr uint8_t EFFECT_TONE_PORTAMENTO = 3;
constexpr uint8_t EFFECT_TONE_PORTAMENTO_VOLUME_SLIDE = 5;
constexpr uint8_t EFFECT_SET_SPEED = 15;
constexpr uint8_t EFFECT_GLOBAL_VOLUME = 16;
constexpr uint8_t EFFECT_KEY_OFF = 20;

// The single-precision value nearest 1/768: one octave of linear period.
const double LINEAR_OCTAVE = std::bit_cast<float>(0x3AAAAAABu);
constexpr int AMIGA_CLOCK = 14317056;    // frequency = AMIGA_CLOCK / period
constexpr double AMIGA_C0_PERIOD = 27392.0;  // C-4 (note 48) is period 1712, 8363 Hz

struct Voiced {
    const Instrument* instrument;
    const Sample* sample;
};

Voiced look_up(const Module& module, const Channel& channel)
{
    if (channel.instrument >= module.instrument_count)
        return {&empty_instrument, &empty_sample};
    const Instrument& instrument = module.instruments[channel.instrument];
    uint8_t slot = instrument.sample_map[channel.note];
    return {&instrument, slot >= MAX_INSTRUMENT_SAMPLES ? &empty_sample : instrument.samples[slot]};
}

const PatternCell* row_cells(const Module& module)
{
    const Pattern& pattern = module.patterns[module.order_table[module.order]];
    return pattern.cells + module.row * module.channel_count;
}

bool is_note(uint8_t note)
{
    return note >= 1 && note <= 96;
}

// XM Amiga period of a 0-based note, finetune in 1/128 semitone: 1712 at C-4,
// doubling per octave down.
int32_t amiga_period(uint8_t note, int8_t finetune)
{
    double semitones = note + finetune / 128.0;
    return static_cast<int32_t>(std::lround(AMIGA_C0_PERIOD * std::exp2(-semitones / 12.0)));
}

// Envelope and fade-out, on the row tick and every other tick.
void run_envelope_and_fadeout(Channel& channel, const Instrument& instrument)
{
    if (instrument.volume_type & ENVELOPE_ON) {
        if (!channel.envelope_finished)
            envelope_step(channel, instrument);
    }
    if (channel.key_off) {
        channel.fadeout_volume -= instrument.fadeout;
        if (channel.fadeout_volume < 0)
            channel.fadeout_volume = 0;
        channel.update_flags |= UPDATE_VOLUME;
    }
}

void volume_down(Channel& channel, int x)
{
    channel.volume = channel.volume - x < 0 ? 0 : channel.volume - x;
    channel.update_flags |= UPDATE_VOLUME;
}

void volume_up(Channel& channel, int x)
{
    channel.volume = channel.volume + x > 64 ? 64 : channel.volume + x;
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

int32_t voice_frequency(const Channel& channel, const Module& module)
{
    int32_t frequency;
    if (module.flags & MODULE_LINEAR_FREQUENCIES) {
        double exponent = (4608 - channel.period + channel.period_offset) * LINEAR_OCTAVE;
        double hz = 8363.0 * std::exp2(exponent);
        // Out of the integer range counts as too low, as a wrapped conversion would.
        frequency = hz < 2147483648.0 ? static_cast<int32_t>(hz) : 0;
    } else {
        frequency = AMIGA_CLOCK / (channel.period + channel.period_offset);
    }
    return frequency < 100 ? 100 : frequency;
}

}  // namespace

void replay_start(Module* module)
{
    module->next_order = -1;
    module->next_row = -1;
    module->global_volume = module->initial_global_volume;
    module->speed = module->default_speed;
    module->row = 0;
    module->order = 0;
    module->samples_to_tick = 0;
    module->tick = 0;
    module_set_bpm(module, module->default_bpm);
    std::memset(channels, 0, sizeof channels);
    for (int i = 0; i < MAX_CHANNELS; ++i)
        channels[i].voice = &voices[i];
}

void replay_tick(Module* module)
{
    if (module->tick != 0) {
        replay_effects_tick(module);
    } else {
        if (module->next_order >= 0)
            module->order = module->next_order;
        if (module->next_row >= 0)
            module->row = module->next_row;
        replay_row(module);
        module->next_row = module->row + 1;
        if (module->next_row >= module->patterns[module->order_table[module->order]].row_count) {
            module->next_order = module->order + 1;
            if (module->next_order >= module->song_length)
                module->next_order = module->restart_position;
            module->next_row = 0;
        }
    }
    if (++module->tick >= module->speed)
        module->tick = 0;
}

void replay_row(Module* module)
{
    module->next_order = -1;
    module->next_row = -1;
    const PatternCell* cells = row_cells(*module);
    for (int c = 0; c < module->channel_count; ++c) {
        const PatternCell& cell = cells[c];
        Channel& channel = channels[c];
        const bool porta = cell.effect == EFFECT_TONE_PORTAMENTO ||
                           cell.effect == EFFECT_TONE_PORTAMENTO_VOLUME_SLIDE;
        // Note values 97..254 come only from damaged files: no note.
        const bool note = is_note(cell.note);
        if (cell.instrument != 0 && !porta)
            channel.instrument = cell.instrument - 1;
        if (note && !porta)
            channel.note = cell.note - 1;
        const Voiced voiced = look_up(*module, channel);
        const Sample& sample = *voiced.sample;

        channel.update_flags = 0;
        if (note) {
            auto real_note = static_cast<uint8_t>(cell.note + sample.relative_note - 1);
            if (!porta) {
                if (module->flags & MODULE_LINEAR_FREQUENCIES)
                    channel.period = 7680 - real_note * 64 - sample.finetune / 2;
                else
                    channel.period = amiga_period(real_note, sample.finetune);
            }
            channel.update_flags = UPDATE_TRIGGER;
        }
        channel.period_offset = 0;
        channel.update_flags |= UPDATE_FREQUENCY | UPDATE_VOLUME;
        if (cell.instrument != 0)
            reset_channel_instrument(channel, sample);
        if (cell.volume != 0)
            volume_column_row(channel, cell.volume);
        if (cell.note == NOTE_KEY_OFF || cell.effect == EFFECT_KEY_OFF)
            channel.key_off = 1;
        // Without an envelope a key-off cuts the note.
        if (!(voiced.instrument->volume_type & ENVELOPE_ON) && channel.key_off)
            channel.envelope_volume = 0;
        run_envelope_and_fadeout(channel, *voiced.instrument);

        if (cell.effect == EFFECT_SET_SPEED) {
            if (cell.effect_param < 32)
                module->speed = cell.effect_param;
            else
                module_set_bpm(module, cell.effect_param);
        } else if (cell.effect == EFFECT_GLOBAL_VOLUME) {
            module->global_volume = cell.effect_param > 64 ? 64 : cell.effect_param;
            channel.update_flags |= UPDATE_VOLUME;
        }
        update_voice(channel, sample, *module);
    }
}

void replay_effects_tick(Module* module)
{
    const PatternCell* cells = row_cells(*module);
    for (int c = 0; c < module->channel_count; ++c) {
        const PatternCell& cell = cells[c];
        Channel& channel = channels[c];
        const Voiced voiced = look_up(*module, channel);
        channel.period_offset = 0;
        channel.update_flags = 0;
        run_envelope_and_fadeout(channel, *voiced.instrument);
        volume_column_tick(channel, cell.volume);
        if (cell.effect == EFFECT_ARPEGGIO && cell.effect_param != 0) {
            int step = module->tick % 3;
            if (module->flags & MODULE_LINEAR_FREQUENCIES) {
                if (step == 1)
                    channel.period_offset = (cell.effect_param >> 4) * 64;
                else if (step == 2)
                    channel.period_offset = (cell.effect_param & 0x0F) * 64;
            }
            channel.update_flags |= UPDATE_FREQUENCY;
        }
        update_voice(channel, *voiced.sample, *module);
    }
}

void volume_column_row(Channel& channel, uint8_t volume_byte)
{
    int x = volume_byte & 0x0F;
    if (volume_byte >= 0x10 && volume_byte <= 0x50) {
        channel.volume = volume_byte - 0x10;
        channel.update_flags |= UPDATE_VOLUME;
        return;
    }
    switch (volume_byte >> 4) {
    case 0x6: case 0x7: case 0xD: case 0xE:
        volume_column_tick(channel, volume_byte);
        break;
    case 0x8: volume_down(channel, x); break;  // fine slides: once, at the row
    case 0x9: volume_up(channel, x); break;
    case 0xC:
        channel.panning = x * 16;
        channel.update_flags |= UPDATE_PANNING;
        break;
    case 0xF:
        // Changes the pitch without restarting the sample.
        channel.update_flags &= ~UPDATE_TRIGGER;
        break;
    default: break;  // 0x00..0x0F, 0x51..0x5F, vibrato 0xA/0xB: nothing audible
    }
}

void reset_channel_instrument(Channel& channel, const Sample& sample)
{
    channel.volume = sample.volume;
    channel.panning = sample.panning;
    channel.envelope_volume = 64;
    channel.envelope_tick = 0;
    channel.envelope_point = 0;
    channel.envelope_slope = 0;
    channel.envelope_finished = 0;
    channel.key_off = 0;
    channel.fadeout_volume = 65536;
    channel.update_flags |= UPDATE_VOLUME | UPDATE_PANNING;
}

void envelope_step(Channel& channel, const Instrument& instrument)
{
    const EnvelopePoint* points = instrument.volume_envelope;
    const int count = instrument.volume_point_count;
    if (channel.envelope_point < count) {
        if (channel.envelope_tick != points[channel.envelope_point].x) {
            channel.envelope_value = static_cast<int32_t>(static_cast<uint32_t>(channel.envelope_value) +
                                                          static_cast<uint32_t>(channel.envelope_slope));
        } else {
            // A point is reached. The loop is tested before the sustain, so a
            // sustain point at the loop's end loops rather than holds.
            if ((instrument.volume_type & ENVELOPE_LOOP) &&
                channel.envelope_point == instrument.volume_loop_end) {
                channel.envelope_point = instrument.volume_loop_start;
                channel.envelope_tick = points[channel.envelope_point].x;
            }
            const int i = channel.envelope_point;
            if (i == count - 1) {
                channel.envelope_volume = points[i].y;
                channel.envelope_finished = 1;
                channel.update_flags |= UPDATE_VOLUME;
                return;
            }
            if ((instrument.volume_type & ENVELOPE_SUSTAIN) && i == instrument.volume_sustain_point &&
                !channel.key_off) {
                channel.envelope_volume = points[i].y;  // held until the key is released
                channel.update_flags |= UPDATE_VOLUME;
                return;
            }
            int dx = points[i + 1].x - points[i].x;
            int64_t dy = points[i + 1].y - points[i].y;
            channel.envelope_slope = dx != 0 ? static_cast<int32_t>(dy * 65536 / dx) : 0;
            channel.envelope_value = static_cast<int32_t>(static_cast<uint32_t>(points[i].y) << 16);
            channel.envelope_point = i + 1;
        }
    }
    channel.envelope_volume = channel.envelope_value >> 16;
    channel.envelope_tick += 1;
    channel.update_flags |= UPDATE_VOLUME;
}

void update_voice(Channel& channel, const Sample& sample, const Module& module)
{
    MixVoice* voice = channel.voice;
    if (channel.period + channel.period_offset == 0)
        channel.update_flags &= ~UPDATE_FREQUENCY;

    if (channel.update_flags & UPDATE_TRIGGER) {
        // A sounding voice hands its note to its partner, which fades it out
        // while this channel's new note rises on the partner's old place.
        if (voice->sample) {
            MixVoice* partner = &voices[voice->index < 32 ? voice->index + 32 : voice->index - 32];
            *partner = *voice;
            partner->index = static_cast<int32_t>(partner - voices);
            voice->volume = voice->target_left = voice->target_right = 0;
            channel.voice = voice = partner;
        }
        voice->sample = &sample;
        voice->position = 0;
        voice->position_fraction = 0;
        voice->direction = VOICE_FORWARD;
        voice->gain_left = voice->gain_right = 0;
        voice->ramp_frames_left = 0;
    }
    if (channel.update_flags & UPDATE_VOLUME) {
        int64_t product = int64_t{channel.volume} * channel.envelope_volume * channel.fadeout_volume *
                          module.global_volume * 255;
        auto volume = static_cast<int32_t>(product / (int64_t{1} << 35));
        // 0..127 for valid files; out-of-range instrument data is held there too.
        volume = volume < 0 ? 0 : volume > 127 ? 127 : volume;
        voice->volume = volume;
        voice->target_left = voice->panning * volume / 255;
        voice->target_right = (255 - voice->panning) * volume / 255;
    }
    if (channel.update_flags & UPDATE_PANNING) {
        int32_t panning = channel.panning < 0 ? 0 : channel.panning > 255 ? 255 : channel.panning;
        voice->panning = panning;
        voice->target_left = voice->volume * panning / 255;
        voice->target_right = (255 - panning) * voice->volume / 255;
    }
    if (channel.update_flags & UPDATE_FREQUENCY) {
        auto frequency = static_cast<uint32_t>(voice_frequency(channel, module));
        auto rate = static_cast<uint32_t>(output_rate);
        voice->step = frequency / rate;
        voice->step_fraction = static_cast<uint32_t>((uint64_t{frequency % rate} << 32) / rate);
    }
}
