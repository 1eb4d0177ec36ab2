// The show's bitmap font: one-bit glyphs for character codes 0..254
// (Windows-1252), rasterised at a 40-pixel cell height by tools/font_table.
// build_bitmap_font compiles them into glBitmap display lists.
#pragma once

#include <cstdint>

constexpr int kFontGlyphCount = 255;

struct FontGlyph {
    uint8_t width, height;       // bitmap size in pixels (0 × 0: no glyph)
    int8_t x_origin, y_origin;   // glBitmap origin: pixels left of / below the baseline point
    uint8_t advance;             // pixels from this glyph's origin to the next
    uint32_t offset;             // first byte of its rows in font_bitmaps
};

// Row r of a glyph (r = 0 at the bottom) is (width + 7) / 8 bytes at
// offset + r × that, most significant bit leftmost.
extern const FontGlyph font_glyphs[kFontGlyphCount];
extern const unsigned char font_bitmaps[];
