#include "xm_writer.h"

#include <algorithm>

namespace {

struct ByteWriter {
    std::vector<std::uint8_t> bytes;

    void u8(unsigned value) { bytes.push_back(static_cast<std::uint8_t>(value)); }
    void u16(unsigned value) {
        u8(value & 0xFF);
        u8(value >> 8);
    }
    void u32(std::uint32_t value) {
        u16(value & 0xFFFF);
        u16(value >> 16);
    }
    // A fixed-width text field, padded with the given byte.
    void text(const std::string& value, std::size_t width, std::uint8_t pad) {
        for (std::size_t i = 0; i < width; ++i)
            u8(i < value.size() ? static_cast<std::uint8_t>(value[i]) : pad);
    }
    void zeros(std::size_t count) { bytes.insert(bytes.end(), count, 0); }
};

// Packed cell: a mask byte naming the fields present, then those fields.
void write_cell(ByteWriter& out, const XmCell& cell) {
    unsigned mask = 0x80;
    if (cell.note) mask |= 0x01;
    if (cell.instrument) mask |= 0x02;
    if (cell.volume) mask |= 0x04;
    if (cell.effect) mask |= 0x08;
    if (cell.effect_param) mask |= 0x10;
    out.u8(mask);
    if (cell.note) out.u8(cell.note);
    if (cell.instrument) out.u8(cell.instrument);
    if (cell.volume) out.u8(cell.volume);
    if (cell.effect) out.u8(cell.effect);
    if (cell.effect_param) out.u8(cell.effect_param);
}

void write_pattern(ByteWriter& out, const XmPattern& pattern) {
    ByteWriter packed;
    for (const XmCell& cell : pattern.cells) write_cell(packed, cell);
    out.u32(9); // pattern header length
    out.u8(0);  // packing type
    out.u16(static_cast<unsigned>(pattern.row_count));
    out.u16(static_cast<unsigned>(packed.bytes.size()));
    out.bytes.insert(out.bytes.end(), packed.bytes.begin(), packed.bytes.end());
}

constexpr std::uint32_t INSTRUMENT_HEADER_SIZE = 263;
constexpr std::uint32_t SAMPLE_HEADER_SIZE = 40;

void write_instrument(ByteWriter& out, const XmInstrument& instrument) {
    const std::size_t start = out.bytes.size();
    out.u32(INSTRUMENT_HEADER_SIZE);
    out.text(instrument.name, 22, 0);
    out.u8(0); // instrument type
    out.u16(1); // one sample
    out.u32(SAMPLE_HEADER_SIZE);
    out.zeros(96); // every note plays sample 0

    for (std::size_t i = 0; i < 12; ++i) {
        const XmEnvelopePoint point =
            i < instrument.volume_envelope.size() ? instrument.volume_envelope[i] : XmEnvelopePoint{};
        out.u16(point.tick);
        out.u16(point.value);
    }
    out.zeros(48); // no panning envelope

    const bool has_envelope = instrument.volume_envelope.size() >= 2;
    out.u8(static_cast<unsigned>(instrument.volume_envelope.size()));
    out.u8(0); // panning points
    out.u8(static_cast<unsigned>(std::max(instrument.sustain_point, 0)));
    out.u8(static_cast<unsigned>(std::max(instrument.loop_start_point, 0)));
    out.u8(static_cast<unsigned>(std::max(instrument.loop_end_point, 0)));
    out.zeros(3); // panning sustain and loop
    unsigned volume_type = 0;
    if (has_envelope) volume_type |= 1;
    if (has_envelope && instrument.sustain_point >= 0) volume_type |= 2;
    if (has_envelope && instrument.loop_start_point >= 0) volume_type |= 4;
    out.u8(volume_type);
    out.u8(0);    // panning type
    out.zeros(4); // no auto-vibrato
    out.u16(instrument.fadeout);
    out.zeros(start + INSTRUMENT_HEADER_SIZE - out.bytes.size()); // reserved

    std::uint32_t loop_start = 0;
    std::uint32_t loop_length = 0;
    if (instrument.loop_kind != XM_NO_LOOP) {
        loop_start = instrument.loop_start;
        loop_length = instrument.loop_length;
    }
    out.u32(static_cast<std::uint32_t>(instrument.sample.size()));
    out.u32(loop_start);
    out.u32(loop_length);
    out.u8(instrument.default_volume);
    out.u8(0); // finetune
    out.u8(instrument.loop_kind); // 8-bit data
    out.u8(instrument.default_panning);
    out.u8(static_cast<std::uint8_t>(instrument.relative_note));
    out.u8(0); // reserved
    out.text(instrument.name, 22, 0);

    // Sample data is stored as differences between successive frames.
    std::int8_t previous = 0;
    for (std::int8_t frame : instrument.sample) {
        out.u8(static_cast<std::uint8_t>(frame - previous));
        previous = frame;
    }
}

} // namespace

std::vector<std::uint8_t> write_xm(const XmSong& song) {
    ByteWriter out;
    out.text("Extended Module: ", 17, 0);
    out.text(song.name, 20, ' ');
    out.u8(0x1A);
    out.text("compose_song", 20, ' ');
    out.u16(0x0104); // format version
    out.u32(276);    // header size from this field to the end of the order table
    out.u16(static_cast<unsigned>(song.orders.size()));
    out.u16(0); // restart position
    out.u16(static_cast<unsigned>(song.channel_count));
    out.u16(static_cast<unsigned>(song.patterns.size()));
    out.u16(static_cast<unsigned>(song.instruments.size()));
    out.u16(song.linear_frequencies ? 1 : 0);
    out.u16(static_cast<unsigned>(song.default_speed));
    out.u16(static_cast<unsigned>(song.default_bpm));
    for (std::size_t i = 0; i < 256; ++i) out.u8(i < song.orders.size() ? song.orders[i] : 0);

    for (const XmPattern& pattern : song.patterns) write_pattern(out, pattern);
    for (const XmInstrument& instrument : song.instruments) write_instrument(out, instrument);
    return out.bytes;
}
