// Controls of the headless backend, for tests and the capture tool.
//
// The headless backend draws into an EGL pbuffer of Mesa's surfaceless
// platform (no display server) and keeps a virtual clock that only moves when
// the program sleeps or yields, or when a driver advances it. Runs are thus
// deterministic and as fast as the machine draws.
#pragma once

#include <cstdint>
#include <vector>

// Virtual clock: microseconds since the backend started.
constexpr int64_t kHeadlessCountsPerSecond = 1000000;
// How far one platform_yield moves the virtual clock, in microseconds.
constexpr int64_t kHeadlessYieldMicros = 100;

void headless_advance_clock(int64_t micros);
int64_t headless_clock_micros();

// The answer platform_ask_yes_no gives (kAnswerNo unless set).
void headless_set_answer(int answer);

// Makes the next platform_pump_events report Esc, as if a user pressed it.
void headless_request_quit();

// Called at every platform_pump_events with the count of pumps so far
// (1 for the first), so a driver can act at a chosen frame; null for none.
void headless_set_pump_hook(void (*hook)(int pump_count));

// Makes platform_create_window fail, to exercise start-up failure.
void headless_fail_window(int fail);

// Audio capture: with on non-zero, the device keeps every frame it plays from
// then on (2 values a frame, left then right), appended each time its
// position is read; off stops and both clear what was kept. For
// single-threaded feeding only.
void headless_audio_capture(int on);

// The byte count the next loop's position starts from instead of 0, as on a
// device whose 32-bit count is about to wrap. Applies to one loop.
void headless_audio_count_from(uint32_t bytes);
const std::vector<int16_t>& headless_audio_captured();

// Makes the next position reading misbehave as drivers' readings now and then
// do: with fail non-zero it fails, otherwise it comes out short_bytes short
// of the bytes played. The device plays on regardless.
void headless_audio_misread_next(int fail, uint32_t short_bytes);
