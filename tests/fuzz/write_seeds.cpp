// Writes the fuzz seed corpus: small valid songs that between them reach every
// part of the loader and the replay. Run by hand when the writer changes:
//   build/bin/xm_write_seeds tests/fuzz/corpus
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "testkit/xm_writer.h"

namespace {

void shorten_samples(xm::Song& song, int frames)
{
    for (auto& instrument : song.instruments)
        for (auto& sample : instrument.samples) {
            sample.frames.resize(static_cast<size_t>(frames));
            sample.loop_start = static_cast<uint32_t>(frames / 4);
            sample.loop_length = sample.loop ? static_cast<uint32_t>(frames / 2) : 0;
        }
}

void save(const std::filesystem::path& dir, const std::string& name, const xm::Song& song)
{
    std::vector<uint8_t> bytes = xm::write(song);
    std::ofstream(dir / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: xm_write_seeds FOLDER\n");
        return 1;
    }
    std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);

    xm::Song busy = xm::busy_song(4, 2);
    for (auto& p : busy.patterns) p.rows = 16, p.cells.resize(16 * 4);
    shorten_samples(busy, 64);
    save(dir, "busy.xm", busy);

    xm::Song amiga = busy;
    amiga.flags = 0;
    amiga.restart = 1;
    save(dir, "amiga.xm", amiga);

    // Effects and volume-column bytes of every kind on one short pattern.
    xm::Song effects = busy;
    effects.channels = 2;
    effects.patterns.assign(1, xm::Pattern{});
    effects.patterns[0].rows = 16;
    for (int row = 0; row < 16; ++row) {
        effects.patterns[0].at(row, 0, 2) = {static_cast<uint8_t>(row % 3 ? 49 : 97), 1,
                                             static_cast<uint8_t>(0x10 * row + 3),
                                             static_cast<uint8_t>(row + 3), static_cast<uint8_t>(row * 17)};
        effects.patterns[0].at(row, 1, 2) = {static_cast<uint8_t>(60 + row), 2, 0xF0, 3, 0};
    }
    effects.patterns[0].at(4, 1, 2) = {0, 0, 0, 15, 0};
    effects.patterns[0].at(5, 1, 2) = {0, 0, 0, 15, 200};
    effects.instruments[0].volume.points = {{0, 64}, {4, 10}, {8, 50}, {12, 0}};
    effects.instruments[0].volume.loop_start = 1;
    effects.instruments[0].volume.loop_end = 2;
    effects.instruments[0].volume.sustain = 2;
    effects.instruments[0].volume.type = 7;
    save(dir, "effects.xm", effects);

    // Every effect number and extended effect, with a panning envelope and
    // auto-vibrato, over two patterns the effects jump, break and loop in.
    xm::Song every = effects;
    every.patterns.assign(2, xm::Pattern{});
    every.orders = {0, 1, 0};
    for (int p = 0; p < 2; ++p) {
        every.patterns[static_cast<size_t>(p)].rows = 48;
        for (int row = 0; row < 48; ++row) {
            uint8_t effect = static_cast<uint8_t>(p == 0 ? row % 36 : 14);
            uint8_t param = static_cast<uint8_t>(p == 0 ? 0x11 * (row % 16) : (row % 16) << 4 | (row % 5));
            every.patterns[static_cast<size_t>(p)].at(row, 0, 2) = {static_cast<uint8_t>(row % 4 ? 0 : 49 + row), 1,
                                                                    static_cast<uint8_t>(0x60 + 0x10 * (row % 10) + row % 7),
                                                                    effect, param};
            every.patterns[static_cast<size_t>(p)].at(row, 1, 2) = {static_cast<uint8_t>(row % 3 ? 0 : 61), 2, 0, 9, 0xF0};
        }
    }
    every.instruments[1].panning.points = {{0, 0}, {6, 64}, {12, 32}};
    every.instruments[1].panning.sustain = 1;
    every.instruments[1].panning.type = 3;
    every.instruments[1].vibrato_sweep = 4;
    every.instruments[1].vibrato_depth = 15;
    every.instruments[1].vibrato_rate = 40;
    save(dir, "every_effect.xm", every);

    save(dir, "ping_pong_at_frame_zero.xm", xm::ping_pong_from_frame_zero_song());

    // Patterns named but absent, stored empty, and 16-bit ping-pong samples.
    xm::Song sparse = busy;
    sparse.orders = {0, 3, 1, 2};
    sparse.patterns[1].stored_empty = true;
    for (auto& instrument : sparse.instruments)
        for (auto& sample : instrument.samples) sample.sixteen_bit = true, sample.loop = 2;
    xm::Instrument empty;
    empty.header_size = 40;
    sparse.instruments.push_back(empty);
    save(dir, "sparse.xm", sparse);
    return 0;
}
