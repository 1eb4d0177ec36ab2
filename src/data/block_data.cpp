// The block bitmaps, kept in a form that can be read against the pictures:
// glyph rows as bytes (bit 7 is the leftmost cell), poses as one string per
// row. Both are expanded into cell bytes at compile time.
#include "data/block_data.h"

namespace {

constexpr uint8_t kFontPaletteIndex = 5; // every font cell is yellow

constexpr GlyphBitmap decode_glyph(const std::array<uint8_t, kGlyphSize>& rows)
{
    GlyphBitmap cells{};
    for (int i = 0; i < kGlyphSize; ++i)
        for (int j = 0; j < kGlyphSize; ++j)
            if (rows[i] & (0x80 >> j))
                cells[i * kGlyphSize + j] = kSolidCell | kFontPaletteIndex;
    return cells;
}

// Pose legend: '.' empty, then the palette index of each letter.
constexpr uint8_t pose_cell(char c)
{
    switch (c) {
    case '.': return 0;
    case 'K': return kSolidCell | 0; // black: boots, belt, gloves
    case 'o': return kSolidCell | 1; // white: fur trim, beard, bobble
    case 'r': return kSolidCell | 2; // red: suit and hat
    case 'R': return kSolidCell | 3; // dark red: open mouth
    case 'b': return kSolidCell | 4; // blue: eyes
    case 'y': return kSolidCell | 5; // yellow: belt buckle
    case 's': return kSolidCell | 6; // skin: face
    case 't': return kSolidCell | 7; // tan: closed mouth, closed eyes
    }
    throw "unknown pose cell letter"; // stops the compile
}

constexpr PoseBitmap decode_pose(const std::array<const char*, kPoseSize>& rows)
{
    PoseBitmap cells{};
    for (int i = 0; i < kPoseSize; ++i) {
        const char* row = rows[i];
        for (int j = 0; j < kPoseSize; ++j) {
            if (row[j] == 0)
                throw "pose row shorter than 32 cells";
            cells[i * kPoseSize + j] = pose_cell(row[j]);
        }
        if (row[kPoseSize] != 0)
            throw "pose row longer than 32 cells";
    }
    return cells;
}

} // namespace

const uint32_t block_palette[kPaletteSize] = {
    0xFF000000, // 0 black
    0xFFFFFFFF, // 1 white
    0xFFBD0000, // 2 red
    0xFF8C0000, // 3 dark red
    0xFF0974F9, // 4 blue
    0xFFFFDE00, // 5 yellow
    0xFFFFD297, // 6 skin
    0xFFE7B675, // 7 tan
};

const char block_charset[kCharsetLength + 1] =
    "abcdefghijklmnopqrstuvwxyz().:,?!@_ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789\\-/\" ";

