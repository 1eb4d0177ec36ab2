// Our player against its peers, libopenmpt and libxmp, which play XM songs as
// FastTracker II does: one tiny song per behaviour, rendered by all three at
// 44100 Hz with linear interpolation and compared tick by tick, by the level
// of each side and by pitch (zero crossings of a sine sample). Levels are in
// dB against each player's own level for a centred note at full volume, so a
// player's overall loudness does not matter but every change of level does.
// Where the two peers disagree on a tick, that tick is not compared.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "testkit/peer_compare.h"
#include "testkit/xm_writer.h"

namespace {

constexpr int RATE = 44100;
constexpr int TICK_FRAMES = 882;  // 125 BPM
// Volume and pitch change at the start of a tick and every player ramps the
// change in its own way: a tick is measured after this many frames.
constexpr int SETTLE_FRAMES = 256;
constexpr int ROWS = 16;
constexpr int SPEED = 6;
constexpr double FLOOR_DB = -60;     // quieter counts as silence
constexpr double LEVEL_TOLERANCE_DB = 1.0;
constexpr double PITCH_TOLERANCE_CENTS = 10;
constexpr double VOICED_DB = -40;    // a tick's pitch is measured where a side is this loud
constexpr uint8_t C5 = 61, C6 = 73, KEY_OFF = 97;
// Instruments of every test song.
constexpr uint8_t SINE = 1, ENVELOPED = 2, PANNING_ENVELOPE = 3, AUTO_VIBRATO = 4, DECAYING = 5,
                  EMPTY = 6, SOFT_PANNED = 7, FALLING = 8, PLUCK = 9;

xm::Sample sine_sample()
{
    xm::Sample sine;  // 522.7 Hz at C-5
    sine.sixteen_bit = true;
    sine.frames = xm::sine_frames(2048, 32, 12000);
    sine.loop = 1;
    sine.loop_length = 2048;
    return sine;
}

xm::Song base_song()
{
    xm::Song song;
    song.channels = 2;
    song.speed = SPEED;
    song.bpm = 125;
    song.patterns.resize(1);
    song.patterns[0].rows = ROWS;

    xm::Instrument plain = xm::single_sample_instrument(sine_sample());

    xm::Instrument enveloped = plain;
    enveloped.volume.points = {{0, 64}, {10, 32}, {20, 48}, {40, 16}};
    enveloped.volume.sustain = 2;
    enveloped.volume.type = 1 | 2;
    enveloped.fadeout = 2000;

    xm::Instrument panned = plain;
    panned.panning.points = {{0, 0}, {16, 64}, {32, 0}};
    panned.panning.loop_start = 0;
    panned.panning.loop_end = 2;
    panned.panning.type = 1 | 4;

    xm::Instrument wobbling = plain;
    wobbling.vibrato_type = 0;
    wobbling.vibrato_sweep = 16;
    wobbling.vibrato_depth = 10;
    wobbling.vibrato_rate = 20;

    auto fading = [](int length) {  // one-shot, fading out over length frames
        xm::Sample sample;
        sample.sixteen_bit = true;
        sample.frames = xm::sine_frames(length, 32, 16000);
        for (int i = 0; i < length; ++i)
            sample.frames[static_cast<size_t>(i)] = sample.frames[static_cast<size_t>(i)] * (length - i) / length;
        return sample;
    };

    xm::Sample soft = sine_sample();  // its own volume and panning
    soft.volume = 0x20;
    soft.panning = 0x30;

    xm::Instrument falling = plain;  // a slow fall to silence, then a slow fade-out
    falling.volume.points = {{0, 12}, {90, 0}};
    falling.volume.type = 1;
    falling.fadeout = 60;

    song.instruments = {plain, enveloped, panned, wobbling, xm::single_sample_instrument(fading(30000)),
                        xm::Instrument{}, xm::single_sample_instrument(soft), falling,
                        xm::single_sample_instrument(fading(7000))};
    return song;
}

xm::Cell& at(xm::Song& song, int row, int channel = 0, int pattern = 0)
{
    return song.patterns[static_cast<size_t>(pattern)].at(row, channel, song.channels);
}

// The effect column of rows first..last (a parameter of 0 repeats a memory).
void effect_rows(xm::Song& song, int first, int last, uint8_t effect, uint8_t param, int channel = 0)
{
    for (int row = first; row <= last; ++row) {
        at(song, row, channel).effect = effect;
        at(song, row, channel).param = param;
    }
}

void volume_rows(xm::Song& song, int first, int last, uint8_t volume)
{
    for (int row = first; row <= last; ++row)
        at(song, row).volume = volume;
}

// Volume set row by row through the volume column, so that the level shows
// which row is playing.
void row_volumes(xm::Song& song, int pattern, int base)
{
    for (int row = 0; row < song.patterns[static_cast<size_t>(pattern)].rows; ++row)
        at(song, row, 0, pattern).volume = static_cast<uint8_t>(0x10 + (base + row * 4) % 64);
}

// Vibrato (4) or tremolo (7) under a square wave set by E42 or E72, then a
// new note with an instrument (row 3) and one without (row 6), each with the
// effect's memory, after the wave has moved on.
void new_notes_after_square_wave(xm::Song& song, uint8_t effect, uint8_t volume)
{
    at(song, 0) = {C5, SINE, volume, effect, 0x4C};
    effect_rows(song, 2, 2, 0xE, static_cast<uint8_t>(effect << 4 | 2));
    at(song, 3) = {C5, SINE, volume, effect, 0};
    effect_rows(song, 4, 5, effect, 0);
    at(song, 6) = {C6, 0, 0, effect, 0};
}

void arpeggio_above_the_top_note(xm::Song& song)
{
    at(song, 0) = {94, SINE, 0, 0, 0x47};
    effect_rows(song, 1, 3, 0, 0x3C);
    at(song, 8) = {90, SINE, 0, 0, 0x9C};
    effect_rows(song, 9, 11, 0, 0);
}

struct PeerCase {
    const char* name;
    void (*build)(xm::Song& song);
    void (*damage)(std::vector<uint8_t>& bytes) = nullptr;  // applied to the written file
    int ticks = ROWS * SPEED;                                // ticks to compare
    double least_compared = 1.0 / 3;                         // share of the measures the peers must agree on
    double pitch_cents = PITCH_TOLERANCE_CENTS;
};

// Every note of the top octave at every finetune on the Amiga table, one a
// tick: the top octave's periods are the whole table's halved, so that a
// period one unit off shows as 8 cents or more. 128 instruments of two
// samples, octave 7 on the first and octave 6 raised an octave on the second.
constexpr int AMIGA_TABLE_TICKS = 128 * 2 * 12;
void amiga_table_song(xm::Song& s)
{
    s.flags = 0;
    s.speed = 1;
    s.instruments.clear();
    xm::Sample sample = sine_sample();
    sample.frames.resize(256);
    sample.loop_length = 256;
    for (int i = 0; i < 128; ++i) {
        xm::Instrument instrument;
        for (int k = 0; k < 2; ++k) {
            sample.finetune = static_cast<int8_t>(k * 128 + i - 128);
            sample.relative_note = static_cast<int8_t>(12 * k);
            instrument.samples.push_back(sample);
        }
        for (int n = 72; n < 84; ++n)
            instrument.sample_map[n] = 1;
        s.instruments.push_back(instrument);
    }
    s.patterns.assign(AMIGA_TABLE_TICKS / 256, xm::Pattern{});
    s.orders.clear();
    for (int p = 0; p < AMIGA_TABLE_TICKS / 256; ++p) {
        s.patterns[static_cast<size_t>(p)].rows = 256;
        s.orders.push_back(static_cast<uint8_t>(p));
    }
    for (int t = 0; t < AMIGA_TABLE_TICKS; ++t) {
        const int instrument = t / 24, k = t / 12 % 2;
        at(s, t % 256, 0, t / 256) = {static_cast<uint8_t>(85 - 12 * k + t % 12), static_cast<uint8_t>(instrument + 1),
                                      0, 0, 0};
    }
}

// One line each: the behaviour the song pins down.
const PeerCase CASES[] = {
    // Effects.
    // Arpeggio counts its steps back from the row's end: 0, y, x, 0, y, x at speed 6.
    {"arpeggio 0xy at speed 6", [](xm::Song& s) { at(s, 0) = {C5, SINE, 0, 0, 0x47}; effect_rows(s, 1, 7, 0, 0x3C); }},
    // At speeds 4 and 5 the row's first arpeggio steps differ from speed 6's.
    {"arpeggio at speeds 4 and 5", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 0xF, 4};
         effect_rows(s, 1, 5, 0, 0x47);
         at(s, 6) = {0, 0, 0, 0xF, 5};
         effect_rows(s, 7, 12, 0, 0x59);
     }},
    {"portamento up 1xx", [](xm::Song& s) { at(s, 0) = {C5, SINE, 0, 1, 0x08}; effect_rows(s, 1, 5, 1, 0); }},
    {"portamento down 2xx", [](xm::Song& s) { at(s, 0) = {C5, SINE, 0, 2, 0x08}; effect_rows(s, 1, 5, 2, 0); }},
    {"fine portamento E1x E2x", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 0, 0};
         effect_rows(s, 1, 2, 0xE, 0x1F);
         effect_rows(s, 4, 4, 0xE, 0x2F);
         effect_rows(s, 5, 5, 0xE, 0x20);
     }},
    {"extra fine portamento X1x X2x", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 0, 0};
         effect_rows(s, 1, 1, 0x21, 0x1F);
         effect_rows(s, 2, 2, 0x21, 0x10);
         effect_rows(s, 4, 5, 0x21, 0x28);
     }},
    {"tone portamento 3xx", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 0, 0};
         at(s, 2) = {C6, 0, 0, 3, 0x10};
         effect_rows(s, 3, 8, 3, 0);
     }},
    {"tone portamento in the volume column", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 0, 0};
         at(s, 2) = {C6, 0, 0xF2, 0, 0};
         volume_rows(s, 3, 8, 0xF0);
     }},
    {"tone portamento and volume slide 5xy", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 0, 0};
         at(s, 2) = {C6, 0, 0, 3, 0x08};
         effect_rows(s, 3, 8, 5, 0x02);
     }},
    // Glissando moves in semitones, also on the row's first tick.
    {"glissando E3x", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 0xE, 0x31};
         at(s, 2) = {68, 0, 0, 3, 0x06};
         effect_rows(s, 3, 10, 3, 0);
     }},
    // Vibrato's row-first tick plays the current vibrato position.
    {"vibrato 4xy", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 4, 0x48};
         effect_rows(s, 1, 3, 4, 0);
         effect_rows(s, 4, 8, 4, 0x8C);
     }},
    {"vibrato waveforms E4x", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 0xE, 0x41};
         effect_rows(s, 1, 5, 4, 0x6C);
         effect_rows(s, 6, 6, 0xE, 0x42);
         effect_rows(s, 7, 11, 4, 0);
     }},
    {"vibrato in the volume column", [](xm::Song& s) { at(s, 0) = {C5, SINE, 0xA8, 0, 0}; volume_rows(s, 1, 8, 0xB8); }},
    {"vibrato and volume slide 6xy", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 4, 0x48};
         effect_rows(s, 1, 7, 6, 0x01);
     }},
    {"tremolo 7xy", [](xm::Song& s) { at(s, 0) = {C5, SINE, 0x30, 7, 0x48}; effect_rows(s, 1, 7, 7, 0); }},
    {"tremolo waveforms E7x", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0x30, 0xE, 0x72};
         effect_rows(s, 1, 5, 7, 0x6A);
         effect_rows(s, 6, 6, 0xE, 0x71);
         effect_rows(s, 7, 11, 7, 0);
     }},
    // Panning 0 is left and 255 right, whichever way it is set.
    {"set panning 8xx", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 8, 0x00};
         effect_rows(s, 4, 4, 8, 0xFF);
         effect_rows(s, 8, 8, 8, 0x40);
     }},
    {"panning in the volume column", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0xC0, 0, 0};
         at(s, 4).volume = 0xCF;
         at(s, 8).volume = 0xC4;
     }},
    // Dx slides left and Ex right, on the ticks after the row's first only.
    {"panning slides in the volume column", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 0, 0};
         volume_rows(s, 1, 4, 0xE6);
         volume_rows(s, 6, 12, 0xDA);
     }},
    {"panning slide Pxy", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 8, 0x20};
         effect_rows(s, 1, 6, 0x19, 0x80);
         effect_rows(s, 8, 12, 0x19, 0x06);
     }},
    {"sample panning", [](xm::Song& s) { at(s, 0) = {C5, SOFT_PANNED, 0, 0, 0}; }},
    {"panning envelope", [](xm::Song& s) { at(s, 0) = {C5, PANNING_ENVELOPE, 0, 0, 0}; }},
    {"sample offset 9xx", [](xm::Song& s) {
         at(s, 0) = {C5, DECAYING, 0, 9, 0x10};
         at(s, 4) = {C5, DECAYING, 0, 9, 0x50};
         at(s, 8) = {C5, DECAYING, 0, 9, 0};
         at(s, 12) = {C5, DECAYING, 0, 9, 0xFF};  // past the sample's end: nothing plays
     }},
    // 9xx on a row without a note still sets the offset the next note takes.
    {"sample offset memory without a note", [](xm::Song& s) {
         at(s, 0) = {C5, DECAYING, 0, 0, 0};
         effect_rows(s, 2, 2, 9, 0x60);
         at(s, 4) = {C5, DECAYING, 0, 9, 0};
     }},
    {"volume slide Axy", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 0, 0};
         effect_rows(s, 1, 4, 0xA, 0x03);
         effect_rows(s, 5, 6, 0xA, 0);
         effect_rows(s, 8, 12, 0xA, 0x30);
     }},
    {"fine volume slides EAx EBx", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 0, 0};
         effect_rows(s, 1, 1, 0xE, 0xB8);
         effect_rows(s, 2, 2, 0xE, 0xB0);
         effect_rows(s, 4, 4, 0xE, 0xBF);
         effect_rows(s, 6, 7, 0xE, 0xA6);
         effect_rows(s, 8, 8, 0xE, 0xA0);
     }},
    // The volume column's 6x and 7x slide on the ticks after the row's first only.
    {"volume column slides 6x 7x 8x 9x", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0x30, 0, 0};
         volume_rows(s, 1, 3, 0x62);
         volume_rows(s, 5, 7, 0x73);
         at(s, 9).volume = 0x88;
         at(s, 11).volume = 0x94;
     }},
    // At speed 2 a volume-column slide moves once a row.
    {"volume column slides at speed 2", [](xm::Song& s) {
         s.speed = 2;
         at(s, 0) = {C5, SINE, 0, 0, 0};
         volume_rows(s, 1, 10, 0x64);
         volume_rows(s, 11, 15, 0x78);
     }, nullptr, ROWS * 2},
    {"set volume Cxx", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 0xC, 0x10};
         effect_rows(s, 4, 4, 0xC, 0x40);
         effect_rows(s, 8, 8, 0xC, 0x08);
         effect_rows(s, 12, 12, 0xC, 0x50);
     }},
    // Volume 8 under global volume 8 is quiet, not silent.
    {"quiet volumes are heard", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0x18, 0x10, 0x08};
         at(s, 4) = {0, 0, 0x11, 0x10, 0x20};
         at(s, 8) = {0, 0, 0x50, 0x10, 0x01};
         at(s, 12) = {0, 0, 0x12, 0x10, 0x03};
     }},
    // An envelope's last steps and a slow fade-out are heard to their end.
    {"envelope and fade-out tails", [](xm::Song& s) {
         s.patterns[0].rows = 32;
         at(s, 0) = {C5, FALLING, 0, 0, 0};
         at(s, 16) = {C5, FALLING, 0x50, 0, 0};
         at(s, 17).note = KEY_OFF;
     }, nullptr, 32 * SPEED},
    {"position jump Bxx", [](xm::Song& s) {
         s.patterns.resize(3, s.patterns[0]);
         s.orders = {0, 1, 2};
         at(s, 0) = {C5, SINE, 0x50, 0, 0};
         at(s, 3).effect = 0xB, at(s, 3).param = 2;
         at(s, 0, 0, 1) = {C5, SINE, 0x18, 0, 0};
         at(s, 0, 0, 2) = {C6, SINE, 0x30, 0, 0};
         row_volumes(s, 2, 8);
     }},
    {"pattern break Dxx, a decimal row", [](xm::Song& s) {
         s.patterns.resize(2, s.patterns[0]);
         s.orders = {0, 1};
         at(s, 0) = {C5, SINE, 0, 0, 0};
         at(s, 2).effect = 0xD, at(s, 2).param = 0x12;
         row_volumes(s, 1, 0);
     }},
    {"pattern loop E6x", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 0, 0};
         row_volumes(s, 0, 4);
         effect_rows(s, 1, 1, 0xE, 0x60);
         effect_rows(s, 3, 3, 0xE, 0x62);
     }},
    // After a loop the next pattern starts at the loop's first row.
    {"pattern loop, then the next pattern", [](xm::Song& s) {
         s.patterns[0].rows = 8;
         s.patterns.resize(2, s.patterns[0]);
         s.orders = {0, 1, 0};
         at(s, 0) = {C5, SINE, 0, 0, 0};
         row_volumes(s, 0, 4);
         row_volumes(s, 1, 40);
         effect_rows(s, 3, 3, 0xE, 0x60);
         effect_rows(s, 5, 5, 0xE, 0x61);
     }},
    // Loops in two channels, one inside the other, as the peers nest them.
    {"pattern loops in two channels", [](xm::Song& s) {
         s.patterns[0].rows = 12;
         at(s, 0) = {C5, SINE, 0, 0, 0};
         row_volumes(s, 0, 4);
         effect_rows(s, 1, 1, 0xE, 0x60, 1);
         effect_rows(s, 2, 2, 0xE, 0x60);
         effect_rows(s, 4, 4, 0xE, 0x61);
         effect_rows(s, 6, 6, 0xE, 0x62, 1);
     }},
    {"pattern delay EEx", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 0, 0};
         row_volumes(s, 0, 4);
         effect_rows(s, 2, 2, 0xE, 0xE2);
     }},
    // Pattern delays in two channels of one row: the last channel's counts.
    {"pattern delay in two channels", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 0, 0};
         row_volumes(s, 0, 4);
         effect_rows(s, 2, 2, 0xE, 0xE3);
         effect_rows(s, 2, 2, 0xE, 0xE1, 1);
         effect_rows(s, 6, 6, 0xE, 0xE1);
         effect_rows(s, 6, 6, 0xE, 0xE0, 1);
     }},
    {"retrigger E9x", [](xm::Song& s) {
         at(s, 0) = {C5, DECAYING, 0, 0xE, 0x92};
         effect_rows(s, 4, 7, 0xE, 0x93);
     }},
    // E90 without a note restarts the sample on the row's first tick.
    {"retrigger E90 without a note", [](xm::Song& s) {
         at(s, 0) = {C5, DECAYING, 0, 0, 0};
         effect_rows(s, 4, 4, 0xE, 0x90);
         effect_rows(s, 8, 8, 0xE, 0x90);
     }},
    {"multi retrigger Rxy", [](xm::Song& s) {
         at(s, 0) = {C5, PLUCK, 0, 0x1B, 0x53};
         effect_rows(s, 1, 4, 0x1B, 0);
         effect_rows(s, 6, 9, 0x1B, 0xE2);
     }},
    // Rxy with a note and a volume set in the volume column retriggers a tick later.
    {"multi retrigger with a note and a volume", [](xm::Song& s) {
         at(s, 0) = {C5, PLUCK, 0x30, 0x1B, 0x02};
         at(s, 4) = {C5, PLUCK, 0x40, 0x1B, 0x03};
         at(s, 8) = {C5, PLUCK, 0x50, 0x1B, 0x84};
         at(s, 12) = {C5, PLUCK, 0, 0x1B, 0x02};
     }},
    {"note cut ECx", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 0xE, 0xC3};
         at(s, 4) = {C5, SINE, 0, 0xE, 0xC0};
         at(s, 8) = {C5, SINE, 0, 0xE, 0xC5};
     }},
    {"note delay EDx", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 0xE, 0xD3};
         at(s, 4) = {C6, SINE, 0x20, 0xE, 0xD5};
         at(s, 8) = {C5, SINE, 0, 0xE, 0xD2};
     }},
    // EDx without a note, with an instrument only, or with a key-off, plays the last note again.
    {"note delay without a new note", [](xm::Song& s) {
         at(s, 0) = {C5, DECAYING, 0, 0, 0};
         effect_rows(s, 3, 3, 0xE, 0xD2);
         at(s, 6) = {0, SINE, 0, 0xE, 0xD3};
         at(s, 9) = {KEY_OFF, 0, 0, 0xE, 0xD2};
         at(s, 12) = {0, ENVELOPED, 0, 0xE, 0xD1};
     }},
    {"set finetune E5x", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 0xE, 0x5F};
         at(s, 4) = {C5, SINE, 0, 0xE, 0x50};
         at(s, 8) = {C5, SINE, 0, 0xE, 0x54};
     }},
    {"global volume G and slide Hxy", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 0x10, 0x30};
         at(s, 0, 1) = {C6, SINE, 0, 0, 0};
         effect_rows(s, 1, 4, 0x11, 0x04);
         effect_rows(s, 6, 9, 0x11, 0x20);
     }},
    // Gxx in a channel reaches the channels left of it on the same tick; above 64 it is 64.
    {"global volume in a later channel", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 0, 0};
         effect_rows(s, 2, 2, 0x10, 0x10, 1);
         effect_rows(s, 5, 5, 0x10, 0x30, 1);
         effect_rows(s, 9, 9, 0x10, 0x04, 1);
         effect_rows(s, 12, 12, 0x10, 0x70, 1);
     }},
    // F00 changes nothing: the speed stays.
    {"speed F00 is ignored", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 0, 0};
         row_volumes(s, 0, 4);
         effect_rows(s, 2, 2, 0xF, 0x00);
         effect_rows(s, 5, 5, 0xF, 0x03);
         effect_rows(s, 8, 8, 0xF, 0x00);
     }},
    {"key-off at a tick Kxx", [](xm::Song& s) {
         at(s, 0) = {C5, ENVELOPED, 0, 0, 0};
         effect_rows(s, 6, 6, 0x14, 0x03);
     }},
    // K00 with a note: the note is not played and the sounding one is released.
    {"key-off K00 with a note", [](xm::Song& s) {
         at(s, 0) = {C5, ENVELOPED, 0, 0, 0};
         at(s, 4) = {C6, ENVELOPED, 0, 0x14, 0x00};
         at(s, 10) = {C6, SINE, 0, 0x14, 0x00};
     }},
    {"key-off note and fade-out", [](xm::Song& s) {
         at(s, 0) = {C5, ENVELOPED, 0, 0, 0};
         at(s, 6).note = KEY_OFF;
     }},
    // A key-off without a volume envelope silences the note until a volume
    // brings it back; an instrument number beside the key-off does at once.
    {"key-off without an envelope, then a volume", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 0, 0};
         at(s, 2).note = KEY_OFF;
         at(s, 4).volume = 0x30;
         at(s, 6).note = KEY_OFF;
         at(s, 8) = {C6, 0, 0x40, 0, 0};
         at(s, 10).note = KEY_OFF;
         at(s, 12) = {KEY_OFF, SOFT_PANNED, 0, 0, 0};
     }},
    // A single point is held, and fades out after a key-off.
    {"volume envelope of one point", [](xm::Song& s) {
         xm::Envelope& envelope = s.instruments[ENVELOPED - 1].volume;
         envelope.points = {{0, 24}};
         envelope.sustain = 0;
         envelope.type = 1 | 2;
         at(s, 0) = {C5, ENVELOPED, 0, 0, 0};
         at(s, 6).note = KEY_OFF;
     }},
    // After a key-off a panning envelope leaves a loop that ends on its sustain point.
    {"panning envelope loop ending on its sustain point", [](xm::Song& s) {
         xm::Instrument& instrument = s.instruments[PANNING_ENVELOPE - 1];
         instrument.panning.points = {{0, 0}, {6, 64}, {12, 16}, {30, 56}};
         instrument.panning.sustain = 2;
         instrument.panning.loop_start = 0;
         instrument.panning.loop_end = 2;
         instrument.panning.type = 1 | 2 | 4;
         instrument.volume.points = {{0, 64}, {100, 64}};
         instrument.volume.type = 1;
         at(s, 0) = {C5, PANNING_ENVELOPE, 0, 0, 0};
         at(s, 5).note = KEY_OFF;
     }},
    // Where the sustain point is the loop's end, the envelope loops rather than holds.
    {"envelope loop and sustain on one point", [](xm::Song& s) {
         xm::Envelope& envelope = s.instruments[ENVELOPED - 1].volume;
         envelope.points = {{0, 0}, {4, 64}, {10, 16}, {40, 48}};
         envelope.sustain = 2;
         envelope.loop_start = 1;
         envelope.loop_end = 2;
         envelope.type = 1 | 2 | 4;
         at(s, 0) = {C5, ENVELOPED, 0, 0, 0};
     }},
    {"envelope position Lxx", [](xm::Song& s) {
         at(s, 0) = {C5, ENVELOPED, 0, 0, 0};
         effect_rows(s, 5, 5, 0x15, 0x1C);
     }},
    {"tremor Txy", [](xm::Song& s) { at(s, 0) = {C5, SINE, 0, 0x1D, 0x21}; effect_rows(s, 1, 7, 0x1D, 0); }},
    // Tremor that stops in its off phase stays silent, whatever sets the volume,
    // until an instrument number.
    {"tremor ending in its off phase", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 0x1D, 0x13};
         effect_rows(s, 2, 2, 0xC, 0x30);
         at(s, 3).volume = 0x40;
         effect_rows(s, 4, 4, 0xA, 0x01);
         at(s, 5) = {C6, 0, 0, 0, 0};
         effect_rows(s, 8, 8, 0x1D, 0x13);
         at(s, 11) = {0, SINE, 0, 0, 0};
     }},
    {"auto-vibrato", [](xm::Song& s) { at(s, 0) = {C5, AUTO_VIBRATO, 0, 0, 0}; }},
    {"Amiga periods: slides, vibrato, arpeggio, tone portamento", [](xm::Song& s) {
         s.flags = 0;
         at(s, 0) = {C5, SINE, 0, 1, 0x04};
         at(s, 4) = {C5, SINE, 0, 4, 0x48};
         at(s, 8) = {C5, SINE, 0, 0, 0x55};
         at(s, 12) = {C6, 0, 0, 3, 0x20};
         effect_rows(s, 13, 15, 3, 0);
     }},
    {"Amiga period table, every note and finetune", amiga_table_song, nullptr, AMIGA_TABLE_TICKS, 1.0 / 3, 3},
    // Arpeggio steps above the note range play its top, C-8.
    {"arpeggio above the top note", arpeggio_above_the_top_note},
    {"arpeggio above the top note, Amiga periods", [](xm::Song& s) { s.flags = 0; arpeggio_above_the_top_note(s); }},
    // A new note, with or without an instrument, restarts the vibrato wave, and its row's
    // first tick already plays the wave's first value (a square wave's is a depth away).
    {"vibrato with a new note after E42", [](xm::Song& s) {
         new_notes_after_square_wave(s, 4, 0);
         at(s, 9) = {C5, SINE, 0, 4, 0x80};
     }},
    // The tremolo likewise: restarted by a new note, heard from the note's first tick.
    {"tremolo with a new note after E72", [](xm::Song& s) {
         new_notes_after_square_wave(s, 7, 0x30);
         effect_rows(s, 7, 8, 7, 0);
     }},

    // Notes and instruments.
    // A note whose relative note puts it outside the playable range is not played.
    {"notes outside the playable range", [](xm::Song& s) {
         xm::Sample high = sine_sample();
         high.frames = xm::sine_frames(2048, 64, 12000);
         high.volume = 0x20;
         high.relative_note = 60;
         xm::Sample low = high;
         low.relative_note = -60;
         s.instruments.push_back(xm::single_sample_instrument(high));  // instrument 10
         s.instruments.push_back(xm::single_sample_instrument(low));   // instrument 11
         at(s, 0) = {C5, SINE, 0, 0, 0};
         at(s, 3) = {C5, 10, 0, 0, 0};
         at(s, 6) = {C5 - 48, 11, 0, 0, 0};
         at(s, 9) = {C5, 11, 0, 0, 0};
         at(s, 12) = {13, 10, 0, 0, 0};
     }},
    // An instrument number alone takes volume and panning from the sample that is playing.
    {"instrument number without a note", [](xm::Song& s) {
         at(s, 0) = {C5, SOFT_PANNED, 0x50, 0, 0};
         at(s, 2) = {0, SINE, 0, 0, 0};
         at(s, 4) = {C5, SINE, 0x20, 0, 0};
         at(s, 6) = {0, SOFT_PANNED, 0, 0, 0};
     }},
    // An empty or missing instrument number alone changes nothing.
    {"empty or missing instrument without a note", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0x30, 0, 0};
         at(s, 3) = {0, EMPTY, 0, 0, 0};
         at(s, 6) = {0, 30, 0, 0, 0};
         at(s, 9) = {0, SINE, 0, 0, 0};
     }},

    // Files the peers load.
    // A pattern of 0 rows plays as 64 empty rows.
    {"pattern of 0 rows", [](xm::Song& s) {
         s.speed = 1;
         s.patterns[0].rows = 8;
         s.patterns.resize(3, s.patterns[0]);
         s.patterns[1].rows = 0;
         s.patterns[1].cells.clear();
         s.orders = {0, 1, 2};
         at(s, 0) = {C5, SINE, 0, 0, 0};
         row_volumes(s, 0, 8);
         at(s, 0, 0, 2).volume = 0x50;
     }, nullptr, 8 + 64 + 8},
    // Pattern headers longer than 9 bytes: the pattern data starts after the stated length.
    {"pattern header of 12 bytes", [](xm::Song& s) {
         s.patterns.resize(2, s.patterns[0]);
         s.patterns[0].header_length = 12;
         s.patterns[1].header_length = 10;
         s.orders = {0, 1};
         at(s, 0) = {C5, SINE, 0, 0, 0};
         row_volumes(s, 0, 4);
         row_volumes(s, 1, 30);
     }, nullptr, 2 * ROWS * SPEED},
    // Packed data longer than its rows need: the next pattern starts where the stated size ends.
    {"packed pattern data with spare bytes", [](xm::Song& s) {
         s.patterns.resize(2, s.patterns[0]);
         s.orders = {0, 1};
         at(s, 0) = {C5, SINE, 0, 0, 0};
         row_volumes(s, 0, 4);
         row_volumes(s, 1, 30);
         std::vector<uint8_t> data;
         for (const xm::Cell& cell : s.patterns[0].cells)
             xm::put_cell(data, cell, false);
         data.insert(data.end(), {0x83, 49, 1, 0x80, 0x80});  // past the last row
         s.patterns[0].raw = data;
     }, nullptr, 2 * ROWS * SPEED},
    // A song length of 0 loads; libxmp plays nothing, libopenmpt (and we) the first order.
    {"song length 0", [](xm::Song& s) {
         s.song_length = 0;
         at(s, 0) = {C5, SINE, 0, 0, 0};
         row_volumes(s, 0, 4);
     }, nullptr, ROWS * SPEED, 0},
    // More than 32 channels: the last ones play too.
    {"34 channels", [](xm::Song& s) {
         s.channels = 34;
         s.patterns[0].cells.clear();
         at(s, 0, 33) = {C5, SINE, 0, 8, 0x30};
         at(s, 4, 32) = {C6, SINE, 0x20, 0, 0};
         at(s, 8, 33).volume = 0x28;
     }},
    // An instrument of 20 samples: the first 16 play, and the instruments after it load.
    {"instrument with more than 16 samples", [](xm::Song& s) {
         xm::Instrument many;
         for (int i = 0; i < 20; ++i) {
             xm::Sample sample = sine_sample();
             sample.frames.resize(256);
             sample.loop_length = 256;
             sample.relative_note = static_cast<int8_t>(i);
             many.samples.push_back(sample);
         }
         for (int n = 0; n < 96; ++n)
             many.sample_map[n] = static_cast<uint8_t>(n / 6);
         s.instruments.insert(s.instruments.begin(), many);  // instrument 1; SINE is now 2
         at(s, 0) = {C5, 1, 0, 0, 0};
         at(s, 4) = {C5 - 24, 1, 0, 0, 0};
         at(s, 8) = {C5, 2, 0x30, 0, 0};
     }},
    // More instruments stated than the file holds: those present play.
    {"instrument count beyond the file", [](xm::Song& s) {
         s.instrument_count = 12;
         at(s, 0) = {C5, SINE, 0, 0, 0};
         at(s, 4) = {C6, 11, 0, 0, 0};
         at(s, 8) = {C5, SOFT_PANNED, 0, 0, 0};
     }},
    // A file cut short in the last instrument's header: the instruments before it play.
    {"file ending inside an instrument header", [](xm::Song& s) {
         s.instruments.resize(7);
         s.instruments.push_back(xm::single_sample_instrument(sine_sample()));
         at(s, 0) = {C5, SINE, 0, 0, 0};
         at(s, 4) = {C6, 8, 0, 0, 0};
         at(s, 8) = {C5, SOFT_PANNED, 0, 0, 0};
     }, [](std::vector<uint8_t>& bytes) { bytes.resize(bytes.size() - 2 * 2048 - 40 - 263 + 20); }},
    // A file whose last sample is cut short: what the file holds, then silence.
    {"last sample cut short", [](xm::Song& s) {
         at(s, 0) = {C5, DECAYING, 0, 0, 0};
         at(s, 8) = {C5, DECAYING, 0, 9, 0x20};
         s.instruments.resize(5);
     }, [](std::vector<uint8_t>& bytes) { bytes.resize(bytes.size() - 2 * 20000); }},
};

