// The camera of every game mode: state stepped by the simulation and interpolated
// per frame, with positions wrapped the short way round the 256-unit world.
#pragma once

#include "core/vec4f.h"
#include "render/d3d_types.h"

struct CameraState {
    vec4f pos, prev_pos;
    float yaw = 0, pitch = 0;
    float roll = 0, prev_roll = 0;
    float zoom = 1, prev_zoom = 1;
    float hspeed = 0, prev_hspeed = 0;
    float fwd_tap = 0, back_tap = 0;
    float dash = 0;
    bool mouse_captured = false;
};
extern CameraState camera;

extern vec4f cur_frame_color, prev_frame_color; // frame flash, faded every update
extern Matrix44 cur_view_tm, cur_view_itm, cur_glob_tm;

constexpr float CAMERA_FOV = 1.2915436464758039f; // 74 degrees
constexpr float MAX_PITCH = 1.5707964f;

void set_camera_pos(const vec4f& pos);
// Start of every update: previous values follow the current ones; the flash fades.
void begin_camera_update(float dt);
// Interpolation between the previous and current step; f = time ahead x 20.
vec4f interp_camera_pos(float f);
float interp_roll(float f);
float interp_zoom(float f);
float interp_hspeed(float f);
// Rows right, up, forward, position.
Matrix44 camera_matrix(float f);
Matrix44 inverse_camera_matrix(const Matrix44& cam); // the view matrix
float wrap_world_delta(float d);                     // into (-128, 128]
void wrap_yaw_clamp_pitch();
