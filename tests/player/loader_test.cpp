// The XM loader: what a song file turns into, and which files it refuses.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <vector>

#include "player/module.h"
#include "player/module_source.h"
#include "song_loading.h"

namespace {

xm::Song one_pattern_song(int channels = 2)
{
    xm::Song song;
    song.channels = channels;
    song.patterns.resize(1);
    song.patterns[0].rows = 4;
    return song;
}

xm::Sample eight_bit(std::vector<int> frames)
{
    xm::Sample s;
    s.frames = std::move(frames);
    return s;
}

const Sample& first_sample(const Module& m, int instrument = 0)
{
    return *m.instruments[instrument].samples[0];
}

TEST(Loader, ReadsTheHeader)
{
    xm::Song song = one_pattern_song(3);
    song.speed = 8;
    song.bpm = 140;
    song.flags = 1;
    song.orders = {0, 0, 0};
    song.restart = 2;
    ModulePtr m = load_song(song);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->channel_count, 3);
    EXPECT_EQ(m->song_length, 3);
    EXPECT_EQ(m->restart_position, 2);
    EXPECT_EQ(m->default_speed, 8);
    EXPECT_EQ(m->default_bpm, 140);
    EXPECT_EQ(m->flags, 1);
    EXPECT_EQ(m->initial_global_volume, 64);
}

// Packed cells: 0x80 is an empty cell of 1 byte, 0x9F carries all five fields
// in 6 bytes, a plain note byte is followed by exactly four more. The second
// pattern only reads back right if each cell took exactly its bytes.
TEST(Loader, DecodesPackedAndPlainCellsWithTheirByteCounts)
{
    xm::Song song = one_pattern_song(3);
    song.patterns[0].rows = 1;
    song.patterns[0].raw = {0x80, 0x9F, 97, 129, 5, 6, 7, 0x31, 128, 1, 2, 3};
    xm::Pattern second;
    second.rows = 1;
    second.at(0, 2, 3) = {12, 1, 0x20, 15, 3};
    song.patterns.push_back(second);
    song.orders = {0, 1};
    ModulePtr m = load_song(song);
    ASSERT_TRUE(m);
    const PatternCell* cells = m->patterns[0].cells;
    EXPECT_EQ(cells[0].note | cells[0].instrument | cells[0].volume | cells[0].effect |
                  cells[0].effect_param, 0);
    EXPECT_EQ(cells[1].note, NOTE_KEY_OFF);  // 97 in the file
    EXPECT_EQ(cells[1].instrument, 0);       // 129 is no instrument
    EXPECT_EQ(cells[1].volume, 5);
    EXPECT_EQ(cells[1].effect, 6);
    EXPECT_EQ(cells[1].effect_param, 7);
    EXPECT_EQ(cells[2].note, 0x31);
    EXPECT_EQ(cells[2].instrument, 128);
    EXPECT_EQ(cells[2].effect_param, 3);
    const PatternCell& last = m->patterns[1].cells[2];
    EXPECT_EQ(last.note, 12);
    EXPECT_EQ(last.effect, 15);
    EXPECT_EQ(last.effect_param, 3);
}

// A pattern stored with packed size 0 has only its 9 header bytes in the file.
TEST(Loader, EmptyStoredPatternIsZeroCellsAndTakesOnlyItsHeader)
{
    xm::Song song = one_pattern_song(2);
    song.patterns[0].rows = 64;
    song.patterns[0].stored_empty = true;
    xm::Pattern second;
    second.rows = 2;
    second.at(1, 1, 2).note = 50;
    song.patterns.push_back(second);
    song.orders = {0, 1};
    ModulePtr m = load_song(song);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->patterns[0].row_count, 64);
    for (int i = 0; i < 128; ++i)
        EXPECT_EQ(m->patterns[0].cells[i].note, 0);
    EXPECT_EQ(m->patterns[1].cells[3].note, 50);
}

TEST(Loader, PatternsNamedInTheOrderListButAbsentAreEmpty64Rows)
{
    xm::Song song = one_pattern_song(2);
    song.patterns.resize(8, song.patterns[0]);
    song.orders = {0, 9, 3};
    ModulePtr m = load_song(song);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->used_pattern_count, 10);
    EXPECT_EQ(m->pattern_count, 10);
    EXPECT_EQ(m->patterns[8].row_count, 64);
    EXPECT_EQ(m->patterns[9].row_count, 64);
    EXPECT_EQ(m->patterns[9].cells[127].note, 0);

    // More patterns than the order list names: all are kept.
    song.orders = {1};
    m = load_song(song);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->used_pattern_count, 2);
    EXPECT_EQ(m->pattern_count, 8);
}

