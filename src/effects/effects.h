// Every scene handler and init task of the effects, and the procedure tables
// the show's stored tables are read with: in the order of the lists in
// data/show_procedures.h, from which the handlers' declarations are made too.
#pragma once

#include "data/show_procedures.h"
#include "show/scene.h"

// The scene handlers (block_scene.cpp, overlays.cpp, text_scenes.cpp).
#define SHOW_SCENE_DECLARATION(handler, ...) \
    int handler(int order, int row, int start_key, int show_ms, int frame_ms);
SHOW_SCENES(SHOW_SCENE_DECLARATION)
#undef SHOW_SCENE_DECLARATION

// noise.cpp: the show's random generator, noise textures and point sets
int init_noise_textures();

// blocks.cpp: block models, block text and the 3D scene's static resources
int init_block_font();
int init_block_scene();

// By index of the scene list and of the init-task list.
extern const SceneHandler scene_procedures[kSceneCount];
extern const InitTask init_procedures[kInitTaskCount];
