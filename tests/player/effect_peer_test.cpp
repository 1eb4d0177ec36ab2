// Every XM effect against libopenmpt, the reference for how FastTracker II
// plays them: one tiny song per effect, rendered by both players at 44100 Hz
// with linear interpolation, compared tick by tick by pitch (zero crossings of
// a sine sample) and by level (RMS of each side, scaled by one gain for the
// whole song, since the players mix at different levels).
//
// Our player sends panning 255 to the first sample of each frame, the peer to
// the second: our left is compared with its right.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "testkit/peer_compare.h"
#include "testkit/xm_writer.h"

namespace {

constexpr int RATE = 44100;
constexpr int TICK_FRAMES = 882;  // 125 BPM
constexpr int ROWS = 16;
constexpr int SPEED = 6;
constexpr int TICKS = ROWS * SPEED;
constexpr uint8_t C5 = 61, C6 = 73;
// Instruments of every test song.
constexpr uint8_t SINE = 1, ENVELOPED = 2, PANNING_ENVELOPE = 3, AUTO_VIBRATO = 4, DECAYING = 5;

xm::Song base_song()
{
    xm::Song song;
    song.channels = 2;
    song.speed = SPEED;
    song.bpm = 125;
    song.patterns.resize(1);
    song.patterns[0].rows = ROWS;

    xm::Sample sine;  // 522.7 Hz at C-5
    sine.sixteen_bit = true;
    sine.frames = xm::sine_frames(2048, 32, 12000);
    sine.loop = 1;
    sine.loop_length = 2048;
    xm::Instrument plain = xm::single_sample_instrument(sine);

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

    xm::Sample decaying;  // one-shot, fading out over 30000 frames
    decaying.sixteen_bit = true;
    decaying.frames = xm::sine_frames(30000, 32, 16000);
    for (int i = 0; i < 30000; ++i)
        decaying.frames[static_cast<size_t>(i)] = decaying.frames[static_cast<size_t>(i)] * (30000 - i) / 30000;

    song.instruments = {plain, enveloped, panned, wobbling, xm::single_sample_instrument(decaying)};
    return song;
}

xm::Cell& at(xm::Song& song, int row, int channel = 0, int pattern = 0)
{
    return song.patterns[static_cast<size_t>(pattern)].at(row, channel, song.channels);
}

// The effect column of rows first..last (a parameter of 0 repeats a memory).
void effect_rows(xm::Song& song, int first, int last, uint8_t effect, uint8_t param)
{
    for (int row = first; row <= last; ++row) {
        at(song, row).effect = effect;
        at(song, row).param = param;
    }
}

// Volume set row by row through the volume column, so that the level shows
// which row is playing.
void row_volumes(xm::Song& song, int pattern, int base)
{
    for (int row = 0; row < song.patterns[static_cast<size_t>(pattern)].rows; ++row)
        at(song, row, 0, pattern).volume = static_cast<uint8_t>(0x10 + (base + row * 4) % 64);
}

struct EffectCase {
    const char* name;
    void (*build)(xm::Song& song);
    double max_level_error;  // mean |ours - gain × theirs| / mean ours, both sides
    double max_cents;        // mean pitch difference over the ticks both sound
};

const EffectCase CASES[] = {
    // Arpeggio steps by the tick number here and counts back from the row's end
    // in FastTracker II, which the show's song must not change to: equal
    // offsets keep the order out of the comparison.
    {"arpeggio 0xy", [](xm::Song& s) { at(s, 0) = {C5, SINE, 0, 0, 0x55}; effect_rows(s, 1, 7, 0, 0x77); }, 0.05, 10},
    {"portamento up 1xx", [](xm::Song& s) { at(s, 0) = {C5, SINE, 0, 1, 0x08}; effect_rows(s, 1, 5, 1, 0); }, 0.05, 5},
    {"portamento down 2xx", [](xm::Song& s) { at(s, 0) = {C5, SINE, 0, 2, 0x08}; effect_rows(s, 1, 5, 2, 0); }, 0.05, 5},
    {"fine portamento E1x E2x", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 0, 0};
         effect_rows(s, 1, 2, 0xE, 0x1F);
         effect_rows(s, 4, 4, 0xE, 0x2F);
         effect_rows(s, 5, 5, 0xE, 0x20);
     }, 0.05, 5},
    {"extra fine portamento X1x X2x", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 0, 0};
         effect_rows(s, 1, 1, 0x21, 0x1F);
         effect_rows(s, 2, 2, 0x21, 0x10);
         effect_rows(s, 4, 5, 0x21, 0x28);
     }, 0.05, 5},
    {"tone portamento 3xx", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 0, 0};
         at(s, 2) = {C6, 0, 0, 3, 0x10};
         effect_rows(s, 3, 8, 3, 0);
     }, 0.05, 5},
    {"tone portamento in the volume column", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 0, 0};
         at(s, 2) = {C6, 0, 0xF2, 0, 0};
         for (int row = 3; row <= 8; ++row) at(s, row).volume = 0xF0;
     }, 0.05, 5},
    {"tone portamento and volume slide 5xy", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 0, 0};
         at(s, 2) = {C6, 0, 0, 3, 0x08};
         effect_rows(s, 3, 8, 5, 0x02);
     }, 0.05, 5},
    {"glissando E3x", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 0xE, 0x31};
         at(s, 2) = {68, 0, 0, 3, 0x06};
         effect_rows(s, 3, 10, 3, 0);
     }, 0.05, 10},
    {"vibrato 4xy", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 4, 0x48};
         effect_rows(s, 1, 3, 4, 0);
         effect_rows(s, 4, 8, 4, 0x8C);
     }, 0.05, 10},
    {"vibrato waveforms E4x", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 0xE, 0x41};
         effect_rows(s, 1, 5, 4, 0x6C);
         effect_rows(s, 6, 6, 0xE, 0x42);
         effect_rows(s, 7, 11, 4, 0);
     }, 0.05, 10},
    {"vibrato in the volume column", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0xA8, 0, 0};
         for (int row = 1; row <= 8; ++row) at(s, row).volume = 0xB8;
     }, 0.05, 10},
    {"vibrato and volume slide 6xy", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 4, 0x48};
         effect_rows(s, 1, 7, 6, 0x01);
     }, 0.05, 10},
    // The peer's tremolo runs half a step behind FastTracker II's table.
    {"tremolo 7xy", [](xm::Song& s) { at(s, 0) = {C5, SINE, 0x30, 7, 0x48}; effect_rows(s, 1, 7, 7, 0); }, 0.08, 5},
    {"tremolo waveforms E7x", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0x30, 0xE, 0x72};
         effect_rows(s, 1, 5, 7, 0x6A);
         effect_rows(s, 6, 6, 0xE, 0x71);
         effect_rows(s, 7, 11, 7, 0);
     }, 0.08, 5},
    {"set panning 8xx", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 8, 0x00};
         effect_rows(s, 4, 4, 8, 0xFF);
         effect_rows(s, 8, 8, 8, 0x40);
     }, 0.05, 5},
    {"panning in the volume column", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0xC0, 0, 0};
         at(s, 4).volume = 0xCF;
         at(s, 8).volume = 0xC8;
     }, 0.05, 5},
    {"panning slide Pxy", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 8, 0x20};
         effect_rows(s, 1, 6, 0x19, 0x80);
         effect_rows(s, 8, 12, 0x19, 0x06);
     }, 0.05, 5},
    {"sample offset 9xx", [](xm::Song& s) {
         at(s, 0) = {C5, DECAYING, 0, 9, 0x10};
         at(s, 4) = {C5, DECAYING, 0, 9, 0x50};
         at(s, 8) = {C5, DECAYING, 0, 9, 0};
         at(s, 12) = {C5, DECAYING, 0, 9, 0xFF};  // past the sample's end: nothing plays
     }, 0.05, 5},
    {"volume slide Axy", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 0, 0};
         effect_rows(s, 1, 4, 0xA, 0x03);
         effect_rows(s, 5, 6, 0xA, 0);
         effect_rows(s, 8, 12, 0xA, 0x30);
     }, 0.05, 5},
    {"fine volume slides EAx EBx", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 0, 0};
         effect_rows(s, 1, 1, 0xE, 0xB8);
         effect_rows(s, 2, 2, 0xE, 0xB0);
         effect_rows(s, 4, 4, 0xE, 0xBF);
         effect_rows(s, 6, 7, 0xE, 0xA6);
         effect_rows(s, 8, 8, 0xE, 0xA0);
     }, 0.05, 5},
    // The volume column's slides also act on the row's first tick here (the
    // show's song is made that way), one step a row more than in FastTracker II.
    {"volume column slides 6x 7x 8x 9x", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0x30, 0, 0};
         for (int row = 1; row <= 3; ++row) at(s, row).volume = 0x62;
         for (int row = 5; row <= 7; ++row) at(s, row).volume = 0x73;
         at(s, 9).volume = 0x88;
         at(s, 11).volume = 0x94;
     }, 0.12, 5},
    {"set volume Cxx", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 0xC, 0x10};
         effect_rows(s, 4, 4, 0xC, 0x40);
         effect_rows(s, 8, 8, 0xC, 0x08);
         effect_rows(s, 12, 12, 0xC, 0x50);
     }, 0.05, 5},
    {"position jump Bxx", [](xm::Song& s) {
         s.patterns.resize(3, s.patterns[0]);
         s.orders = {0, 1, 2};
         at(s, 0) = {C5, SINE, 0x50, 0, 0};
         at(s, 3).effect = 0xB, at(s, 3).param = 2;
         at(s, 0, 0, 1) = {C5, SINE, 0x18, 0, 0};
         at(s, 0, 0, 2) = {C6, SINE, 0x30, 0, 0};
         row_volumes(s, 2, 8);
     }, 0.05, 5},
    {"pattern break Dxx, a decimal row", [](xm::Song& s) {
         s.patterns.resize(2, s.patterns[0]);
         s.orders = {0, 1};
         at(s, 0) = {C5, SINE, 0, 0, 0};
         at(s, 2).effect = 0xD, at(s, 2).param = 0x12;
         row_volumes(s, 1, 0);
     }, 0.05, 5},
    {"pattern loop E6x", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 0, 0};
         row_volumes(s, 0, 4);
         effect_rows(s, 1, 1, 0xE, 0x60);
         effect_rows(s, 3, 3, 0xE, 0x62);
     }, 0.05, 5},
    {"pattern delay EEx", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 0, 0};
         row_volumes(s, 0, 4);
         effect_rows(s, 2, 2, 0xE, 0xE2);
     }, 0.05, 5},
    {"retrigger E9x", [](xm::Song& s) {
         at(s, 0) = {C5, DECAYING, 0, 0xE, 0x92};
         effect_rows(s, 4, 7, 0xE, 0x93);
     }, 0.05, 5},
    // A retrigger inside a tick overlaps the fading note and the new one for
    // as long as each player ramps, which moves that tick's zero crossings.
    {"multi retrigger Rxy", [](xm::Song& s) {
         at(s, 0) = {C5, DECAYING, 0, 0x1B, 0x53};
         effect_rows(s, 1, 4, 0x1B, 0);
         effect_rows(s, 6, 9, 0x1B, 0xE2);
     }, 0.08, 15},
    {"note cut ECx", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 0xE, 0xC3};
         at(s, 4) = {C5, SINE, 0, 0xE, 0xC0};
         at(s, 8) = {C5, SINE, 0, 0xE, 0xC5};
     }, 0.05, 5},
    {"note delay EDx", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 0xE, 0xD3};
         at(s, 4) = {C6, SINE, 0x20, 0xE, 0xD5};
         at(s, 8) = {C5, SINE, 0, 0xE, 0xD2};
     }, 0.08, 5},
    {"set finetune E5x", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 0xE, 0x5F};
         at(s, 4) = {C5, SINE, 0, 0xE, 0x50};
         at(s, 8) = {C5, SINE, 0, 0xE, 0x54};
     }, 0.05, 5},
    {"global volume G and slide Hxy", [](xm::Song& s) {
         at(s, 0) = {C5, SINE, 0, 0x10, 0x30};
         at(s, 0, 1) = {C6, SINE, 0, 0, 0};
         effect_rows(s, 1, 4, 0x11, 0x04);
         effect_rows(s, 6, 9, 0x11, 0x20);
     }, 0.05, 10},
    {"key-off at a tick Kxx", [](xm::Song& s) {
         at(s, 0) = {C5, ENVELOPED, 0, 0, 0};
         effect_rows(s, 6, 6, 0x14, 0x03);
     }, 0.06, 5},
    {"key-off note and fade-out", [](xm::Song& s) {
         at(s, 0) = {C5, ENVELOPED, 0, 0, 0};
         at(s, 6).note = 97;
     }, 0.06, 5},
    {"envelope position Lxx", [](xm::Song& s) {
         at(s, 0) = {C5, ENVELOPED, 0, 0, 0};
         effect_rows(s, 5, 5, 0x15, 0x1C);
     }, 0.06, 5},
    {"tremor Txy", [](xm::Song& s) { at(s, 0) = {C5, SINE, 0, 0x1D, 0x21}; effect_rows(s, 1, 7, 0x1D, 0); }, 0.08, 5},
    {"panning envelope", [](xm::Song& s) { at(s, 0) = {C5, PANNING_ENVELOPE, 0, 0, 0}; }, 0.06, 5},
    {"auto-vibrato", [](xm::Song& s) { at(s, 0) = {C5, AUTO_VIBRATO, 0, 0, 0}; }, 0.05, 10},
    {"Amiga periods: slides, vibrato, arpeggio, tone portamento", [](xm::Song& s) {
         s.flags = 0;
         at(s, 0) = {C5, SINE, 0, 1, 0x04};
         at(s, 4) = {C5, SINE, 0, 4, 0x48};
         at(s, 8) = {C5, SINE, 0, 0, 0x55};
         at(s, 12) = {C6, 0, 0, 3, 0x20};
         effect_rows(s, 13, 15, 3, 0);
     }, 0.05, 10},
};

