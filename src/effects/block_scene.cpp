// The 3D block scenes, both scene handlers of the show's timeline.
//
// draw_block_scene: a room with a picture on one side (backdrop, flat figure,
// headline) and the solid figure on the other. At rest an orthographic camera
// faces the picture; on cue rows the camera flies round the solid figure and
// arrives facing it while the projection blends to orthographic, then snaps
// back to the picture, which now shows the headline step the solid side
// showed. The figure changes pose with the rows.
//
// draw_spinning_blocks: four copies of the current pose in a ring round the
// viewer, turning and rolling.
//
// Main thread, GL context current. Frame times arrive in whole milliseconds
// and are turned into seconds in single precision; the flight's progress and
// the camera path are carried in double precision.
#include "effects/block_scene.h"

#include "effects/blocks.h"
#include "effects/effects.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <algorithm>
#include <cmath>

BlockSceneState block_scene;

void reset_block_scene_state() { block_scene = BlockSceneState{}; }

namespace {

constexpr int kRowsPerPattern = 64;

// Pose per row, a digit per row, 16 rows a line. In orders 2 and 4 the figure
// stands with its arms down for rows 9-19 and closes its eyes twice.
constexpr char kPosesInOrders2And4[] =
    "0000000003344333"
    "4433000022220000"
    "1111000022220000"
    "1111000022220000";
constexpr char kPosesElsewhere[] =
    "1111000022220000"
    "1111000022220000"
    "1111000022220000"
    "1111000022220000";

// Flights per second: a fast flight takes about 0.57 s, a slow one 5.7 s. In
// the last fifth of a flight ortho_blend grows by the blend speed per second.
constexpr double kFastFlightSpeed = 1.75;
constexpr double kSlowFlightSpeed = 0.175;
constexpr double kFastBlendSpeed = 10;
constexpr double kSlowBlendSpeed = 1;
constexpr double kBlendStart = 0.8;

// Camera path keys; the path runs from key 1 to key 6, keys 0 and 7 shape
// its ends.
constexpr double eye_x_keys[8] = {0, 0, 0, 64, 0, -64, 0, 0};
constexpr double eye_z_keys[8] = {32, 32, 32, -16, -64, -16, 0, 0};
constexpr double look_z_keys[8] = {64, 64, 64, 0, -32, -32, -32, -32};

// A cubic through p1 at f = 0 and p2 at f = 1, shaped by p0 and p3.
double cubic_interpolate(double p0, double p1, double p2, double p3, double f)
{
    const double a = p3 - p2 - p0 + p1;
    const double b = p0 - p1 - a;
    const double c = p2 - p0;
    return a * f * f * f + b * f * f + c * f + p1;
}

// One headline step: a first line, and a second placed relative to the first.
struct HeadlineLine {
    float x, y;
    const char* text; // null: no line
};
struct HeadlineStep {
    HeadlineLine first, second;
};

constexpr HeadlineStep kHeadlineSteps[] = {
    {{-16, 12, "The Quendra"}, {0, 0, nullptr}},
    {{-16, 12, "The Quendra xmas compo"}, {0, 0, nullptr}},
    {{-16, 12, "The Quendra xmas compo"}, {4, -32, "is back"}},
    {{-16, 12, "The Quendra xmas compo"}, {4, -32, "is back again!!"}},
    {{-14, 12, "What bet"}, {0, 0, nullptr}},
    {{-14, 12, "What better gift"}, {0, 0, nullptr}},
    {{-14, 12, "What better gift"}, {-4, -32, "than a demo"}},
    {{-14, 12, "What better gift"}, {-4, -32, "than a demo for xmas?"}},
    {{-20, 12, "The Quendra xmas compo 2004"}, {8, -32, "Enter the compo!"}},
};
constexpr int kHeadlineStepCount = sizeof kHeadlineSteps / sizeof kHeadlineSteps[0];

float seconds_from_ms(int frame_ms)
{
    return static_cast<float>(frame_ms * static_cast<double>(0.001f));
}

void set_lit_3d_state()
{
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
}

// A directional light from the viewer's side; the modelview must be identity.
void set_viewer_light()
{
    static const float ambient[4] = {0.2f, 0.2f, 0.2f, 1};
    static const float diffuse[4] = {0.7f, 0.7f, 0.7f, 1};
    static const float position[4] = {0, 0, 1, 0};
    glEnable(GL_LIGHTING);
    glLightfv(GL_LIGHT1, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT1, GL_DIFFUSE, diffuse);
    glLightfv(GL_LIGHT1, GL_POSITION, position);
    glEnable(GL_LIGHT1);
}

// Moves the flight on by dt seconds; at rest, or once a flight ends, the
// scene is set back to its resting camera and projection.
void advance_flight(BlockSceneState& s, float dt)
{
    if (s.camera_move != 0) {
        const bool fast = s.camera_move == 1;
        s.camera_t += static_cast<double>(dt) * (fast ? kFastFlightSpeed : kSlowFlightSpeed);
        if (s.camera_t >= 1) {
            s.camera_move = 0;
            s.headline_step += 1;
        } else if (s.camera_t > kBlendStart) {
            const double blend = s.ortho_blend + static_cast<double>(dt) * (fast ? kFastBlendSpeed : kSlowBlendSpeed);
            s.ortho_blend = static_cast<float>(std::min(blend, 1.0));
            for (int k = 0; k < 16; ++k)
                blocks_state.scene_projection[k] = s.ortho_blend * ortho_delta[k] + persp_matrix[k];
        }
    }
    if (s.camera_move == 0) {
        s.camera_t = 0;
        s.ortho_blend = 0;
        std::copy(persp_matrix, persp_matrix + 16, blocks_state.scene_projection);
    }
}

// Headline steps 1 to 9 in block letters from the current modelview origin;
// other steps draw nothing. The lines' translations stay on the modelview.
void draw_headline_step(int step, int flat)
{
    if (step < 1 || step > kHeadlineStepCount)
        return;
    const HeadlineStep& h = kHeadlineSteps[step - 1];
    glTranslatef(h.first.x, h.first.y, 0);
    draw_block_text(h.first.text, flat);
    if (h.second.text != nullptr) {
        glTranslatef(h.second.x, h.second.y, 0);
        draw_block_text(h.second.text, flat);
    }
}

// The picture the resting camera faces: backdrop, flat figure, headline.
void draw_picture(const BlockSceneState& s)
{
    glPushMatrix();
    glDisable(GL_DEPTH_TEST);
    glTranslatef(0, 4, 64);
    glRotatef(180, 0, 1, 0);
    glBegin(GL_QUADS);
    glNormal3f(0, 0, 1);
    glColor4f(0.2f, 0.59f, 0.004f, 1); // green lower band
    glVertex3f(-32, -24, 0.5f);
    glVertex3f(32, -24, 0.5f);
    glVertex3f(32, -4, 0.5f);
    glVertex3f(-32, -4, 0.5f);
    glColor4f(0.5f, 0.5f, 1, 1); // light blue upper band
    glVertex3f(-32, -4, 0.5f);
    glVertex3f(32, -4, 0.5f);
    glVertex3f(32, 24, 0.5f);
    glVertex3f(-32, 24, 0.5f);
    glEnd();
    glCallList(static_cast<GLuint>(model_lists_flat[s.current_model]));
    draw_headline_step(s.headline_step, 1);
    glPopMatrix();
}

} // namespace

