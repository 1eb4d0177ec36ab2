// The public calls that tell what a loaded song says about itself: names,
// counts and the values it starts with (include/qxm.h).
#include "player/module.h"
#include "qxm.h"

namespace {

const Instrument* instrument_at(const QxmSong* song, int instrument)
{
    if (!song || instrument < 0 || instrument >= song->instrument_count)
        return nullptr;
    return &song->instruments[instrument];
}

}  // namespace

const char* qxm_song_title(const QxmSong* song)
{
    return song ? song->title : nullptr;
}

const char* qxm_song_tracker(const QxmSong* song)
{
    return song ? song->tracker : nullptr;
}

int qxm_song_pattern_count(const QxmSong* song)
{
    return song ? song->pattern_count : 0;
}

int qxm_song_instrument_count(const QxmSong* song)
{
    return song ? song->instrument_count : 0;
}

const char* qxm_song_instrument_name(const QxmSong* song, int instrument)
{
    const Instrument* found = instrument_at(song, instrument);
    return found ? found->name : nullptr;
}

int qxm_song_sample_count(const QxmSong* song, int instrument)
{
    const Instrument* found = instrument_at(song, instrument);
    return found ? found->sample_count : 0;
}

const char* qxm_song_sample_name(const QxmSong* song, int instrument, int sample)
{
    const Instrument* found = instrument_at(song, instrument);
    if (!found || sample < 0 || sample >= found->sample_count)
        return nullptr;
    return found->samples[sample]->name;
}

int qxm_song_initial_speed(const QxmSong* song)
{
    return song ? song->default_speed : 0;
}

int qxm_song_initial_bpm(const QxmSong* song)
{
    return song ? song->default_bpm : 0;
}

int qxm_song_linear_frequencies(const QxmSong* song)
{
    return song ? (song->flags & MODULE_LINEAR_FREQUENCIES) != 0 : 0;
}
