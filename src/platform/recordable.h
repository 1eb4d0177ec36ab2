// What a backend that a program can drive offers a recorder: the headless
// backend (tests, the capture tool) and the web backend (the page's test
// reports) implement it; the window backends do not.
//
// Main thread, GL context current, like platform.h's calls.
#pragma once

#include <cstdint>
#include <vector>

// Called at every platform_swap_buffers, before the frame is shown, with the
// swap number (1 for the first); the back buffer still holds the frame. Null
// for none. On the web it must not wait: the page hands the thread to the
// browser only from direct calls (see web/web.h).
void platform_set_swap_observer(void (*observer)(int swap_number));

// The picture being drawn, as RGB bytes, top row first (width × height × 3,
// the picture's size).
std::vector<uint8_t> platform_read_picture();
