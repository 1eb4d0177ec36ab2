// The composer's score notation: a channel's part for one pattern is a
// string of cell tokens, one per row, in tracker order. `|` tokens are bar
// lines and are skipped.
//
//   .          empty cell
//   C-4, F#5   a note (C-4 is XM note 49), played with the track's instrument
//   ^^^        key off (no instrument: the release must not restart the envelope)
// followed, without spaces, by any of these (hex digits, as in a tracker):
//   vXX  set volume 00..40          <X / >X  volume slide down / up, every tick
//   dX / uX  fine volume slide down / up, once per row
//   pX   set panning X·16           lX / rX  panning slide (value down / up)
//   aXY  arpeggio (chord of +X and +Y semitones)
//   gXX  global volume              fXX  speed (< 20) or BPM
#pragma once

#include "xm_song.h"

#include <array>
#include <string>
#include <vector>

constexpr int SONG_CHANNELS = 8;
constexpr int PATTERN_ROWS = 64;

using Track = std::vector<XmCell>;
using Pattern = std::array<Track, SONG_CHANNELS>;

// Parses a part; throws std::runtime_error on a bad token or a row count
// other than 64.
Track track(const std::string& text, int instrument);
// A part of 64 empty rows.
Track rest();
// `text` repeated `times` times, as one string (for parts built from bars).
std::string repeat(const std::string& text, int times);

// Helpers that derive a part from another.
Track shifted(const Track& part, int rows);              // later by `rows`, cut at 64
Track transposed(const Track& part, int semitones);
Track with_volume(const Track& part, int volume);        // every note at `volume`
Track with_panning(const Track& part, int panning);      // every note panned (pX), default volume
// Writes a token's fields over the cell at `row` (fields it sets replace
// the cell's, others are kept). A note plays the instrument of the part's
// other notes.
Track& put(Track& part, int row, const std::string& token);

// Chord charts: one chord name per half bar (4 rows), e.g. "G C D7 Em".
// Chords are major (G), minor (Em), dominant seventh (D7) or minor (Bm);
// they are played as XM arpeggios from the root.
struct Chord {
    int root;      // pitch class, 0 = C
    int arpeggio;  // effect 0 parameter: 0x47 major, 0x37 minor, 0x4A seventh
};
std::vector<Chord> chart(const std::string& names);

// Bass in eighths: root, rest, octave, root in every half bar.
Track bass_drive(const std::vector<Chord>& chords, int instrument, int volume);
// Bass holding each chord's root until the chord changes.
Track bass_hold(const std::vector<Chord>& chords, int instrument, int volume);
// Off-beat chord stabs: an arpeggiated root on row 2 of every half bar,
// released on row 3.
Track chord_stabs(const std::vector<Chord>& chords, int octave, int instrument, int volume);
// A held arpeggio chord, struck again only when the chord changes; the row
// after each strike sets the panning.
Track chord_pad(const std::vector<Chord>& chords, int octave, int instrument, int volume, int panning);
