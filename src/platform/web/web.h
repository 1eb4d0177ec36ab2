// Controls of the web backend, for the page's entry point and its tests.
//
// The web backend runs the show in a page: a WebGL 2 canvas, with GL 1.x
// drawn by its own layer (gl1_layer.h), sound from an AudioWorklet fed from
// the ring between frames, and the browser's event loop entered at every
// wait (the question, each buffer swap, each sleep) through Emscripten's
// Asyncify, so the shell's loops run unchanged. With the test-only page
// parameter virtual_time=1 it keeps a virtual clock as the headless backend
// does (a yield moves it 0.1 ms, a sleep by its length, the silent device's
// position follows it) and swaps without waiting for the display: the show
// steps frame by frame exactly as in the headless capture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Non-zero when the page asked for virtual time.
int web_virtual_time();

// Virtual clock, microseconds since the page started (virtual time only).
int64_t web_clock_micros();

// A parameter of the page's address (?name=value), or "" when it is absent.
std::string web_page_parameter(const char* name);

// Like every procedure the program calls through a pointer (the swap
// observer of platform/recordable.h, scene handlers, init tasks, the position
// source), what is called back must not wait: only direct calls can hand the
// thread to the browser and resume (the build leaves indirect ones out of
// Asyncify).

// With drawing off (non-zero is on, the default) the GL layer keeps its
// state but draws nothing: a capture spares the renderer the frames it does
// not picture.
void web_set_drawing(int on);

// Sends bytes to the test page's server as a file named name (the page does
// this only when it was opened with report=1); returns at once.
void web_report(const char* name, const void* bytes, size_t size);

// Tells the page that the program has ended with status: the canvas stays
// black, and the page offers to watch again.
void web_program_ended(int status);
