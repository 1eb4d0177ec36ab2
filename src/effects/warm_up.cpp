// The warm-up steps: each visit of the scene list (data/show_procedures.h),
// a scene handler called at a position that puts it in one of its states,
// between a snapshot and a restore of every effect family's state.
#include "effects/warm_up.h"

#include "effects/effect_states.h"
#include "effects/effects.h"

#include <array>

namespace {

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
    const EffectStates saved = save_effect_states();
    const int start_key = s.visit.order * 64 + s.visit.row;
    for (int frame = 0; frame < s.visit.frames; ++frame)
        s.handler(s.visit.order, s.visit.row, start_key, frame * kWarmUpFrameMs, kWarmUpFrameMs);
    restore_effect_states(saved);
}
