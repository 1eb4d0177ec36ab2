// The warm-up steps: the show's scene handlers called at positions that put
// them in each of their states (at rest, in flight, each overlay the random
// switchers can choose), between a snapshot and a restore of everything the
// handlers change.
#include "effects/warm_up.h"

#include "effects/block_scene.h"
#include "effects/blocks.h"
#include "effects/effects.h"
#include "effects/noise.h"
#include "effects/overlays.h"
#include "effects/text_scenes.h"
#include "show/scene.h"

#include <algorithm>

namespace {

// Everything a scene handler may change outside GL.
struct EffectsSnapshot {
    BlockSceneState block_scene;
    SpinningBlocksState spinning_blocks;
    OverlayState overlay_state;
    TextSceneState text_scene_state;
    RandomGenerator show_random;
    StormPoints storm_points;
    WordPoints word_points;
    double scene_projection[16];
};

EffectsSnapshot take_snapshot()
{
    EffectsSnapshot s{block_scene, spinning_blocks, overlay_state, text_scene_state,
                      show_random, storm_points, word_points, {}};
    std::copy(scene_projection, scene_projection + 16, s.scene_projection);
    return s;
}

void restore_snapshot(const EffectsSnapshot& s)
{
    block_scene = s.block_scene;
    spinning_blocks = s.spinning_blocks;
    overlay_state = s.overlay_state;
    text_scene_state = s.text_scene_state;
    show_random = s.show_random;
    storm_points = s.storm_points;
    word_points = s.word_points;
    std::copy(s.scene_projection, s.scene_projection + 16, scene_projection);
}

// One situation: a handler called frames times at order/row, frame_ms apart.
struct WarmUpStep {
    SceneHandler handler;
    int order, row;
    int frames;
};

constexpr int kWarmUpFrameMs = 40;

// Order 1 row 4 cues a fast flight: the camera off its resting axis and the
// blended projection make the renderer build other vertex programs than at
// rest, so the step follows a flight from there over its whole path. The
// overlays and text scenes set the same states at any position; message
// spam runs until it picks a new middle slogan, as in the show.
constexpr WarmUpStep kSteps[] = {
    {draw_block_scene, 0, 0, 1},
    {draw_block_scene, 1, 4, 16},
    {draw_spinning_blocks, 5, 0, 1},
    {draw_noise_fan, 5, 0, 1},
    {draw_black_noise_overlay, 5, 0, 1},
    {draw_white_noise_overlay, 5, 0, 1},
    {draw_line_storm, 5, 0, 1},
    {draw_dark_bars, 5, 0, 1},
    {draw_crossed_stripes, 5, 0, 1},
    {draw_beat_words, 5, 0, 1},
    {draw_message_spam, 5, 0, 6},
    {draw_word_cascade, 5, 0, 1},
    {draw_closing_screen, 10, 0, 1},
    {draw_fade_in, 8, 48, 1},
    {draw_fade_out, 8, 16, 1},
};
constexpr int kStepCount = sizeof kSteps / sizeof kSteps[0];

} // namespace

int warm_up_step_count() { return kStepCount; }

void draw_warm_up_step(int step)
{
    const WarmUpStep& s = kSteps[step];
    const EffectsSnapshot snapshot = take_snapshot();
    const int start_key = s.order * 64 + s.row;
    for (int frame = 0; frame < s.frames; ++frame)
        s.handler(s.order, s.row, start_key, frame * kWarmUpFrameMs, kWarmUpFrameMs);
    restore_snapshot(snapshot);
}
