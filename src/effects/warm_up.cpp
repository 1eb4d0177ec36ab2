// The warm-up steps: each visit of the scene list (data/show_procedures.h),
// a scene handler called at a position that puts it in one of its states,
// between a snapshot and a restore of everything the handlers change.
#include "effects/warm_up.h"

#include "effects/block_scene.h"
#include "effects/blocks.h"
#include "effects/effects.h"
#include "effects/noise.h"
#include "effects/overlays.h"
#include "effects/text_scenes.h"
#include "show/scene.h"

#include <algorithm>
#include <array>

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

// A scene drawn frames times at order/row, kWarmUpFrameMs apart.
struct WarmUpVisit {
    int order = 0, row = 0;
    int frames = 0; // 0: no visit
};

struct WarmUpStep {
    SceneHandler handler;
    WarmUpVisit visit;
};

constexpr int kWarmUpFrameMs = 40;

struct SceneVisits {
    SceneHandler handler;
    WarmUpVisit visits[2];
};

#define SHOW_SCENE_VISITS(handler, ...) {handler, {__VA_ARGS__}},
constexpr SceneVisits kSceneVisits[] = {SHOW_SCENES(SHOW_SCENE_VISITS)};
#undef SHOW_SCENE_VISITS

constexpr int count_steps()
{
    int count = 0;
    for (const SceneVisits& scene : kSceneVisits)
        for (const WarmUpVisit& visit : scene.visits)
            count += visit.frames > 0;
    return count;
}

// The visits in the order of the list, one step each.
constexpr auto kSteps = [] {
    std::array<WarmUpStep, count_steps()> steps{};
    int next = 0;
    for (const SceneVisits& scene : kSceneVisits)
        for (const WarmUpVisit& visit : scene.visits)
            if (visit.frames > 0)
                steps[next++] = {scene.handler, visit};
    return steps;
}();

} // namespace

int warm_up_step_count() { return int(kSteps.size()); }

void draw_warm_up_step(int step)
{
    const WarmUpStep& s = kSteps[step];
    const EffectsSnapshot snapshot = take_snapshot();
    const int start_key = s.visit.order * 64 + s.visit.row;
    for (int frame = 0; frame < s.visit.frames; ++frame)
        s.handler(s.visit.order, s.visit.row, start_key, frame * kWarmUpFrameMs, kWarmUpFrameMs);
    restore_snapshot(snapshot);
}
