// Text scenes: beat words in block letters, the message spam, the word
// cascade and the closing screen. All but the beat words write with the
// bitmap font. Main thread, GL context current.
#include "effects/text_scenes.h"

#include "effects/blocks.h"
#include "effects/effects.h"
#include "effects/flat_2d.h"
#include "effects/noise.h"
#include "show/bitmap_text.h"

#include <GL/gl.h>

#include <cstring>

TextSceneState text_scene_state;

void reset_text_scene_state() { text_scene_state = TextSceneState{}; }

// An address of our own under the reserved example domain.
const char* const event_web_address = "http://xmas2004.quendra.example/";

const char* const spam_messages[kSpamMessageCount] = {
    "you love making demos",
    "you believe demos are the best gift to give",
    "you will make the best xmas demo ever",
    "do not vote for quillmongers",
    event_web_address,
    "you will enter the compo",
    "your friends will enter the compo",
    "you will make your friends enter the compo",
    "no santa porn",
    "you feel that you will die if you don't enter the compo",
    "enter the motherfucking compo already",
    "coding xmas demos your only source of happiness",
    "death comes to those who don't enter the compo",
    "Klemp is incredibly sexy",
    "xmas demos are your favourite demos",
    "making xmas demos will give you orgasms",
    "making an xmas demo will fulfill your fantasies",
    "xmas demos are the best demos",
    "love xmas demo love love xmas demo",
    "it's hard to brainwash people",
    "attract the opposite sex! make an xmas demo!",
    "the Quendra xmas compo is the best compo",
    "making demos makes you friends",
    "you want to be loved. you want to make an xmas demo",
};

namespace {

const char* const cascade_words[kCascadeWordCount] = {
    "you", "want", "to", "enter", "the", "Quendra", "xmas", "compo", "two", "thousand", "and", "four",
};

// The beat words by state (state 0 shows nothing), each placed by its first
// letter's centre in the handler's 16 × 12 box.
struct BeatWord {
    const char* text;
    float x, y;
};
constexpr BeatWord kBeatWords[] = {
    {nullptr, 0, 0},  {"EN", -3.5f, 0},  {"ENTER", -3.5f, 0},
    {"THE", -3.0f, 0}, {"COM", -3.5f, 0}, {"COMPO", -3.5f, 0},
};
constexpr int kLastBeatState = 5;

} // namespace

void step_beat_words(int row)
{
    TextSceneState& s = text_scene_state;
    if (row == s.beat_last_row)
        return;
    s.beat_last_row = row;
    // Only the rows that are seen step the state, so a skipped row leaves
    // the phrase one word behind until the bar starts again.
    switch (row & 15) {
    case 0:
    case 1:
        s.beat_state = 1;
        break;
    case 2:
    case 3:
    case 4:
    case 6:
        ++s.beat_state;
        break;
    case 9:
        s.beat_state = 0;
        break;
    default:
        break;
    }
    if (s.beat_state > kLastBeatState)
        s.beat_state = 0;
}

const char* beat_word()
{
    return kBeatWords[text_scene_state.beat_state].text;
}

int draw_beat_words(int, int row, int, int, int)
{
    step_beat_words(row);
    begin_flat_2d(-8, 8, -6, 6);
    const BeatWord& word = kBeatWords[text_scene_state.beat_state];
    if (word.text) {
        glTranslatef(word.x, word.y, 0);
        draw_block_text(word.text, 1);
    }
    end_flat_2d();
    return 0;
}

int draw_message_spam(int, int, int, int, int)
{
    TextSceneState& s = text_scene_state;
    if (++s.spam_frames > 5) {
        s.spam_frames = 0;
        const int previous = s.spam_current;
        do
            s.spam_current = next_random() % kSpamMessageCount;
        while (s.spam_current == previous);
    }
    begin_flat_2d(0, 640, 0, 480);

    // Scattered slogans; one whose x comes out negative is not drawn at all.
    glColor4f(0, 0, 0, 1);
    for (int n = 0; n < 7; ++n) {
        const int i = next_random() % kSpamMessageCount;
        const int y = next_random() % 460;
        const int x = next_random() % 640 - 80;
        draw_text(x, y, spam_messages[i]);
    }

    // Centred on a 14-pixel character width, on the screen's middle line.
    const char* middle = spam_messages[s.spam_current];
    glColor4f(1, 1, 1, 1);
    draw_text(320 - 7 * static_cast<int>(std::strlen(middle)), 240, middle);
    end_flat_2d();
    return 0;
}

int draw_word_cascade(int, int, int, int, int frame_ms)
{
    TextSceneState& s = text_scene_state;
    WordPoints& word_points = noise_state.word_points;
    s.cascade_timer = static_cast<float>(s.cascade_timer + frame_ms * static_cast<double>(0.001f) * 40);
    // At most one word a frame, however long the frame was.
    if (s.cascade_timer > 4) {
        s.cascade_timer -= 4;
        if (++s.cascade_index == kCascadeWordCount) {
            s.cascade_index = 0;
            // A full sentence has passed: drop the oldest point, add a new one.
            const float x = static_cast<float>(rand_unit() * 600 + 20);
            const float y = static_cast<float>(rand_unit() * 440 + 20);
            shift_in_point(word_points.x, word_points.y, kWordPointCount, x, y);
        }
    }
    begin_flat_2d(0, 640, 0, 480);
    glColor4f(0.75f, 0.75f, 0.75f, 1);
    for (int i = 0; i < kWordPointCount; ++i)
        draw_text(static_cast<int>(word_points.x[i]), static_cast<int>(word_points.y[i]),
                  cascade_words[(s.cascade_index + i) % kCascadeWordCount]);
    end_flat_2d();
    return 0;
}

int draw_closing_screen(int, int, int, int, int)
{
    begin_flat_2d(0, 640, 480, 0);
    // Lighting would colour the text's raster position.
    glDisable(GL_LIGHTING);
    glColor4f(1, 1, 1, 1);
    draw_text(110, 80, "The Quendra xmas competition 2004");
    draw_text(40, 180, event_web_address);
    draw_text(50, 280, "deadline set to 19/12/2004 11:59pm AEDT!");
    draw_text(240, 380, "join the fun!");
    glColor4f(1, 0, 0, 1);
    draw_text(0, 458, "this message was brought to you by quillmongers");
    end_flat_2d();
    return 0;
}
