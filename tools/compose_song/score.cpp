// The score. One pattern is 64 rows at speed 8 and 125 BPM (a row is an
// eighth note, 160 ms): eight bars of the carol in cut time, over a
// half-time groove whose backbeat falls on rows 4 and 12 of every 16.
//
// Song order and what the show does meanwhile:
//   0  intro      a bell chord, then pads and the tune on a music box
//   1  build      snare and bell accents on rows 4, 12, 20, 28 (camera flights)
//   2  melody A   lines 1-2 of the carol; drums hit rows 0, 2, 3, 4, 6 of
//                 every 16 (the beat words)
//   3  build      as order 1
//   4  melody B   lines 3-4
//   5  climax A   lines 1-2, full band, lead doubled an octave up
//   6  climax B   lines 3-4
//   7  breakdown  line 1 at half speed; drums swell back from row 32
//   8  fade-out   global volume falls from row 16 to silence at row 40;
//                 a soft pad comes in for the closing screen at row 48
//   9  intro      again, calm under the closing screen
//  10  intro      its first chord has died away by row 16, where the show ends
#include "compose.h"
#include "instruments.h"
#include "notation.h"

#include <cmath>
#include <cstdio>
#include <sstream>

namespace {

// The carol in G major, one token per eighth note; 32 rows per line.
// Lines 1 and 2 are the same tune.
const std::string LINE_1 =
    "D-5 .   .   C-5 B-4 .   A-4 .   | G-4 .   A-4 .   B-4 .   G-4 .   "
    "A-4 B-4 C-5 A-4 B-4 .   .   A-4 | G-4 .   F#4 .   G-4 .   .   .   ";
const std::string LINE_3 =
    "A-4 .   .   B-4 C-5 .   A-4 .   | B-4 .   .   C-5 D-5 .   A-4 .   "
    "B-4 C#5 D-5 .   E-5 F#5 G-5 .   | F#5 .   E-5 .   D-5 .   .   .   ";
const std::string LINE_4 =
    "D-5 .   .   C-5 B-4 .   A-4 .   | G-4 .   A-4 .   B-4 .   G-4 .   "
    "E-5 E-5 E-5 E-5 D-5 .   .   C-5 | B-4 .   A-4 .   G-4 .   .   .   ";
// Line 1 at half speed, for the breakdown: 64 rows.
const std::string LINE_1_SLOW =
    "D-5 .   .   .   .   .   C-5 .   B-4 .   .   .   A-4 .   .   .   "
    "G-4 .   .   .   A-4 .   .   .   B-4 .   .   .   G-4 .   .   .   "
    "A-4 .   B-4 .   C-5 .   A-4 .   B-4 .   .   .   .   .   A-4 .   "
    "G-4 .   .   .   F#4 .   .   .   G-4 .   .   .   .   .   .   .   ";

// Harmony, one chord per half bar (4 rows).
const std::string CHORDS_1 = "G  G  C  G  D7 G  D  G  ";
const std::string CHORDS_3 = "D7 D7 G  D  Bm A7 D  D  ";
const std::string CHORDS_4 = "G  G  C  G  C  G  D  G  ";
const std::string CHORDS_BUILD = "Em Em C  C  G  G  D  D  Em Em C  C  D  D  D  D  ";
const std::string CHORDS_1_SLOW = "G  G  G  G  C  C  G  G  D7 D7 G  G  D  D  G  G  ";

// Drums, 16 rows each. Kick C-3, snare E-4, hat A-6: one sample at three
// speeds. The hat marks every other row, the kick rows 0, 3, 6 and 10, the
// snare the backbeat on 4 and 12.
const std::string KICK_GROOVE =
    "C-3v40 .      .      C-3v34 .      .      C-3v3A .      "
    ".      .      C-3v34 .      .      .      .      .      ";
const std::string KICK_CLIMAX =
    "C-3v40 .      .      C-3v34 .      .      C-3v3A .      "
    "C-3v30 .      C-3v3A .      .      .      C-3v30 .      ";
const std::string SNARE_GROOVE =
    ".      .      .      .      E-4v38 .      .      .      "
    ".      .      .      .      E-4v38 .      .      E-4v14 ";
const std::string SNARE_FILL =
    ".      .      .      .      E-4v38 .      .      .      "
    ".      .      .      .      E-4v38 E-4v1C E-4v28 E-4v34 ";
const std::string HATS_GROOVE =
    "A-6v1C .      A-6v30 .      A-6v1C .      A-6v30 .      "
    "A-6v1C .      A-6v30 .      A-6v1C .      A-6v30 A-6v0C ";
const std::string HATS_CLIMAX =
    "A-6v1E A-6v12 A-6v30 A-6v0A A-6v1E A-6v12 A-6v30 A-6v0A "
    "A-6v1E A-6v12 A-6v30 A-6v0A A-6v1E A-6v12 A-6v30 A-6v0E ";

// The first `rows` tokens of a part's text (bar lines dropped).
std::string take(const std::string& text, int rows) {
    std::istringstream words(text);
    std::string token;
    std::string result;
    while (rows > 0 && words >> token) {
        if (token == "|") continue;
        result += token + " ";
        --rows;
    }
    return result;
}

// Rows before `row` from `first`, the rest from `second`.
Track spliced(const Track& first, const Track& second, int row) {
    Track result = second;
    for (int r = 0; r < row; ++r) result[r] = first[r];
    return result;
}

// Volume-column command on every row of [from, to) that has none yet.
Track& slide(Track& part, int from, int to, const std::string& command) {
    for (int row = from; row < to; ++row)
        if (part[row].volume == 0) put(part, row, command);
    return part;
}

Pattern intro() {
    Pattern p;
    // Row 0 states speed, tempo and full global volume, so the song is
    // right wherever it is entered (order 9 follows the fade-out).
    p[KICK_CHANNEL] = rest();
    put(p[KICK_CHANNEL], 0, "f08");
    p[SNARE_CHANNEL] = rest();
    put(p[SNARE_CHANNEL], 0, "f7D");
    p[HATS_CHANNEL] = track(
        "g40 . . . . . . . . . . . . . . . | . . . . . . . . . . . . . . . . "
        ". . . . . . . . . . . . . . . .   | "
        "A-6v06 . A-6v07 . A-6v08 . A-6v09 . A-6v0A . A-6v0C . A-6v0E . A-6v12 . ",
        DRUMS);
    p[BASS_CHANNEL] = bass_hold(chart(". . . . . . . . " + CHORDS_1), SYNTH, 0x20);
    put(p[BASS_CHANNEL], 62, "^^^");

    // The opening chord, struck from the bottom up and released at row 6:
    // the bell's fade-out (64 ticks) silences it by row 14.
    Track music_box = track(repeat(".", 32) + LINE_1, BELL);
    music_box = with_volume(transposed(music_box, 12), 0x20);
    put(music_box, 0, "G-5v24");
    put(music_box, 6, "^^^");
    put(music_box, 62, "^^^");
    p[LEAD_CHANNEL] = music_box;

    Track echo = with_volume(shifted(music_box, 3), 0x0A);
    echo = spliced(rest(), echo, 32);
    put(echo, 1, "B-5v20");
    put(echo, 6, "^^^");
    slide(echo, 36, 63, "p4");  // to the left
    put(echo, 63, "^^^");
    p[BELL_CHANNEL] = echo;

    p[STABS_CHANNEL] = track(". . D-6v1C . . . ^^^ " + repeat(".", 57), BELL);

    // The pad swells in from row 16.
    Track pad = chord_pad(chart(". . . . G G G G " + CHORDS_1), 3, SYNTH, 0x08, 8);
    slide(pad, 18, 32, "u2");
    put(pad, 62, "^^^");
    p[PAD_CHANNEL] = pad;
    return p;
}

Pattern build() {
    Pattern p;
    p[KICK_CHANNEL] = track(repeat("C-3v40 . . . . . . .", 4) + repeat(KICK_GROOVE, 2), DRUMS);
    p[SNARE_CHANNEL] = track(repeat(". . . . E-4v40 . . .", 4) + SNARE_GROOVE +
                                 "E-4v18 . E-4v1C . E-4v20 . E-4v24 . "
                                 "E-4v20 E-4v24 E-4v28 E-4v2C E-4v30 E-4v34 E-4v38 E-4v40",
                             DRUMS);
    p[HATS_CHANNEL] = track(repeat(HATS_GROOVE, 4), DRUMS);
    const std::vector<Chord> chords = chart(CHORDS_BUILD);
    p[BASS_CHANNEL] = bass_drive(chords, SYNTH, 0x2E);

    // A rising music-box figure over the second half.
    const Track figure = track(repeat(".", 32) +
        "E-4v10 E-4v12 B-4v14 E-5v16 B-4v14 E-4v12 B-4v14 E-5v16 "
        "C-5v18 E-4v16 E-4v14 E-4v16 C-5v18 E-5v1A C-5v18 E-4v16 "
        "D-5v1C A-4v1A F#4v18 A-4v1A D-5v1C F#5v1E D-5v1C A-4v1A "
        "F#5v20 D-5v20 A-4v20 D-5v22 F#5v24 A-5v26 F#5v28 A-5v2A",
        BELL);
    p[LEAD_CHANNEL] = figure;

    // The accents: an arpeggiated bell chord with every backbeat snare of
    // the first half, then an echo of the figure.
    const Track accents = track(
        ". . . . E-5v28a37 a37 ^^^a37 a37 | . . . . C-5v28a47 a47 ^^^a47 a47 "
        ". . . . G-4v28a47 a47 ^^^a47 a47 | . . . . D-5v28a47 a47 ^^^a47 a47 " +
            repeat(".", 32),
        BELL);
    Track echo = with_volume(shifted(figure, 3), 0x0C);
    slide(echo, 35, 64, "pC");  // to the right
    p[BELL_CHANNEL] = spliced(accents, echo, 32);

    p[STABS_CHANNEL] = chord_stabs(chords, 4, SYNTH, 0x20);
    // The pad rises a step a row through the snare roll, then surges in
    // the last bar.
    Track pad = chord_pad(chords, 3, SYNTH, 0x1C, 0xB);  // leaning right
    slide(pad, 48, 56, "u1");
    slide(pad, 56, 64, ">1");
    p[PAD_CHANNEL] = pad;
    return p;
}

// The full band under 64 rows of tune (`lines`) and its 16 half bars of
// chords; the bell channel is left to the caller.
struct BandStyle {
    const std::string& kick;  // 16-row drum bars
    const std::string& hats;
    int stabs_volume;
    int pad_volume;
    int pad_panning;
};

Pattern band(const std::string& lines, const std::string& chords_text, const BandStyle& style) {
    Pattern p;
    p[KICK_CHANNEL] = track(repeat(style.kick, 4), DRUMS);
    p[SNARE_CHANNEL] = track(repeat(SNARE_GROOVE, 3) + SNARE_FILL, DRUMS);
    p[HATS_CHANNEL] = track(repeat(style.hats, 4), DRUMS);
    const std::vector<Chord> chords = chart(chords_text);
    p[BASS_CHANNEL] = bass_drive(chords, SYNTH, 0x2A);
    p[LEAD_CHANNEL] = with_volume(track(lines, BELL), 0x40);
    p[BELL_CHANNEL] = rest();
    p[STABS_CHANNEL] = chord_stabs(chords, 4, SYNTH, style.stabs_volume);
    p[PAD_CHANNEL] = chord_pad(chords, 3, SYNTH, style.pad_volume, style.pad_panning);
    return p;
}

// The tune with an echo three rows behind it, panned right (the pad leans
// left) and played at the bell's default volume, which is kept low for this;
// in the second half only, or all through.
Pattern melody(const std::string& lines, const std::string& chords_text, bool echo_all) {
    Pattern p = band(lines, chords_text, {KICK_GROOVE, HATS_GROOVE, 0x1C, 0x18, 0x5});
    const Track echo = with_panning(shifted(p[LEAD_CHANNEL], 3), 0xD);
    p[BELL_CHANNEL] = echo_all ? echo : spliced(rest(), echo, 32);
    return p;
}

// Busier drums, the tune doubled an octave up, and the pad leaning right.
Pattern climax(const std::string& lines, const std::string& chords_text) {
    Pattern p = band(lines, chords_text, {KICK_CLIMAX, HATS_CLIMAX, 0x20, 0x1C, 0xB});
    p[BELL_CHANNEL] = with_volume(transposed(p[LEAD_CHANNEL], 12), 0x18);
    return p;
}

Pattern breakdown() {
    Pattern p;
    p[KICK_CHANNEL] = track("C-3v30" + repeat(" .", 31) +
                                " C-3v28 . . . . . . . C-3v2C . . . . . . . "
                                "C-3v30 . . . C-3v34 . . . C-3v38 . C-3v3A . C-3v3C . C-3v40 .",
                            DRUMS);
    p[SNARE_CHANNEL] = track(repeat(".", 32) +
                                 "E-4v14 . . . E-4v18 . . . E-4v1C . . . E-4v20 . . . "
                                 "E-4v22 . E-4v24 . E-4v26 . E-4v28 . "
                                 "E-4v2A E-4v2E E-4v32 E-4v36 E-4v3A E-4v3C E-4v3E E-4v40",
                             DRUMS);
    p[HATS_CHANNEL] = track(repeat(".", 32) +
                                "A-6v06 . A-6v08 . A-6v0A . A-6v0C . A-6v0E . A-6v10 . A-6v12 . A-6v14 . "
                                "A-6v16 . A-6v18 . A-6v1A . A-6v1C . A-6v1E . A-6v20 . A-6v22 . A-6v24 A-6v26",
                            DRUMS);
    const std::vector<Chord> chords = chart(CHORDS_1_SLOW);
    p[BASS_CHANNEL] = bass_hold(chords, SYNTH, 0x28);
    const Track lead = with_volume(track(LINE_1_SLOW, BELL), 0x40);
    p[LEAD_CHANNEL] = lead;
    // The echo drifts to the left while each of its notes rings.
    Track echo = with_volume(shifted(transposed(lead, 12), 6), 0x0C);
    slide(echo, 0, 64, "l2");
    p[BELL_CHANNEL] = echo;
    p[STABS_CHANNEL] = spliced(rest(), chord_stabs(chords, 4, SYNTH, 0x12), 32);
    // The swell: from row 32 the pad climbs a step of volume every row.
    Track pad = chord_pad(chords, 3, SYNTH, 0x18, 8);
    slide(pad, 34, 64, "u1");
    p[PAD_CHANNEL] = pad;
    return p;
}

Pattern fade_out() {
    Pattern p;
    p[KICK_CHANNEL] = track(repeat(KICK_CLIMAX, 2) + take(KICK_GROOVE, 8) + repeat(".", 24),
                            DRUMS);
    p[SNARE_CHANNEL] = track(repeat(SNARE_GROOVE, 2) + take(SNARE_GROOVE, 8) +
                                 repeat(".", 24),
                             DRUMS);
    p[HATS_CHANNEL] = track(repeat(HATS_CLIMAX, 2) + take(HATS_GROOVE, 8) + repeat(".", 24), DRUMS);
    // The global volume steps down from row 16 to 0 at row 40 (the show
    // fades the picture over the same 4 s), and is restored at row 48 once
    // every voice has died. It is set in the first channel so that every
    // channel takes the new value on the same row.
    Track& kick = p[KICK_CHANNEL];
    for (int row = 16; row <= 40; ++row) {
        char command[8];
        std::snprintf(command, sizeof command, "g%02X", static_cast<int>(std::lround(64.0 * (40 - row) / 25)));
        put(kick, row, command);
    }
    put(kick, 48, "g40");

    const std::string chords_text = CHORDS_4 + "G  G  C  G  .  .  G  G  ";
    const std::vector<Chord> chords = chart(chords_text);
    p[BASS_CHANNEL] = spliced(bass_drive(chords, SYNTH, 0x2A), bass_hold(chords, SYNTH, 0x18), 40);

    const Track lead = track(LINE_4 + take(LINE_1, 16) + repeat(".", 16), BELL);
    p[LEAD_CHANNEL] = with_volume(lead, 0x40);
    put(p[LEAD_CHANNEL], 39, "^^^");
    p[BELL_CHANNEL] = with_volume(transposed(lead, 12), 0x18);
    put(p[BELL_CHANNEL], 39, "^^^");
    p[STABS_CHANNEL] = spliced(chord_stabs(chords, 4, SYNTH, 0x20), rest(), 40);
    // The closing screen's pad: soft, leaning right, growing a little every row.
    Track pad = chord_pad(chords, 3, SYNTH, 0x16, 0xB);
    put(pad, 48, "v08");
    slide(pad, 50, 64, "u1");
    p[PAD_CHANNEL] = pad;
    return p;
}

XmPattern to_xm(const Pattern& pattern) {
    XmPattern xm;
    xm.row_count = PATTERN_ROWS;
    xm.cells.resize(PATTERN_ROWS * SONG_CHANNELS);
    for (int row = 0; row < PATTERN_ROWS; ++row)
        for (int channel = 0; channel < SONG_CHANNELS; ++channel)
            xm.cells[row * SONG_CHANNELS + channel] = pattern[channel][row];
    return xm;
}

XmSong compose_song() {
    XmSong song;
    song.name = "Deck the Halls";
    song.channel_count = SONG_CHANNELS;
    song.default_speed = 8;
    song.default_bpm = 125;
    song.linear_frequencies = true;
    song.patterns = {
        to_xm(intro()),
        to_xm(build()),
        to_xm(melody(LINE_1 + LINE_1, CHORDS_1 + CHORDS_1, false)),
        to_xm(melody(LINE_3 + LINE_4, CHORDS_3 + CHORDS_4, true)),
        to_xm(climax(LINE_1 + LINE_1, CHORDS_1 + CHORDS_1)),
        to_xm(climax(LINE_3 + LINE_4, CHORDS_3 + CHORDS_4)),
        to_xm(breakdown()),
        to_xm(fade_out()),
    };
    song.orders = {0, 1, 2, 1, 3, 4, 5, 6, 7, 0, 0};
    song.instruments = {make_synth(), make_bell(), make_drums()};
    return song;
}

} // namespace

std::vector<std::uint8_t> compose_song_bytes() { return write_xm(compose_song()); }
