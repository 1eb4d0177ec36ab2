// Full-screen overlays and fades: 2D scene handlers stacked over the 3D and
// text scenes. Apart from the fades every overlay draws fresh random geometry
// from the shared generator on every frame, so the number and order of draws
// in each handler is fixed: the whole show's sequence depends on it.
// Main thread, GL context current.
#include "effects/overlays.h"

#include "effects/effects.h"
#include "effects/flat_2d.h"
#include "effects/noise.h"
#include "show/scene.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

OverlayState overlay_state;

void reset_overlay_state() { overlay_state = OverlayState{}; }

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kHalfPi = 1.5707963267948966;
constexpr double kPi = 3.141592653589793;
constexpr double kThreeHalfPi = 4.71238898038469;

// Draws a texture coordinate from the generator: t first, then s.
void random_tex_coord()
{
    const float t = static_cast<float>(rand_unit());
    const float s = static_cast<float>(rand_unit());
    glTexCoord2f(s, t);
}

// Both noise textures over the whole screen in one colour, each repeating
// twice across it, at a random offset that is new every frame.
void draw_noise_layers(float r, float g, float b, float a)
{
    const float s0 = static_cast<float>(rand_unit());
    const float t0 = static_cast<float>(rand_unit());
    begin_flat_2d(0, 320, 240, 0, Blend::alpha);
    glEnable(GL_TEXTURE_2D);
    for (unsigned int texture : {noise_texture_a, noise_texture_b}) {
        glBindTexture(GL_TEXTURE_2D, texture);
        glColor4f(r, g, b, a);
        glBegin(GL_QUADS);
        glTexCoord2f(s0, t0);
        glVertex2f(0, 0);
        glTexCoord2f(s0 + 2, t0);
        glVertex2f(320, 0);
        glTexCoord2f(s0 + 2, t0 + 2);
        glVertex2f(320, 240);
        glTexCoord2f(s0, t0 + 2);
        glVertex2f(0, 240);
        glEnd();
    }
    glDisable(GL_TEXTURE_2D);
    end_flat_2d();
}

// A black quad over the screen that scales the picture by level.
void draw_veil(float level)
{
    begin_flat_2d(0, 640, 480, 0, Blend::multiply);
    glColor4f(0, 0, 0, level);
    glBegin(GL_QUADS);
    glVertex2f(0, 0);
    glVertex2f(640, 0);
    glVertex2f(640, 480);
    glVertex2f(0, 480);
    glEnd();
    end_flat_2d();
}

// The random switchers' clock: adds frame_ms at 0.1 a millisecond, draws this
// call's limit (10..20), and when the timer passes it, winds the timer back
// below the limit and draws a new choice out of choice_count. Returns the
// current choice.
int advance_switcher(float& timer, int& choice, int frame_ms, int choice_count)
{
    timer = static_cast<float>(timer + frame_ms * static_cast<double>(0.001f) * 100);
    const float limit = static_cast<float>(rand_unit() * 10 + 10);
    if (timer > limit) {
        // One frame thousands of times longer than usual (the machine slept)
        // would make the subtraction crawl, and once the timer's float step
        // exceeds the limit it would never end: reduce such a timer at once.
        if (timer > 1000 * limit)
            timer = std::fmod(timer, limit);
        while (timer > limit)
            timer -= limit;
        choice = next_random() % choice_count;
    }
    return choice;
}

} // namespace

int draw_white_noise_overlay(int, int, int, int, int)
{
    draw_noise_layers(1, 1, 1, 0.2f);
    return 0;
}

int draw_black_noise_overlay(int, int, int, int, int)
{
    draw_noise_layers(0, 0, 0, 1);
    return 0;
}

int draw_dark_bars(int, int, int, int, int)
{
    begin_flat_2d(-320, 320, -240, 240, Blend::alpha);
    glBegin(GL_QUADS);
    for (int bar = 0; bar < 11; ++bar) {
        const float alpha = static_cast<float>(rand_unit() * 0.5);
        const float y0 = static_cast<float>(rand_unit() * 480 - 240);
        const float h = static_cast<float>(rand_unit() * 480);
        glColor4f(0, 0, 0, alpha);
        glVertex2f(-320, y0);
        glVertex2f(320, y0);
        glVertex2f(320, y0 + h);
        glVertex2f(-320, y0 + h);
    }
    glEnd();
    end_flat_2d();
    return 0;
}

int draw_noise_fan(int order, int row, int start_key, int show_ms, int frame_ms)
{
    begin_flat_2d(-320, 320, -240, 240, Blend::alpha);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, noise_texture_a);
    glBegin(GL_TRIANGLES);
    for (int fan = 0; fan < 4; ++fan) {
        const double step = rand_unit() * kTwoPi;
        double start = rand_unit() * kTwoPi;
        // Under flat shading each triangle takes its last vertex's opaque
        // white, so a ray's opacity is the noise texture's alpha.
        for (int ray = 0; ray < 16; ++ray) {
            glColor4f(0, 0, 0, 0);
            random_tex_coord();
            glVertex2f(0, 0);
            glColor4f(1, 1, 1, 1);
            random_tex_coord();
            glVertex2f(static_cast<float>(400 * std::cos(start)),
                       static_cast<float>(400 * std::sin(start)));
            glColor4f(1, 1, 1, 1);
            random_tex_coord();
            glVertex2f(static_cast<float>(400 * std::cos(start + step)),
                       static_cast<float>(400 * std::sin(start + step)));
            start += step;
        }
    }
    glEnd();
    glDisable(GL_TEXTURE_2D);
    end_flat_2d();
    return draw_dark_bars(order, row, start_key, show_ms, frame_ms);
}

