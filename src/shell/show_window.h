// The show's surface: a 640×480 window with a double-buffered GL context,
// optionally full-screen after switching the display to 640×480×32, and the
// size of the picture the scenes draw into. Main thread.
#pragma once

// The picture's size in pixels. The scenes always draw in 640×480 units;
// the picture may hold more pixels, 4:3, and everything on it scales.
extern int picture_width;
extern int picture_height;

// The sizes set_picture_size takes, in words, for refusals.
constexpr const char* kPictureSizes = "a 4:3 size from 640x480 to 2880x2160";

// Sets the picture size of the next window: 1 for a 4:3 size from 640×480 to
// 2880×2160, else 0 and the size stays as it was.
int set_picture_size(int width, int height);

// The picture size for an output of output_width × output_height pixels: its
// largest 4:3 area in steps of 4 × 3, at least 640×480 (shown scaled down on
// a smaller output) and at most 2880×2160, nor wider than max_width.
void picture_size_for_output(int output_width, int output_height, int max_width, int* width, int* height);

// Between frames: draws the next frames at the size the output offers now
// (picture_size_for_output, at most max_width wide) when the backend can
// change it, with lines and points scaled to it. 1 when the size changed.
int follow_output_size(int max_width);

// Opens the window (when full-screen is wished: in the switched mode when the
// display takes it, else covering the display at its own resolution with the
// picture scaled up), makes its GL context current and sets the initial GL
// state, with lines and points as wide as one 640×480 pixel on the picture.
// width × height is the picture's size. 1 on success, 0 when there is no window or no GL context;
// whatever was made stays until destroy_show_window.
int create_show_window(int width, int height, int bits, int fullscreen, const char* title);

// Shows the cursor again if the display mode was changed, releases the GL
// context and the window, then restores the mode 300 ms later.
void destroy_show_window();
