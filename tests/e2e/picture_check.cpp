// picture_check: holds captured show pictures against the reference pictures
// kept in the repository, and makes those references from a capture.
//
//   picture_check compare [--blocks TOLERANCE] REFERENCE_DIR CAPTURE_DIR FAILURE_DIR NAME...
//   picture_check reduce  CAPTURE_DIR REFERENCE_DIR NAME...
//
// A capture is 640×480; a reference is the capture reduced to 320×240 by
// averaging each 2×2 block, which keeps the repository light. compare
// reduces each CAPTURE_DIR/NAME the same way. A pixel differs when one of its
// channels is off by more than kChannelTolerance, and a picture fails when
// more than kDifferingPixels pixels differ. The tolerances come from drawing
// the show with another rasterizer (softpipe instead of llvmpipe): its
// rounding moved channels by at most 2 and a flight's perspective edges at
// most 3 reduced pixels; only the line storm's one-pixel lines, which it
// places differently, failed. One block-font cell of a flat headline
// (2.7 screen pixels) changed covers at least a ninth of four reduced pixels,
// so it moves at least 4 pixels by more than 8 on either backdrop colour.
// With --blocks, compare holds the means of 4×4 reduced pixels (8×8 pixels
// of the capture) instead, each channel within TOLERANCE, and a picture
// fails when any block is off by more: for a renderer that places edges,
// lines and texture samples a pixel apart from Mesa's (the web page's WebGL),
// while any shape of a block-font glyph's size or larger still counts.
// For a failed picture compare writes FAILURE_DIR/NAME-actual.png (reduced)
// and FAILURE_DIR/NAME-diff.png (the reference darkened, differing pixels
// or blocks red, smaller differences yellow).
// Exits 0 when every picture matches, 1 otherwise, 2 on bad arguments.
#include "png_file.h"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int kCaptureWidth = 640;
constexpr int kCaptureHeight = 480;
constexpr int kScale = 2;
constexpr int kWidth = kCaptureWidth / kScale;
constexpr int kHeight = kCaptureHeight / kScale;
constexpr int kChannelTolerance = 8; // of 255, after averaging
constexpr int kDifferingPixels = 3; // of 76800
constexpr int kBlock = 4;           // reduced pixels a side, with --blocks

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb; // top row first
};

bool read_png(const std::string& path, Picture& picture)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        std::fprintf(stderr, "picture_check: cannot read %s: %s\n", path.c_str(), image.message);
        return false;
    }
    image.format = PNG_FORMAT_RGB;
    picture.width = int(image.width);
    picture.height = int(image.height);
    picture.rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, picture.rgb.data(), 0, nullptr)) {
        std::fprintf(stderr, "picture_check: cannot read %s: %s\n", path.c_str(), image.message);
        png_image_free(&image);
        return false;
    }
    return true;
}

// The capture averaged over kScale × kScale blocks, rounded to nearest.
bool read_reduced_capture(const std::string& path, Picture& reduced)
{
    Picture capture;
    if (!read_png(path, capture))
        return false;
    if (capture.width != kCaptureWidth || capture.height != kCaptureHeight) {
        std::fprintf(stderr, "picture_check: %s is %d×%d, not %d×%d\n", path.c_str(), capture.width,
                     capture.height, kCaptureWidth, kCaptureHeight);
        return false;
    }
    reduced = {kWidth, kHeight, std::vector<uint8_t>(size_t(kWidth) * kHeight * 3)};
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (int dy = 0; dy < kScale; ++dy)
                    for (int dx = 0; dx < kScale; ++dx)
                        sum += capture.rgb[(size_t(y * kScale + dy) * kCaptureWidth + x * kScale + dx) * 3 + c];
                reduced.rgb[(size_t(y) * kWidth + x) * 3 + c] = uint8_t((sum + kScale * kScale / 2) / (kScale * kScale));
            }
    return true;
}

