// The 3D block scenes: the cue tables, the camera path, the flight's timing
// and the pictures at rest, at the end of a flight and in the ring.
#include "data/block_data.h"
#include "effects/block_scene.h"
#include "effects/blocks.h"
#include "effects/effects.h"
#include "support/gl_test.h"
#include "block_test_support.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

void init_scene_once()
{
    static const bool done = (init_block_font(), init_block_scene(), true);
    (void)done;
}

// One frame of the scene as the main loop would run it.
void scene_frame(int order, int row, int frame_ms)
{
    clear_frame();
    draw_block_scene(order, row, 0, 0, frame_ms);
}

// A palette colour as the scene's light shows a face turned to the viewer:
// global ambient 0.2, light ambient 0.2 and diffuse 0.7, so 1.1 × the colour.
Rgb lit(uint32_t rgb)
{
    auto channel = [](uint32_t c) { return std::min(255, static_cast<int>(std::lround(c * 1.1))); };
    return {channel((rgb >> 16) & 0xFF), channel((rgb >> 8) & 0xFF), channel(rgb & 0xFF)};
}

Rgb lit(float r, float g, float b)
{
    auto channel = [](float c) { return std::min(255, static_cast<int>(std::lround(c * 1.1 * 255))); };
    return {channel(r), channel(g), channel(b)};
}

const Rgb kGreen = lit(0.2f, 0.59f, 0.004f);
const Rgb kLightBlue = lit(0.5f, 0.5f, 1.0f);

// The pixel under the centre of cell (i, j) of the figure, which stands 4
// units above the view's centre; the orthographic view is 40/3 pixels a unit.
Rgb figure_cell_pixel(int i, int j)
{
    const double x = -16 + j + 0.5, y = 16 - i - 0.5 + 4;
    return read_pixel(static_cast<int>(320 + x * 40 / 3), static_cast<int>(240 - y * 40 / 3));
}

// (order, row) showing each pose.
struct PoseCue {
    int order, row, pose;
};
constexpr PoseCue kPoseCues[] = {{0, 4, 0}, {0, 0, 1}, {0, 8, 2}, {2, 9, 3}, {2, 11, 4}};

} // namespace

TEST(BlockSceneCues, CameraMovesOnTheCueRowsOfOrdersOneThreeAndSeven)
{
    for (int order = 0; order <= 10; ++order)
        for (int row = 0; row < 64; ++row) {
            int expected = -1;
            if ((order == 1 || order == 3) && row % 8 == 4 && row <= 28)
                expected = 1;
            if (order == 7 && row == 32)
                expected = 2;
            EXPECT_EQ(camera_move_at(order, row), expected) << order << "/" << row;
        }
}

TEST(BlockSceneCues, PoseFollowsTheRows)
{
    // The table as ranges of rows: first row, pose in orders 2 and 4, pose elsewhere.
    struct Range {
        int first, in_2_and_4, elsewhere;
    };
    const Range ranges[] = {{0, 0, 1},   {4, 0, 0},   {8, 0, 2},   {9, 3, 2},   {11, 4, 2},  {12, 4, 0},
                            {13, 3, 0},  {16, 4, 1},  {18, 3, 1},  {20, 0, 0},  {24, 2, 2},  {28, 0, 0},
                            {32, 1, 1},  {36, 0, 0},  {40, 2, 2},  {44, 0, 0},  {48, 1, 1},  {52, 0, 0},
                            {56, 2, 2},  {60, 0, 0},  {64, 0, 0}};
    for (int order = 0; order <= 10; ++order)
        for (int row = 0; row < 64; ++row) {
            const Range* r = ranges;
            while (r[1].first <= row)
                ++r;
            const int expected = (order == 2 || order == 4) ? r->in_2_and_4 : r->elsewhere;
            EXPECT_EQ(block_model_at(order, row), expected) << order << "/" << row;
        }
    EXPECT_EQ(block_model_at(2, 64), 0);
    EXPECT_EQ(block_model_at(0, -1), 0);
    EXPECT_EQ(block_model_at(0, 1000), 0);
}