struct TickMeasures {
    std::vector<double> first, second;  // RMS of each side per tick
    std::vector<double> pitch;          // Hz per tick, 0 where too quiet or too few crossings
};

TickMeasures measure(const std::vector<float>& mix)
{
    TickMeasures m;
    for (int t = 0; t < TICKS; ++t) {
        const float* frames = mix.data() + 2 * static_cast<size_t>(t) * TICK_FRAMES;
        double a = 0, b = 0;
        std::vector<double> crossings;
        double previous = frames[0] + frames[1];
        for (int i = 0; i < TICK_FRAMES; ++i) {
            a += double(frames[2 * i]) * frames[2 * i];
            b += double(frames[2 * i + 1]) * frames[2 * i + 1];
            double mono = frames[2 * i] + frames[2 * i + 1];
            if (i > 0 && previous < 0 && mono >= 0)
                crossings.push_back(i - 1 + -previous / (mono - previous));
            previous = mono;
        }
        m.first.push_back(std::sqrt(a / TICK_FRAMES));
        m.second.push_back(std::sqrt(b / TICK_FRAMES));
        const bool sounding = m.first.back() + m.second.back() > 30;
        m.pitch.push_back(sounding && crossings.size() >= 3
                              ? (crossings.size() - 1) * RATE / (crossings.back() - crossings.front())
                              : 0);
    }
    return m;
}

