// The XM writer: small songs built in code for the tests, fuzz seeds and
// benchmarks, so no song file from elsewhere is ever needed, and the show's
// song, which the composer (tools/compose_song) hands over in these records.
// Header-only so that the player tests, which link only the player, can use
// it. The records are trusted: sizes are assumed to fit the format's fields.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace xm {

struct Cell {
    uint8_t note = 0, instrument = 0, volume = 0, effect = 0, param = 0;
};

struct Pattern {
    int rows = 64;
    std::vector<Cell> cells;           // rows × channels, row-major; empty: all zero
    bool stored_empty = false;         // packed data size 0: no cell data in the file
    std::vector<uint8_t> raw;          // when set: written as the packed data verbatim
    int header_length = 9;             // stated header length; bytes past 9 are written as zeros
    int stated_size = -1;              // overrides the stated packed data size when ≥ 0

    Cell& at(int row, int channel, int channels)
    {
        if (cells.empty())
            cells.resize(static_cast<size_t>(rows * channels));
        return cells[static_cast<size_t>(row * channels + channel)];
    }
};

struct Sample {
    std::string name = "sample";       // at most 22 bytes
    std::vector<int> frames;           // values: -128..127 for 8-bit, -32768..32767 for 16-bit
    bool sixteen_bit = false;
    uint8_t loop = 0;                  // type bits 0-1: 0 none, 1 forward, 2 ping-pong
    uint32_t loop_start = 0, loop_length = 0;  // frames
    uint8_t volume = 64;
    int8_t finetune = 0;
    uint8_t panning = 128;
    int8_t relative_note = 0;
    int32_t byte_length = -1;          // overrides the stored length in bytes when ≥ 0
};

struct Envelope {
    std::vector<std::pair<int, int>> points;  // (tick, value)
    uint8_t sustain = 0, loop_start = 0, loop_end = 0, type = 0;
};

struct Instrument {
    std::string name = "instrument";   // at most 22 bytes
    std::vector<Sample> samples;
    uint8_t sample_map[96] = {};
    Envelope volume;
    Envelope panning;
    uint8_t vibrato_type = 0, vibrato_sweep = 0, vibrato_depth = 0, vibrato_rate = 0;  // auto-vibrato
    uint16_t fadeout = 0;
    uint32_t header_size = 263;
};

struct Song {
    std::string name = "test song";    // at most 20 bytes, as are the tracker's
    std::string tracker = "FastTracker v2.00";
    int channels = 4;
    int speed = 6, bpm = 125;
    uint16_t flags = 1;                // linear frequencies
    int restart = 0;
    std::vector<uint8_t> orders = {0};
    int song_length = -1;              // overrides orders.size() when ≥ 0
    int instrument_count = -1;         // overrides the stated instrument count when ≥ 0
    bool mask_every_cell = false;      // a mask byte also before cells with all five fields
    std::vector<Pattern> patterns;
    std::vector<Instrument> instruments;
};

inline void put8(std::vector<uint8_t>& out, int v) { out.push_back(static_cast<uint8_t>(v)); }
inline void put16(std::vector<uint8_t>& out, int v) { put8(out, v & 0xFF); put8(out, (v >> 8) & 0xFF); }
inline void put32(std::vector<uint8_t>& out, uint32_t v) { put16(out, static_cast<int>(v & 0xFFFF)); put16(out, static_cast<int>(v >> 16)); }
// A fixed-width text field, padded with zeros.
inline void put_text(std::vector<uint8_t>& out, const std::string& text, size_t size)
{
    for (size_t i = 0; i < size; ++i)
        put8(out, i < text.size() ? text[i] : 0);
}

// One cell, packed with a mask unless all five fields are set and always_mask
// is false.
inline void put_cell(std::vector<uint8_t>& out, const Cell& c, bool always_mask)
{
    if (!always_mask && c.note && c.instrument && c.volume && c.effect && c.param && c.note < 0x80) {
        for (uint8_t b : {c.note, c.instrument, c.volume, c.effect, c.param}) put8(out, b);
        return;
    }
    uint8_t mask = 0x80 | (c.note ? 1 : 0) | (c.instrument ? 2 : 0) | (c.volume ? 4 : 0) |
                   (c.effect ? 8 : 0) | (c.param ? 16 : 0);
    put8(out, mask);
    for (uint8_t b : {c.note, c.instrument, c.volume, c.effect, c.param})
        if (b) put8(out, b);
}

