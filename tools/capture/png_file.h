// Writing 8-bit RGB and RGBA pictures as PNG files.
#pragma once

#include <cstdint>

// Writes width × height RGB pixels (top row first) to path. Returns false,
// leaving no file behind, when the file cannot be written.
bool write_png_rgb(const char* path, const uint8_t* rgb, int width, int height);

// Writes width × height RGBA pixels (top row first, alpha not premultiplied)
// to path, with the same failure rule.
bool write_png_rgba(const char* path, const uint8_t* rgba, int width, int height);
