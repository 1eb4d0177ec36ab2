// The show's random generator, noise textures and random point sets.
// init_noise_textures is the last init task: it seeds the generator and makes
// the first 32912 draws of the run in a fixed order, so that every run
// continues the same sequence.
#include "effects/noise.h"

#include "effects/effects.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <vector>

NoiseState noise_state;
unsigned int noise_texture_a = 0;
unsigned int noise_texture_b = 0;

void reset_noise_state() { noise_state = NoiseState{}; }

void seed_random(uint32_t seed)
{
    noise_state.random.seed = seed;
}

int next_random()
{
    // The classic linear congruential step; the high bits of the state are
    // the result, since the low ones cycle with short periods.
    RandomGenerator& random = noise_state.random;
    random.seed = random.seed * 214013u + 2531011u;
    ++random.draws;
    return static_cast<int>((random.seed >> 16) & 0x7FFF);
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
    StormPoints& storm = noise_state.storm_points;
    for (int i = 0; i < kStormPointCount; ++i) {
        storm.x[i] = static_cast<float>(rand_unit() * 640);
        storm.y[i] = static_cast<float>(rand_unit() * 480);
    }
    WordPoints& words = noise_state.word_points;
    for (int i = 0; i < kWordPointCount; ++i) {
        words.x[i] = static_cast<float>(rand_unit() * 600 + 20);
        words.y[i] = static_cast<float>(rand_unit() * 440 + 20);
    }
    return 1;
}
