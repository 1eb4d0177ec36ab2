// xm2wav, run as a user runs it: songs in, WAV files (or one error line) out.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "data/show_tables.h"
#include "testkit/xm_writer.h"

namespace fs = std::filesystem;

namespace {

class Xm2Wav : public ::testing::Test {
protected:
    fs::path dir;
    fs::path tool;

    void SetUp() override
    {
        tool = fs::read_symlink("/proc/self/exe").parent_path() / "xm2wav";
        dir = fs::temp_directory_path() / ("xm2wav_test_" + std::to_string(getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    fs::path write_file(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        fs::path path = dir / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
        return path;
    }

    // Exit status and the first line on stderr.
    std::pair<int, std::string> run(const std::string& arguments)
    {
        std::string command = tool.string() + " " + arguments + " 2>" + (dir / "stderr").string();
        int status = std::system(command.c_str());
        std::ifstream err(dir / "stderr");
        std::string line;
        std::getline(err, line);
        return {WEXITSTATUS(status), line};
    }

    static std::vector<uint8_t> read_bytes(const fs::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    static uint32_t le32(const std::vector<uint8_t>& b, size_t at)
    {
        return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
    }
};

// Two orders of 4 rows at speed 6, 125 BPM: 8 rows × 6 ticks × 882 frames.
xm::Song two_order_song()
{
    xm::Song song = xm::busy_song(2, 1);
    song.patterns[0].rows = 4;
    song.patterns[0].cells.resize(4 * 2);
    song.orders = {0, 0};
    return song;
}

TEST_F(Xm2Wav, RendersTheSongOnceByDefault)
{
    fs::path song = write_file("song.xm", xm::write(two_order_song()));
    auto [status, message] = run(song.string() + " " + (dir / "out.wav").string());
    ASSERT_EQ(status, 0) << message;
    std::vector<uint8_t> wav = read_bytes(dir / "out.wav");
    ASSERT_GE(wav.size(), 44u);
    EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
    EXPECT_EQ(std::string(wav.begin() + 8, wav.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(le32(wav, 24), 44100u);
    EXPECT_EQ(le32(wav, 40), 8u * 6 * 882 * 4);
    EXPECT_EQ(wav.size(), 44 + le32(wav, 40));
    EXPECT_EQ(le32(wav, 4), wav.size() - 8);
    // Nothing but the output is left in the folder.
    int files = 0;
    for (auto& entry : fs::directory_iterator(dir))
        files += entry.path().filename() != "stderr";
    EXPECT_EQ(files, 2);

    // A jump back to an order already played ends the song there too, before
    // the last order is ever reached.
    xm::Song jumping = two_order_song();
    jumping.patterns.push_back(jumping.patterns[0]);
    jumping.patterns[1].at(1, 0, 2) = {0, 0, 0, 0x0B, 0};
    jumping.orders = {0, 1, 0};
    ASSERT_EQ(run(write_file("jumping.xm", xm::write(jumping)).string() + " " + (dir / "out.wav").string()).first, 0);
    EXPECT_EQ(le32(read_bytes(dir / "out.wav"), 40), 6u * 6 * 882 * 4);
}

TEST_F(Xm2Wav, LengthAndRateOptions)
{
    fs::path song = write_file("song.xm", xm::write(two_order_song()));
    fs::path out = dir / "out.wav";
    ASSERT_EQ(run(song.string() + " " + out.string() + " --seconds 0.5 --rate 22050").first, 0);
    std::vector<uint8_t> wav = read_bytes(out);
    EXPECT_EQ(le32(wav, 24), 22050u);
    EXPECT_EQ(le32(wav, 40), 11025u * 4);
    // --until stops before the row starts: order 1, row 2 is 6 rows in.
    ASSERT_EQ(run(song.string() + " " + out.string() + " --until 1/2").first, 0);
    EXPECT_EQ(le32(read_bytes(out), 40), 6u * 6 * 882 * 4);
}

// --from and --from-seconds give the rest of the same render, with or
// without a length; a start the song never reaches is one line and no file.
TEST_F(Xm2Wav, FromGivesTheTailOfTheWholeRender)
{
    fs::path song = write_file("song.xm", xm::write(two_order_song()));
    fs::path out = dir / "out.wav";
    ASSERT_EQ(run(song.string() + " " + out.string()).first, 0);
    const std::vector<uint8_t> whole = read_bytes(out);
    auto tail_from = [&](size_t frame, size_t frames = 0) {
        const size_t from = 44 + 4 * frame, to = frames ? std::min(whole.size(), from + 4 * frames) : whole.size();
        return std::vector<uint8_t>(whole.begin() + static_cast<long>(from), whole.begin() + static_cast<long>(to));
    };
    auto data_of = [](const std::vector<uint8_t>& wav) { return std::vector<uint8_t>(wav.begin() + 44, wav.end()); };
    // Order 1, row 1 is 5 rows of 6 ticks in; 0.25 s is frame 11025.
    const std::pair<std::string, std::vector<uint8_t>> cases[] = {
        {"--from 1/1", tail_from(5 * 6 * 882)},
        {"--from-seconds 0.25", tail_from(11025)},
        {"--from-seconds 0.25 --seconds 0.1", tail_from(11025, 4410)},
    };
    for (const auto& [options, expected] : cases) {
        auto [status, message] = run(song.string() + " " + out.string() + " " + options);
        ASSERT_EQ(status, 0) << options << ": " << message;
        const std::vector<uint8_t> wav = read_bytes(out);
        EXPECT_EQ(le32(wav, 40), expected.size()) << options;
        EXPECT_TRUE(data_of(wav) == expected) << options;
    }
    fs::remove(out);
    const std::pair<std::string, std::string> refused[] = {
        {"--from 1", "xm2wav: --from must be ORDER/ROW, each 0..255"},
        {"--from 0/256", "xm2wav: --from must be ORDER/ROW, each 0..255"},
        {"--from-seconds x", "xm2wav: --from-seconds must be a number from 0 to 86400"},
        {"--from-seconds -1", "xm2wav: --from-seconds must be a number from 0 to 86400"},
        {"--from 0/0 --from-seconds 0", "xm2wav: give either --from or --from-seconds, not both"},
        {"--from 2/0", "xm2wav: " + song.string() + ": the song never plays 2/0 before its end"},
        {"--from-seconds 1.5", "xm2wav: " + song.string() + ": the song ends before 1.5 s"},
    };
    for (const auto& [options, line] : refused) {
        auto [status, message] = run(song.string() + " " + out.string() + " " + options);
        EXPECT_EQ(status, 1) << options;
        EXPECT_EQ(message, line) << options;
        EXPECT_FALSE(fs::exists(out)) << options;
    }
}

TEST_F(Xm2Wav, BadInputGivesOneLineAndNoOutput)
{
    fs::path not_xm = write_file("not.xm", {'h', 'e', 'l', 'l', 'o'});
    fs::path out = dir / "out.wav";
    auto [status, message] = run(not_xm.string() + " " + out.string());
    EXPECT_EQ(status, 1);
    EXPECT_NE(message.find("not.xm"), std::string::npos) << message;
    EXPECT_FALSE(fs::exists(out));

    // A song refused for safety says why, on one line.
    xm::Song wide = two_order_song();
    wide.channels = 65;
    wide.patterns[0].cells.clear();
    auto [wide_status, wide_message] = run(write_file("wide.xm", xm::write(wide)).string() + " " + out.string());
    EXPECT_EQ(wide_status, 1);
    EXPECT_NE(wide_message.find("wide.xm: 65 channels; 1 to 64 can be played"), std::string::npos) << wide_message;
    // A damaged one whose last sample is cut short plays.
    std::vector<uint8_t> damaged = xm::write(two_order_song());
    damaged.resize(damaged.size() - 100);
    EXPECT_EQ(run(write_file("damaged.xm", damaged).string() + " " + out.string()).first, 0);
    fs::remove(out);

    EXPECT_EQ(run((dir / "missing.xm").string() + " " + out.string()).first, 1);
    EXPECT_EQ(run(not_xm.string()).first, 1);
    EXPECT_EQ(run(not_xm.string() + " " + out.string() + " --rate 12").first, 1);
    EXPECT_EQ(run(not_xm.string() + " " + out.string() + " --until 3").first, 1);
    EXPECT_FALSE(fs::exists(out));

    // A row the song never reaches before it ends.
    fs::path song = write_file("song.xm", xm::write(two_order_song()));
    for (const char* never : {"2/0", "1/4"}) {
        auto [until_status, until_message] = run(song.string() + " " + out.string() + " --until " + never);
        EXPECT_EQ(until_status, 1);
        EXPECT_NE(until_message.find("song.xm: the song never reaches " + std::string(never)), std::string::npos)
            << until_message;
        EXPECT_FALSE(fs::exists(out));
    }
}

// The show's song, rendered to where the show ends, is held to its bytes: a
// change of the engine must not change the show's music unnoticed. A mend
// that does, and a new song.xm, pin the new hash here.
TEST_F(Xm2Wav, EmbeddedSongRendersToTheSameBytes)
{
    fs::path out = dir / "song.wav";
    const std::string show_end = std::to_string(kShowEndOrder) + "/" + std::to_string(kShowEndRow);
    auto [status, message] = run(std::string(SONG_PATH) + " " + out.string() + " --until " + show_end);
    ASSERT_EQ(status, 0) << message;
    std::vector<uint8_t> wav = read_bytes(out);
    uint64_t hash = 0xcbf29ce484222325u;  // FNV-1a, 64 bits
    for (uint8_t b : wav)
        hash = (hash ^ b) * 0x100000001b3u;
    EXPECT_EQ(wav.size(), 18514988u);
    EXPECT_EQ(hash, 0x6aa6c968458275bfu);
}

}  // namespace

TEST_F(Xm2Wav, InfoPrintsTheSongsFieldsOneALine)
{
    fs::path song = write_file("two.xm", xm::write(two_order_song()));
    const std::string out = (dir / "info.txt").string();
    auto [status, line] = run("--info " + song.string() + " >" + out);
    ASSERT_EQ(status, 0) << line;
    std::ifstream in(out);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    // 8 rows × 6 ticks × 882 frames at 44100 Hz.
    EXPECT_EQ(text,
              "title: test song\ntracker: FastTracker v2.00\nchannels: 2\norders: 2\npatterns: 1\n"
              "instruments: 3\ninstrument 1: instrument\ninstrument 2: instrument\n"
              "instrument 3: instrument\nspeed: 6\nbpm: 125\nfrequency table: linear\nseconds: 0.960\n");
    EXPECT_EQ(run("--info").first, 1);
    EXPECT_EQ(run("--info " + (dir / "missing.xm").string()).first, 1);
}
