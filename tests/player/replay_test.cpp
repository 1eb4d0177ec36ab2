// The replay engine: rows and ticks, the volume column, effects, envelopes and
// the voices the channels drive.
#include <gtest/gtest.h>

#include <vector>

#include "player/mixer.h"
#include "player/module.h"
#include "player/replay.h"
#include "song_loading.h"

namespace {

// A song of one pattern whose instrument 1 plays a looping sample at volume
// 64, panning 128; instrument 2 has an envelope (set per test).
xm::Song song_with(int channels, int rows, int speed = 6)
{
    xm::Song song;
    song.channels = channels;
    song.speed = speed;
    song.patterns.resize(1);
    song.patterns[0].rows = rows;
    xm::Sample looped;
    looped.frames = xm::sine_frames(256, 32, 100);
    looped.loop = 1;
    looped.loop_start = 0;
    looped.loop_length = 256;
    xm::Instrument plain = xm::single_sample_instrument(looped);
    xm::Instrument enveloped = plain;
    enveloped.fadeout = 1000;
    song.instruments = {plain, enveloped};
    return song;
}

xm::Cell& cell(xm::Song& song, int row, int channel)
{
    return song.patterns[0].at(row, channel, song.channels);
}

void run_ticks(Replay& replay, int ticks)
{
    for (int i = 0; i < ticks; ++i)
        replay_tick(replay);
}

TEST(SamplesPerTick, FollowsTheBpmAtTheOutputRate)
{
    Replay m = {};
    m.rate = 44100;
    replay_set_bpm(m, 32);
    EXPECT_EQ(m.samples_per_tick, 3445);
    replay_set_bpm(m, 125);
    EXPECT_EQ(m.samples_per_tick, 882);
    replay_set_bpm(m, 255);
    EXPECT_EQ(m.samples_per_tick, 432);
    for (int bpm = 1; bpm <= 255; ++bpm) {
        replay_set_bpm(m, bpm);
        ASSERT_EQ(m.samples_per_tick, 44100 * 5 / (2 * bpm)) << bpm;
    }
    m.samples_to_tick = 17;
    replay_set_bpm(m, 0);  // a damaged song's tempo still gives ticks that advance
    EXPECT_GE(m.samples_per_tick, 1);
    EXPECT_EQ(m.samples_to_tick, 17);
    m.rate = 48000;
    replay_set_bpm(m, 125);
    EXPECT_EQ(m.samples_per_tick, 960);
}

TEST(Replay, RowsAdvanceThroughTheOrdersAndLoopFromTheRestart)
{
    xm::Song song = song_with(1, 2, 2);
    song.patterns.push_back(song.patterns[0]);
    song.patterns[1].rows = 3;
    song.orders = {0, 1, 0};
    song.restart = 1;
    PlayedSong m = start_song(song);
    std::vector<std::pair<int, int>> seen;
    for (int i = 0; i < 20; ++i) {
        replay_tick(*m);
        seen.emplace_back(m->order, m->row);
    }
    std::vector<std::pair<int, int>> expected = {
        {0, 0}, {0, 0}, {0, 1}, {0, 1}, {1, 0}, {1, 0}, {1, 1}, {1, 1}, {1, 2}, {1, 2},
        {2, 0}, {2, 0}, {2, 1}, {2, 1}, {1, 0}, {1, 0}, {1, 1}, {1, 1}, {1, 2}, {1, 2}};
    EXPECT_EQ(seen, expected);
}

TEST(Replay, SpeedAndTempoEffects)
{
    xm::Song song = song_with(1, 8, 4);
    cell(song, 1, 0) = {0, 0, 0, 15, 0x01};  // every tick a row tick
    cell(song, 3, 0) = {0, 0, 0, 15, 0x00};  // changes nothing
    cell(song, 5, 0) = {0, 0, 0, 15, 0x1F};
    cell(song, 6, 0) = {0, 0, 0, 15, 0x20};  // 32 BPM
    PlayedSong m = start_song(song);
    run_ticks(*m, 4);  // row 0 at speed 4
    replay_tick(*m);
    EXPECT_EQ(m->row, 1);
    EXPECT_EQ(m->speed, 1);
    replay_tick(*m);
    EXPECT_EQ(m->row, 2);
    replay_tick(*m);
    replay_tick(*m);
    EXPECT_EQ(m->row, 4);
    EXPECT_EQ(m->speed, 1);
    replay_tick(*m);
    EXPECT_EQ(m->speed, 31);
    run_ticks(*m, 31);
    EXPECT_EQ(m->row, 6);
    EXPECT_EQ(m->samples_per_tick, 3445);
}

TEST(Replay, LinearPeriodsGiveTheirFrequency)
{
    xm::Song song = song_with(2, 1);
    cell(song, 0, 0) = {49, 1, 0, 0, 0};  // C-4: period 4608, 8363 Hz
    cell(song, 0, 1) = {61, 1, 0, 0, 0};  // an octave up
    PlayedSong m = start_song(song);
    replay_tick(*m);
    EXPECT_EQ(m->channels[0].period, 4608);
    EXPECT_EQ(m->channels[0].voice->step, 0u);
    EXPECT_EQ(m->channels[0].voice->step_fraction,
              static_cast<uint32_t>((uint64_t{8363} << 32) / 44100));
    EXPECT_EQ(m->channels[1].period, 4608 - 768);
    EXPECT_EQ(m->channels[1].voice->step_fraction,
              static_cast<uint32_t>((uint64_t{16726} << 32) / 44100));
}

// With the linear flag clear the Amiga periods are used, so the song sounds.
TEST(Replay, AmigaPeriodModulesPlay)
{
    xm::Song song = song_with(2, 1);
    song.flags = 0;
    cell(song, 0, 0) = {49, 1, 0, 0, 0};
    cell(song, 0, 1) = {37, 1, 0, 0, 0};
    PlayedSong m = start_song(song);
    replay_tick(*m);
    EXPECT_EQ(m->channels[0].period, 1712);
    EXPECT_EQ(m->channels[1].period, 3424);
    EXPECT_EQ(m->channels[0].voice->step_fraction,
              static_cast<uint32_t>((uint64_t{14317056 / 1712} << 32) / 44100));
}

TEST(Replay, NotesWithoutAnInstrumentStaySilent)
{
    xm::Song song = song_with(1, 1);
    cell(song, 0, 0).note = 49;
    PlayedSong m = start_song(song);
    replay_tick(*m);
    EXPECT_EQ(m->channels[0].voice->volume, 0);
}

TEST(Replay, NotesOutsideTheScaleAreIgnored)
{
    xm::Song song = song_with(1, 2, 1);
    cell(song, 0, 0) = {49, 1, 0, 0, 0};
    song.patterns[0].raw.clear();
    PlayedSong m = start_song(song);
    m.song->patterns[0].cells[1].note = 200;  // only a damaged file holds such a note
    replay_tick(*m);
    const MixVoice* before = m->channels[0].voice;
    uint32_t period = m->channels[0].period;
    replay_tick(*m);
    EXPECT_EQ(m->channels[0].voice, before);
    EXPECT_EQ(m->channels[0].period, period);
    EXPECT_EQ(m->channels[0].note, 49);
    EXPECT_EQ(m->channels[0].key_off, 0);
}

TEST(Replay, InstrumentWithoutNoteResetsWithoutRestarting)
{
    xm::Song song = song_with(1, 3, 1);
    cell(song, 0, 0) = {49, 1, 0x20, 0, 0};  // volume 16
    cell(song, 1, 0) = {97, 0, 0, 0, 0};     // key off
    cell(song, 2, 0) = {0, 1, 0, 0, 0};
    PlayedSong m = start_song(song);
    replay_tick(*m);
    EXPECT_EQ(m->channels[0].volume, 16);
    MixVoice* voice = m->channels[0].voice;
    voice->position = 77;  // as if mixed for a while
    replay_tick(*m);
    EXPECT_EQ(m->channels[0].key_off, 1);
    EXPECT_EQ(voice->volume, 0);  // no envelope: the key-off cuts
    replay_tick(*m);
    EXPECT_EQ(m->channels[0].key_off, 0);
    EXPECT_EQ(m->channels[0].volume, 64);
    EXPECT_EQ(m->channels[0].voice, voice);
    EXPECT_EQ(voice->position, 77u);
    EXPECT_EQ(voice->volume, 1.0f);
}

TEST(Replay, KeyOffWithInstrumentReleasesWithoutRestarting)
{
    xm::Song song = song_with(1, 2, 1);
    cell(song, 0, 0) = {49, 1, 0, 0, 0};
    cell(song, 1, 0) = {97, 1, 0, 0, 0};
    PlayedSong m = start_song(song);
    replay_tick(*m);
    MixVoice* voice = m->channels[0].voice;
    voice->position = 5;
    replay_tick(*m);
    EXPECT_EQ(m->channels[0].key_off, 1);
    EXPECT_EQ(m->channels[0].voice, voice);
    EXPECT_EQ(voice->position, 5u);
}

// A note with tone portamento keeps the sounding note and slides its period
// toward the new one, 3xx × 4 units a tick after the row's first.
TEST(Replay, TonePortamentoSlidesTheSoundingNote)
{
    xm::Song song = song_with(1, 2, 4);
    cell(song, 0, 0) = {49, 1, 0, 0, 0};
    cell(song, 1, 0) = {61, 2, 0, 3, 0x10};
    PlayedSong m = start_song(song);
    run_ticks(*m, 4);
    MixVoice* first = m->channels[0].voice;
    replay_tick(*m);
    EXPECT_EQ(m->channels[0].period, 4608);
    EXPECT_EQ(m->channels[0].porta_target, 4608 - 12 * 64);
    EXPECT_EQ(m->channels[0].instrument, 0);
    EXPECT_EQ(m->channels[0].voice, first);
    run_ticks(*m, 3);
    EXPECT_EQ(m->channels[0].period, 4608 - 3 * 0x10 * 4);
}

// Notes that follow each other while the previous still sounds alternate
// between voice i and i + MAX_CHANNELS; the old voice falls silent, still playing.
TEST(Replay, RetriggeredNotesHandOverBetweenPartnerVoices)
{
    xm::Song song = song_with(3, 3, 1);
    for (int row = 0; row < 3; ++row)
        cell(song, row, 2) = {static_cast<uint8_t>(49 + row), 1, 0, 0, 0};
    PlayedSong m = start_song(song);
    replay_tick(*m);
    EXPECT_EQ(m->channels[2].voice, &m.voices()[2]);
    m.voices()[2].position = 10;
    replay_tick(*m);
    MixVoice& partner = m.voices()[2 + MAX_CHANNELS];
    EXPECT_EQ(m->channels[2].voice, &partner);
    EXPECT_EQ(partner.index, 2 + MAX_CHANNELS);
    EXPECT_EQ(partner.position, 0u);
    EXPECT_EQ(m.voices()[2].sample, m.song->instruments[0].samples[0]);
    EXPECT_EQ(m.voices()[2].position, 10u);
    EXPECT_EQ(m.voices()[2].target_left, 0);
    EXPECT_EQ(m.voices()[2].volume, 0);
    replay_tick(*m);
    EXPECT_EQ(m->channels[2].voice, &m.voices()[2]);
}

// After a one-shot sample has ended, the next note stays on the same voice.
TEST(Replay, EndedOneShotKeepsItsVoice)
{
    xm::Song song = song_with(1, 2, 1);
    xm::Sample click;
    click.frames = {50, 50};
    song.instruments[0] = xm::single_sample_instrument(click);
    cell(song, 0, 0) = {49, 1, 0, 0, 0};
    cell(song, 1, 0) = {49, 1, 0, 0, 0};
    PlayedSong m = start_song(song);
    replay_tick(*m);
    std::vector<float> mix(2 * 882);
    mix_voices(m.player->mixer, mix.data(), 882);
    EXPECT_EQ(m.voices()[0].sample, nullptr);
    replay_tick(*m);
    EXPECT_EQ(m->channels[0].voice, &m.voices()[0]);
    EXPECT_NE(m.voices()[0].sample, nullptr);
}

TEST(Replay, InstrumentsBeyondTheSongPlayTheEmptySample)
{
    xm::Song song = song_with(1, 2, 1);
    cell(song, 0, 0) = {49, 1, 0, 0, 0};
    cell(song, 1, 0) = {49, 9, 0, 0, 0};
    PlayedSong m = start_song(song);
    replay_tick(*m);
    replay_tick(*m);
    EXPECT_EQ(m->channels[0].voice->sample, &empty_sample);
    EXPECT_EQ(m->channels[0].volume, 0);
    std::vector<float> mix(2 * 100);
    mix_voices(m.player->mixer, mix.data(), 100);
    EXPECT_EQ(m->channels[0].voice->sample, nullptr);
}

}  // namespace
