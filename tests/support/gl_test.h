// Drawing tests: one headless 640×480 GL context for the whole test binary,
// and pixel read-back in the show's top-left coordinates.
#pragma once

#include <cstdint>
#include <vector>

struct Rgb {
    int r, g, b;
};

// Creates the headless window and context when none is current; later calls
// reuse it.
// Returns false (and the test should fail) if no context can be made.
bool ensure_gl_context();

// The pixel at (x, y), y counted from the top of the 640×480 frame.
Rgb read_pixel(int x, int y);

// The whole frame as RGB bytes, top row first (640 × 480 × 3).
std::vector<uint8_t> read_frame();
