// The composer's records handed to the XM writer the tests share
// (testkit/xm_writer.h): one 8-bit sample per instrument, named as its
// instrument, mapped to every note.
#include "xm_song.h"

#include "testkit/xm_writer.h"

#include <algorithm>

namespace {

// The song's and the tracker's names are padded with spaces, not zeros.
std::string padded_with_spaces(const std::string& text, std::size_t width)
{
    std::string padded = text.substr(0, width);
    padded.resize(width, ' ');
    return padded;
}

xm::Instrument writer_instrument(const XmInstrument& instrument)
{
    xm::Sample sample;
    sample.name = instrument.name;
    sample.frames.assign(instrument.sample.begin(), instrument.sample.end());
    sample.loop = instrument.loop_kind;
    if (instrument.loop_kind != XM_NO_LOOP) {
        sample.loop_start = instrument.loop_start;
        sample.loop_length = instrument.loop_length;
    }
    sample.volume = instrument.default_volume;
    sample.panning = instrument.default_panning;
    sample.relative_note = instrument.relative_note;

    xm::Instrument out;
    out.name = instrument.name;
    out.samples.push_back(std::move(sample));
    for (const XmEnvelopePoint& point : instrument.volume_envelope)
        out.volume.points.emplace_back(point.tick, point.value);
    out.volume.sustain = static_cast<uint8_t>(std::max(instrument.sustain_point, 0));
    out.volume.loop_start = static_cast<uint8_t>(std::max(instrument.loop_start_point, 0));
    out.volume.loop_end = static_cast<uint8_t>(std::max(instrument.loop_end_point, 0));
    const bool has_envelope = instrument.volume_envelope.size() >= 2;
    out.volume.type = static_cast<uint8_t>((has_envelope ? 1 : 0) |
                                           (has_envelope && instrument.sustain_point >= 0 ? 2 : 0) |
                                           (has_envelope && instrument.loop_start_point >= 0 ? 4 : 0));
    out.fadeout = instrument.fadeout;
    return out;
}

}  // namespace

std::vector<std::uint8_t> write_xm(const XmSong& song)
{
    xm::Song out;
    out.name = padded_with_spaces(song.name, 20);
    out.tracker = padded_with_spaces("compose_song", 20);
    out.channels = song.channel_count;
    out.speed = song.default_speed;
    out.bpm = song.default_bpm;
    out.flags = song.linear_frequencies ? 1 : 0;
    out.mask_every_cell = true;
    out.orders = song.orders;
    for (const XmPattern& pattern : song.patterns) {
        xm::Pattern& p = out.patterns.emplace_back();
        p.rows = pattern.row_count;
        for (const XmCell& cell : pattern.cells)
            p.cells.push_back({cell.note, cell.instrument, cell.volume, cell.effect, cell.effect_param});
    }
    for (const XmInstrument& instrument : song.instruments)
        out.instruments.push_back(writer_instrument(instrument));
    return xm::write(out);
}
