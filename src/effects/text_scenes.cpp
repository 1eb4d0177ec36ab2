// Text scenes.
// Placeholder until this family's scenes are built: draws nothing.
#include "effects/effects.h"

int draw_beat_words(int, int, int, int, int) { return 0; }
int draw_message_spam(int, int, int, int, int) { return 0; }
int draw_word_cascade(int, int, int, int, int) { return 0; }
int draw_closing_screen(int, int, int, int, int) { return 0; }
