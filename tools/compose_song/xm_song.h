// The XM records the composer fills in (8-bit samples, one per instrument),
// and write_xm, which hands them to the XM writer the tests share.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr std::uint8_t XM_KEY_OFF = 97;       // note value of a key-off cell
constexpr std::uint8_t XM_EFFECT_SPEED = 0x0F; // F: speed (< 32) or BPM
constexpr std::uint8_t XM_EFFECT_GLOBAL_VOLUME = 0x10; // G: 0..64

// One channel in one row, as stored in the file; 0 means "empty" everywhere.
struct XmCell {
    std::uint8_t note = 0;       // 1..96 (1 = C-0), 97 = key off
    std::uint8_t instrument = 0; // 1-based
    std::uint8_t volume = 0;     // volume-column byte
    std::uint8_t effect = 0;
    std::uint8_t effect_param = 0;
};

struct XmPattern {
    int row_count = 64;
    std::vector<XmCell> cells; // row-major: row_count × channel_count
};

struct XmEnvelopePoint {
    std::uint16_t tick = 0;
    std::uint16_t value = 0; // 0..64
};

enum XmLoopKind : std::uint8_t { XM_NO_LOOP = 0, XM_FORWARD_LOOP = 1, XM_PING_PONG_LOOP = 2 };

// An instrument with exactly one 8-bit sample mapped to every note.
struct XmInstrument {
    std::string name;
    std::vector<XmEnvelopePoint> volume_envelope; // at most 12 points
    int sustain_point = -1;                       // -1: no sustain
    int loop_start_point = -1;                    // -1: no loop
    int loop_end_point = -1;
    std::uint16_t fadeout = 0; // per tick, out of 32768 (FT2 units)

    std::vector<std::int8_t> sample; // signed 8-bit frames
    XmLoopKind loop_kind = XM_NO_LOOP;
    std::uint32_t loop_start = 0; // frames
    std::uint32_t loop_length = 0;
    std::uint8_t default_volume = 64; // 0..64
    std::uint8_t default_panning = 128;
    std::int8_t relative_note = 0;
};

struct XmSong {
    std::string name;
    int channel_count = 8;
    int default_speed = 6;
    int default_bpm = 125;
    bool linear_frequencies = true;
    std::vector<std::uint8_t> orders;
    std::vector<XmPattern> patterns;
    std::vector<XmInstrument> instruments;
};

// The song's XM file. The records are the composer's own, so they are
// trusted: sizes are assumed to fit the format's fields.
std::vector<std::uint8_t> write_xm(const XmSong& song);
