// picture_check: holds captured show pictures against the reference pictures
// kept in the repository, and makes those references from a capture.
//
//   picture_check compare [--blocks TOLERANCE] REFERENCE_DIR CAPTURE_DIR FAILURE_DIR NAME...
//   picture_check reduce  CAPTURE_DIR REFERENCE_DIR NAME...
//   picture_check detail  SMALL.png LARGE.png LEFT TOP WIDTH HEIGHT MIN_RATIO
//
// A capture is 640×480; a reference is the capture reduced to 320×240 by
// averaging each 2×2 block, which keeps the repository light. compare
// reduces each CAPTURE_DIR/NAME the same way; a capture drawn at a larger
// 4:3 size, a whole multiple of 320 wide (1280×960, 2880×2160), is reduced
// over blocks of that multiple. A pixel differs when one of its
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
// detail holds a capture drawn at a larger size against the 640×480 capture
// of the same moment scaled up to it with linear filtering, as a display
// stretches it: in the crop (LEFT TOP WIDTH HEIGHT, in 640×480 pixels) the
// larger picture's edge energy, the sum of squared luma steps between
// neighbouring pixels, must be at least MIN_RATIO times the scaled-up one's.
// A step edge drawn at the larger size keeps its whole step between two
// pixels; the scaled-up edge spreads it over the scale's width, which at 2×
// halves the energy.
// Exits 0 when every picture matches, 1 otherwise, 2 on bad arguments.
#include "png_file.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 320;  // a reference, pixels
constexpr int kHeight = 240;
constexpr int kChannelTolerance = 8; // of 255, after averaging
constexpr int kDifferingPixels = 3; // of 76800
constexpr int kBlock = 4;           // reduced pixels a side, with --blocks
// detail: the least share of a larger picture's edge energy that lies inside
// 640×480 pixels. Edges drawn at the larger size fall anywhere, so at 2× about
// half of it would; a picture of repeated pixels has none there.
constexpr double kMinOffGridShare = 0.2;

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

