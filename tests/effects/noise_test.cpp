// The show's random generator, noise textures and point sets.
#include "effects_fixture.h"

#include <cmath>
#include <cstring>

TEST(RandomGenerator, FollowsTheClassicSequenceInFifteenBits)
{
    // The first results after seed 1 of the classic step, as printed by the
    // platform runtime the show was made for.
    seed_random(1);
    EXPECT_EQ(next_random(), 41);
    EXPECT_EQ(next_random(), 18467);
    EXPECT_EQ(next_random(), 6334);
    EXPECT_EQ(next_random(), 26500);

    int low = 32767, high = 0, odd = 0;
    for (int i = 0; i < 200000; ++i) {
        const int r = next_random();
        low = std::min(low, r);
        high = std::max(high, r);
        odd += r & 1;
    }
    EXPECT_EQ(low, 0);
    EXPECT_EQ(high, 32767);
    EXPECT_NEAR(odd, 100000, 2000);
}

TEST(RandomGenerator, CountsDrawsAndScalesUnitsToZeroToOne)
{
    seed_random(0xDEADBEEF);
    const uint64_t before = noise_state.random.draws;
    double low = 1, high = 0;
    for (int i = 0; i < 100000; ++i) {
        const double u = rand_unit();
        low = std::min(low, u);
        high = std::max(high, u);
    }
    EXPECT_EQ(noise_state.random.draws - before, 100000u);
    EXPECT_GE(low, 0.0);
    EXPECT_LT(low, 0.001);
    EXPECT_NEAR(high, 1.0, 1e-6);
    // The scale is the single-precision 1/32767, not the exact quotient.
    seed_random(1);
    EXPECT_EQ(rand_unit(), 41 * static_cast<double>(1.0f / 32767.0f));
}

using NoiseTextures = EffectsTest;

TEST_F(NoiseTextures, InitSeedsAndDrawsExactly32912Values)
{
    seed_random(12345); // whatever came before, init starts from its own seed
    const uint64_t before = noise_state.random.draws;
    ASSERT_EQ(init_noise_textures(), 1);
    EXPECT_EQ(noise_state.random.draws - before, 32912u);

    const uint32_t after_init = noise_state.random.seed;
    seed_random(0xDEADBEEF);
    for (int i = 0; i < 32912; ++i)
        next_random();
    EXPECT_EQ(noise_state.random.seed, after_init);
}

TEST_F(NoiseTextures, SameTexturesAndPointsOnEveryRun)
{
    init_noise_textures();
    const StormPoints storm = noise_state.storm_points;
    const WordPoints words = noise_state.word_points;
    const unsigned int first_a = noise_texture_a;
    init_noise_textures();
    EXPECT_EQ(0, std::memcmp(&storm, &noise_state.storm_points, sizeof storm));
    EXPECT_EQ(0, std::memcmp(&words, &noise_state.word_points, sizeof words));
    EXPECT_NE(first_a, noise_texture_a);
}

TEST_F(NoiseTextures, PointsLieInTheirRanges)
{
    for (int i = 0; i < kStormPointCount; ++i) {
        EXPECT_GE(noise_state.storm_points.x[i], 0);
        EXPECT_LE(noise_state.storm_points.x[i], 640);
        EXPECT_GE(noise_state.storm_points.y[i], 0);
        EXPECT_LE(noise_state.storm_points.y[i], 480);
    }
    for (int i = 0; i < kWordPointCount; ++i) {
        EXPECT_GE(noise_state.word_points.x[i], 20);
        EXPECT_LE(noise_state.word_points.x[i], 620);
        EXPECT_GE(noise_state.word_points.y[i], 20);
        EXPECT_LE(noise_state.word_points.y[i], 460);
    }
    // Drawn point by point, x before y: the first storm point is the pair of
    // values right after the 32768 texels.
    seed_random(0xDEADBEEF);
    for (int i = 0; i < 32768; ++i)
        next_random();
    EXPECT_EQ(noise_state.storm_points.x[0], static_cast<float>(rand_unit() * 640));
    EXPECT_EQ(noise_state.storm_points.y[0], static_cast<float>(rand_unit() * 480));
}

TEST_F(NoiseTextures, TexelsAreWhiteAndAtMostHalfOpaqueWithMipmaps)
{
    for (unsigned int texture : {noise_texture_a, noise_texture_b}) {
        glBindTexture(GL_TEXTURE_2D, texture);
        std::vector<uint8_t> texels(128 * 128 * 4);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
        int max_alpha = 0, non_white = 0;
        for (size_t k = 0; k < texels.size(); k += 4) {
            non_white += texels[k] != 255 || texels[k + 1] != 255 || texels[k + 2] != 255;
            max_alpha = std::max<int>(max_alpha, texels[k + 3]);
        }
        EXPECT_EQ(non_white, 0);
        EXPECT_EQ(max_alpha, 127);

        GLint smallest_width = 0, wrap_s = 0, wrap_t = 0, min_filter = 0, mag_filter = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 7, GL_TEXTURE_WIDTH, &smallest_width);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrap_s);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &wrap_t);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &min_filter);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &mag_filter);
        EXPECT_EQ(smallest_width, 1);
        EXPECT_EQ(wrap_s, GL_REPEAT);
        EXPECT_EQ(wrap_t, GL_REPEAT);
        EXPECT_EQ(min_filter, GL_LINEAR);
        EXPECT_EQ(mag_filter, GL_LINEAR);
    }
    // The first texel carries the first draw after the seed.
    glBindTexture(GL_TEXTURE_2D, noise_texture_a);
    std::vector<uint8_t> texels(128 * 128 * 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    seed_random(0xDEADBEEF);
    EXPECT_EQ(texels[3], next_random() >> 8);
    EXPECT_EQ(texels[7], next_random() >> 8);
}