TEST(BlockSceneCamera, PathPassesThroughTheKeys)
{
    struct Key {
        double t, eye_x, eye_z, look_z;
    };
    const Key keys[] = {{0, 0, 32, 64}, {0.2, 0, 32, 64}, {0.4, 64, -16, 0}, {0.6, 0, -64, -32},
                        {0.8, -64, -16, -32}, {1, 0, 0, -32}, {-1, 0, 32, 64}, {2, 0, 0, -32}};
    for (const Key& k : keys) {
        const CameraPathPoint p = camera_path_at(k.t);
        EXPECT_NEAR(p.eye_x, k.eye_x, 1e-9) << "t " << k.t;
        EXPECT_NEAR(p.eye_z, k.eye_z, 1e-9) << "t " << k.t;
        EXPECT_NEAR(p.look_z, k.look_z, 1e-9) << "t " << k.t;
    }
    // Between keys the path is the cubic through them: halfway from key 2 to
    // key 3 with keys 1 and 4 as the outer points.
    const double a = 0 - 64 - 0 + 0, b = 0 - 0 - a, c = 64 - 0;
    EXPECT_NEAR(camera_path_at(0.3).eye_x, a / 8 + b / 4 + c / 2, 1e-9);
    // Just short of the end the camera is almost at the origin.
    const CameraPathPoint end = camera_path_at(0.999999);
    EXPECT_NEAR(end.eye_x, 0, 1e-3);
    EXPECT_NEAR(end.eye_z, 0, 1e-3);
}

TEST(BlockSceneCamera, SetCameraLooksFromTheEyeAlongThePath)
{
    ASSERT_TRUE(ensure_gl_context());
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    set_camera_on_path(0.4); // eye (64, 0, -16) looking at (0, 0, 0)
    GLdouble m[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, m);
    auto eye_space = [&](double x, double y, double z, int row) {
        return m[row] * x + m[4 + row] * y + m[8 + row] * z + m[12 + row];
    };
    for (int row = 0; row < 3; ++row)
        EXPECT_NEAR(eye_space(64, 0, -16, row), 0, 1e-4) << "the eye is the origin";
    const double distance = std::sqrt(64.0 * 64 + 16 * 16);
    EXPECT_NEAR(eye_space(0, 0, 0, 2), -distance, 1e-4) << "the target is straight ahead";
    EXPECT_NEAR(eye_space(0, 0, 0, 0), 0, 1e-4);
    EXPECT_NEAR(eye_space(64, 1, -16, 1), 1, 1e-4) << "up is up";
    glLoadIdentity();
}

class BlockSceneFlight : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ensure_gl_context());
        init_scene_once();
        block_scene = BlockSceneState{};
    }
};

TEST_F(BlockSceneFlight, FastFlightWithTwentyMillisecondFrames)
{
    // 20 ms is 0.02 s in single precision, a little over 0.02: the flight moves
    // 0.035 a frame, passes 0.8 on frame 23 and 1 on frame 29.
    int frames = 0, blend_frames = 0, blend_full_at = 0;
    do {
        scene_frame(1, 4, 20);
        ++frames;
        if (block_scene.camera_t > 0.8)
            ++blend_frames;
        if (block_scene.ortho_blend == 1.0f && blend_full_at == 0)
            blend_full_at = blend_frames;
        if (block_scene.camera_move != 0) {
            EXPECT_EQ(block_scene.ortho_blend > 0, block_scene.camera_t > 0.8) << "frame " << frames;
        }
    } while (block_scene.camera_move != 0 && frames < 100);
    EXPECT_EQ(frames, 29);
    EXPECT_EQ(blend_frames, 6);
    EXPECT_EQ(blend_full_at, 5);
    EXPECT_EQ(block_scene.headline_step, 1);
    EXPECT_EQ(block_scene.camera_t, 0);
    EXPECT_EQ(block_scene.ortho_blend, 0);
    for (int k = 0; k < 16; ++k)
        EXPECT_EQ(blocks_state.scene_projection[k], persp_matrix[k]);

    // The cue row seen again does not start another flight.
    scene_frame(1, 4, 20);
    EXPECT_EQ(block_scene.camera_move, 0);
    EXPECT_EQ(block_scene.headline_step, 1);
}

