// Text scenes: the beat words' steps, the spam's middle message, the word
// cascade's clock and points, and the text they put on screen.
#include "effects_fixture.h"

#include "show/bitmap_text.h"

#include <cstring>
#include <string>

namespace {

struct Band {
    int lit = 0;          // pixels of the wanted colour
    int other = 0;        // pixels neither background nor the wanted colour
    int leftmost = -1;    // first column holding a wanted pixel
    int first_drawn = -1; // first and last columns holding anything but background
    int last_drawn = -1;
};

// Sorts the pixels in the rows top..bottom of a frame drawn over background.
Band scan_band(const std::vector<uint8_t>& frame, int top, int bottom, Rgb want, Rgb background)
{
    Band band;
    for (int x = 0; x < 640; ++x)
        for (int y = std::max(top, 0); y <= std::min(bottom, 479); ++y) {
            const uint8_t* p = &frame[(y * 640 + x) * 3];
            const bool is_want = std::abs(p[0] - want.r) < 40 && std::abs(p[1] - want.g) < 40 &&
                                 std::abs(p[2] - want.b) < 40;
            const bool is_background = p[0] == background.r && p[1] == background.g &&
                                       p[2] == background.b;
            if (is_want) {
                ++band.lit;
                if (band.leftmost < 0)
                    band.leftmost = x;
            } else if (!is_background) {
                ++band.other;
            }
            if (!is_background) {
                if (band.first_drawn < 0)
                    band.first_drawn = x;
                band.last_drawn = x;
            }
        }
    return band;
}

std::string shown(const char* word)
{
    return word ? word : "";
}

} // namespace

using BeatWords = EffectsTest;

