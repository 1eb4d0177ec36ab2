// The show's surface: a 640×480 window with a double-buffered GL context,
// optionally full-screen after switching the display to 640×480×32. Main
// thread.
#pragma once

// Opens the window (when full-screen is wished: in the switched mode when the
// display takes it, else covering the display at its own resolution with the
// picture scaled up), makes its GL context current and sets the initial GL
// state. 1 on success, 0 when there is no window or no GL context;
// whatever was made stays until destroy_show_window.
int create_show_window(int width, int height, int bits, int fullscreen, const char* title);

// Shows the cursor again if the display mode was changed, releases the GL
// context and the window, then restores the mode 300 ms later.
void destroy_show_window();
