// Full-screen overlays and fades: their draws from the shared generator,
// their timers and switchers, and what they do to the picture.
#include "effects_fixture.h"

#include <climits>
#include <set>

using OverlayDraws = EffectsTest;

TEST_F(OverlayDraws, EachHandlerDrawsItsFixedNumberOfValues)
{
    EXPECT_EQ(draws_of(draw_white_noise_overlay), 2u);
    EXPECT_EQ(draws_of(draw_black_noise_overlay), 2u);
    EXPECT_EQ(draws_of(draw_dark_bars), 33u);
    EXPECT_EQ(draws_of(draw_noise_fan), 392u + 33u);
    EXPECT_EQ(draws_of(draw_crossed_stripes), 129u);
    EXPECT_EQ(draws_of(draw_fade_out), 0u);
    EXPECT_EQ(draws_of(draw_fade_in), 0u);
}

TEST_F(OverlayDraws, LineStormShiftsItsPointsOnAQuarterOfTheFrames)
{
    int shifted = 0;
    for (int frame = 0; frame < 400; ++frame) {
        const float oldest_kept = noise_state.storm_points.x[1];
        const uint64_t draws = draws_of(draw_line_storm);
        ASSERT_TRUE(draws == 4193 || draws == 4195) << draws;
        if (draws == 4195) {
            ++shifted;
            EXPECT_EQ(noise_state.storm_points.x[0], oldest_kept);
        }
    }
    EXPECT_NEAR(shifted, 100, 30);
}

TEST_F(OverlayDraws, SwitchersFirstShowStripesAndSpamUnlessTheFrameIsLong)
{
    // A 16 ms frame adds 1.6 to the timer, below the smallest limit of 10:
    // one draw of their own, then the first choice's draws.
    EXPECT_EQ(draws_of(draw_random_storm_overlay), 1u + 129u);
    EXPECT_EQ(overlay_state.storm_choice, 0);
    EXPECT_EQ(draws_of(draw_random_noise_overlay), 1u + 21u);
    EXPECT_EQ(overlay_state.noise_choice, 0);
    EXPECT_FLOAT_EQ(overlay_state.storm_timer, 1.6f);
    EXPECT_FLOAT_EQ(overlay_state.noise_timer, 1.6f);
}

TEST_F(OverlayDraws, SwitchersDrawANewChoicePastTheirLimit)
{
    // 250 ms adds 25, past any limit (10..20): the timer winds back to at
    // most the limit and a second value picks the effect.
    const std::set<uint64_t> storm_counts = {129, 4193, 4195, 392 + 33};
    std::set<int> storm_seen, noise_seen;
    for (int call = 0; call < 40; ++call) {
        const uint64_t draws = draws_of(draw_random_storm_overlay, 0, 0, 250);
        EXPECT_TRUE(storm_counts.count(draws - 2)) << draws;
        EXPECT_GT(overlay_state.storm_timer, 0);
        EXPECT_LE(overlay_state.storm_timer, 20);
        storm_seen.insert(overlay_state.storm_choice);

        const int spam_before = text_scene_state.spam_frames;
        const uint64_t own_and_chosen = draws_of(draw_random_noise_overlay, 0, 0, 250);
        noise_seen.insert(overlay_state.noise_choice);
        switch (overlay_state.noise_choice) {
        case 0: // the spam: 21, or more when its middle message changes
            if (spam_before == 5)
                EXPECT_GE(own_and_chosen, 2u + 22u);
            else
                EXPECT_EQ(own_and_chosen, 2u + 21u);
            break;
        case 1:
            EXPECT_EQ(own_and_chosen, 2u + 33u);
            break;
        default:
            EXPECT_EQ(own_and_chosen, 2u + 2u);
        }
    }
    EXPECT_EQ(storm_seen.size(), 3u);
    EXPECT_EQ(noise_seen.size(), 4u);
}

TEST_F(OverlayDraws, ZeroFrameTimeFreezesTimersAndAnglesButNotGeometry)
{
    draw_line_storm(0, 0, 0, 0, 7);
    draw_fade_out(0, 0, 5, 0, 100);
    draw_fade_in(0, 0, 5, 0, 100);
    draw_random_storm_overlay(0, 0, 0, 0, 30);
    draw_random_noise_overlay(0, 0, 0, 0, 30);
    const OverlayState frozen = overlay_state;

    const std::vector<uint8_t> first = picture_of(draw_line_storm, 0, "frozen_storm", 0, 5, 0);
    EXPECT_NE(first, picture_of(draw_line_storm, 0, "frozen_storm", 0, 5, 0));

    EXPECT_GT(draws_of(draw_random_storm_overlay, 0, 5, 0), 1u);
    EXPECT_GT(draws_of(draw_random_noise_overlay, 0, 5, 0), 1u);
    draw_fade_out(0, 0, 5, 0, 0);
    draw_fade_in(0, 0, 5, 0, 0);
    EXPECT_EQ(overlay_state.square_angle, frozen.square_angle);
    EXPECT_EQ(overlay_state.storm_timer, frozen.storm_timer);
    EXPECT_EQ(overlay_state.noise_timer, frozen.noise_timer);
    EXPECT_EQ(overlay_state.fade_out_level, frozen.fade_out_level);
    EXPECT_EQ(overlay_state.fade_in_level, frozen.fade_in_level);
    EXPECT_EQ(overlay_state.square_angle, 7.0);
}