TEST(Loader, SampleLoopKindsAndLengths)
{
    xm::Song song = one_pattern_song();
    xm::Sample one_shot = eight_bit(std::vector<int>(1000, 0));
    xm::Sample empty_loop = one_shot;
    empty_loop.loop = 1;
    empty_loop.loop_start = 10;
    empty_loop.loop_length = 0;
    xm::Sample wide;
    wide.sixteen_bit = true;
    wide.frames = std::vector<int>(100, 0);
    wide.loop = 3;  // both bits: ping-pong
    wide.loop_start = 5;
    wide.loop_length = 20;
    xm::Instrument ins;
    ins.samples = {one_shot, empty_loop, wide};
    song.instruments = {ins};
    ModulePtr m = load_song(song);
    ASSERT_TRUE(m);
    const Instrument& i = m->instruments[0];
    ASSERT_EQ(i.sample_count, 3);
    for (int k = 0; k < 2; ++k) {
        EXPECT_EQ(i.samples[k]->loop_mode, SAMPLE_ONE_SHOT);
        EXPECT_EQ(i.samples[k]->loop_start, 0u);
        EXPECT_EQ(i.samples[k]->loop_length, 1000u);
    }
    EXPECT_EQ(i.samples[2]->length, 100u);  // 200 bytes
    EXPECT_EQ(i.samples[2]->loop_start, 5u);
    EXPECT_EQ(i.samples[2]->loop_length, 20u);
    EXPECT_EQ(i.samples[2]->loop_mode, SAMPLE_PING_PONG);
    EXPECT_EQ(i.samples[2]->bits, 16);
    for (int k = 3; k < 16; ++k)
        EXPECT_EQ(i.samples[k], &empty_sample);
}

TEST(Loader, DeltaDecodingOfBothDepths)
{
    xm::Song song = one_pattern_song();
    xm::Sample narrow = eight_bit({1, 2, -1, 127, -128});  // deltas 1, 1, -3, 128 (wraps), 1 (wraps)
    xm::Sample wide;
    wide.sixteen_bit = true;
    wide.frames = {1000, -32768, 32767, -2};
    song.instruments = {xm::single_sample_instrument(narrow), xm::single_sample_instrument(wide)};
    ModulePtr m = load_song(song);
    ASSERT_TRUE(m);
    const int16_t* n = first_sample(*m, 0).data;
    EXPECT_EQ(n[0], 256);
    EXPECT_EQ(n[1], 512);
    EXPECT_EQ(n[2], -256);
    EXPECT_EQ(n[3], 127 * 256);
    EXPECT_EQ(n[4], -128 * 256);
    const int16_t* w = first_sample(*m, 1).data;
    EXPECT_EQ(w[0], 1000);
    EXPECT_EQ(w[1], -32768);
    EXPECT_EQ(w[2], 32767);
    EXPECT_EQ(w[3], -2);
    for (int k = 4; k < 12; ++k)
        EXPECT_EQ(w[k], 0);
}

// The frame after a loop's end repeats the frame the mixer wraps to.
TEST(Loader, LoopFixUpFrame)
{
    xm::Song song = one_pattern_song();
    xm::Sample forward = eight_bit({10, 20, 30, 40});
    forward.loop = 1;
    forward.loop_start = 1;
    forward.loop_length = 3;
    xm::Sample ping_pong = eight_bit({10, 20, 30, 40, 50});
    ping_pong.loop = 2;
    ping_pong.loop_start = 0;
    ping_pong.loop_length = 3;
    song.instruments = {xm::single_sample_instrument(forward), xm::single_sample_instrument(ping_pong)};
    ModulePtr m = load_song(song);
    ASSERT_TRUE(m);
    const int16_t* f = first_sample(*m, 0).data;
    EXPECT_EQ(f[4], 20 * 256);
    for (int k = 5; k < 12; ++k)
        EXPECT_EQ(f[k], 0);
    const int16_t* p = first_sample(*m, 1).data;
    EXPECT_EQ(p[3], 30 * 256);  // overwrites the sample's own frame 3
    EXPECT_EQ(p[4], 50 * 256);
}

TEST(Loader, LoopReachingPastTheSampleIsCutAtItsEnd)
{
    xm::Song song = one_pattern_song();
    xm::Sample s = eight_bit(std::vector<int>(50, 1));
    s.loop = 1;
    s.loop_start = 30;
    s.loop_length = 1000;
    xm::Sample beyond = s;
    beyond.loop_start = 60;
    song.instruments = {xm::single_sample_instrument(s), xm::single_sample_instrument(beyond)};
    ModulePtr m = load_song(song);
    ASSERT_TRUE(m);
    EXPECT_EQ(first_sample(*m, 0).loop_start, 30u);
    EXPECT_EQ(first_sample(*m, 0).loop_length, 20u);
    EXPECT_EQ(first_sample(*m, 0).loop_mode, SAMPLE_FORWARD_LOOP);
    EXPECT_EQ(first_sample(*m, 1).loop_mode, SAMPLE_ONE_SHOT);
    EXPECT_EQ(first_sample(*m, 1).loop_length, 50u);
}