namespace {

// Rows 0 (top) to 7, in block_charset order.
constexpr std::array<std::array<uint8_t, kGlyphSize>, kGlyphCount> glyph_rows = {{
    {0x00, 0x00, 0x00, 0xFF, 0x03, 0xFF, 0xC3, 0xFF}, //  0 a
    {0xC0, 0xC0, 0xC0, 0xFF, 0xC3, 0xC3, 0xC3, 0xFF}, //  1 b
    {0x00, 0x00, 0x00, 0xFF, 0xC0, 0xC0, 0xC0, 0xFF}, //  2 c
    {0x03, 0x03, 0x03, 0xFF, 0xC3, 0xC3, 0xC3, 0xFF}, //  3 d
    {0x00, 0x00, 0x00, 0xFF, 0xC3, 0xFF, 0xC0, 0xFF}, //  4 e
    {0x7F, 0x60, 0x60, 0xF8, 0x60, 0x60, 0x60, 0x60}, //  5 f
    {0x00, 0x00, 0x00, 0xFF, 0xC3, 0xFF, 0x03, 0xFF}, //  6 g
    {0xC0, 0xC0, 0xC0, 0xFF, 0xC3, 0xC3, 0xC3, 0xC3}, //  7 h
    {0x00, 0x18, 0x00, 0x18, 0x18, 0x18, 0x18, 0x18}, //  8 i
    {0x00, 0x03, 0x00, 0x03, 0x03, 0x03, 0xC3, 0xFF}, //  9 j
    {0xC0, 0xC0, 0xC3, 0xC3, 0xC3, 0xFE, 0xC3, 0xC3}, // 10 k
    {0x18, 0x18, 0x18, 0x18, 0x18, 0x18, 0x18, 0x1C}, // 11 l
    {0x00, 0x00, 0x00, 0xFF, 0xDB, 0xDB, 0xDB, 0xDB}, // 12 m
    {0x00, 0x00, 0x00, 0xFF, 0xC3, 0xC3, 0xC3, 0xC3}, // 13 n
    {0x00, 0x00, 0x00, 0xFF, 0xC3, 0xC3, 0xC3, 0xFF}, // 14 o
    {0x00, 0x00, 0x00, 0xFF, 0xC3, 0xFF, 0xC0, 0xC0}, // 15 p
    {0x00, 0x00, 0x00, 0xFF, 0xC3, 0xFF, 0x03, 0x03}, // 16 q
    {0x00, 0x00, 0x00, 0xFF, 0xC3, 0xC0, 0xC0, 0xC0}, // 17 r
    {0x00, 0x00, 0x00, 0xFF, 0xC0, 0xFF, 0x03, 0xFF}, // 18 s
    {0x00, 0x00, 0xC0, 0xF0, 0xC0, 0xC0, 0xC3, 0xFF}, // 19 t
    {0x00, 0x00, 0x00, 0xC3, 0xC3, 0xC3, 0xC3, 0xFF}, // 20 u
    {0x00, 0x00, 0x00, 0xC3, 0xC3, 0xC6, 0xCC, 0xF8}, // 21 v
    {0x00, 0x00, 0x00, 0xC3, 0xC3, 0xDB, 0xDB, 0xFF}, // 22 w
    {0x00, 0x00, 0x00, 0xC3, 0xC3, 0x3C, 0xC3, 0xC3}, // 23 x
    {0x00, 0x00, 0x00, 0xC3, 0xC3, 0xFF, 0x03, 0xFF}, // 24 y
    {0x00, 0x00, 0x00, 0xFF, 0x03, 0x7E, 0xC0, 0xFF}, // 25 z
    {0x0F, 0x38, 0xE0, 0xC0, 0xC0, 0xE0, 0x38, 0x0F}, // 26 left parenthesis
    {0xF0, 0x1C, 0x07, 0x03, 0x03, 0x07, 0x1C, 0xF0}, // 27 right parenthesis
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0xC0}, // 28 full stop
    {0x00, 0xC0, 0xC0, 0x00, 0x00, 0xC0, 0xC0, 0x00}, // 29 colon
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x60, 0x60, 0xC0}, // 30 comma
    {0xFF, 0xC3, 0x03, 0x1F, 0x18, 0x18, 0x00, 0x18}, // 31 question mark
    {0xC0, 0xC0, 0xC0, 0xC0, 0xC0, 0xC0, 0x00, 0xC0}, // 32 exclamation mark
    {0xFF, 0xC3, 0xC3, 0xDB, 0xDB, 0xDF, 0xC0, 0xFF}, // 33 at sign
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF}, // 34 underscore
    {0xFF, 0xC3, 0xC3, 0xFF, 0xC3, 0xC3, 0xC3, 0xC3}, // 35 A
    {0xFF, 0xC3, 0xC3, 0xFE, 0xC3, 0xC3, 0xC3, 0xFF}, // 36 B
    {0xFF, 0xC3, 0xC0, 0xC0, 0xC0, 0xC0, 0xC3, 0xFF}, // 37 C
    {0xFE, 0xC3, 0xC3, 0xC3, 0xC3, 0xC3, 0xC3, 0xFE}, // 38 D
    {0xFF, 0xC3, 0xC0, 0xF8, 0xC0, 0xC0, 0xC3, 0xFF}, // 39 E
    {0xFF, 0xC3, 0xC0, 0xF8, 0xC0, 0xC0, 0xC0, 0xC0}, // 40 F
    {0xFF, 0xC3, 0xC0, 0xDF, 0xC3, 0xC3, 0xC3, 0xFF}, // 41 G
    {0xC3, 0xC3, 0xC3, 0xFF, 0xC3, 0xC3, 0xC3, 0xC3}, // 42 H
    {0x18, 0x18, 0x18, 0x18, 0x18, 0x18, 0x18, 0x18}, // 43 I
    {0x03, 0x03, 0x03, 0x03, 0x03, 0xC3, 0xC3, 0xFF}, // 44 J
    {0xC3, 0xC3, 0xC3, 0xFE, 0xC3, 0xC3, 0xC3, 0xC3}, // 45 K
    {0xC0, 0xC0, 0xC0, 0xC0, 0xC0, 0xC0, 0xC3, 0xFF}, // 46 L
    {0xFF, 0xDB, 0xDB, 0xDB, 0xDB, 0xC3, 0xC3, 0xC3}, // 47 M
    {0xFF, 0xC3, 0xC3, 0xC3, 0xC3, 0xC3, 0xC3, 0xC3}, // 48 N
    {0xFF, 0xC3, 0xC3, 0xC3, 0xC3, 0xC3, 0xC3, 0xFF}, // 49 O
    {0xFF, 0xC3, 0xC3, 0xFF, 0xC0, 0xC0, 0xC0, 0xC0}, // 50 P
    {0xFF, 0xC3, 0xC3, 0xC3, 0xC3, 0xCB, 0xC7, 0xFF}, // 51 Q
    {0xFF, 0xC3, 0xC3, 0xFE, 0xC3, 0xC3, 0xC3, 0xC3}, // 52 R
    {0xFF, 0xC3, 0xC0, 0xFF, 0x03, 0x03, 0xC3, 0xFF}, // 53 S
    {0xFF, 0x03, 0x03, 0x03, 0x03, 0x03, 0x03, 0x03}, // 54 T
    {0xC3, 0xC3, 0xC3, 0xC3, 0xC3, 0xC3, 0xC3, 0xFF}, // 55 U
    {0xC3, 0xC3, 0xC3, 0xC3, 0xC6, 0xCC, 0xD8, 0xF0}, // 56 V
    {0xC3, 0xC3, 0xC3, 0xC3, 0xDB, 0xDB, 0xDB, 0xFF}, // 57 W
    {0xC3, 0xC3, 0xFF, 0x18, 0xFF, 0xC3, 0xC3, 0xC3}, // 58 X
    {0xC3, 0xC3, 0xC3, 0xFF, 0x03, 0x03, 0x03, 0x03}, // 59 Y
    {0xFF, 0xC3, 0x07, 0x1C, 0x30, 0xE0, 0xC3, 0xFF}, // 60 Z
    {0x00, 0xFF, 0xC3, 0xC3, 0xC3, 0xC3, 0xC3, 0xFF}, // 61 0
    {0x00, 0x03, 0x03, 0x03, 0x03, 0x03, 0x03, 0x03}, // 62 1
    {0x00, 0xFF, 0xC3, 0x03, 0xFF, 0xC0, 0xC3, 0xFF}, // 63 2
    {0x00, 0xFF, 0xC3, 0x03, 0x1F, 0x03, 0xC3, 0xFF}, // 64 3
    {0x00, 0xC3, 0xC3, 0xC3, 0xFF, 0x03, 0x03, 0x03}, // 65 4
    {0x00, 0xFF, 0xC0, 0xC0, 0xFF, 0x03, 0xC3, 0xFF}, // 66 5
    {0x00, 0xFF, 0xC3, 0xC0, 0xFF, 0xC3, 0xC3, 0xFF}, // 67 6
    {0x00, 0xFF, 0xC3, 0x03, 0x03, 0x03, 0x03, 0x03}, // 68 7
    {0x00, 0xFF, 0xC3, 0xC3, 0xFF, 0xC3, 0xC3, 0xFF}, // 69 8
    {0x00, 0xFF, 0xC3, 0xC3, 0xFF, 0x03, 0x03, 0x03}, // 70 9
    {0x00, 0xC0, 0x60, 0x30, 0x18, 0x0C, 0x06, 0x03}, // 71 backslash
    {0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00}, // 72 hyphen
    {0x00, 0x03, 0x06, 0x0C, 0x18, 0x30, 0x60, 0xC0}, // 73 slash
    {0x66, 0x66, 0x66, 0x00, 0x00, 0x00, 0x00, 0x00}, // 74 double quote
}};

