// Web backend's sound device: an AudioWorklet (sound_worklet.js) that plays
// 16-bit stereo frames sent to it from the loop buffer. The page has one
// thread, so nothing plays the loop by itself: at every swap the backend
// sends the frames that keep the worklet as far ahead of what is heard as
// the ring holds rendered sound (about 1.8 s), so that a long stall of the
// page's thread does not run it dry; as copies, so the feeder may rewrite
// the ring behind the position freely. The worklet counts the frames it has played; the heard
// position is that count less the output latency the context reports (and
// the page's audio_offset_ms). In virtual time the device is silent and its
// position follows the virtual clock, as the headless device's does.
#include "platform/platform.h"
#include "platform/web/web.h"
#include "platform/web/web_audio.h"

#include <emscripten.h>

#include <algorithm>

namespace {

int device_rate = 0;                // frames per second; 0 = closed
const int16_t* loop_buffer = nullptr; // 2 values a frame; null = not playing
int64_t loop_frames = 0;
int64_t loop_start_micros = -1;     // virtual time of play_loop
int64_t sent_frames = 0;            // loop frames sent since play_loop, every lap counted

} // namespace

EM_ASYNC_JS(int, page_sound_open, (), { return await invitationPage.sound.open(); });
EM_JS(void, page_sound_restart, (), { invitationPage.sound.restart(); });
EM_JS(double, page_sound_played_frames, (), { return invitationPage.sound.played; });
EM_JS(double, page_sound_latency_seconds, (), { return invitationPage.sound.latencySeconds(); });
EM_JS(void, page_sound_send, (const int16_t* frames, int count),
      { invitationPage.sound.send(HEAP16.slice(frames >> 1, (frames >> 1) + 2 * count)); });

// The frames played less the output latency: what is being heard now. The
// latency never reaches a second: the position must stay inside the ring of
// about two seconds.
static int64_t heard_frames()
{
    const double latency = std::clamp(page_sound_latency_seconds(), 0.0, 1.0);
    return int64_t(std::max(0.0, page_sound_played_frames() - latency * device_rate));
}

int platform_audio_open(int rate)
{
    platform_audio_close();
    if (rate <= 0 || (!web_virtual_time() && !page_sound_open()))
        return 0;
    device_rate = rate;
    return 1;
}

void platform_audio_play_loop(const void* buffer, int bytes)
{
    if (device_rate == 0)
        return;
    loop_buffer = static_cast<const int16_t*>(buffer);
    loop_frames = bytes / 4;
    sent_frames = 0;
    if (web_virtual_time()) {
        loop_start_micros = web_clock_micros();
        return;
    }
    page_sound_restart();
    web_audio_top_up();
}

void web_audio_top_up()
{
    if (!loop_buffer || loop_frames == 0 || web_virtual_time())
        return;
    // As far ahead as the ring holds rendered frames: the feeder renders the
    // whole ring ahead of the heard position, less the block it is in, so
    // nine tenths of it (about 1.8 s) are sound, with room for the position
    // moving on since the feed. A stall of the page's thread shorter than
    // that leaves the worklet playing.
    const int64_t wanted = heard_frames() + loop_frames * 9 / 10;
    while (sent_frames < wanted) {
        const int64_t at = sent_frames % loop_frames;
        const int64_t count = std::min(wanted - sent_frames, loop_frames - at);
        page_sound_send(loop_buffer + 2 * at, int(count));
        sent_frames += count;
    }
}

// The reported latency may grow between two readings, so that a reading
// comes out behind the last: the feeder passes over such readings.
int platform_audio_position_bytes(uint32_t* bytes)
{
    if (!loop_buffer || device_rate == 0)
        return 0;
    if (web_virtual_time()) {
        *bytes = uint32_t((web_clock_micros() - loop_start_micros) * device_rate / 1000000 * 4);
        return 1;
    }
    *bytes = uint32_t(heard_frames() * 4);
    return 1;
}

void platform_audio_reset()
{
    if (loop_buffer && !web_virtual_time())
        page_sound_restart();
    loop_buffer = nullptr;
    loop_frames = 0;
    loop_start_micros = -1;
}

void platform_audio_close()
{
    platform_audio_reset();
    device_rate = 0;
}

int platform_audio_fed_between_frames() { return 1; }
