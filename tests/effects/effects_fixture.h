// Shared set-up of the effects tests: one GL context with the noise textures
// built once, fresh effect state and a known generator state for every test,
// and small measures of what a handler drew.
#pragma once

#include "effects/effects.h"
#include "effects/noise.h"
#include "effects/overlays.h"
#include "effects/text_scenes.h"
#include "show/scene.h"
#include "support/gl_test.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

class EffectsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ensure_gl_context());
        // Once per test binary: the textures are GL resources that live on.
        static const bool textures_built = init_noise_textures() == 1;
        ASSERT_TRUE(textures_built);
        overlay_state = {};
        text_scene_state = {};
        seed_random(0xDEADBEEF);
    }

    // Values the handler drew from the generator during one call. Only the
    // draws matter here, so the rasteriser is kept to one pixel.
    static uint64_t draws_of(SceneHandler handler, int row = 0, int start_key = 0, int frame_ms = 16)
    {
        glEnable(GL_SCISSOR_TEST);
        glScissor(0, 0, 1, 1);
        const uint64_t before = noise_state.random.draws;
        handler(0, row, start_key, 0, frame_ms);
        glDisable(GL_SCISSOR_TEST);
        return noise_state.random.draws - before;
    }
};

// Smallest, largest and mean of one channel over the whole frame.
struct ChannelStats {
    int min, max;
    double mean;
};
inline ChannelStats channel_stats(const std::vector<uint8_t>& frame, int channel)
{
    ChannelStats s{255, 0, 0};
    for (size_t i = channel; i < frame.size(); i += 3) {
        s.min = std::min<int>(s.min, frame[i]);
        s.max = std::max<int>(s.max, frame[i]);
        s.mean += frame[i];
    }
    s.mean /= frame.size() / 3;
    return s;
}

// Writes the frame as a PPM into $EFFECTS_TEST_PICTURES, when that is set, so
// a person can look at what a test saw.
inline void save_picture(const std::vector<uint8_t>& frame, const char* name)
{
    const char* dir = std::getenv("EFFECTS_TEST_PICTURES");
    if (!dir)
        return;
    const std::string path = std::string(dir) + "/" + name + ".ppm";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fprintf(f, "P6\n640 480\n255\n");
        std::fwrite(frame.data(), 1, frame.size(), f);
        std::fclose(f);
    }
}

// Clears the frame to a grey level, calls the handler once and returns what
// it drew (saved under name as above).
inline std::vector<uint8_t> picture_of(SceneHandler handler, float background, const char* name,
                                       int row = 0, int start_key = 0, int frame_ms = 16)
{
    glClearColor(background, background, background, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    handler(0, row, start_key, 0, frame_ms);
    std::vector<uint8_t> frame = read_frame();
    save_picture(frame, name);
    return frame;
}