constexpr std::array<GlyphBitmap, kGlyphCount> decode_glyphs()
{
    std::array<GlyphBitmap, kGlyphCount> glyphs{};
    for (int p = 0; p < kGlyphCount; ++p)
        glyphs[p] = decode_glyph(glyph_rows[p]);
    return glyphs;
}

} // namespace

constexpr std::array<GlyphBitmap, kGlyphCount> block_glyphs = decode_glyphs();

constexpr std::array<PoseBitmap, kPoseCount> figure_bitmaps = {
    // Pose 0: both arms raised to the sides.
    decode_pose({
        "................................", // 0
        "................................", // 1
        "................................", // 2
        "................................", // 3
        "................................", // 4
        "................................", // 5
        "................................", // 6
        "................................", // 7
        "...............rrrrrr...........", // 8
        "..............rrrrr.oo..........", // 9
        "..............rrr...oo..........", // 10
        ".............ooooo..............", // 11
        ".............ossso..............", // 12
        ".............sbsbs..............", // 13
        "...KKor.....sssssss.............", // 14
        "...KKorr.....sooos........roKK..", // 15
        ".......rr...roRRRor....rrrroKK..", // 16
        "........rrrrrooRoorrrrrr........", // 17
        "..........rrrrooorrrr...........", // 18
        "..........rrrrooorrrr...........", // 19
        ".........rrrrrrorrrrrr..........", // 20
        ".........rrrrrrrrrrrrr..........", // 21
        ".........rrrrryyyrrrrr..........", // 22
        ".........KKKKKyKyKKKKK..........", // 23
        ".........rrrrryyyrrrrr..........", // 24
        ".........rrrrrrrrrrrrr..........", // 25
        "...........rrrrrrrrr............", // 26
        "............rrr.rrr.............", // 27
        "............ooo.ooo.............", // 28
        "............KKK.KKK.............", // 29
        "...........KKKK.KKKK............", // 30
        "...........KKKK.KKKK............", // 31
    }),
    // Pose 1: first dance step: a leg kicked out, arms swung to one side.
    decode_pose({
        "................................", // 0
        "................................", // 1
        "................................", // 2
        "................................", // 3
        "................................", // 4
        "................................", // 5
        "...................oo...........", // 6
        ".................rroo...........", // 7
        "...............rrr..............", // 8
        "....KK........rrr...............", // 9
        "....KKo.......rrr...............", // 10
        ".....oor.....ooooo..............", // 11
        ".......rr....ossso..............", // 12
        "........r....sbsbs..............", // 13
        "........rr..sssssss.............", // 14
        ".........rr..sooos..............", // 15
        "..........rrroRRRor.............", // 16
        "..........rrrooRoorrrrr.........", // 17
        "..........rrrrooorrrr.rr........", // 18
        "..........rrrrooorrrr..rr.......", // 19
        ".........rrrrrrorrrrr...rro.....", // 20
        ".........Krrrrrrrrrrr....oKK....", // 21
        ".........rKryyrrrrrrr.....KK....", // 22
        ".........rrKyKyKKKKKK...........", // 23
        ".........rrrryyrrrrrr...........", // 24
        "........rrrrrrrrrrrr............", // 25
        ".....K.oorrrrrrrrrrr............", // 26
        "....KKKKoor.....rrr.............", // 27
        "....KKKKKo......ooo.............", // 28
        "......KKK.......KKK.............", // 29
        "................KKKK............", // 30
        "................KKKK............", // 31
    }),
    // Pose 2: second dance step, to the other side.
    decode_pose({
        "................................", // 0
        "................................", // 1
        "................................", // 2
        "................................", // 3
        "................................", // 4
        "..................oo............", // 5
        ".................roo............", // 6
        "................rr..............", // 7
        "...............rrr..............", // 8
        "..............rrr........KK.....", // 9
        "..............rrr.......oKK.....", // 10
        ".............ooooo.....roo......", // 11
        ".............ossso....rr........", // 12
        ".............sbsbs....r.........", // 13
        "............sssssss..rr.........", // 14
        ".............sooos..rr..........", // 15
        "............roRRRorrr...........", // 16
        "........rrrrrooRoorrr...........", // 17
        ".......rr.rrrrooorrrr...........", // 18
        "......rr..rrrrooorrrr...........", // 19
        "....orr...rrrrrorrrrrr..........", // 20
        "...KKo....rrrrrrrrrrrK..........", // 21
        "...KK.....rrrrrrryyrKr..........", // 22
        "..........KKKKKKyKyKrr..........", // 23
        "..........rrrrrryyrrrr..........", // 24
        "...........rrrrrrrrrrrr.........", // 25
        "...........rrrrrrrrrrroo.K......", // 26
        "............rrr.....rooKKKK.....", // 27
        "............ooo......oKKKKK.....", // 28
        "............KKK.......KKK.......", // 29
        "...........KKKK.................", // 30
        "...........KKKK.................", // 31
    }),
    // Pose 3: standing, arms hanging down.
    decode_pose({
        "................................", // 0
        "................................", // 1
        "................................", // 2
        "................................", // 3
        "................................", // 4
        "................................", // 5
        "................................", // 6
        "................................", // 7
        "...............rrrrrr...........", // 8
        "..............rrrrr.oo..........", // 9
        "..............rrr...oo..........", // 10
        ".............ooooo..............", // 11
        ".............ossso..............", // 12
        ".............sbsbs..............", // 13
        "............sssssss.............", // 14
        ".............sooos..............", // 15
        "............rottoor.............", // 16
        "..........rrrooooorrr...........", // 17
        "........rrrrrrooorrrrrr.........", // 18
        ".......rr.rrrrooorrrr.rr........", // 19
        "......rr.rrrrrrorrrrrr.rr.......", // 20
        "......rr.rrrrrrrrrrrrr.rr.......", // 21
        "......rr.rrrrryyyrrrrr.rr.......", // 22
        "......oo.KKKKKyKyKKKKK.oo.......", // 23
        "......KK.rrrrryyyrrrrr.KK.......", // 24
        "......KK.rrrrrrrrrrrrr.KK.......", // 25
        "...........rrrrrrrrr............", // 26
        "............rrr.rrr.............", // 27
        "............ooo.ooo.............", // 28
        "............KKK.KKK.............", // 29
        "...........KKKK.KKKK............", // 30
        "...........KKKK.KKKK............", // 31
    }),
    // Pose 4: as pose 3 with the eyes closed.
    decode_pose({
        "................................", // 0
        "................................", // 1
        "................................", // 2
        "................................", // 3
        "................................", // 4
        "................................", // 5
        "................................", // 6
        "................................", // 7
        "...............rrrrrr...........", // 8
        "..............rrrrr.oo..........", // 9
        "..............rrr...oo..........", // 10
        ".............ooooo..............", // 11
        ".............ossso..............", // 12
        ".............ststs..............", // 13
        "............sssssss.............", // 14
        ".............sooos..............", // 15
        "............rottoor.............", // 16
        "..........rrrooooorrr...........", // 17
        "........rrrrrrooorrrrrr.........", // 18
        ".......rr.rrrrooorrrr.rr........", // 19
        "......rr.rrrrrrorrrrrr.rr.......", // 20
        "......rr.rrrrrrrrrrrrr.rr.......", // 21
        "......rr.rrrrryyyrrrrr.rr.......", // 22
        "......oo.KKKKKyKyKKKKK.oo.......", // 23
        "......KK.rrrrryyyrrrrr.KK.......", // 24
        "......KK.rrrrrrrrrrrrr.KK.......", // 25
        "...........rrrrrrrrr............", // 26
        "............rrr.rrr.............", // 27
        "............ooo.ooo.............", // 28
        "............KKK.KKK.............", // 29
        "...........KKKK.KKKK............", // 30
        "...........KKKK.KKKK............", // 31
    }),
};
