// Every scene handler and init task of the effects, by family.
// The show's tables (timeline, init-task list) refer to these.
#pragma once

// noise.cpp: the show's random generator, noise textures and point sets
int init_noise_textures();

// blocks.cpp: block models, block text and the 3D scene's static resources
int init_block_font();
int init_block_scene();

// block_scene.cpp: the 3D block scenes
int draw_block_scene(int order, int row, int start_key, int show_ms, int frame_ms);
int draw_spinning_blocks(int order, int row, int start_key, int show_ms, int frame_ms);

// overlays.cpp: full-screen overlays and fades
int draw_noise_fan(int order, int row, int start_key, int show_ms, int frame_ms);
int draw_black_noise_overlay(int order, int row, int start_key, int show_ms, int frame_ms);
int draw_white_noise_overlay(int order, int row, int start_key, int show_ms, int frame_ms);
int draw_line_storm(int order, int row, int start_key, int show_ms, int frame_ms);
int draw_dark_bars(int order, int row, int start_key, int show_ms, int frame_ms);
int draw_crossed_stripes(int order, int row, int start_key, int show_ms, int frame_ms);
int draw_random_storm_overlay(int order, int row, int start_key, int show_ms, int frame_ms);
int draw_random_noise_overlay(int order, int row, int start_key, int show_ms, int frame_ms);
int draw_fade_out(int order, int row, int start_key, int show_ms, int frame_ms);
int draw_fade_in(int order, int row, int start_key, int show_ms, int frame_ms);

// text_scenes.cpp: text scenes
int draw_beat_words(int order, int row, int start_key, int show_ms, int frame_ms);
int draw_message_spam(int order, int row, int start_key, int show_ms, int frame_ms);
int draw_word_cascade(int order, int row, int start_key, int show_ms, int frame_ms);
int draw_closing_screen(int order, int row, int start_key, int show_ms, int frame_ms);
