// State and stored texts of the text scenes (the handlers themselves are
// declared in effects.h). The state lives for the run and moves only on calls.
#pragma once

struct TextSceneState {
    int beat_state = 0;      // 0 nothing, 1..5 the beat word shown
    int beat_last_row = -1;  // row of the last call, so a row steps the state once
    int spam_frames = 4;     // calls since the middle message last changed, 0..5
    int spam_current = 0;    // index of the middle message, 0..23
    float cascade_timer = 0; // 0.04 a millisecond; one word per 4
    int cascade_index = 0;   // the cascade's first word, 0..11
};
extern TextSceneState text_scene_state;

// Puts the text scenes at rest, as at the start of a run.
void reset_text_scene_state();

constexpr int kSpamMessageCount = 24;
extern const char* const spam_messages[kSpamMessageCount];

constexpr int kCascadeWordCount = 12;

// The event's web address: message 4 and the closing screen's second line.
extern const char* const event_web_address;

// Steps the beat words' state for a call in this row; a row seen again
// changes nothing.
void step_beat_words(int row);

// The word the beat words show now, or null for none.
const char* beat_word();
