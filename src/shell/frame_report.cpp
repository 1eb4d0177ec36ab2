// The live show's frame report (see the header).
#include "shell/frame_report.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// One stretch of frames: an entry, or the whole show.
struct FrameStretch {
    std::vector<double> intervals_ms; // one per frame after the show's first
    int smallest_width;               // pixels; 0 before the first frame
    int largest_width;
    int last_width, last_height;      // the size the stretch ended at
};

bool reporting = false;
unsigned current_entry = 0;
FrameStretch entry = {};
FrameStretch show = {};

double nearest_rank(const std::vector<double>& sorted, double share)
{
    const size_t rank = size_t(share * double(sorted.size()) + 0.999999);
    return sorted[std::clamp<size_t>(rank, 1, sorted.size()) - 1];
}

void print_stretch(const char* name, unsigned index, FrameStretch& stretch)
{
    if (stretch.smallest_width == 0)
        return;
    std::vector<double>& ms = stretch.intervals_ms;
    std::sort(ms.begin(), ms.end());
    const double median = ms.empty() ? 0.0 : nearest_rank(ms, 0.5);
    const double p99 = ms.empty() ? 0.0 : nearest_rank(ms, 0.99);
    const double max = ms.empty() ? 0.0 : ms.back();
    std::fprintf(stderr,
                 "invitation: frames %s %u: %zu intervals, median %.1f p99 %.1f max %.1f ms; "
                 "width %d..%d, ends at %dx%d\n",
                 name, index, ms.size(), median, p99, max, stretch.smallest_width,
                 stretch.largest_width, stretch.last_width, stretch.last_height);
}

void add_to(FrameStretch& stretch, int width, int height, double interval_seconds)
{
    if (interval_seconds > 0.0)
        stretch.intervals_ms.push_back(interval_seconds * 1000.0);
    stretch.smallest_width = stretch.smallest_width ? std::min(stretch.smallest_width, width) : width;
    stretch.largest_width = std::max(stretch.largest_width, width);
    stretch.last_width = width;
    stretch.last_height = height;
}

} // namespace

void frame_report_start()
{
    reporting = std::getenv("INVITATION_FRAME_REPORT") != nullptr;
    current_entry = 0;
    entry = {};
    show = {};
}

void frame_report_add(unsigned entry_index, int width, int height, double interval_seconds)
{
    if (!reporting)
        return;
    if (entry_index != current_entry) {
        print_stretch("entry", current_entry, entry);
        entry = {};
        current_entry = entry_index;
    }
    add_to(entry, width, height, interval_seconds);
    add_to(show, width, height, interval_seconds);
}

void frame_report_finish()
{
    if (!reporting)
        return;
    print_stretch("entry", current_entry, entry);
    print_stretch("show", 0, show);
    reporting = false;
}