// The capture averaged over scale × scale blocks to the reference's size,
// rounded to nearest.
bool read_reduced_capture(const std::string& path, Picture& reduced)
{
    Picture capture;
    if (!read_png(path, capture))
        return false;
    const int scale = capture.width / kWidth;
    if (scale < 2 || capture.width != kWidth * scale || capture.height != kHeight * scale) {
        std::fprintf(stderr, "picture_check: %s is %d×%d, not a whole multiple of %d×%d above 320×240\n",
                     path.c_str(), capture.width, capture.height, kWidth, kHeight);
        return false;
    }
    reduced = {kWidth, kHeight, std::vector<uint8_t>(size_t(kWidth) * kHeight * 3)};
    const int area = scale * scale;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (int dy = 0; dy < scale; ++dy)
                    for (int dx = 0; dx < scale; ++dx)
                        sum += capture.rgb[(size_t(y * scale + dy) * size_t(capture.width) + size_t(x * scale + dx)) * 3 + size_t(c)];
                reduced.rgb[(size_t(y) * kWidth + x) * 3 + c] = uint8_t((sum + area / 2) / area);
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

// Rec. 601 luma of pixel (x, y), clamped to the picture.
double luma_at(const Picture& p, int x, int y)
{
    x = std::clamp(x, 0, p.width - 1);
    y = std::clamp(y, 0, p.height - 1);
    const uint8_t* at = &p.rgb[(size_t(y) * size_t(p.width) + size_t(x)) * 3];
    return 0.299 * at[0] + 0.587 * at[1] + 0.114 * at[2];
}

// Luma of small scaled up by scale with linear filtering, at pixel (x, y):
// pixel centres map to (x + 0.5) / scale - 0.5 of the small picture.
double upscaled_luma_at(const Picture& small, double scale, int x, int y)
{
    const double sx = (x + 0.5) / scale - 0.5, sy = (y + 0.5) / scale - 0.5;
    const int x0 = int(std::floor(sx)), y0 = int(std::floor(sy));
    const double fx = sx - x0, fy = sy - y0;
    return (1 - fy) * ((1 - fx) * luma_at(small, x0, y0) + fx * luma_at(small, x0 + 1, y0)) +
           fy * ((1 - fx) * luma_at(small, x0, y0 + 1) + fx * luma_at(small, x0 + 1, y0 + 1));
}

// The sum of squared luma steps to the right and downwards over the crop;
// off_grid gets the part of it from steps inside a 640×480 pixel scale ×
// scale pixels large, which a picture scaled up with repeated pixels lacks.
template <typename Luma>
double edge_energy(Luma luma, int left, int top, int width, int height, double scale, double& off_grid)
{
    double energy = 0;
    off_grid = 0;
    const auto inside = [scale](int at) { return std::floor((at + 0.5) / scale) == std::floor((at + 1.5) / scale); };
    for (int y = top; y < top + height; ++y)
        for (int x = left; x < left + width; ++x) {
            const double here = luma(x, y), right = luma(x + 1, y), below = luma(x, y + 1);
            const double across = (right - here) * (right - here), down = (below - here) * (below - here);
            energy += across + down;
            off_grid += (inside(x) ? across : 0) + (inside(y) ? down : 0);
        }
    return energy;
}

int detail(const std::string& small_path, const std::string& large_path, int left, int top, int width, int height,
           double min_ratio)
{
    Picture small, large;
    if (!read_png(small_path, small) || !read_png(large_path, large))
        return 1;
    if (small.width != 640 || small.height != 480 || large.width <= 640 || large.width * 3 != large.height * 4) {
        std::fprintf(stderr, "picture_check: detail takes a 640×480 picture and a larger 4:3 one\n");
        return 1;
    }
    const double scale = large.width / 640.0;
    const int l = int(left * scale), t = int(top * scale), w = int(width * scale), h = int(height * scale);
    double drawn_off_grid = 0, unused = 0;
    const double drawn = edge_energy([&](int x, int y) { return luma_at(large, x, y); }, l, t, w, h, scale,
                                     drawn_off_grid);
    const double stretched =
        edge_energy([&](int x, int y) { return upscaled_luma_at(small, scale, x, y); }, l, t, w, h, scale, unused);
    const double ratio = stretched > 0 ? drawn / stretched : 0;
    const double off_grid_share = drawn > 0 ? drawn_off_grid / drawn : 0;
    std::printf("%s: edge energy %.3g drawn at %dx%d, %.3g scaled up from 640x480: ratio %.2f (at least %.2f); "
                "%.0f %% of it inside 640x480 pixels (at least %.0f %%)\n",
                large_path.c_str(), drawn, large.width, large.height, stretched, ratio, min_ratio,
                100 * off_grid_share, 100 * kMinOffGridShare);
    return ratio >= min_ratio && off_grid_share >= kMinOffGridShare ? 0 : 1;
}

int usage()
{
    std::fprintf(stderr, "usage: picture_check compare [--blocks TOLERANCE] REFERENCE_DIR CAPTURE_DIR FAILURE_DIR NAME...\n"
                         "       picture_check reduce CAPTURE_DIR REFERENCE_DIR NAME...\n"
                         "       picture_check detail SMALL.png LARGE.png LEFT TOP WIDTH HEIGHT MIN_RATIO\n");
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
    if (verb == "detail" && argc == 9) {
        int crop[4];
        for (int i = 0; i < 4; ++i) {
            char* end = nullptr;
            crop[i] = int(std::strtol(argv[4 + i], &end, 10));
            if (*end || crop[i] < 0 || crop[i] > 640)
                return usage();
        }
        char* end = nullptr;
        const double min_ratio = std::strtod(argv[8], &end);
        if (*end || !(min_ratio > 0))
            return usage();
        return detail(argv[2], argv[3], crop[0], crop[1], crop[2], crop[3], min_ratio);
    }
    if (verb == "reduce" && argc >= 5)
        return reduce(argv[2], argv[3], std::vector<std::string>(argv + 4, argv + argc));
    return usage();
}