// An odd byte length of 16-bit data drops the last byte from the sample; the
// next sample's data starts on that byte.
TEST(Loader, OddSixteenBitByteLength)
{
    xm::Song song = one_pattern_song();
    xm::Sample wide;
    wide.sixteen_bit = true;
    wide.frames = {0x0102, 0x0304};
    wide.byte_length = 3;  // the file still holds the 4 data bytes
    xm::Sample next = eight_bit({5});
    xm::Instrument ins;
    ins.samples = {wide, next};
    song.instruments = {ins};
    ModulePtr m = load_song(song);
    ASSERT_TRUE(m);
    const Instrument& i = m->instruments[0];
    EXPECT_EQ(i.samples[0]->length, 1u);
    EXPECT_EQ(i.samples[0]->data[0], 0x0102);
    // The delta of the second frame was 0x0202; its low byte 0x02 is read as the next sample.
    EXPECT_EQ(i.samples[1]->data[0], 0x02 * 256);
}

TEST(Loader, InstrumentHeaderFields)
{
    xm::Song song = one_pattern_song();
    xm::Instrument empty;       // no samples, a longer header than usual
    empty.header_size = 300;
    xm::Instrument voiced = xm::single_sample_instrument(eight_bit({1, 2, 3}));
    voiced.fadeout = 300;
    voiced.volume.points = {{0, 64}, {10, 0}};
    voiced.volume.type = 1 | 4;
    voiced.volume.loop_start = 0;
    voiced.volume.loop_end = 5;  // no such point: the loop is dropped
    voiced.sample_map[10] = 3;
    xm::Instrument single_point = xm::single_sample_instrument(eight_bit({1}));
    single_point.volume.points = {{0, 64}};
    single_point.volume.type = 1;
    song.instruments = {empty, voiced, single_point};
    ModulePtr m = load_song(song);
    ASSERT_TRUE(m);
    const Instrument& e = m->instruments[0];
    EXPECT_EQ(e.sample_count, 0);
    for (Sample* s : e.samples)
        EXPECT_EQ(s, &empty_sample);
    const Instrument& v = m->instruments[1];
    EXPECT_EQ(v.fadeout, 600);
    EXPECT_EQ(v.volume_type, ENVELOPE_ON);
    EXPECT_EQ(v.volume_envelope[1].x, 10);
    EXPECT_EQ(v.sample_map[10], 3);
    EXPECT_EQ(v.samples[0]->data[2], 3 * 256);  // read from after the 300-byte header
    EXPECT_EQ(m->instruments[2].volume_type, ENVELOPE_ON);  // a single point is held
}

TEST(Loader, RestartBeyondTheSongRestartsAtZero)
{
    xm::Song song = one_pattern_song();
    song.orders = {0, 0};
    song.restart = 2;
    ModulePtr m = load_song(song);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->restart_position, 0);
}

TEST(Loader, RefusesFilesItCannotPlay)
{
    auto refused = [](xm::Song song) { return load_song(song) == nullptr; };
    xm::Song good = one_pattern_song();
    ASSERT_FALSE(refused(good));

    std::vector<uint8_t> bytes = xm::write(good);
    bytes[16] = '!';
    EXPECT_FALSE(load_bytes(bytes)) << "wrong ID text";

    xm::Song s = good;
    s.song_length = 257;
    EXPECT_TRUE(refused(s)) << "more than 256 orders";
    s = good;
    s.channels = 0;
    EXPECT_TRUE(refused(s)) << "no channels";
    s.channels = 65;
    EXPECT_TRUE(refused(s)) << "more channels than the replay has";
    s = good;
    s.patterns[0].rows = 257;
    EXPECT_TRUE(refused(s)) << "pattern of 257 rows";
    s = good;
    s.instruments = {xm::single_sample_instrument(eight_bit({1, 2, 3}))};
    s.instruments[0].samples[0].byte_length = 1 << 30;
    EXPECT_TRUE(refused(s)) << "sample data missing far beyond what silence may stand in for";
}

