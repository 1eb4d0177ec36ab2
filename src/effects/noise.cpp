// The show's random generator, noise textures and random point sets.
// init_noise_textures is the last init task: it seeds the generator, makes
// the first 32912 draws of the run in a fixed order and puts the random
// effects at rest, so that every run continues the same sequence.
#include "effects/noise.h"

#include "effects/effects.h"
#include "effects/overlays.h"
#include "effects/text_scenes.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <vector>

RandomGenerator show_random;
unsigned int noise_texture_a = 0;
unsigned int noise_texture_b = 0;
StormPoints storm_points = {};
WordPoints word_points = {};

void seed_random(uint32_t seed)
{
    show_random.seed = seed;
}

int next_random()
{
    // The classic linear congruential step; the high bits of the state are
    // the result, since the low ones cycle with short periods.
    show_random.seed = show_random.seed * 214013u + 2531011u;
    ++show_random.draws;
    return static_cast<int>((show_random.seed >> 16) & 0x7FFF);
}

double rand_unit()
{
    constexpr float kUnit = 1.0f / 32767.0f;
    return next_random() * static_cast<double>(kUnit);
}

void shift_in_point(float* xs, float* ys, int count, float x, float y)
{
    std::copy(xs + 1, xs + count, xs);
    std::copy(ys + 1, ys + count, ys);
    xs[count - 1] = x;
    ys[count - 1] = y;
}

namespace {

constexpr int kNoiseSize = 128;

// One texture from the next 128 × 128 draws: texel k is white with alpha
// r >> 8 (0..127), uploaded with its mipmaps and tiling linearly.
unsigned int build_noise_texture(std::vector<uint8_t>& texels)
{
    for (int k = 0; k < kNoiseSize * kNoiseSize; ++k) {
        const int r = next_random();
        texels[4 * k + 0] = 255;
        texels[4 * k + 1] = 255;
        texels[4 * k + 2] = 255;
        texels[4 * k + 3] = static_cast<uint8_t>(r >> 8);
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    gluBuild2DMipmaps(GL_TEXTURE_2D, 4, kNoiseSize, kNoiseSize, GL_RGBA, GL_UNSIGNED_BYTE,
                      texels.data());
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    return name;
}

} // namespace

int init_noise_textures()
{
    glEnable(GL_TEXTURE_2D);
    seed_random(0xDEADBEEF);
    std::vector<uint8_t> texels(kNoiseSize * kNoiseSize * 4);
    noise_texture_a = build_noise_texture(texels);
    noise_texture_b = build_noise_texture(texels);
    glDisable(GL_TEXTURE_2D);

    // x before y, point by point.
    for (int i = 0; i < kStormPointCount; ++i) {
        storm_points.x[i] = static_cast<float>(rand_unit() * 640);
        storm_points.y[i] = static_cast<float>(rand_unit() * 480);
    }
    for (int i = 0; i < kWordPointCount; ++i) {
        word_points.x[i] = static_cast<float>(rand_unit() * 600 + 20);
        word_points.y[i] = static_cast<float>(rand_unit() * 440 + 20);
    }

    // The random effects continue from here: a run of the show starts them at
    // rest, also when the program runs the show more than once in one process.
    overlay_state = OverlayState{};
    text_scene_state = TextSceneState{};
    return 1;
}