struct Comparison {
    double level_error;
    double cents;
};

Comparison compare(const TickMeasures& ours, const TickMeasures& theirs)
{
    // Our first side against the peer's second, and the other way round.
    std::vector<double> a = ours.first, b = theirs.second;
    a.insert(a.end(), ours.second.begin(), ours.second.end());
    b.insert(b.end(), theirs.first.begin(), theirs.first.end());
    double ab = 0, bb = 0, sum_a = 0;
    for (size_t i = 0; i < a.size(); ++i)
        ab += a[i] * b[i], bb += b[i] * b[i], sum_a += a[i];
    const double gain = bb > 0 ? ab / bb : 0;
    double error = 0;
    for (size_t i = 0; i < a.size(); ++i)
        error += std::fabs(a[i] - gain * b[i]);
    double cents = 0;
    int voiced = 0;
    for (int t = 0; t < TICKS; ++t)
        if (ours.pitch[t] > 0 && theirs.pitch[t] > 0) {
            cents += std::fabs(1200 * std::log2(ours.pitch[t] / theirs.pitch[t]));
            ++voiced;
        }
    return {sum_a > 0 ? error / sum_a : 1.0, voiced ? cents / voiced : 0};
}

Comparison compare_song(const std::vector<uint8_t>& bytes)
{
    const size_t frames = static_cast<size_t>(TICKS) * TICK_FRAMES;
    std::vector<float> ours = peer::render_ours(bytes, frames, RATE);
    std::vector<float> theirs = peer::render_libopenmpt(bytes, frames, RATE);
    if (ours.empty() || theirs.empty())
        return {1.0, 1200};
    return compare(measure(ours), measure(theirs));
}