int camera_move_at(int order, int row)
{
    if ((order == 1 || order == 3) && (row == 4 || row == 12 || row == 20 || row == 28))
        return 1;
    if (order == 7 && row == 32)
        return 2;
    return -1;
}

int block_model_at(int order, int row)
{
    if (row < 0 || row >= kRowsPerPattern)
        return 0;
    const char* poses = (order == 2 || order == 4) ? kPosesInOrders2And4 : kPosesElsewhere;
    return poses[row] - '0';
}

CameraPathPoint camera_path_at(double t)
{
    // Four consecutive keys from key k, k = 0..4 for t in 0..1; t = 1 is the
    // end of the last segment rather than the start of one past the keys.
    const double u = 5 * std::clamp(t, 0.0, 1.0) + 6;
    const int i = std::min(static_cast<int>(std::floor(u)), 10);
    const double f = u - i;
    const int k = i - 6;
    return {
        cubic_interpolate(eye_x_keys[k], eye_x_keys[k + 1], eye_x_keys[k + 2], eye_x_keys[k + 3], f),
        cubic_interpolate(eye_z_keys[k], eye_z_keys[k + 1], eye_z_keys[k + 2], eye_z_keys[k + 3], f),
        cubic_interpolate(look_z_keys[k], look_z_keys[k + 1], look_z_keys[k + 2], look_z_keys[k + 3], f),
    };
}

void set_camera_on_path(double t)
{
    const CameraPathPoint p = camera_path_at(t);
    gluLookAt(p.eye_x, 0, p.eye_z, 0, 0, p.look_z, 0, 1, 0);
}

int draw_block_scene(int order, int row, int, int, int frame_ms)
{
    BlockSceneState& s = block_scene;
    const float dt = seconds_from_ms(frame_ms);
    if (row != s.scene_last_row) {
        s.scene_last_row = row;
        const int move = camera_move_at(order, row);
        if (move > 0) {
            s.camera_move = move;
            s.camera_t = 0;
        }
        s.current_model = block_model_at(order, row);
    }
    advance_flight(s, dt);

    glPushAttrib(GL_ALL_ATTRIB_BITS);
    set_lit_3d_state();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    if (s.camera_move != 0)
        glLoadMatrixd(blocks_state.scene_projection);
    else
        glOrtho(-24, 24, -18, 18, 1, 255);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    set_viewer_light();
    set_camera_on_path(s.camera_t);

    glCallList(static_cast<GLuint>(room_list));
    draw_picture(s);
    // The solid side, a headline step ahead of the picture: the view a flight
    // ends on is the picture the camera snaps back to.
    glEnable(GL_DEPTH_TEST);
    glTranslatef(0, 4, -32);
    glCallList(static_cast<GLuint>(model_lists_full[s.current_model]));
    draw_headline_step(s.headline_step + 1, 0);
    glPopAttrib();
    return 0;
}

int draw_spinning_blocks(int order, int row, int, int, int frame_ms)
{
    BlockSceneState& s = block_scene;
    const float dt = seconds_from_ms(frame_ms);
    const int pose = block_model_at(order, row);
    s.roll_angle = static_cast<float>(s.roll_angle + static_cast<double>(dt) * 60);
    s.yaw_angle = static_cast<float>(s.yaw_angle + static_cast<double>(dt) * 180);
    if (s.roll_angle >= 360)
        s.roll_angle -= 360;
    if (s.yaw_angle >= 360)
        s.yaw_angle -= 360;

    glPushAttrib(GL_ALL_ATTRIB_BITS);
    set_lit_3d_state();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    apply_scene_frustum();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    set_viewer_light();
    glRotatef(s.roll_angle, 0, 0, 1);
    glRotatef(s.yaw_angle, 0, 1, 0);
    for (int extra = 0; extra < 360; extra += 90) {
        glPushMatrix();
        if (extra != 0)
            glRotatef(static_cast<float>(extra), 0, 1, 0);
        glTranslatef(0, 0, -24);
        glCallList(static_cast<GLuint>(model_lists_full[pose]));
        glPopMatrix();
    }
    glPopAttrib();
    return 0;
}
