#include "game/camera.h"

#include <cmath>

CameraState camera = {make4f(128.0f, 30.0f, 128.0f, 1.0f), make4f(128.0f, 30.0f, 128.0f, 1.0f)};
vec4f cur_frame_color = {0, 0, 0, 0}, prev_frame_color = {0, 0, 0, 0};
Matrix44 cur_view_tm, cur_view_itm, cur_glob_tm;

namespace {
float lerp(float a, float b, float f) {
    return a + (b - a) * f;
}
constexpr float TWO_PI = 6.2831853071795864f;
} // namespace

void set_camera_pos(const vec4f& pos) {
    camera.pos = pos;
    camera.prev_pos = pos;
}

void begin_camera_update(float dt) {
    camera.prev_pos = camera.pos;
    camera.prev_roll = camera.roll;
    camera.prev_hspeed = camera.hspeed;
    camera.prev_zoom = camera.zoom;
    prev_frame_color = cur_frame_color;
    float k = dt * 0.5f;
    float a = cur_frame_color.w * (1.0f - k) - k;
    cur_frame_color.w = a > 0.0f ? a : 0.0f;
}

float wrap_world_delta(float d) {
    float w = d - 256.0f * truncf(d / 256.0f);
    if (w > 128.0f) w -= 256.0f;
    if (w <= -128.0f) w += 256.0f;
    return w;
}

vec4f interp_camera_pos(float f) {
    const vec4f &p = camera.prev_pos, &c = camera.pos;
    return make4f(p.x + wrap_world_delta(c.x - p.x) * f, lerp(p.y, c.y, f),
                  p.z + wrap_world_delta(c.z - p.z) * f, lerp(p.w, c.w, f));
}

float interp_roll(float f) {
    return lerp(camera.prev_roll, camera.roll, f);
}
float interp_zoom(float f) {
    return lerp(camera.prev_zoom, camera.zoom, f);
}
float interp_hspeed(float f) {
    return lerp(camera.prev_hspeed, camera.hspeed, f);
}

Matrix44 camera_matrix(float f) {
    float sy = sinf(camera.yaw), cy = cosf(camera.yaw);
    float sp = sinf(camera.pitch), cp = cosf(camera.pitch);
    float r = interp_roll(f), sr = sinf(r), cr = cosf(r);
    float right0[3] = {cy, 0.0f, sy};
    float up0[3] = {sy * sp, cp, -cy * sp};
    Matrix44 m;
    for (int i = 0; i < 3; ++i) {
        m.m[0][i] = cr * right0[i] - sr * up0[i];
        m.m[1][i] = sr * right0[i] + cr * up0[i];
    }
    m.m[2][0] = -sy * cp;
    m.m[2][1] = sp;
    m.m[2][2] = cy * cp;
    m.m[0][3] = m.m[1][3] = m.m[2][3] = 0.0f;
    vec4f p = interp_camera_pos(f);
    m.m[3][0] = p.x;
    m.m[3][1] = p.y;
    m.m[3][2] = p.z;
    m.m[3][3] = p.w;
    return m;
}

Matrix44 inverse_camera_matrix(const Matrix44& c) {
    // Orthonormal rotation rows: the inverse rotation is the transpose, and the
    // translation is minus the position expressed in camera axes.
    Matrix44 v;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) v.m[i][j] = c.m[j][i];
        v.m[i][3] = 0.0f;
    }
    for (int j = 0; j < 3; ++j)
        v.m[3][j] = -(c.m[3][0] * c.m[j][0] + c.m[3][1] * c.m[j][1] + c.m[3][2] * c.m[j][2]);
    v.m[3][3] = 1.0f;
    return v;
}

void wrap_yaw_clamp_pitch() {
    if (camera.yaw >= TWO_PI) camera.yaw -= TWO_PI;
    if (camera.yaw <= -TWO_PI) camera.yaw += TWO_PI;
    if (camera.pitch > MAX_PITCH) camera.pitch = MAX_PITCH;
    if (camera.pitch < -MAX_PITCH) camera.pitch = -MAX_PITCH;
}
