// The show's picture, drawn offscreen at its own size and scaled onto the
// window at each swap: the window may be any size (a display without the
// show's mode, a resized or maximised window, a high-density display) while
// the scenes still draw into exactly width × height pixels. Main thread, with
// the window's GL context current.
#pragma once

#include <SDL.h>

// Makes a width × height colour and depth framebuffer and binds it, so that
// everything drawn from now on lands there, with the viewport set to the
// picture. Returns 0 when the GL has no framebuffer objects: the show then
// draws straight to the window, unscaled and centred.
int picture_framebuffer_create(SDL_Window* window, int width, int height);

// Scales the picture onto the whole window, 4:3 kept, centred, black beside
// it (linear filtering), leaving the window's back buffer ready to swap.
void picture_framebuffer_present(SDL_Window* window);

// Binds the picture again after the swap, for the next frame.
void picture_framebuffer_rebind();

// Deletes the framebuffer. Harmless when there is none.
void picture_framebuffer_destroy();
