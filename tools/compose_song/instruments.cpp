#include "instruments.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr double SAMPLE_RATE = 16726.0; // playback rate at C-4
constexpr double CYCLE_FRAMES = 64.0;   // one period of C-4 at that rate

// Scales to the 8-bit range with the loudest frame at `peak` and rounds.
std::vector<std::int8_t> to_8bit(const std::vector<double>& wave, double peak) {
    double largest = 0;
    for (double v : wave) largest = std::max(largest, std::fabs(v));
    std::vector<std::int8_t> frames(wave.size());
    for (std::size_t i = 0; i < wave.size(); ++i)
        frames[i] = static_cast<std::int8_t>(std::lround(wave[i] / largest * peak));
    return frames;
}

// A small deterministic noise source, so that the song is the same on every
// machine: a 32-bit linear congruential generator, top bits mapped to -1..1.
struct Noise {
    std::uint32_t state = 0x2004u;
    double next() {
        state = state * 1664525u + 1013904223u;
        return static_cast<double>(state >> 8) / 8388608.0 - 1.0;
    }
};

// An instrument around a synthesised wave, pitched so that C-4 plays it at
// SAMPLE_RATE.
XmInstrument sampled(const char* name, const std::vector<double>& wave, double peak, XmLoopKind loop_kind,
                     std::uint32_t loop_start, std::uint32_t loop_length) {
    XmInstrument instrument;
    instrument.name = name;
    instrument.sample = to_8bit(wave, peak);
    instrument.loop_kind = loop_kind;
    instrument.loop_start = loop_start;
    instrument.loop_length = loop_length;
    instrument.relative_note = 12;
    return instrument;
}

} // namespace

XmInstrument make_synth() {
    // The loop holds 128 cycles of a saw and 257 of a square an octave up:
    // the square beats slowly against the saw's second harmonic, which makes
    // the pads breathe while the fundamental, and so the bass, stays steady.
    // Both are whole numbers of cycles, so the loop is seamless.
    constexpr int LENGTH = 8192;
    std::vector<double> wave(LENGTH);
    for (int n = 0; n < LENGTH; ++n) {
        const double saw_phase = 2 * PI * 128.0 * n / LENGTH;
        const double square_phase = 2 * PI * 257.0 * n / LENGTH;
        double v = 0;
        for (int k = 1; k <= 18; ++k) v += 0.8 * std::pow(k, -1.25) * std::sin(k * saw_phase);
        for (int k = 1; k <= 9; k += 2) v += 0.3 * std::pow(k, -1.25) * std::sin(k * square_phase);
        wave[n] = v;
    }
    XmInstrument synth = sampled("synth", wave, 120, XM_FORWARD_LOOP, 0, LENGTH);
    synth.default_volume = 40;
    // Quick attack, settles on the sustain point; a key-off releases it to
    // silence in three rows (24 ticks at speed 8).
    synth.volume_envelope = {{0, 64}, {8, 48}, {24, 40}, {48, 0}};
    synth.sustain_point = 2;
    synth.fadeout = 256;
    return synth;
}

XmInstrument make_bell() {
    // Strike: bar partials (2.76, 5.40, 8.93 × the fundamental) that die out
    // before the loop. Tone: a cosine series, which is symmetric about every
    // half period, so playing it back and forth (ping-pong) continues the
    // wave. The phase is taken at the frame centre because the reversal
    // mirrors the position about half a frame before the loop's ends.
    constexpr int ATTACK = 2048;
    constexpr int LOOP = 1024; // 16 cycles; back and forth makes 32
    std::vector<double> wave(ATTACK + LOOP);
    // Signs chosen so the partials do not all peak together: a lower crest
    // leaves the steady tone louder for the same 8-bit peak.
    const double harmonics[6] = {1.0, 0.38, -0.30, -0.12, 0.10, -0.05};
    for (int n = 0; n < ATTACK + LOOP; ++n) {
        const double theta = 2 * PI * (n + 0.5) / CYCLE_FRAMES;
        double tone = 0;
        for (int k = 0; k < 6; ++k) tone += harmonics[k] * std::cos((k + 1) * theta);
        double v = tone;
        if (n < ATTACK) {
            const double window = (1.0 - double(n) / ATTACK) * (1.0 - double(n) / ATTACK);
            const double t = 2 * PI * n / CYCLE_FRAMES;
            const double strike = 0.45 * std::exp(-n / 500.0) * std::sin(2.756 * t) +
                                  0.25 * std::exp(-n / 300.0) * std::sin(5.404 * t) +
                                  0.15 * std::exp(-n / 160.0) * std::sin(8.933 * t);
            v = tone * (1.0 + 0.2 * std::exp(-n / 400.0) * window) + strike * window;
        }
        wave[n] = v;
    }
    XmInstrument bell = sampled("bell", wave, 120, XM_PING_PONG_LOOP, ATTACK, LOOP);
    bell.default_volume = 24; // the echoes' level; other notes set their own
    // Strike, decay, then a slow tremolo (points 3 to 5 loop, 2 rows round).
    // A key-off lets the fade-out take the note to silence in 64 ticks.
    bell.volume_envelope = {{0, 64}, {4, 58}, {16, 52}, {28, 46}, {36, 52}, {44, 46}};
    bell.loop_start_point = 3;
    bell.loop_end_point = 5;
    bell.fadeout = 512;
    return bell;
}

XmInstrument make_drums() {
    constexpr int LENGTH = 6000;
    std::vector<double> wave(LENGTH);
    Noise noise;
    double phase = 0;
    double previous_noise = 0;
    for (int n = 0; n < LENGTH; ++n) {
        const double t = n / SAMPLE_RATE;
        // The body's pitch falls from 360 to 100 Hz (180 to 50 Hz as a kick).
        const double frequency = 100.0 + 260.0 * std::exp(-t / 0.02);
        phase += 2 * PI * frequency / SAMPLE_RATE;
        const double body = std::sin(phase) * std::exp(-t / 0.09);
        // Brightened noise: a white sample minus half the previous one.
        const double white = noise.next();
        const double bright = white - 0.5 * previous_noise;
        previous_noise = white;
        const double hiss = bright * (0.55 * std::exp(-t / 0.004) + 0.28 * std::exp(-t / 0.05));
        double v = body + hiss;
        if (n >= LENGTH - 400) v *= (LENGTH - n) / 400.0; // no click at the end
        wave[n] = v;
    }
    XmInstrument drums = sampled("drums", wave, 124, XM_NO_LOOP, 0, 0);
    drums.default_volume = 48;
    return drums;
}