int draw_line_storm(int, int, int, int, int frame_ms)
{
    overlay_state.square_angle += frame_ms; // milliseconds taken as radians
    begin_flat_2d(0, 640, 0, 480, Blend::alpha);

    // Each end's y is drawn before its x. Odd r: lower-left quarter to
    // upper-right quarter; even r: a line inside the upper-left quarter.
    glColor4f(1, 1, 1, 0.8f);
    glBegin(GL_LINES);
    for (int line = 0; line < 800; ++line) {
        const bool crossing = next_random() & 1;
        for (int end = 0; end < 2; ++end) {
            const double y_offset = crossing ? end : 1;
            const double x_offset = crossing ? end : 0;
            const float y = static_cast<float>((rand_unit() + y_offset) * 240);
            const float x = static_cast<float>((rand_unit() + x_offset) * 320);
            glVertex2f(x, y);
        }
    }
    glEnd();

    glColor4f(1, 0.4f, 0, 0.25f);
    glBegin(GL_QUADS);
    const double angle = overlay_state.square_angle;
    StormPoints& storm_points = noise_state.storm_points;
    for (int i = 0; i < kStormPointCount; ++i) {
        if (i == kStormPointCount / 2)
            glColor4f(0, 0, 0, 0.1f);
        const double x = storm_points.x[i];
        const double y = storm_points.y[i];
        const double radius = rand_unit() * 32 + 128;
        for (double corner : {angle, angle + kHalfPi, angle + kPi, angle + kThreeHalfPi})
            glVertex2f(static_cast<float>(x + radius * std::cos(corner)),
                       static_cast<float>(y + radius * std::sin(corner)));
    }
    glEnd();

    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, noise_texture_a);
    glColor4f(0, 0, 0, 1);
    glBegin(GL_QUADS);
    for (int i = 0; i < 16; ++i) {
        const float top = 30.0f * i;
        const float bottom = 30.0f * (i + 1);
        random_tex_coord();
        glVertex2f(0, top);
        random_tex_coord();
        glVertex2f(640, top);
        random_tex_coord();
        glVertex2f(640, bottom);
        random_tex_coord();
        glVertex2f(0, bottom);
    }
    glEnd();
    glDisable(GL_TEXTURE_2D);
    end_flat_2d();

    // A quarter of the frames replace the oldest square's centre.
    if ((next_random() & 3) == 3) {
        const float x = static_cast<float>(rand_unit() * 640);
        const float y = static_cast<float>(rand_unit() * 480);
        shift_in_point(storm_points.x, storm_points.y, kStormPointCount, x, y);
    }
    return 0;
}

int draw_crossed_stripes(int, int, int, int, int)
{
    begin_flat_2d(-320, 320, -240, 240);
    glRotatef(static_cast<float>(rand_unit() * 360), 0, 0, 1);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_BLEND);
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1) {
            glRotatef(90, 0, 0, 1);
            glColor4f(0, 0, 0, 0.75f);
        } else {
            glColor4f(1, 1, 1, 0.75f);
        }
        glBegin(GL_QUADS);
        for (int stripe = 0; stripe < 32; ++stripe) {
            const float x0 = static_cast<float>(rand_unit() * 700 - 350);
            const float x1 = static_cast<float>(x0 + rand_unit() * 32);
            glVertex2f(x0, -400);
            glVertex2f(x1, -400);
            glVertex2f(x1, 400);
            glVertex2f(x0, 400);
        }
        glEnd();
    }
    end_flat_2d();
    return 0;
}

int draw_random_storm_overlay(int order, int row, int start_key, int show_ms, int frame_ms)
{
    static constexpr SceneHandler kChoices[] = {draw_crossed_stripes, draw_line_storm,
                                                draw_noise_fan};
    const int choice = advance_switcher(overlay_state.storm_timer, overlay_state.storm_choice,
                                        frame_ms, 3);
    return kChoices[choice](order, row, start_key, show_ms, frame_ms);
}

int draw_random_noise_overlay(int order, int row, int start_key, int show_ms, int frame_ms)
{
    static constexpr SceneHandler kChoices[] = {draw_message_spam, draw_dark_bars,
                                                draw_white_noise_overlay, draw_black_noise_overlay};
    const int choice = advance_switcher(overlay_state.noise_timer, overlay_state.noise_choice,
                                        frame_ms, 4);
    return kChoices[choice](order, row, start_key, show_ms, frame_ms);
}

int draw_fade_out(int, int, int start_key, int, int frame_ms)
{
    // A new timeline entry that lists the fade starts it again from the full picture.
    float level = overlay_state.fade_out_level;
    if (start_key != overlay_state.fade_last_key) {
        overlay_state.fade_last_key = start_key;
        level = 1.0f;
    }
    overlay_state.fade_out_level = std::max(0.0f, static_cast<float>(level - frame_ms * 0.00025));
    draw_veil(overlay_state.fade_out_level);
    return 0;
}

int draw_fade_in(int, int, int, int, int frame_ms)
{
    overlay_state.fade_in_level =
        std::min(1.0f, static_cast<float>(overlay_state.fade_in_level + frame_ms * 0.00025));
    draw_veil(overlay_state.fade_in_level);
    return 0;
}