struct Tick {
    double side[2];  // dB against the player's centred full-volume note, at least FLOOR_DB
    double pitch;    // Hz; 0 where too quiet or too few zero crossings
};

// The measures of each tick, levels against `reference` (the RMS of one side
// for a centred note at full volume).
std::vector<Tick> measure(const std::vector<float>& mix, int ticks, double reference)
{
    std::vector<Tick> measured;
    for (int t = 0; t < ticks; ++t) {
        const float* frames = mix.data() + 2 * (static_cast<size_t>(t) * TICK_FRAMES);
        double power[2] = {0, 0};
        std::vector<double> crossings;
        double previous = 0;
        for (int i = SETTLE_FRAMES; i < TICK_FRAMES; ++i) {
            power[0] += double(frames[2 * i]) * frames[2 * i];
            power[1] += double(frames[2 * i + 1]) * frames[2 * i + 1];
            const double mono = double(frames[2 * i]) + frames[2 * i + 1];
            if (i > SETTLE_FRAMES && previous < 0 && mono >= 0)
                crossings.push_back(i - 1 + -previous / (mono - previous));
            previous = mono;
        }
        Tick tick;
        for (int side = 0; side < 2; ++side) {
            const double rms = std::sqrt(power[side] / (TICK_FRAMES - SETTLE_FRAMES));
            tick.side[side] = std::max(FLOOR_DB, 20 * std::log10(rms / reference + 1e-12));
        }
        const bool voiced = std::max(tick.side[0], tick.side[1]) > VOICED_DB && crossings.size() >= 3;
        tick.pitch = voiced ? (crossings.size() - 1) * double(RATE) / (crossings.back() - crossings.front()) : 0;
        measured.push_back(tick);
    }
    return measured;
}

