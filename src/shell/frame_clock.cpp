// The frame clock over the platform counter. Times are seconds in double
// precision; handlers get whole milliseconds (frame_ms_of).
#include "shell/frame_clock.h"

#include "platform/platform.h"

#include <cstdint>

namespace {

int64_t counts_per_second = 0;
double seconds_per_count = 0.0; // 0 while the clock is stopped
int64_t mark = 0;               // counter at the last mark or at clock_start
double frame_seconds = 0.0;     // between the last two marks

} // namespace

int clock_start()
{
    seconds_per_count = 0.0;
    counts_per_second = platform_counter_frequency();
    if (counts_per_second <= 0)
        return 0;
    mark = platform_counter();
    seconds_per_count = 1.0 / double(counts_per_second);
    return 1;
}

int clock_mark_frame()
{
    const int64_t now = platform_counter();
    frame_seconds = double(now - mark) * seconds_per_count;
    mark = now;
    return 1;
}

double clock_elapsed() { return double(platform_counter() - mark) * seconds_per_count; }

double clock_frame_seconds() { return frame_seconds; }

void clock_wait(double period)
{
    if (seconds_per_count == 0.0)
        return;
    while (clock_elapsed() <= period)
        platform_yield();
}

double frame_period_for(double refresh_hz) { return 1.0 / (refresh_hz < 60.0 ? 60.0 : refresh_hz); }

int frame_ms_of(double seconds) { return int(seconds * 1000.0); }
