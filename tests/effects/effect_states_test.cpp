// The list of the effect families' state (effects/effect_states.h) holds all
// of it. Every scene of the show's scene list is drawn for a few frames from
// rest, then again from rest after every warm-up step has drawn: pictures and
// generator must match frame for frame. A family whose record is missing
// from the list is neither put at rest nor restored round the warm-up, and
// some scene then draws differently.
#include "effects/effect_states.h"

#include "effects/effects.h"
#include "effects/noise.h"
#include "effects/warm_up.h"
#include "show/bitmap_text.h"
#include "support/gl_test.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <vector>

namespace {

struct Drawn {
    uint64_t picture_hash;
    uint32_t seed;
    uint64_t draws;
    bool operator==(const Drawn&) const = default;
};

// Frames 40 ms apart through order 1 from row 4, where a camera flight is
// cued, so that each scene moves through its states row by row.
std::vector<Drawn> draw_from_rest(SceneHandler scene)
{
    std::vector<Drawn> drawn;
    for (int frame = 0; frame < 8; ++frame) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        scene(1, 4 + frame, 68, 40 * frame, 40);
        uint64_t hash = 14695981039346656037ull; // FNV-1a
        for (uint8_t byte : read_frame())
            hash = (hash ^ byte) * 1099511628211ull;
        drawn.push_back({hash, noise_state.random.seed, noise_state.random.draws});
    }
    return drawn;
}

} // namespace

TEST(EffectStates, TheWarmUpLeavesNoTraceInAnyScene)
{
    ASSERT_TRUE(ensure_gl_context());
    ASSERT_EQ(build_bitmap_font(40, 40, "Impact"), 1);
    ASSERT_EQ(init_block_font(), 1);
    ASSERT_EQ(init_block_scene(), 1);
    ASSERT_EQ(init_noise_textures(), 1);
    for (uint32_t scene = 0; scene < kSceneCount; ++scene) {
        reset_effect_states();
        const std::vector<Drawn> plain = draw_from_rest(scene_procedures[scene]);
        reset_effect_states();
        for (int step = 0; step < warm_up_step_count(); ++step)
            draw_warm_up_step(step);
        EXPECT_EQ(draw_from_rest(scene_procedures[scene]), plain) << "scene " << scene;
    }
}