inline std::vector<uint8_t> write(const Song& song)
{
    std::vector<uint8_t> out;
    put_text(out, "Extended Module: ", 17);
    put_text(out, song.name, 20);
    put8(out, 0x1A);
    put_text(out, song.tracker, 20);
    put16(out, 0x0104);
    put32(out, 276);
    put16(out, song.song_length >= 0 ? song.song_length : static_cast<int>(song.orders.size()));
    put16(out, song.restart);
    put16(out, song.channels);
    put16(out, static_cast<int>(song.patterns.size()));
    put16(out, song.instrument_count >= 0 ? song.instrument_count : static_cast<int>(song.instruments.size()));
    put16(out, song.flags);
    put16(out, song.speed);
    put16(out, song.bpm);
    for (int i = 0; i < 256; ++i)
        put8(out, i < static_cast<int>(song.orders.size()) ? song.orders[i] : 0);

    for (const Pattern& p : song.patterns) {
        std::vector<uint8_t> data = p.raw;
        if (p.raw.empty() && !p.stored_empty) {
            for (int i = 0; i < p.rows * song.channels; ++i)
                put_cell(data, p.cells.empty() ? Cell{} : p.cells[static_cast<size_t>(i)], song.mask_every_cell);
        }
        put32(out, static_cast<uint32_t>(p.header_length));
        put8(out, 0);
        put16(out, p.rows);
        put16(out, p.stated_size >= 0 ? p.stated_size : static_cast<int>(data.size()));
        for (int i = 9; i < p.header_length; ++i)
            put8(out, 0);
        out.insert(out.end(), data.begin(), data.end());
    }

    for (const Instrument& ins : song.instruments) {
        size_t start = out.size();
        put32(out, ins.header_size);
        put_text(out, ins.name, 22);
        put8(out, 0);
        put16(out, static_cast<int>(ins.samples.size()));
        if (!ins.samples.empty()) {
            put32(out, 40);
            for (uint8_t m : ins.sample_map) put8(out, m);
            for (int i = 0; i < 12; ++i) {
                bool used = i < static_cast<int>(ins.volume.points.size());
                put16(out, used ? ins.volume.points[i].first : 0);
                put16(out, used ? ins.volume.points[i].second : 0);
            }
            for (int i = 0; i < 12; ++i) {
                bool used = i < static_cast<int>(ins.panning.points.size());
                put16(out, used ? ins.panning.points[i].first : 0);
                put16(out, used ? ins.panning.points[i].second : 0);
            }
            put8(out, static_cast<int>(ins.volume.points.size()));
            put8(out, static_cast<int>(ins.panning.points.size()));
            put8(out, ins.volume.sustain);
            put8(out, ins.volume.loop_start);
            put8(out, ins.volume.loop_end);
            put8(out, ins.panning.sustain);
            put8(out, ins.panning.loop_start);
            put8(out, ins.panning.loop_end);
            put8(out, ins.volume.type);
            put8(out, ins.panning.type);
            put8(out, ins.vibrato_type); put8(out, ins.vibrato_sweep);
            put8(out, ins.vibrato_depth); put8(out, ins.vibrato_rate);
            put16(out, ins.fadeout);
        }
        while (out.size() < start + ins.header_size) put8(out, 0);
        for (const Sample& s : ins.samples) {
            uint32_t unit = s.sixteen_bit ? 2 : 1;
            put32(out, s.byte_length >= 0 ? static_cast<uint32_t>(s.byte_length)
                                          : static_cast<uint32_t>(s.frames.size()) * unit);
            put32(out, s.loop_start * unit);
            put32(out, s.loop_length * unit);
            put8(out, s.volume);
            put8(out, static_cast<uint8_t>(s.finetune));
            put8(out, (s.loop & 3) | (s.sixteen_bit ? 0x10 : 0));
            put8(out, s.panning);
            put8(out, static_cast<uint8_t>(s.relative_note));
            put8(out, 0);
            put_text(out, s.name, 22);
        }
        for (const Sample& s : ins.samples) {
            int previous = 0;
            for (int v : s.frames) {
                int delta = v - previous;
                previous = v;
                if (s.sixteen_bit) put16(out, delta & 0xFFFF);
                else put8(out, delta & 0xFF);
            }
        }
    }
    return out;
}