TEST_F(BlockSceneFlight, ProjectionBlendsTowardOrthographicInTheLastFifth)
{
    block_scene.camera_move = 1;
    block_scene.camera_t = 0.85;
    block_scene.scene_last_row = 5;
    scene_frame(1, 5, 20);
    const float blend = block_scene.ortho_blend;
    EXPECT_GT(blend, 0.19f);
    EXPECT_LT(blend, 0.21f);
    for (int k = 0; k < 16; ++k)
        EXPECT_DOUBLE_EQ(blocks_state.scene_projection[k], blend * ortho_delta[k] + persp_matrix[k]);
    GLdouble projection[16];
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    for (int k = 0; k < 16; ++k)
        EXPECT_NEAR(projection[k], blocks_state.scene_projection[k], 1e-6) << "the flight draws with the blend";
}

TEST_F(BlockSceneFlight, NewCueRestartsAFlightAndOtherRowsDoNot)
{
    for (int f = 0; f < 10; ++f)
        scene_frame(1, 4, 20);
    const double t = block_scene.camera_t;
    scene_frame(1, 5, 20); // a new row, but no cue
    EXPECT_NEAR(block_scene.camera_t, t + 0.035, 1e-6);
    scene_frame(1, 12, 20); // the next cue: back to the start
    EXPECT_EQ(block_scene.camera_move, 1);
    EXPECT_NEAR(block_scene.camera_t, 0.035, 1e-6);
    EXPECT_EQ(block_scene.current_model, block_model_at(1, 12));
    scene_frame(7, 32, 20); // a slow cue takes over at a tenth of the speed
    EXPECT_EQ(block_scene.camera_move, 2);
    EXPECT_NEAR(block_scene.camera_t, 0.0035, 1e-6);
    EXPECT_EQ(block_scene.headline_step, 0);
}

TEST_F(BlockSceneFlight, SlowFlightLastsAboutFiveSevenSeconds)
{
    int frames = 0;
    scene_frame(7, 32, 100);
    for (frames = 1; block_scene.camera_move != 0 && frames < 1000; ++frames)
        scene_frame(7, 32, 100);
    EXPECT_EQ(frames, 58); // 0.0175 a frame
    EXPECT_EQ(block_scene.headline_step, 1);
}

TEST_F(BlockSceneFlight, HeadlineRunsThroughTheStepsOfTheShow)
{
    // Orders 1 and 3 cue four fast flights each, order 7 a slow one that
    // lasts into order 8. One frame a row, 120 ms each.
    for (int order = 0; order <= 8; ++order) {
        for (int row = 0; row < 64; ++row)
            draw_block_scene(order, row, 0, 0, 120);
        EXPECT_EQ(block_scene.headline_step, order < 1 ? 0 : order < 3 ? 4 : order < 8 ? 8 : 9) << "order " << order;
    }
}

class BlockScenePictures : public BlockSceneFlight {};

TEST_F(BlockScenePictures, AtRestTheBackdropFillsTheView)
{
    scene_frame(0, 4, 20);
    for (int x : {0, 100, 539, 639}) {
        EXPECT_TRUE(colours_match(read_pixel(x, 0), kLightBlue)) << "x " << x;
        EXPECT_TRUE(colours_match(read_pixel(x, 238), kLightBlue)) << "x " << x;
        EXPECT_TRUE(colours_match(read_pixel(x, 242), kGreen)) << "x " << x;
        EXPECT_TRUE(colours_match(read_pixel(x, 479), kGreen)) << "x " << x;
    }
}