TEST_F(BeatWords, SpellTheirPhraseInTheFirstHalfOfEveryBar)
{
    const char* expected[16] = {"EN",    "EN",    "ENTER", "THE", "COM", "COM", "COMPO", "COMPO",
                                "COMPO", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
    for (int bar = 0; bar < 4; ++bar)
        for (int row = 0; row < 16; ++row) {
            draw_beat_words(0, bar * 16 + row, 0, 0, 16);
            EXPECT_EQ(shown(beat_word()), shown(expected[row])) << "row " << bar * 16 + row;
        }
}

TEST_F(BeatWords, StepOnlyOnRowsTheySee)
{
    step_beat_words(0);
    step_beat_words(2);
    step_beat_words(2); // the same row again changes nothing
    EXPECT_EQ(shown(beat_word()), "ENTER");
    step_beat_words(3);
    step_beat_words(6); // rows 4 and 5 unseen: one step behind
    EXPECT_EQ(shown(beat_word()), "COM");
    step_beat_words(7);
    EXPECT_EQ(shown(beat_word()), "COM");
    step_beat_words(9);
    EXPECT_EQ(shown(beat_word()), "");

    // A bar that starts while the handler is not current continues from
    // wherever the state was; a step past the last word shows nothing.
    text_scene_state = {};
    for (int row : {16, 18, 19, 20, 22, 34})
        step_beat_words(row);
    EXPECT_EQ(shown(beat_word()), "");
    EXPECT_EQ(text_scene_state.beat_state, 0);
}

TEST_F(BeatWords, DrawNoRandomValues)
{
    EXPECT_EQ(draws_of(draw_beat_words, 2), 0u);
}

TEST_F(BeatWords, WriteTheirWordInBlockLettersLeftOfCentre)
{
    static const int block_font_built = init_block_font();
    ASSERT_EQ(block_font_built, 1);
    // The first letter's centre sits at x = -3.5 of a 16-unit box (column
    // 180), on the middle line; nothing is drawn above or below the word.
    const Rgb black{0, 0, 0}, nothing{-999, -999, -999};
    const std::vector<uint8_t> en = picture_of(draw_beat_words, 0, "beat_en", 0);
    const Band word = scan_band(en, 190, 290, nothing, black);
    EXPECT_GT(word.other, 500);
    EXPECT_GE(word.first_drawn, 120);
    EXPECT_LE(word.first_drawn, 180);
    EXPECT_EQ(scan_band(en, 0, 170, nothing, black).other, 0);
    EXPECT_EQ(scan_band(en, 310, 479, nothing, black).other, 0);

    // "ENTER" reaches further right than "EN"; row 9 shows nothing at all.
    const Band longer = scan_band(picture_of(draw_beat_words, 0, "beat_enter", 2), 190, 290,
                                  nothing, black);
    EXPECT_EQ(longer.first_drawn, word.first_drawn);
    EXPECT_GT(longer.last_drawn, word.last_drawn + 100);
    EXPECT_EQ(channel_stats(picture_of(draw_beat_words, 0, "beat_none", 9), 0).max, 0);
}

using MessageSpam = EffectsTest;

TEST_F(MessageSpam, MiddleMessageStartsAtZeroAndChangesOnTheSecondAndEverySixthCall)
{
    EXPECT_EQ(draws_of(draw_message_spam), 21u);
    EXPECT_EQ(text_scene_state.spam_current, 0);
    int previous = 0;
    for (int call = 2; call <= 200; ++call) {
        const uint64_t draws = draws_of(draw_message_spam);
        const bool changes = call % 6 == 2;
        if (changes) {
            EXPECT_GE(draws, 22u) << "call " << call;
            EXPECT_NE(text_scene_state.spam_current, previous) << "call " << call;
        } else {
            EXPECT_EQ(draws, 21u) << "call " << call;
            EXPECT_EQ(text_scene_state.spam_current, previous) << "call " << call;
        }
        EXPECT_GE(text_scene_state.spam_current, 0);
        EXPECT_LT(text_scene_state.spam_current, kSpamMessageCount);
        previous = text_scene_state.spam_current;
    }
}

TEST(SpamMessages, WebAddressIsOursUnderTheReservedDomain)
{
    EXPECT_STREQ(spam_messages[4], event_web_address);
    const std::string address = event_web_address;
    const size_t host_start = address.find("://") + 3;
    const std::string host = address.substr(host_start, address.find('/', host_start) - host_start);
    EXPECT_TRUE(host.ends_with(".example")) << host;
    // Centred by 7 pixels a character, it must still start on screen.
    EXPECT_GE(320 - 7 * static_cast<int>(address.size()), 0);
}

using WordCascade = EffectsTest;

TEST_F(WordCascade, AdvancesAtMostOneWordAFrame)
{
    EXPECT_EQ(draws_of(draw_word_cascade, 0, 0, 0), 0u);
    EXPECT_EQ(text_scene_state.cascade_index, 0);
    EXPECT_EQ(text_scene_state.cascade_timer, 0);

    EXPECT_EQ(draws_of(draw_word_cascade, 0, 0, 250), 0u);
    EXPECT_EQ(text_scene_state.cascade_index, 1);
    EXPECT_FLOAT_EQ(text_scene_state.cascade_timer, 6);

    text_scene_state = {};
    draw_word_cascade(0, 0, 0, 0, 99);
    EXPECT_EQ(text_scene_state.cascade_index, 0);
    draw_word_cascade(0, 0, 0, 0, 2);
    EXPECT_EQ(text_scene_state.cascade_index, 1);
}

TEST_F(WordCascade, ShiftsItsPointsAfterEachFullSentence)
{
    // 101 ms frames: a word each (100 ms makes exactly 4, which is not above 4).
    const WordPoints before = noise_state.word_points;
    for (int word = 1; word < kCascadeWordCount; ++word)
        EXPECT_EQ(draws_of(draw_word_cascade, 0, 0, 101), 0u);
    EXPECT_EQ(text_scene_state.cascade_index, 11);
    EXPECT_EQ(draws_of(draw_word_cascade, 0, 0, 101), 2u);
    EXPECT_EQ(text_scene_state.cascade_index, 0);
    for (int i = 0; i + 1 < kWordPointCount; ++i) {
        EXPECT_EQ(noise_state.word_points.x[i], before.x[i + 1]);
        EXPECT_EQ(noise_state.word_points.y[i], before.y[i + 1]);
    }
    EXPECT_GE(noise_state.word_points.x[7], 20);
    EXPECT_LE(noise_state.word_points.x[7], 620);
    EXPECT_GE(noise_state.word_points.y[7], 20);
    EXPECT_LE(noise_state.word_points.y[7], 460);
}

// Pictures of text: the bitmap font is built once per binary, as at start-up.
class TextPictures : public EffectsTest {
protected:
    void SetUp() override
    {
        EffectsTest::SetUp();
        static const int font_built = build_bitmap_font(40, 40, "Impact");
        ASSERT_EQ(font_built, 1);
    }
};


TEST_F(TextPictures, ClosingScreenShowsFiveLinesInTheirColoursAndPlaces)
{
    glEnable(GL_LIGHTING); // the screen turns lighting off for its text
    const std::vector<uint8_t> frame = picture_of(draw_closing_screen, 0, "closing_screen", 0, 560);
    glDisable(GL_LIGHTING);

    const Rgb white{255, 255, 255}, red{255, 0, 0}, black{0, 0, 0};
    const struct {
        int x, baseline;
        Rgb colour;
    } lines[] = {{110, 80, white}, {40, 180, white}, {50, 280, white}, {240, 380, white}, {0, 458, red}};
    for (const auto& line : lines) {
        // Glyphs rise above the baseline and descenders drop a little below it.
        const Band band = scan_band(frame, line.baseline - 40, line.baseline + 12, line.colour, black);
        EXPECT_GT(band.lit, 100) << "line at " << line.baseline;
        EXPECT_LT(band.other, band.lit / 4) << "line at " << line.baseline;
        EXPECT_GE(band.leftmost, line.x - 3) << "line at " << line.baseline;
        EXPECT_LE(band.leftmost, line.x + 12) << "line at " << line.baseline;
    }
    // Nothing between the lines.
    EXPECT_EQ(scan_band(frame, 95, 135, white, black).lit, 0);
    EXPECT_EQ(scan_band(frame, 295, 335, white, black).lit, 0);
}

TEST_F(TextPictures, SpamCentresItsMiddleMessageInWhite)
{
    // The scattered messages are black, so only the middle one shows.
    const std::vector<uint8_t> frame = picture_of(draw_message_spam, 0, "spam_middle");
    const Band band = scan_band(frame, 200, 252, {255, 255, 255}, {0, 0, 0});
    const int start = 320 - 7 * static_cast<int>(std::strlen(spam_messages[0]));
    EXPECT_GT(band.lit, 100);
    EXPECT_GE(band.leftmost, start);
    EXPECT_LE(band.leftmost, start + 12);
    EXPECT_EQ(scan_band(frame, 0, 190, {255, 255, 255}, {0, 0, 0}).lit, 0);
}

TEST_F(TextPictures, SpamMessageWithNegativeXIsNotDrawn)
{
    // Find a generator state whose seven scattered messages include exactly
    // one with a negative x, with no other message's rows near its own.
    struct Placed {
        int i, y, x;
    };
    uint32_t seed = 0;
    int hidden = -1;
    Placed placed[7];
    for (uint32_t candidate = 1; hidden < 0 && candidate < 100000; ++candidate) {
        seed_random(candidate);
        for (Placed& p : placed) {
            p.i = next_random() % kSpamMessageCount;
            p.y = next_random() % 460;
            p.x = next_random() % 640 - 80;
        }
        int negative = -1, count = 0;
        for (int k = 0; k < 7; ++k)
            if (placed[k].x < 0) {
                negative = k;
                ++count;
            }
        if (count != 1 || placed[negative].y < 40 || std::abs(placed[negative].y - 240) < 60)
            continue;
        bool apart = true;
        for (int k = 0; k < 7; ++k)
            apart = apart && (k == negative || std::abs(placed[k].y - placed[negative].y) > 60);
        if (apart) {
            seed = candidate;
            hidden = negative;
        }
    }
    ASSERT_GE(hidden, 0);

    // Black messages on white; the white middle one is invisible.
    seed_random(seed);
    const std::vector<uint8_t> frame = picture_of(draw_message_spam, 1, "spam_negative_x");
    const Rgb black{0, 0, 0}, white{255, 255, 255};
    const int y = placed[hidden].y;
    EXPECT_EQ(scan_band(frame, y - 40, y + 12, black, white).lit, 0);
    // The others are drawn where they were placed.
    for (int k = 0; k < 7; ++k)
        if (k != hidden && placed[k].y > 40) {
            EXPECT_GT(scan_band(frame, placed[k].y - 40, placed[k].y + 12, black, white).lit, 0);
        }
}

TEST_F(TextPictures, CascadeWritesItsWordsInLightGreyAtItsPoints)
{
    const std::vector<uint8_t> frame = picture_of(draw_word_cascade, 0, "word_cascade");
    const Rgb grey{191, 191, 191}, black{0, 0, 0};
    const Band all = scan_band(frame, 0, 479, grey, black);
    EXPECT_GT(all.lit, 8 * 50);
    EXPECT_EQ(all.other, 0);
    for (int i = 0; i < kWordPointCount; ++i) {
        const int y = static_cast<int>(noise_state.word_points.y[i]);
        EXPECT_GT(scan_band(frame, y - 40, y + 12, grey, black).lit, 0) << "word " << i;
    }
}
