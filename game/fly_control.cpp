// Free flight of the developer mode, player flight with dash and banking, mouse look.
#include "actors/actor_module.h"
#include "game/camera.h"
#include "game/game_mode.h"
#include "platform/input.h"
#include "render/device.h"
#include "render/gpu_load.h"

#include <cmath>

namespace {
constexpr float DEV_FLY_SPEED = 5.55f;
constexpr float DEV_MOUSE_SENS = 0.002f;
constexpr float DEV_FAST = 6.0f;
constexpr float MAX_ZOOM = 8.0f;
constexpr float ZOOM_RATE = 20.0f;
constexpr float PLAY_FLY_SPEED = 8.0f;
constexpr float PLAY_FAST = 2.0f;
constexpr float PLAY_MOUSE_SENS = 0.002f;
constexpr float DOUBLE_TAP = 0.2f;
constexpr float ROLL_GAIN = 0.2f;
constexpr float ROLL_DECAY = 4.0f;

float axis(bool neg, bool pos) {
    return (neg ? -1.0f : 0.0f) + (pos ? 1.0f : 0.0f);
}
bool held(int a, int b = 0, int c = 0) {
    return getKeyState(a) || (b && getKeyState(b)) || (c && getKeyState(c));
}
bool pressed(int a, int b = 0, int c = 0) {
    return keyDown(a) || (b && keyDown(b)) || (c && keyDown(c));
}

void basis(vec4f out[3]) {
    Matrix44 m = camera_matrix(0.0f);
    for (int r = 0; r < 3; ++r) out[r] = make4f(m.m[r][0], m.m[r][1], m.m[r][2], 0.0f);
}

void add_scaled(vec4f& v, const vec4f& d, float k) {
    v.x += d.x * k;
    v.y += d.y * k;
    v.z += d.z * k;
}

// Turns the camera by the mouse's offset from the centre, then puts the cursor back.
void look(float sens, float* dx_out) {
    float mx, my;
    getMousePos(&mx, &my);
    float dx = mx - float(d3d_wd / 2), dy = my - float(d3d_ht / 2);
    camera.yaw -= sens * dx;
    camera.pitch -= sens * dy;
    wrap_yaw_clamp_pitch();
    setMousePos(float(d3d_wd / 2), float(d3d_ht / 2));
    if (dx_out) *dx_out = dx;
}
} // namespace

void dev_free_flight(float dt) {
    if (!isAppActive) return;
    vec4f b[3];
    basis(b);
    float right = axis(held('A', VK_LEFT), held('D', VK_RIGHT));
    float fwd = axis(held('S', VK_DOWN), held('W', VK_UP));
    float up = axis(held('C', 0x22), held('E', 0x21));
    float world_up = axis(held('Z', 0x23), held('Q', 0x24));
    float step = DEV_FLY_SPEED * dt * (getKeyState(VK_SHIFT) ? DEV_FAST : 1.0f);
    add_scaled(camera.pos, b[0], step * right);
    add_scaled(camera.pos, b[1], step * up);
    add_scaled(camera.pos, b[2], step * fwd);
    camera.pos.y += step * world_up;
    if (getKeyState(VK_MBUTTON))
        camera.zoom = fminf(MAX_ZOOM, camera.zoom + ZOOM_RATE * dt);
    else
        camera.zoom = fmaxf(1.0f, camera.zoom - ZOOM_RATE * dt);
}

void player_flight(float dt) {
    camera.fwd_tap = fmaxf(0.0f, camera.fwd_tap - dt);
    camera.back_tap = fmaxf(0.0f, camera.back_tap - dt);
    camera.roll *= fmaxf(0.0f, 1.0f - ROLL_DECAY * dt);
    if (!isAppActive) {
        camera.mouse_captured = false;
        shouldHideMouse = false;
        return;
    }
    vec4f b[3];
    basis(b);
    if (pressed('S', VK_DOWN)) {
        camera.dash = camera.back_tap > 0.0f ? -1.0f : 0.0f;
        camera.back_tap = DOUBLE_TAP;
    }
    if (pressed('W', VK_UP, 'Z')) {
        camera.dash = camera.fwd_tap > 0.0f ? 1.0f : 0.0f;
        camera.fwd_tap = DOUBLE_TAP;
    }
    float side = axis(held('A', VK_LEFT, 'Q'), held('D', VK_RIGHT));
    float fwd = axis(held('S', VK_DOWN), held('W', VK_UP, 'Z')) + camera.dash;
    float vert = axis(held('X', 'C', 0x22), held(VK_SPACE, 0x21));
    float speed = PLAY_FLY_SPEED * dt;
    if (camera.dash != 0.0f || getKeyState(VK_SHIFT)) speed *= PLAY_FAST;
    vec4f dir = make4f(0.0f);
    add_scaled(dir, b[0], side);
    add_scaled(dir, b[2], fwd);
    dir.y += vert;
    float len = sqrtf(dir.x * dir.x + dir.y * dir.y + dir.z * dir.z);
    vec4f vel = len > 0.0f
                    ? make4f(dir.x / len * speed, dir.y / len * speed, dir.z / len * speed, 0.0f)
                    : make4f(0.0f);
    if (local_player) {
        local_player->move(dt, speed, vel, b, camera.dash);
        vec4f eye;
        local_player->eyePosition(eye);
        camera.pos = eye;
    }
    camera.hspeed = sqrtf(vel.x * vel.x + vel.z * vel.z);
}

void dev_mouse_look(float time) {
    if (isMouseOver() && isAppActive) {
        if (camera.mouse_captured) {
            float zoom = interp_zoom(time * 20.0f);
            look(DEV_MOUSE_SENS / zoom, nullptr);
        } else {
            setMousePos(float(d3d_wd / 2), float(d3d_ht / 2));
        }
        camera.mouse_captured = true;
    } else {
        camera.mouse_captured = false;
    }
    shouldHideMouse = camera.mouse_captured;
}

void play_mouse_look(float time) {
    if (!(isMouseOver() && isAppActive)) {
        shouldHideMouse = false;
        camera.mouse_captured = false;
        return;
    }
    if (actor_module.update_spells_ui_mouse(&play_game_mode, time)) {
        camera.mouse_captured = false;
        return;
    }
    if (camera.mouse_captured) {
        float dx = 0;
        look(PLAY_MOUSE_SENS, &dx);
        camera.roll += PLAY_MOUSE_SENS * dx * interp_hspeed(time * 20.0f) * ROLL_GAIN;
    } else {
        setMousePos(float(d3d_wd / 2), float(d3d_ht / 2));
    }
    camera.mouse_captured = true;
    shouldHideMouse = true;
}
