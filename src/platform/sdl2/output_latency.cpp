// The output latency behind SDL's audio callback, from what the stack tells:
//
//   SDL's own buffer          learned: the granted buffer size; the callback
//                             fills one buffer ahead of what the device plays.
//   the sound server          learned on PulseAudio and on PipeWire through its
//                             PulseAudio service: the server reports, for this
//                             process's stream, the latency of its buffer and
//                             of the sink, asked again every half second, as
//                             it changes with the server's load and the sink
//                             (a new stream reports a passing excess, some
//                             hundreds of ms on a null sink, for about a second).
//   ALSA without a server     estimated: SDL sets ALSA up with two periods of
//                             its buffer, so about one more buffer is queued;
//                             ALSA's own delay is not reachable through SDL.
//   conversion in SDL         not learned: when the device's format differs,
//                             SDL's resampler holds a few frames more.
//   the hardware after that   not learned: codec FIFOs, Bluetooth links, HDMI
//                             receivers; INVITATION_AUDIO_OFFSET_MS lets a
//                             viewer add (or take back) milliseconds by hand.
//
// The server is asked from a thread of its own; the result crosses to the
// position query through an atomic.
#include "platform/sdl2/output_latency.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#ifdef INVITATION_HAVE_PULSE
#include <pulse/pulseaudio.h>
#include <unistd.h>
#endif

namespace {

// A hand-set offset beyond this is surely a typo: it would move the pictures
// by more than a second.
constexpr long kMaxOffsetMs = 1000;
// A server's report beyond this counts as this much: the latency stops at a
// second of sound anyway, and the bytes of a larger report could overflow.
constexpr int64_t kMaxServerMicros = 10'000'000;

int bytes_per_second = 0;               // 4 × rate of the open device
int64_t fixed_bytes = 0;                // SDL's buffer, and ALSA's extra period
int64_t offset_bytes = 0;               // INVITATION_AUDIO_OFFSET_MS, may be negative
std::atomic<int64_t> server_micros{0};  // the server's reported delay, µs; 0 = none
int64_t recent_micros[3] = {0, 0, 0};   // the last three reports, µs; the watch thread's
int report_count = 0;                   // reports since start

int64_t parse_offset_ms(const char* text)
{
    errno = 0;
    char* end = nullptr;
    const long ms = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || errno != 0 || ms < -kMaxOffsetMs || ms > kMaxOffsetMs) {
        std::fprintf(stderr,
                     "invitation: INVITATION_AUDIO_OFFSET_MS=%s is not a whole number of "
                     "milliseconds from %ld to %ld; ignored\n",
                     text, -kMaxOffsetMs, kMaxOffsetMs);
        return 0;
    }
    return ms;
}

#ifdef INVITATION_HAVE_PULSE

std::thread server_watch;
std::atomic<bool> stop_watching{false};

// Runs the main loop until op is done (or the watch is stopped).
void wait_for(pa_mainloop* loop, pa_operation* op)
{
    while (op && pa_operation_get_state(op) == PA_OPERATION_RUNNING &&
           !stop_watching.load(std::memory_order_relaxed)) {
        if (pa_mainloop_iterate(loop, 0, nullptr) == 0)
            SDL_Delay(5);
    }
    if (op)
        pa_operation_unref(op);
}

// The sink input of this process is SDL's stream: its buffer plus the sink's.
void on_sink_input(pa_context*, const pa_sink_input_info* info, int eol, void* found)
{
    if (eol || !info)
        return;
    const char* pid = pa_proplist_gets(info->proplist, PA_PROP_APPLICATION_PROCESS_ID);
    if (pid && std::strtol(pid, nullptr, 10) == long(getpid()))
        *static_cast<int64_t*>(found) = int64_t(info->buffer_usec + info->sink_usec);
}

void watch_server()
{
    pa_mainloop* loop = pa_mainloop_new();
    pa_context* context = loop ? pa_context_new(pa_mainloop_get_api(loop), "invitation latency") : nullptr;
    if (context && pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        // Connecting: at most two seconds.
        for (int waited = 0; waited < 400 && !stop_watching.load(std::memory_order_relaxed); ++waited) {
            const pa_context_state_t state = pa_context_get_state(context);
            if (state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state))
                break;
            if (pa_mainloop_iterate(loop, 0, nullptr) == 0)
                SDL_Delay(5);
        }
        while (pa_context_get_state(context) == PA_CONTEXT_READY &&
               !stop_watching.load(std::memory_order_relaxed)) {
            int64_t found = -1;
            wait_for(loop, pa_context_get_sink_input_info_list(context, on_sink_input, &found));
            if (found >= 0)
                output_latency_take_server_report(found);
            for (int t = 0; t < 10 && !stop_watching.load(std::memory_order_relaxed); ++t)
                SDL_Delay(50);
        }
        pa_context_disconnect(context);
    }
    if (context)
        pa_context_unref(context);
    if (loop)
        pa_mainloop_free(loop);
}

void start_server_watch()
{
    stop_watching.store(false);
    server_watch = std::thread(watch_server);
}

void stop_server_watch()
{
    if (!server_watch.joinable())
        return;
    stop_watching.store(true);
    server_watch.join();
}

#else

void start_server_watch() {}
void stop_server_watch() {}

#endif

} // namespace

void output_latency_start(int rate, int buffer_frames, const char* driver)
{
    output_latency_stop();
    bytes_per_second = rate * 4;
    fixed_bytes = int64_t(buffer_frames) * 4;
    if (driver && std::strcmp(driver, "alsa") == 0)
        fixed_bytes *= 2;
    offset_bytes = 0;
    if (const char* offset = SDL_getenv("INVITATION_AUDIO_OFFSET_MS"))
        offset_bytes = parse_offset_ms(offset) * rate / 1000 * 4;
    if (driver && (std::strcmp(driver, "pulseaudio") == 0 || std::strcmp(driver, "pipewire") == 0))
        start_server_watch();
}

void output_latency_stop()
{
    stop_server_watch();
    server_micros.store(0);
    report_count = 0;
}

// The median of the last three reports: the sink's momentary fill and the
// stream's start-up do not make the pictures jump.
void output_latency_take_server_report(int64_t micros)
{
    int64_t* r = recent_micros;
    r[report_count++ % 3] = std::min(micros, kMaxServerMicros);
    const int64_t a = r[0], b = report_count > 1 ? r[1] : a, c = report_count > 2 ? r[2] : a;
    const int64_t median = std::max(std::min(a, b), std::min(std::max(a, b), c));
    server_micros.store(median, std::memory_order_relaxed);
}

uint32_t output_latency_bytes(uint32_t max_bytes)
{
    const int64_t server_bytes =
        server_micros.load(std::memory_order_relaxed) * bytes_per_second / 1000000 / 4 * 4;
    const int64_t total = fixed_bytes + server_bytes + offset_bytes;
    if (total <= 0)
        return 0;
    return total > int64_t(max_bytes) ? max_bytes : uint32_t(total);
}