TEST_F(BlockScenePictures, FlatFigureShowsThePosesColours)
{
    for (const PoseCue& cue : kPoseCues) {
        block_scene = BlockSceneState{};
        scene_frame(cue.order, cue.row, 20);
        ASSERT_EQ(block_scene.current_model, cue.pose);
        const PoseBitmap& pose = figure_bitmaps[cue.pose];
        int wrong = 0;
        for (int i = 2; i < 32; ++i) // rows 0 and 1 lie above the view
            for (int j = 0; j < 32; ++j) {
                const uint8_t cell = pose[i * 32 + j];
                const Rgb backdrop = (20 - i - 0.5 > 0) ? kLightBlue : kGreen; // the horizon at world y 0
                const Rgb expected = (cell & kSolidCell) ? lit(block_palette[cell & 7]) : backdrop;
                if (!colours_match(figure_cell_pixel(i, j), expected)) {
                    ++wrong;
                    ADD_FAILURE() << "pose " << cue.pose << " cell " << i << "," << j;
                }
            }
        EXPECT_EQ(wrong, 0);
    }
}

TEST_F(BlockScenePictures, HeadlineStepsAreDrawnOnThePicture)
{
    block_scene.scene_last_row = 4;
    block_scene.headline_step = 1; // "The Quendra" from (-16, 12), 4 units up
    scene_frame(0, 4, 20);
    const Rgb yellow = lit(block_palette[5]);
    // "T": the top row is full, centred on x = -16, y = 16.
    EXPECT_TRUE(colours_match(read_pixel(static_cast<int>(320 - 16 * 40.0 / 3), static_cast<int>(240 - 16.7 * 40 / 3)), yellow));
    block_scene.headline_step = 0;
    scene_frame(0, 4, 20);
    EXPECT_TRUE(colours_match(read_pixel(static_cast<int>(320 - 16 * 40.0 / 3), static_cast<int>(240 - 16.7 * 40 / 3)), kLightBlue));
}

TEST_F(BlockScenePictures, FlightEndsOnThePictureItSnapsBackTo)
{
    for (int step : {0, 3, 8}) {
        for (const PoseCue& cue : {kPoseCues[1], kPoseCues[3]}) {
            // The last frame of a flight, just short of its end, fully orthographic.
            block_scene = BlockSceneState{cue.row, cue.pose, 1, 0.999999, 1.0f, step};
            scene_frame(cue.order, cue.row, 0);
            const std::vector<uint8_t> solid = read_frame();
            scene_frame(cue.order, cue.row, 20);
            ASSERT_EQ(block_scene.camera_move, 0);
            ASSERT_EQ(block_scene.headline_step, step + 1);
            const std::vector<uint8_t> rest = read_frame();
            int differing = 0;
            for (size_t k = 0; k < solid.size(); k += 3) {
                int d = 0;
                for (int c = 0; c < 3; ++c)
                    d = std::max(d, std::abs(solid[k + c] - rest[k + c]));
                differing += d > 4;
            }
            // Edges may fall a pixel apart; nothing else may differ.
            EXPECT_LT(differing, 640 * 480 / 500) << "step " << step << ", pose " << cue.pose;
        }
    }
}

TEST(BlockSceneSpinning, RingTurnsAndRollsAndStaysUnderAFullTurn)
{
    ASSERT_TRUE(ensure_gl_context());
    init_scene_once();
    reset_block_scene_state();
    clear_frame();
    draw_spinning_blocks(0, 0, 0, 0, 0);
    // The first copy stands straight ahead: pose 1's open mouth (dark red) is
    // at the middle of the view.
    EXPECT_TRUE(colours_match(read_pixel(320, 240), lit(block_palette[3])));
    draw_spinning_blocks(0, 0, 0, 0, 1000);
    EXPECT_FLOAT_EQ(block_scene.roll_angle, 60);
    EXPECT_FLOAT_EQ(block_scene.yaw_angle, 180);
    draw_spinning_blocks(0, 0, 0, 0, 1000);
    EXPECT_FLOAT_EQ(block_scene.yaw_angle, 0);
    for (int f = 0; f < 100; ++f) {
        draw_spinning_blocks(0, 0, 0, 0, 1999);
        ASSERT_LT(block_scene.roll_angle, 360);
        ASSERT_LT(block_scene.yaw_angle, 360);
        ASSERT_GE(block_scene.yaw_angle, 0);
    }
}