TEST(EffectsAgainstLibopenmpt, EveryEffectSoundsAsThePeerPlaysIt)
{
    for (const EffectCase& effect : CASES) {
        xm::Song song = base_song();
        effect.build(song);
        const Comparison c = compare_song(xm::write(song));
        std::printf("  %-58s level error %.3f  pitch %5.1f cents\n", effect.name, c.level_error, c.cents);
        EXPECT_LE(c.level_error, effect.max_level_error) << effect.name;
        EXPECT_LE(c.cents, effect.max_cents) << effect.name;
    }
}

// A file whose last sample is cut short plays as the peer plays it: what the
// file holds, then silence.
TEST(EffectsAgainstLibopenmpt, DamagedLastSamplePlaysAsThePeerPlaysIt)
{
    xm::Song song = base_song();
    at(song, 0) = {C5, DECAYING, 0, 0, 0};
    at(song, 8) = {C5, DECAYING, 0, 9, 0x20};
    std::vector<uint8_t> bytes = xm::write(song);
    bytes.resize(bytes.size() - 2 * 20000);  // the last 20000 of its 30000 frames
    const Comparison c = compare_song(bytes);
    EXPECT_LE(c.level_error, 0.05);
    EXPECT_LE(c.cents, 5);
}

}  // namespace