// An instrument with one sample used for every note.
inline Instrument single_sample_instrument(Sample sample)
{
    Instrument ins;
    ins.samples.push_back(std::move(sample));
    return ins;
}

// Synthesized waveforms for test and benchmark songs.
inline std::vector<int> sine_frames(int count, int period, int amplitude)
{
    std::vector<int> frames(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        frames[static_cast<size_t>(i)] =
            static_cast<int>(std::lround(amplitude * std::sin(2 * 3.14159265358979 * i / period)));
    return frames;
}

inline std::vector<int> noise_burst_frames(int count, int amplitude)
{
    std::vector<int> frames(static_cast<size_t>(count));
    uint32_t seed = 12345;
    for (int i = 0; i < count; ++i) {
        seed = seed * 1103515245u + 12345u;
        int decay = amplitude * (count - i) / count;
        frames[static_cast<size_t>(i)] = static_cast<int>((seed >> 16) % (2 * decay + 1)) - decay;
    }
    return frames;
}

// One channel, 16 rows: an 8-bit ping-pong loop over a whole 17-frame sample,
// cell note 24 on row 0. The loop's return leg once counted one frame too many
// at this pitch and read far before the sample.
inline Song ping_pong_from_frame_zero_song()
{
    Song song;
    song.channels = 1;
    song.patterns.resize(1);
    song.patterns[0].rows = 16;
    Sample sample;
    sample.frames = sine_frames(17, 17, 100);
    sample.loop = 2;
    sample.loop_length = 17;
    song.instruments = {single_sample_instrument(sample)};
    song.patterns[0].at(0, 0, 1) = {24, 1, 0, 0, 0};
    return song;
}

// A small but busy song: channels channels over patterns patterns of 64 rows,
// a looped 16-bit lead, a ping-pong 8-bit pad and a one-shot 8-bit drum, with
// arpeggio, volume-column slides, an envelope with sustain and fade-out, and
// key-offs. Every order plays a different pattern.
inline Song busy_song(int channels = 8, int patterns = 4)
{
    Song song;
    song.channels = channels;
    song.speed = 6;
    song.bpm = 125;
    Sample lead;
    lead.sixteen_bit = true;
    lead.frames = sine_frames(2000, 100, 12000);
    lead.loop = 1;
    lead.loop_start = 1000;
    lead.loop_length = 1000;
    Sample pad;
    pad.frames = sine_frames(3000, 150, 90);
    pad.loop = 2;
    pad.loop_start = 300;
    pad.loop_length = 2700;
    pad.relative_note = -12;
    Sample drum;
    drum.frames = noise_burst_frames(4000, 110);

    Instrument lead_ins = single_sample_instrument(lead);
    lead_ins.volume.points = {{0, 64}, {8, 40}, {20, 48}, {40, 0}};
    lead_ins.volume.sustain = 2;
    lead_ins.volume.type = 1 | 2;
    lead_ins.fadeout = 800;
    song.instruments = {lead_ins, single_sample_instrument(pad), single_sample_instrument(drum)};

    for (int p = 0; p < patterns; ++p) {
        Pattern pattern;
        pattern.rows = 64;
        for (int row = 0; row < 64; ++row) {
            for (int c = 0; c < channels; ++c) {
                Cell& cell = pattern.at(row, c, channels);
                int kind = c % 3;
                if (kind == 0 && row % 4 == 0) {
                    cell = {static_cast<uint8_t>(49 + (row / 4 + p * 3 + c) % 12), 1, 0, 0,
                            static_cast<uint8_t>(row % 8 == 0 ? 0x37 : 0)};
                } else if (kind == 0 && row % 4 == 2) {
                    cell.note = 97;
                } else if (kind == 1 && row % 16 == 0) {
                    cell = {static_cast<uint8_t>(37 + (p + c) % 5), 2, 0x40, 0, 0};
                } else if (kind == 1 && row % 16 == 8) {
                    cell.volume = 0x62;  // fade the pad
                } else if (kind == 2 && row % 2 == 0) {
                    cell = {static_cast<uint8_t>(25 + (row % 8)), 3, static_cast<uint8_t>(0x30 + row % 16), 0, 0};
                }
            }
        }
        song.patterns.push_back(pattern);
    }
    song.orders.clear();
    for (int p = 0; p < patterns; ++p)
        song.orders.push_back(static_cast<uint8_t>(p));
    return song;
}

}  // namespace xm
