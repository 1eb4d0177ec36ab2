// The two kinds of procedure the show's tables refer to.
#pragma once

// Draws one scene for one frame: the pattern-order index and row being heard,
// the current timeline entry's start_key (order × 64 + row), the accumulated
// show time and the last frame's length, both in whole milliseconds.
// Called on the main thread with the GL context current.
using SceneHandler = int (*)(int order, int row, int start_key, int show_ms, int frame_ms);

// Prepares something during loading; non-zero for success, 0 for failure.
using InitTask = int (*)();
