// The 3D block scenes: the room with the picture and the solid figure, whose
// camera flies on cue rows, and the spinning ring of figures (see
// block_scene.cpp). The scene handlers themselves are declared in effects.h.
#pragma once

// The family's state; lives for the whole run and moves only on calls.
struct BlockSceneState {
    // draw_block_scene
    int scene_last_row = -1;  // row seen on the previous call
    int current_model = 0;    // pose shown, 0..4
    int camera_move = 0;      // 0 at rest, 1 fast flight, 2 slow flight
    double camera_t = 0;      // progress of the flight, 0..1
    float ortho_blend = 0;    // flight projection: 0 perspective .. 1 orthographic
    int headline_step = 0;    // flights finished so far; selects the headline
    // draw_spinning_blocks, in degrees, each kept below 360
    float roll_angle = 0;     // about the view axis, 60° a second
    float yaw_angle = 0;      // about the vertical, 180° a second
};
extern BlockSceneState block_scene;

// Puts the scenes at rest, as at the start of a run.
void reset_block_scene_state();

// Cue tables keyed by music position. camera_move_at: 1 starts a fast flight,
// 2 a slow one, -1 is no cue. block_model_at: the pose, 0..4, for the row.
int camera_move_at(int order, int row);
int block_model_at(int order, int row);

// A point of the camera path: the eye at (eye_x, 0, eye_z) looking at
// (0, 0, look_z), up along +y.
struct CameraPathPoint {
    double eye_x, eye_z, look_z;
};

// The camera path at t, 0..1 (clamped): from (0, 0, 32) facing the picture
// round the solid figure to (0, 0, 0) facing it.
CameraPathPoint camera_path_at(double t);

// Multiplies the current matrix by the camera of camera_path_at(t).
void set_camera_on_path(double t);