using Renderer = std::vector<float> (*)(const std::vector<uint8_t>&, std::size_t, int);

// A player's RMS on one side for a centred C-5 at full volume.
double reference_level(Renderer render)
{
    xm::Song song = base_song();
    at(song, 0) = {C5, SINE, 0, 0, 0};
    std::vector<float> mix = render(xm::write(song), 8 * TICK_FRAMES, RATE);
    double power = 0;
    for (size_t i = 2 * TICK_FRAMES; i < 8 * TICK_FRAMES; ++i)
        power += double(mix[2 * i]) * mix[2 * i];
    return std::sqrt(power / (6 * TICK_FRAMES));
}

double cents(double a, double b)
{
    return std::fabs(1200 * std::log2(a / b));
}

const char* const PLAYER_NAMES[3] = {"our player", "libopenmpt", "libxmp"};

TEST(PlaysAsThePeersPlay, TickByTick)
{
    const Renderer players[3] = {peer::render_ours, peer::render_libopenmpt, peer::render_libxmp};
    double references[3];
    for (int p = 0; p < 3; ++p)
        references[p] = reference_level(players[p]);
    for (const PeerCase& peer_case : CASES) {
        xm::Song song = base_song();
        peer_case.build(song);
        std::vector<uint8_t> bytes = xm::write(song);
        if (peer_case.damage)
            peer_case.damage(bytes);
        const size_t frames = static_cast<size_t>(peer_case.ticks) * TICK_FRAMES;
        std::vector<Tick> ticks[3];
        bool refused = false;
        for (int p = 0; p < 3; ++p) {
            std::vector<float> mix = players[p](bytes, frames, RATE);
            refused = refused || mix.empty();
            EXPECT_FALSE(mix.empty()) << peer_case.name << ": " << PLAYER_NAMES[p] << " refuses the song";
            if (!mix.empty())
                ticks[p] = measure(mix, peer_case.ticks, references[p]);
        }
        if (refused)
            continue;
        const std::vector<Tick>&ours = ticks[0], &openmpt = ticks[1], &xmp = ticks[2];
        int compared = 0, skipped = 0;
        std::string faults;
        auto fault = [&](int t, const char* what, double a, double b, double c) {
            char line[160];
            std::snprintf(line, sizeof line, "\n  tick %3d (row %2d): %-5s ours %8.2f  libopenmpt %8.2f  libxmp %8.2f",
                          t, t / song.speed, what, a, b, c);
            faults += line;
        };
        for (int t = 0; t < peer_case.ticks; ++t) {
            for (int side = 0; side < 2; ++side) {
                const double a = ours[t].side[side], b = openmpt[t].side[side], c = xmp[t].side[side];
                if (std::fabs(b - c) > LEVEL_TOLERANCE_DB) {
                    ++skipped;
                    continue;
                }
                ++compared;
                if (std::fabs(a - b) > LEVEL_TOLERANCE_DB)
                    fault(t, side ? "right" : "left", a, b, c);
            }
            // Pitch where all three sound: a silence the levels tell.
            const double a = ours[t].pitch, b = openmpt[t].pitch, c = xmp[t].pitch;
            if (a > 0 && b > 0 && c > 0) {
                if (cents(b, c) > peer_case.pitch_cents) {
                    ++skipped;
                    continue;
                }
                ++compared;
                if (cents(a, b) > peer_case.pitch_cents)
                    fault(t, "Hz", a, b, c);
            }
        }
        std::printf("  %-58s %4d measures compared, %3d not (the peers disagree)\n", peer_case.name, compared,
                    skipped);
        EXPECT_TRUE(faults.empty()) << peer_case.name << ":" << faults;
        EXPECT_GE(compared, peer_case.least_compared * (compared + skipped))
            << peer_case.name << ": the peers disagree on too much to compare";
    }
}

}  // namespace