bool write_png(const std::string& path, const Picture& picture)
{
    if (write_png_rgb(path.c_str(), picture.rgb.data(), picture.width, picture.height))
        return true;
    std::fprintf(stderr, "picture_check: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
}

// Counts the differing pixels and paints the difference picture.
int count_differences(const Picture& reference, const Picture& actual, Picture& diff)
{
    diff = {kWidth, kHeight, std::vector<uint8_t>(reference.rgb.size())};
    int differing = 0;
    for (size_t p = 0; p < reference.rgb.size(); p += 3) {
        int worst = 0;
        for (int c = 0; c < 3; ++c)
            worst = std::max(worst, std::abs(int(reference.rgb[p + c]) - int(actual.rgb[p + c])));
        const uint8_t grey = uint8_t((reference.rgb[p] + reference.rgb[p + 1] + reference.rgb[p + 2]) / 9);
        uint8_t* out = &diff.rgb[p];
        if (worst > kChannelTolerance) {
            ++differing;
            out[0] = 255, out[1] = 0, out[2] = 0;
        } else if (worst > 0) {
            out[0] = 160, out[1] = 160, out[2] = 0;
        } else {
            out[0] = out[1] = out[2] = grey;
        }
    }
    return differing;
}

// The picture's kBlock × kBlock means, one RGB triple per block.
std::vector<int> block_means(const Picture& picture)
{
    std::vector<int> means(size_t(kWidth / kBlock) * (kHeight / kBlock) * 3);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            for (int c = 0; c < 3; ++c)
                means[(size_t(y / kBlock) * (kWidth / kBlock) + x / kBlock) * 3 + c] +=
                    picture.rgb[(size_t(y) * kWidth + x) * 3 + c];
    for (int& sum : means)
        sum = (sum + kBlock * kBlock / 2) / (kBlock * kBlock);
    return means;
}

// Counts the blocks whose means differ by more than tolerance and paints them.
int count_block_differences(const Picture& reference, const Picture& actual, int tolerance, Picture& diff)
{
    const std::vector<int> expected = block_means(reference), seen = block_means(actual);
    count_differences(reference, actual, diff);
    int differing = 0;
    for (size_t b = 0; b < expected.size(); b += 3) {
        int worst = 0;
        for (int c = 0; c < 3; ++c)
            worst = std::max(worst, std::abs(expected[b + c] - seen[b + c]));
        if (worst <= tolerance)
            continue;
        ++differing;
        const int bx = int(b / 3) % (kWidth / kBlock), by = int(b / 3) / (kWidth / kBlock);
        for (int y = by * kBlock; y < (by + 1) * kBlock; ++y)
            for (int x = bx * kBlock; x < (bx + 1) * kBlock; ++x) {
                uint8_t* out = &diff.rgb[(size_t(y) * kWidth + x) * 3];
                out[0] = 255, out[1] = 0, out[2] = 0;
            }
    }
    return differing;
}

// block_tolerance < 0: the per-pixel rule; otherwise the block rule.
int compare(const std::string& reference_dir, const std::string& capture_dir, const std::string& failure_dir,
            const std::vector<std::string>& names, int block_tolerance)
{
    int passed = 0, failed = 0;
    for (const std::string& name : names) {
        Picture reference, actual, diff;
        bool ok = read_png(reference_dir + "/" + name, reference) &&
                  read_reduced_capture(capture_dir + "/" + name, actual);
        if (ok && (reference.width != kWidth || reference.height != kHeight)) {
            std::fprintf(stderr, "picture_check: reference %s is %d×%d, not %d×%d\n", name.c_str(),
                         reference.width, reference.height, kWidth, kHeight);
            ok = false;
        }
        if (ok) {
            const bool blocks = block_tolerance >= 0;
            const int differing = blocks ? count_block_differences(reference, actual, block_tolerance, diff)
                                         : count_differences(reference, actual, diff);
            if (differing > (blocks ? 0 : kDifferingPixels)) {
                const std::string stem = failure_dir + "/" + name.substr(0, name.rfind('.'));
                if (blocks)
                    std::printf("%s: %d blocks of 8x8 pixels are off by more than %d; see %s-diff.png\n",
                                name.c_str(), differing, block_tolerance, stem.c_str());
                else
                    std::printf("%s: %d pixels differ from the reference (at most %d may); see %s-diff.png\n",
                                name.c_str(), differing, kDifferingPixels, stem.c_str());
                std::error_code error;
                std::filesystem::create_directories(failure_dir, error);
                write_png(stem + "-actual.png", actual);
                write_png(stem + "-diff.png", diff);
                ok = false;
            }
        }
        ok ? ++passed : ++failed;
    }
    std::printf("pictures: %d passed, %d failed\n", passed, failed);
    return failed ? 1 : 0;
}

int reduce(const std::string& capture_dir, const std::string& reference_dir, const std::vector<std::string>& names)
{
    std::error_code error;
    std::filesystem::create_directories(reference_dir, error);
    for (const std::string& name : names) {
        Picture reduced;
        if (!read_reduced_capture(capture_dir + "/" + name, reduced) || !write_png(reference_dir + "/" + name, reduced))
            return 1;
    }
    return 0;
}

int usage()
{
    std::fprintf(stderr, "usage: picture_check compare [--blocks TOLERANCE] REFERENCE_DIR CAPTURE_DIR FAILURE_DIR NAME...\n"
                         "       picture_check reduce CAPTURE_DIR REFERENCE_DIR NAME...\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string verb = argc > 1 ? argv[1] : "";
    int block_tolerance = -1;
    if (verb == "compare" && argc > 3 && std::string(argv[2]) == "--blocks") {
        char* end = nullptr;
        block_tolerance = int(std::strtol(argv[3], &end, 10));
        if (*end || block_tolerance < 0 || block_tolerance > 255)
            return usage();
        argv += 2;
        argc -= 2;
    }
    if (verb == "compare" && argc >= 6)
        return compare(argv[2], argv[3], argv[4], std::vector<std::string>(argv + 5, argv + argc), block_tolerance);
    if (verb == "reduce" && argc >= 5)
        return reduce(argv[2], argv[3], std::vector<std::string>(argv + 4, argv + argc));
    return usage();
}