TEST_F(OverlayDraws, AFrameOfAnyLengthWindsTheSwitcherTimersBackPromptly)
{
    // A frame of weeks (the machine slept) must not stall the show.
    draw_random_storm_overlay(0, 0, 0, 0, INT_MAX);
    EXPECT_GE(overlay_state.storm_timer, 0);
    EXPECT_LE(overlay_state.storm_timer, 20);
    draw_random_noise_overlay(0, 0, 0, 0, INT_MAX);
    EXPECT_GE(overlay_state.noise_timer, 0);
    EXPECT_LE(overlay_state.noise_timer, 20);
}

using Fades = EffectsTest;

TEST_F(Fades, FadeOutRestartsOnANewEntryAndFadeInNever)
{
    draw_fade_out(0, 0, 528, 0, 1000);
    EXPECT_FLOAT_EQ(overlay_state.fade_out_level, 0.75f);
    draw_fade_out(0, 0, 528, 0, 1000);
    EXPECT_FLOAT_EQ(overlay_state.fade_out_level, 0.5f);
    draw_fade_out(0, 0, 528, 0, 5000);
    EXPECT_EQ(overlay_state.fade_out_level, 0.0f);
    draw_fade_out(0, 0, 640, 0, 1000); // the next entry listing the fade
    EXPECT_FLOAT_EQ(overlay_state.fade_out_level, 0.75f);
    EXPECT_EQ(overlay_state.fade_last_key, 640);

    draw_fade_in(0, 0, 560, 0, 1000);
    EXPECT_FLOAT_EQ(overlay_state.fade_in_level, 0.25f);
    draw_fade_in(0, 0, 640, 0, 1000);
    EXPECT_FLOAT_EQ(overlay_state.fade_in_level, 0.5f);
    draw_fade_in(0, 0, 640, 0, 9000);
    EXPECT_EQ(overlay_state.fade_in_level, 1.0f);
}

TEST_F(Fades, MultiplyThePictureByTheirLevel)
{
    // Level 0.5 over mid-grey: every pixel of every channel at half.
    for (SceneHandler fade : {draw_fade_out, draw_fade_in}) {
        const std::vector<uint8_t> half =
            picture_of(fade, 128 / 255.0f, "fade_half", 0, 528, 2000);
        for (int channel = 0; channel < 3; ++channel) {
            const ChannelStats s = channel_stats(half, channel);
            EXPECT_GE(s.min, 63);
            EXPECT_LE(s.max, 65);
        }
    }
    // Level 0 is black; a new entry starts the fade-out again at 1, untouched.
    EXPECT_EQ(channel_stats(picture_of(draw_fade_out, 1, "fade_black", 0, 528, 4000), 0).max, 0);
    EXPECT_EQ(channel_stats(picture_of(draw_fade_out, 1, "fade_none", 0, 640, 0), 1).min, 255);
}

using OverlayPictures = EffectsTest;

TEST_F(OverlayPictures, BlackNoiseDarkensAndWhiteNoiseLightensByBoundedAmounts)
{
    // Two layers, each at most 127/255 opaque black: white stays above 64.
    const ChannelStats d = channel_stats(picture_of(draw_black_noise_overlay, 1, "black_noise"), 0);
    EXPECT_GE(d.min, 63);
    EXPECT_LT(d.mean, 200);
    EXPECT_GT(d.mean, 100);

    // Two layers, each at most 0.2 × 127/255 opaque white: black stays below 49.
    const std::vector<uint8_t> light = picture_of(draw_white_noise_overlay, 0, "white_noise");
    const ChannelStats l = channel_stats(light, 0);
    EXPECT_LE(l.max, 49);
    EXPECT_GT(l.mean, 10);
    for (size_t i = 0; i < light.size(); i += 3)
        ASSERT_TRUE(light[i] == light[i + 1] && light[i] == light[i + 2]) << "grey only";
}

TEST_F(OverlayPictures, DarkBarsOnlyDarkenAndSpanTheWidth)
{
    const std::vector<uint8_t> frame = picture_of(draw_dark_bars, 1, "dark_bars");
    EXPECT_LT(channel_stats(frame, 0).min, 255);
    // Every bar spans the full width, so each row is one shade throughout.
    for (int y = 0; y < 480; ++y)
        ASSERT_EQ(frame[y * 640 * 3], frame[(y * 640 + 639) * 3]) << "row " << y;
}

TEST_F(OverlayPictures, FanStormAndStripesDrawFreshPicturesEveryCall)
{
    const struct {
        SceneHandler handler;
        const char* name;
    } overlays[] = {{draw_noise_fan, "noise_fan"},
                    {draw_line_storm, "line_storm"},
                    {draw_crossed_stripes, "crossed_stripes"}};
    for (auto [handler, name] : overlays) {
        const std::vector<uint8_t> first = picture_of(handler, 0.5f, name);
        EXPECT_NE(first, picture_of(handler, 0.5f, name));
        const ChannelStats s = channel_stats(first, 0);
        EXPECT_LT(s.min, 100);
        EXPECT_GT(s.max, 160);
    }
}
