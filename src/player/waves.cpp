// What a row starts and its later ticks go on with: the vibrato and tremolo
// waves, and the multi-retrigger's count.
#include <cstdlib>

#include "player/replay_internal.h"

namespace {

// Half a sine cycle in 32 steps, 0..255: the vibrato and tremolo waveform.
constexpr uint8_t VIBRATO_SINE[32] = {0,   24,  49,  74,  97,  120, 141, 161, 180, 197, 212,
                                      224, 235, 244, 250, 253, 255, 253, 250, 244, 235, 224,
                                      212, 197, 180, 161, 141, 120, 97,  74,  49,  24};

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

}  // namespace

// The vibrato's period delta at its current position.
int32_t vibrato_delta(const Channel& channel)
{
    int value = waveform_value(channel.waveforms & 0x0F, channel.vibrato_position, channel.vibrato_position);
    // The magnitude is scaled before the sign is applied, as FastTracker II does.
    int magnitude = (std::abs(value) * channel.vibrato_depth) >> 5;
    return value < 0 ? -magnitude : magnitude;
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
