#include "game/game_mode.h"

#include "actors/actor_module.h"
#include "fx/fx_script.h"
#include "fx/particles.h"
#include "game/camera.h"
#include "game/main_loop.h"
#include "game/screenshot.h"
#include "game/settings.h"
#include "platform/input.h"
#include "scene/heightmap_renderer.h"
#include "scene/sky.h"
#include "world/erosion.h"
#include "world/heightmap.h"
#include "world/world_gen_script.h"

#include <cmath>

PlayGameMode play_game_mode;
DevGameMode dev_game_mode;
GameMenuMode game_menu_mode;
GameMode* const game_modes[3] = {&play_game_mode, &dev_game_mode, &game_menu_mode};

namespace {
GameMode* current_mode = nullptr;
bool new_world_requested = false;

// --fx=NAME[/N]: the effect 14 units ahead of the camera every N steps, to look at it.
void spawn_automation_fx() {
    static int steps = 0;
    if (!automation.fx_name[0] || steps++ % automation.fx_every != 0) return;
    const Matrix44& c = cur_view_itm;
    const vec4f at = make4f(c.m[3][0] + c.m[2][0] * 14.0f, c.m[3][1] + c.m[2][1] * 14.0f,
                            c.m[3][2] + c.m[2][2] * 14.0f, 1.0f);
    call_fx_script(automation.fx_name, at, make4f(0.0f, 1.0f, 0.0f, 0.0f), make4f(0.0f), 1.0f);
}

// The simulation shared by the flying modes, after their flight and keys.
void step_world(float dt) {
    HeightmapRenderer::stepUpdate(dt);
    HeightmapData::updateHmap(dt);
    HeightmapData::simWater(dt);
    update_fx_script(dt);
    update_common_fx(dt);
    spawn_automation_fx();
    actor_module.update_actor(dt);
    // Not inside update_actor: a new world destroys the objects it is walking.
    if (new_world_requested) {
        new_world_requested = false;
        generate_world();
    }
}
} // namespace

void request_new_world() {
    new_world_requested = true;
}

void set_view_direction(const vec4f& dir) {
    float len = sqrtf(dir.x * dir.x + dir.y * dir.y + dir.z * dir.z);
    if (!(len > 0.0f)) return;
    camera.pitch = asinf(fmaxf(-1.0f, fminf(1.0f, dir.y / len)));
    camera.yaw = atan2f(-dir.x, dir.z);
    wrap_yaw_clamp_pitch();
}

GameMode* get_game_mode() {
    return current_mode;
}

void set_game_mode(GameMode* mode) {
    if (mode == current_mode) return;
    GameMode* old = current_mode;
    if (old) old->leave(mode);
    current_mode = mode;
    if (mode) mode->enter(old);
}

void reset_fly_control() {
    camera.zoom = 1.0f;
    camera.fwd_tap = camera.back_tap = 0.0f;
    camera.dash = 0.0f;
    camera.hspeed = camera.prev_hspeed = 0.0f;
    if (local_player) local_player->setPosition(camera.pos);
    camera.mouse_captured = false;
}

void run_global_keys() {
    if (!isAppActive) return;
    if (keyUp(VK_SNAPSHOT)) take_screenshot();
    if (keyDown(VK_F1)) show_fps = !show_fps;
    if (keyDown(VK_F5)) {
        if (getKeyState(VK_SHIFT))
            land_shadow_quality = (land_shadow_quality + 1) % 3;
        else
            use_postfx = !use_postfx;
    }
    if (keyDown(VK_F6)) use_ppaa = !use_ppaa;
    if (keyDown(VK_F9))
        set_game_mode(current_mode == &dev_game_mode ? static_cast<GameMode*>(&play_game_mode)
                                                     : &dev_game_mode);
    if (keyDown(VK_ESCAPE)) set_game_mode(&game_menu_mode);
}

void erode_land() {
    HeightmapData::ErosionParams p;
    p.Kq = 0.1f;
    p.Kw = 0.001f;
    p.Kr = 0.9f;
    p.Kd = 0.9f;
    p.Ki = 0.1f;
    p.minSlope = 0.05f;
    p.g = 20.0f;
    p.depositBlend = 2.0f;
    p.reactionTime = 100.0f;
    HeightmapData::genDropletErosion(92160, p);
    // The land morphs from the old shape to the eroded one.
    for (int i = 0; i < HMAP_CELLS; ++i) {
        float t = HeightmapData::hmap[i];
        HeightmapData::hmap[i] = HeightmapData::target_hmap[i];
        HeightmapData::target_hmap[i] = t;
    }
    HeightmapRenderer::markDirty();
    reset_update_time();
}

void run_dev_keys(bool dev_mode) {
    if (!isAppActive) return;
    bool ctrl = getKeyState(VK_CONTROL);
    if (!dev_mode && !ctrl) return;
    if (keyDown('G')) generate_world();
    if (keyDown('H')) HeightmapData::addWater(1.0f);
    if (keyDown('R')) erode_land();
    if (ctrl && keyDown('M')) actor_module.toggle_monster_spawn();
    if (ctrl && keyDown('N')) actor_module.toggle_mana_cheat();
}

// ---------------------------------------------------------------- modes

void DevGameMode::enter(GameMode*) {
    camera.roll = 0.0f;
    camera.mouse_captured = false;
}

void DevGameMode::update(float dt) {
    begin_camera_update(dt);
    dev_free_flight(dt);
    cur_view_itm = camera_matrix(0.0f);
    run_global_keys();
    run_dev_keys(true);
    step_sky();
    if (isAppActive && getKeyState(VK_RBUTTON)) {
        Matrix44 cam = camera_matrix(0.0f);
        set_sky_sun(true, make4f(cam.m[2][0], cam.m[2][1], cam.m[2][2], 0.0f));
    }
    step_world(dt);
}

void DevGameMode::render(float time) {
    dev_mouse_look(time);
    render_game_scene(time, time * 20.0f);
}

void PlayGameMode::enter(GameMode*) {
    reset_fly_control();
}

void PlayGameMode::update(float dt) {
    begin_camera_update(dt);
    player_flight(dt);
    cur_view_itm = camera_matrix(0.0f);
    run_global_keys();
    run_dev_keys(false);
    step_sky();
    step_world(dt);
    actor_module.update_spells_ui(dt);
}

void PlayGameMode::render(float time) {
    play_mouse_look(time);
    render_game_scene(time, time * 20.0f);
}

void PlayGameMode::render_overlay(float time) {
    actor_module.draw_spells_ui(this, time);
}

void GameMenuMode::enter(GameMode* prev) {
    return_mode = prev;
    actor_module.open_game_menu(this);
}

void GameMenuMode::leave(GameMode*) {
    actor_module.close_game_menu(this);
}

void GameMenuMode::update(float dt) {
    begin_camera_update(dt);
    run_global_keys();
    cur_view_itm = camera_matrix(0.0f);
    actor_module.update_game_menu(dt);
    HeightmapRenderer::markDirty();
    // Without a module there is no menu to close it: Escape goes back.
    if (!is_actor_module_bound() && isAppActive && keyDown(VK_ESCAPE) && return_mode)
        should_close_game_menu = true;
    if (should_close_game_menu) {
        should_close_game_menu = false;
        set_game_mode(return_mode);
    }
}

void GameMenuMode::render(float time) {
    render_game_scene(time, 1.0f);
}

void GameMenuMode::render_overlay(float time) {
    actor_module.draw_game_menu(this, time);
}
