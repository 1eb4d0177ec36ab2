// The song's three instruments, each with one synthesised 8-bit sample.
// Every sample is made so that note C-4 plays it at 16726 Hz (relative note
// +12) and the tonal ones have 64 frames per cycle there, so C-4 sounds at
// 261 Hz like a tracker's C-4.
#pragma once

#include "xm_song.h"

enum SongInstrument { SYNTH = 1, BELL = 2, DRUMS = 3 }; // XM instrument numbers

// A detuned saw-and-square pair on a forward loop; bass, pads and stabs.
XmInstrument make_synth();
// A struck bell tone whose steady part sits on a ping-pong loop; the lead.
XmInstrument make_bell();
// A one-shot hit of noise over a falling sine: a kick low, a snare in the
// middle, a hat high.
XmInstrument make_drums();