// Cutting a valid song anywhere never crashes or leaks (the sanitizer build
// checks the reads): each prefix either fails cleanly or loads. A cut in the
// song header fails; a cut after it loads, as other players load it: the
// patterns and instruments before the cut whole, a sample whose data is cut
// with the frames the file still holds and silence after them.
TEST(Loader, EveryTruncatedPrefixFailsCleanlyOrLoadsWithSilence)
{
    xm::Song song = xm::busy_song(3, 2);
    for (auto& ins : song.instruments)
        for (auto& sample : ins.samples) {
            sample.frames.resize(40);
            sample.loop_start = 0;
            sample.loop_length = sample.loop ? 40 : 0;
        }
    std::vector<uint8_t> bytes = xm::write(song);
    const size_t header_end = 60 + 276;  // the writer's song header
    ModulePtr whole = load_bytes(bytes);
    ASSERT_TRUE(whole);
    const Sample& drum = first_sample(*whole, 2);  // the last sample: 40 frames of 8-bit data
    int whole_instruments = 0;
    for (size_t length = 0; length < bytes.size(); ++length) {
        std::vector<uint8_t> prefix(bytes.begin(), bytes.begin() + static_cast<long>(length));
        ModulePtr m = load_bytes(prefix);
        ASSERT_EQ(m != nullptr, length >= header_end) << "cut at " << length;
        if (!m || m->instrument_count < 3)
            continue;
        ++whole_instruments;
        const size_t present = length - (bytes.size() - 40);
        const Sample& cut = first_sample(*m, 2);
        ASSERT_EQ(cut.length, 40u);
        for (size_t k = 0; k < 40 + 8; ++k)
            ASSERT_EQ(cut.data[k], k < present ? drum.data[k] : 0) << "cut at " << length << ", frame " << k;
    }
    EXPECT_EQ(whole_instruments, 40);
}

// A file for the load faults below: bytes, then a hole up to size.
std::string write_file(const std::string& name, const std::vector<uint8_t>& bytes, off_t size = 0)
{
    const std::string path = ::testing::TempDir() + "qxm_load_fault_" + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::ssize(bytes));
    EXPECT_EQ(truncate(path.c_str(), std::max<off_t>(size, std::ssize(bytes))), 0);
    return path;
}

// Loads path in a process whose data may grow by 16 MiB from here on, and
// exits 0 if the load gives the error expected ("" for a song).
[[noreturn]] void load_within_16_mib(const std::string& path, const std::string& expected)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line) && !line.starts_with("VmData:")) {}
    const rlimit limit = {std::stoul(line.substr(7)) * 1024 + (16 << 20), RLIM_INFINITY};
    setrlimit(RLIMIT_DATA, &limit);
    char error[QXM_ERROR_SIZE] = "";
    QxmSong* song = qxm_song_load_file(path.c_str(), error);
    std::fprintf(stderr, "gave \"%s\"\n", song ? "" : error);
    std::exit((song ? "" : error) == expected ? 0 : 1);
}

// Whatever a file holds, loading it takes what its song needs, not what the
// file declares or how big it is, and every failure comes back as a reason,
// never as an exception through the C calls or a crash. Each case runs in a
// process of its own (re-executed, so that the sanitizer returns null where
// memory runs out).
TEST(Loader, LoadFaultsGiveTheirReasonWithin16MiB)
{
    xm::Song many_patterns = one_pattern_song(64);  // 4,000 patterns of 256 rows, one played
    many_patterns.patterns.resize(4000, {.rows = 256, .cells = {}, .raw = {0x80}});
    xm::Song missing_sample = one_pattern_song();   // 16 Mi frames of silence stand in: 32 MiB
    missing_sample.instruments = {xm::single_sample_instrument(eight_bit({1, 2, 3}))};
    missing_sample.instruments[0].samples[0].byte_length = 1 << 24;
    const std::vector<uint8_t> song_header = xm::write(one_pattern_song());
    const struct { std::string path, error; } faults[] = {
        {"/dev/zero", "not an XM song (no \"Extended Module: \" at its start)"},
        {::testing::TempDir(), std::strerror(EISDIR)},
        {::testing::TempDir() + "no_such_song.xm", std::strerror(ENOENT)},
        {write_file("empty", {}), "empty (0 bytes)"},
        {write_file("above_the_cap", song_header, (256 << 20) + 1), "larger than the 256 MiB a song may take"},
        {write_file("above_the_memory_left", song_header, 64 << 20), "out of memory"},
        {write_file("patterns", xm::write(many_patterns)), ""},
        {write_file("missing_sample", xm::write(missing_sample)), "out of memory"},
    };
    const std::string sanitizer_options = std::getenv("ASAN_OPTIONS") ? std::getenv("ASAN_OPTIONS") : "";
    setenv("ASAN_OPTIONS", (sanitizer_options + ":allocator_may_return_null=1").c_str(), 1);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (const auto& fault : faults) {
        EXPECT_EXIT(load_within_16_mib(fault.path, fault.error), ::testing::ExitedWithCode(0), "") << fault.path;
        if (fault.path.find("qxm_load_fault_") != std::string::npos)
            std::remove(fault.path.c_str());
    }
    setenv("ASAN_OPTIONS", sanitizer_options.c_str(), 1);
}

TEST(Loader, MissingSourceGivesNoModule)
{
    module_source_set(nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(module_create("song"), nullptr);
    EXPECT_FALSE(module_free(nullptr));
}

}  // namespace
