// Web backend's clock: the page's own high-resolution time, or with the
// test-only page parameter virtual_time=1 a virtual clock that moves only as
// the headless backend's does (a yield by 0.1 ms, a sleep by its length).
// A real sleep hands the thread back to the browser meanwhile.
#include "platform/platform.h"
#include "platform/web/web.h"

#include <emscripten.h>

namespace {

int virtual_time = -1;    // -1 until the page is asked
int64_t clock_micros = 0; // virtual time, µs

constexpr int64_t kYieldMicros = 100; // as the headless backend's yield

} // namespace

EM_JS(int, page_virtual_time, (), { return invitationPage.parameter('virtual_time') == '1' ? 1 : 0; });
EM_ASYNC_JS(void, page_sleep, (int ms), { await new Promise(resolve => setTimeout(resolve, ms)); });

int web_virtual_time()
{
    if (virtual_time < 0)
        virtual_time = page_virtual_time();
    return virtual_time;
}

int64_t web_clock_micros() { return clock_micros; }

int64_t platform_counter()
{
    return web_virtual_time() ? clock_micros : int64_t(emscripten_get_now() * 1000.0);
}

int64_t platform_counter_frequency() { return 1000000; }

// The pacing spin: in virtual time it moves the clock; in a page there is
// no time slice to give up, and the spin is at most the rest of a frame
// the browser's animation frame has already paced.
void platform_yield()
{
    if (web_virtual_time())
        clock_micros += kYieldMicros;
}

void platform_sleep_ms(int ms)
{
    if (web_virtual_time())
        clock_micros += int64_t(ms) * 1000;
    else
        page_sleep(ms < 0 ? 0 : ms);
}
