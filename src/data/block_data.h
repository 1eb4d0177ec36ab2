// The block bitmaps of the show: the 8 × 8 block font, the five 32 × 32 poses
// of the dancing figure, and the palette their cells index.
//
// A block bitmap is width × height cell bytes, row-major, row 0 at the top and
// column 0 at the left. Bit 7 of a cell marks it solid; bits 0–6 of a solid
// cell are its palette index. Empty cells are stored as 0.
#pragma once

#include <array>
#include <cstdint>

constexpr uint8_t kSolidCell = 0x80;
constexpr uint8_t kPaletteIndexMask = 0x7F;

// 0x00RRGGBB per entry (the top byte is not read): black, white, red, dark
// red, blue, yellow, skin, tan.
constexpr int kPaletteSize = 8;
extern const uint32_t block_palette[kPaletteSize];

// The glyph order: glyph p of block_glyphs draws character block_charset[p].
// The last character, the space, has no glyph.
constexpr int kCharsetLength = 76;
constexpr int kGlyphCount = 75;
extern const char block_charset[kCharsetLength + 1];

constexpr int kGlyphSize = 8;
using GlyphBitmap = std::array<uint8_t, kGlyphSize * kGlyphSize>;
extern const std::array<GlyphBitmap, kGlyphCount> block_glyphs;

constexpr int kPoseSize = 32;
constexpr int kPoseCount = 5;
using PoseBitmap = std::array<uint8_t, kPoseSize * kPoseSize>;
extern const std::array<PoseBitmap, kPoseCount> figure_bitmaps;
