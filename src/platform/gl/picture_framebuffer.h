// The show's picture, drawn offscreen at its own size and scaled onto the
// window at each swap: the window may be any size (a display without the
// show's mode, a resized or maximised window, a high-density display) while
// the scenes still draw into exactly width × height pixels. Plain GL, shared
// by the backends that draw into a window (SDL, Win32); each hands in its own
// entry-point lookup and its window's size in pixels. Main thread, with the
// window's GL context current.
#pragma once

// A GL entry point of the current context by name; null when it has none.
using GlProcLookup = void* (*)(const char* name);

// Makes a width × height colour and depth framebuffer and binds it, so that
// everything drawn from now on lands there, with the viewport set to the
// picture. A picture wider than 640 has up to 4 samples a pixel where the
// GL offers multisampled renderbuffers, resolved at present; 640x480 has one. Returns 0 when the GL has no framebuffer objects: the show then
// draws straight to the window, unscaled and centred in its present size.
int picture_framebuffer_create(GlProcLookup lookup, int width, int height, int window_width,
                               int window_height);

// Makes the picture width × height pixels, its contents black, and sets the
// viewport to it. Returns 0 when there is no framebuffer (nothing changes).
int picture_framebuffer_resize(int width, int height);

// Scales the picture onto the whole window, 4:3 kept, centred, black beside
// it (linear filtering), leaving the window's back buffer ready to swap.
// Does nothing for a window of no size (minimised).
void picture_framebuffer_present(int window_width, int window_height);

// Binds the picture again after the swap, for the next frame.
void picture_framebuffer_rebind();

// Deletes the framebuffer. Harmless when there is none.
void picture_framebuffer_destroy();
