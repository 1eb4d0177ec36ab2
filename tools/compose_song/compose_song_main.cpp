// compose_song: writes the show's song as an XM file.
//   compose_song OUTPUT.xm
#include "compose.h"

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: compose_song OUTPUT.xm\n");
        return 2;
    }
    try {
        const std::vector<std::uint8_t> bytes = compose_song_bytes();
        std::FILE* file = std::fopen(argv[1], "wb");
        if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() || std::fclose(file) != 0) {
            std::fprintf(stderr, "compose_song: cannot write %s\n", argv[1]);
            return 1;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "compose_song: %s\n", error.what());
        return 1;
    }
    return 0;
}
