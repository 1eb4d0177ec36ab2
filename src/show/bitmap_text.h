// Flat screen text from a bitmap font compiled into GL display lists,
// one list per character code 0..254. Main thread, GL context current.
#pragma once

// Hands out display-list bases: each call adds 256 to a counter that starts
// at 744, so the first base is 1000. The range is not reserved with the GL.
int next_list_base();

// Base of the font's lists: the glyph of code c is list font_list_base + c.
extern int font_list_base;

// Compiles the font's 255 glyph lists. Returns 1 on success, 0 without a
// current GL context or with a null face name.
int build_bitmap_font(int height, int weight, const char* face);

// Draws text in the current colour with its baseline at (x, y) of the
// 640×480 top-left space, whatever the current matrices are.
void draw_text(int x, int y, const char* text);
