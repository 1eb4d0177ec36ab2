// Envelopes, fade-out and auto-vibrato: the volume and panning envelopes
// stepped once a tick (sustain, loop), moved by Lxx, the fade-out after a
// key-off, and the instrument's auto-vibrato.
#include <cmath>
#include <cstdint>

#include "player/replay_internal.h"

namespace {

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

}  // namespace

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
