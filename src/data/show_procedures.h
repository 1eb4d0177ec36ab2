// Every procedure the show's stored tables name, each said once. The stored
// tables (show_tables.h) name a procedure by its index in these lists;
// effects/effects.h lays the procedures out in the same order, and the
// scenes' declarations and the loading's warm-up (effects/warm_up.cpp) are
// made from the scene list. A procedure added here is added everywhere; one
// missing anywhere does not compile.
#pragma once

#include <cstdint>

// SHOW_SCENE(handler, warm-up visits...): a scene handler, then each
// {order, row, frames} at which the loading's warm-up draws it, frames calls
// 40 ms apart at that position (at most two visits). A scene without visits
// is not met by the warm-up on its own: the random switchers only call
// scenes the warm-up meets.
//
// The block scene is met at rest and, from order 1 row 4 (a fast flight's
// cue), over its whole flight: off its resting axis, with the blended
// projection, the renderer builds other vertex programs than at rest. The
// overlays and text scenes set the same states at any position; message spam
// runs until it picks a new middle slogan, as in the show.
#define SHOW_SCENES(SHOW_SCENE)                           \
    SHOW_SCENE(draw_block_scene, {0, 0, 1}, {1, 4, 16})   \
    SHOW_SCENE(draw_spinning_blocks, {5, 0, 1})           \
    SHOW_SCENE(draw_noise_fan, {5, 0, 1})                 \
    SHOW_SCENE(draw_black_noise_overlay, {5, 0, 1})       \
    SHOW_SCENE(draw_white_noise_overlay, {5, 0, 1})       \
    SHOW_SCENE(draw_line_storm, {5, 0, 1})                \
    SHOW_SCENE(draw_dark_bars, {5, 0, 1})                 \
    SHOW_SCENE(draw_crossed_stripes, {5, 0, 1})           \
    SHOW_SCENE(draw_random_storm_overlay)                 \
    SHOW_SCENE(draw_random_noise_overlay)                 \
    SHOW_SCENE(draw_fade_out, {8, 16, 1})                 \
    SHOW_SCENE(draw_fade_in, {8, 48, 1})                  \
    SHOW_SCENE(draw_beat_words, {5, 0, 1})                \
    SHOW_SCENE(draw_message_spam, {5, 0, 6})              \
    SHOW_SCENE(draw_word_cascade, {5, 0, 1})              \
    SHOW_SCENE(draw_closing_screen, {10, 0, 1})

// SHOW_INIT_TASK(task): the loading's init tasks.
#define SHOW_INIT_TASKS(SHOW_INIT_TASK) \
    SHOW_INIT_TASK(prepare_curves)      \
    SHOW_INIT_TASK(init_block_font)     \
    SHOW_INIT_TASK(init_block_scene)    \
    SHOW_INIT_TASK(init_noise_textures)

// The indices the stored tables use: scene::draw_block_scene is 0, and so on.
namespace scene {
#define SHOW_SCENE_INDEX(handler, ...) handler,
enum Index : uint32_t { SHOW_SCENES(SHOW_SCENE_INDEX) };
#undef SHOW_SCENE_INDEX
} // namespace scene

namespace init_task {
#define SHOW_INIT_TASK_INDEX(task) task,
enum Index : uint32_t { SHOW_INIT_TASKS(SHOW_INIT_TASK_INDEX) };
#undef SHOW_INIT_TASK_INDEX
} // namespace init_task

#define SHOW_COUNT_ONE(...) +1
constexpr uint32_t kSceneCount = 0 SHOW_SCENES(SHOW_COUNT_ONE);
constexpr uint32_t kInitTaskCount = 0 SHOW_INIT_TASKS(SHOW_COUNT_ONE);
#undef SHOW_COUNT_ONE
