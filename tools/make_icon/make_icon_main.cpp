// make_icon: draws the show's block figure, lit as the 3D scenes light it and
// turned a little to show its sides, on the headless backend, and writes it as
// a square RGBA PNG with a transparent background: the desktop icon.
//
//   make_icon OUTPUT.png [SIZE]     (SIZE in pixels, 16..1024, default 256)
//
// The background's transparency is measured rather than guessed: the figure
// is drawn once on black and once on white, and a pixel that keeps its
// colour on both belongs to the figure. No blending or smoothing is on, so a
// pixel is either wholly figure or wholly background.
#include "data/block_data.h"
#include "effects/blocks.h"
#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "platform/recordable.h"
#include "png_file.h"

#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int kIconPose = 0;        // the figure standing, arms out
constexpr float kYawDegrees = 25.0f;
constexpr float kPitchDegrees = 12.0f;
constexpr float kMargin = 2.5f;     // model units between the figure's cells and the edge

// The square around the pose's solid cells, in model units (the model is
// centred on the origin, one unit a cell, rows growing downward in the bitmap).
struct Framing {
    float centre_x, centre_y, half_side;
};

Framing frame_pose(const uint8_t* cells)
{
    int left = kPoseSize, right = -1, top = kPoseSize, bottom = -1;
    for (int i = 0; i < kPoseSize; ++i)
        for (int j = 0; j < kPoseSize; ++j)
            if (cells[i * kPoseSize + j] & kSolidCell) {
                left = j < left ? j : left;
                right = j > right ? j : right;
                top = i < top ? i : top;
                bottom = i > bottom ? i : bottom;
            }
    const float half = kPoseSize / 2.0f;
    const float width = float(right - left + 1), height = float(bottom - top + 1);
    return {float(left) + width / 2 - half, half - (float(top) + height / 2),
            (width > height ? width : height) / 2 + kMargin};
}

std::vector<uint8_t> draw_figure(GLuint model, const Framing& framing, float background)
{
    glClearColor(background, background, background, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(framing.centre_x - framing.half_side, framing.centre_x + framing.half_side,
            framing.centre_y - framing.half_side, framing.centre_y + framing.half_side, -64, 64);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    // A directional light from the viewer's side, as in the 3D scenes.
    const float ambient[4] = {0.2f, 0.2f, 0.2f, 1};
    const float diffuse[4] = {0.7f, 0.7f, 0.7f, 1};
    const float position[4] = {0, 0, 1, 0};
    glLightfv(GL_LIGHT1, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT1, GL_DIFFUSE, diffuse);
    glLightfv(GL_LIGHT1, GL_POSITION, position);
    glEnable(GL_LIGHT1);
    glEnable(GL_LIGHTING);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    glRotatef(kPitchDegrees, 1, 0, 0);
    glRotatef(kYawDegrees, 0, 1, 0);
    glScalef(1.0f, 1.0f, 3.0f); // deeper blocks, so the turned sides read at icon size
    glCallList(model);
    glFinish();
    return platform_read_picture();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: make_icon OUTPUT.png [SIZE]\n");
        return 2;
    }
    int size = 256;
    if (argc == 3) {
        char* end = nullptr;
        const long asked = std::strtol(argv[2], &end, 10);
        if (*argv[2] == '\0' || *end != '\0' || asked < 16 || asked > 1024) {
            std::fprintf(stderr, "make_icon: size must be a whole number of pixels, 16..1024: %s\n",
                         argv[2]);
            return 2;
        }
        size = int(asked);
    }
    if (!platform_create_window(size, size, 0, "make_icon") || !platform_has_gl_context()) {
        std::fprintf(stderr, "make_icon: no headless GL context: %s\n", platform_error());
        return 1;
    }
    const auto& pose = figure_bitmaps[kIconPose];
    const GLuint model = GLuint(build_block_model(kPoseSize, kPoseSize, pose.data(), 0, 1.0f));
    const Framing framing = frame_pose(pose.data());
    const std::vector<uint8_t> on_black = draw_figure(model, framing, 0.0f);
    const std::vector<uint8_t> on_white = draw_figure(model, framing, 1.0f);
    platform_destroy_window();

    std::vector<uint8_t> rgba(size_t(size) * size_t(size) * 4, 0);
    for (size_t p = 0; p < size_t(size) * size_t(size); ++p) {
        if (std::memcmp(&on_black[p * 3], &on_white[p * 3], 3) != 0)
            continue; // background: stays transparent
        std::memcpy(&rgba[p * 4], &on_black[p * 3], 3);
        rgba[p * 4 + 3] = 255;
    }
    if (!write_png_rgba(argv[1], rgba.data(), size, size)) {
        std::fprintf(stderr, "make_icon: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
