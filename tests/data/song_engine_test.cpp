// The embedded song as our player loads and plays it: the shape the show is
// built around, the cues the show's scenes follow, and sound levels that
// neither clip nor fade into the background.
#include "compose.h"
#include "instruments.h"
#include "data/embedded_song.h"
#include "player/song_loading.h"
#include "song_rendering.h"

#include <gtest/gtest.h>

namespace {

ModulePtr load_embedded_song() {
    return load_bytes(std::vector<uint8_t>(embedded_song, embedded_song + embedded_song_size));
}

const PatternCell& cell_at(const Module& song, int order, int row, int channel) {
    const Pattern& pattern = song.patterns[song.order_table[order]];
    return pattern.cells[row * song.channel_count + channel];
}

bool note_starts(const Module& song, int order, int row, int channel) {
    const PatternCell& cell = cell_at(song, order, row, channel);
    return cell.note >= 1 && cell.note <= 96 && cell.instrument != 0;
}

TEST(SongEngine, LoadsWithTheShapeTheShowExpects) {
    ModulePtr song = load_embedded_song();
    ASSERT_TRUE(song);
    EXPECT_EQ(song->channel_count, 8);
    EXPECT_EQ(song->song_length, 11);
    EXPECT_EQ(song->restart_position, 0);
    EXPECT_EQ(song->pattern_count, 8);
    for (int p = 0; p < song->pattern_count; ++p) EXPECT_EQ(song->patterns[p].row_count, 64);
    EXPECT_EQ(song->default_speed, 8);
    EXPECT_EQ(song->default_bpm, 125);
    EXPECT_TRUE(song->flags & MODULE_LINEAR_FREQUENCIES);

    ASSERT_EQ(song->instrument_count, 3);
    const uint8_t loop_modes[3] = {SAMPLE_FORWARD_LOOP, SAMPLE_PING_PONG, SAMPLE_ONE_SHOT};
    for (int i = 0; i < 3; ++i) {
        const Instrument& instrument = song->instruments[i];
        ASSERT_EQ(instrument.sample_count, 1);
        EXPECT_EQ(instrument.samples[0]->loop_mode, loop_modes[i]) << "instrument " << i + 1;
        EXPECT_GT(instrument.samples[0]->length, 0u);
    }
    EXPECT_EQ(song->instruments[SYNTH - 1].volume_type, ENVELOPE_ON | ENVELOPE_SUSTAIN);
    EXPECT_EQ(song->instruments[BELL - 1].volume_type, ENVELOPE_ON | ENVELOPE_LOOP);
    EXPECT_GT(song->instruments[BELL - 1].fadeout, 0);
}

// Every effect and volume-column byte is one the replay engine plays, and
// the song uses each kind of them.
TEST(SongEngine, UsesOnlyWhatTheEngineDoesAndAllOfIt) {
    ModulePtr song = load_embedded_song();
    ASSERT_TRUE(song);
    int notes = 0, key_offs = 0, arpeggios = 0, speed_or_bpm = 0, global_volume = 0;
    int set_volume = 0, slides = 0, fine_slides = 0, panning = 0, panning_slides = 0;
    for (int p = 0; p < song->pattern_count; ++p) {
        for (int i = 0; i < 64 * song->channel_count; ++i) {
            const PatternCell& cell = song->patterns[p].cells[i];
            if (cell.note == NOTE_KEY_OFF) ++key_offs;
            else if (cell.note != 0) {
                ASSERT_LE(cell.note, 96);
                ASSERT_TRUE(cell.instrument >= 1 && cell.instrument <= 3);
                ++notes;
            }
            switch (cell.effect) {
            case 0x00: arpeggios += cell.effect_param != 0; break;
            case 0x0F: ++speed_or_bpm; break;
            case 0x10: ++global_volume; break;
            default: ADD_FAILURE() << "effect " << int(cell.effect) << " in pattern " << p;
            }
            const int kind = cell.volume >> 4;
            if (cell.volume >= 0x10 && cell.volume <= 0x50) ++set_volume;
            else if (kind == 0x6 || kind == 0x7) ++slides;
            else if (kind == 0x8 || kind == 0x9) ++fine_slides;
            else if (kind == 0xC) ++panning;
            else if (kind == 0xD || kind == 0xE) ++panning_slides;
            else EXPECT_EQ(cell.volume, 0) << "volume column in pattern " << p;
        }
    }
    EXPECT_GT(notes, 0);
    EXPECT_GT(key_offs, 0);
    EXPECT_GT(arpeggios, 0);
    EXPECT_GT(speed_or_bpm, 0);
    EXPECT_GT(global_volume, 0);
    EXPECT_GT(set_volume, 0);
    EXPECT_GT(slides, 0);
    EXPECT_GT(fine_slides, 0);
    EXPECT_GT(panning, 0);
    EXPECT_GT(panning_slides, 0);
}

TEST(SongEngine, CueRowsStartNotesInTheChannelsThatCarryThem) {
    ModulePtr song = load_embedded_song();
    ASSERT_TRUE(song);
    // Camera flights in the build-ups: the backbeat snare and a bell chord.
    for (int order : {1, 3})
        for (int row : {4, 12, 20, 28}) {
            EXPECT_TRUE(note_starts(*song, order, row, SNARE_CHANNEL)) << order << "/" << row;
            EXPECT_TRUE(note_starts(*song, order, row, BELL_CHANNEL)) << order << "/" << row;
        }
    // Beat words on rows 0, 2, 3, 4, 6 of every 16 wherever they are shown.
    for (int order : {2, 4, 5, 6})
        for (int bar = 0; bar < 64; bar += 16) {
            EXPECT_TRUE(note_starts(*song, order, bar + 0, KICK_CHANNEL)) << order << "/" << bar;
            EXPECT_TRUE(note_starts(*song, order, bar + 2, HATS_CHANNEL)) << order << "/" << bar + 2;
            EXPECT_TRUE(note_starts(*song, order, bar + 3, KICK_CHANNEL)) << order << "/" << bar + 3;
            EXPECT_TRUE(note_starts(*song, order, bar + 4, SNARE_CHANNEL)) << order << "/" << bar + 4;
            EXPECT_TRUE(note_starts(*song, order, bar + 6, KICK_CHANNEL)) << order << "/" << bar + 6;
        }
    // The slow flight at 7/32: the drums come back and the pad changes chord.
    for (int channel : {KICK_CHANNEL, SNARE_CHANNEL, PAD_CHANNEL})
        EXPECT_TRUE(note_starts(*song, 7, 32, channel)) << "channel " << channel;
    // The fade-out begins at 8/16 with a step down of the global volume.
    const PatternCell& fade = cell_at(*song, 8, 16, KICK_CHANNEL);
    EXPECT_EQ(fade.effect, 0x10);
    EXPECT_LT(fade.effect_param, 64);
}

TEST(SongEngine, NeverClipsAndMainSectionsSitInTheLoudnessRange) {
    const SongRendering& song = our_rendering();
    const std::size_t show_end = first_tick_of(song, kShowEndKey);
    ASSERT_LT(show_end, song.tick_positions.size());
    EXPECT_LT(peak_dbfs(song.mix, 0, show_end), -0.5);
    // Build-ups, melody and climax: orders 1 to 6.
    for (int order = 1; order <= 6; ++order) {
        const double rms = rms_dbfs(song.mix, first_tick_of(song, order * 64), first_tick_of(song, (order + 1) * 64));
        EXPECT_GT(rms, -20.0) << "order " << order;
        EXPECT_LT(rms, -12.0) << "order " << order;
    }
}

TEST(SongEngine, FollowsTheShowsDynamics) {
    const SongRendering& song = our_rendering();
    auto level = [&](int from_key, int to_key) {
        return rms_dbfs(song.mix, first_tick_of(song, from_key), first_tick_of(song, to_key));
    };
    // The breakdown swells from 7/32.
    EXPECT_GT(level(7 * 64 + 48, 8 * 64), level(7 * 64 + 32, 7 * 64 + 48));
    EXPECT_GT(level(7 * 64 + 32, 7 * 64 + 48), level(7 * 64 + 16, 7 * 64 + 32));
    // The fade-out from 8/16 falls step by step to silence at 8/40.
    const int fade = 8 * 64 + 16;
    EXPECT_GT(level(fade - 8, fade), level(fade, fade + 8) + 1);
    EXPECT_GT(level(fade, fade + 8), level(fade + 8, fade + 16) + 3);
    EXPECT_GT(level(fade + 8, fade + 16), level(fade + 16, fade + 24) + 3);
    EXPECT_LT(level(fade + 24, fade + 32), -70);
    // The closing screen's music is there, but calm.
    EXPECT_GT(level(9 * 64, 10 * 64), -35);
    EXPECT_LT(level(9 * 64, 10 * 64), -20);
    // The last chord has died away before the show ends.
    EXPECT_LT(level(kShowEndKey - 2, kShowEndKey), -90);
}

} // namespace
