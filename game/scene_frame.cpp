// The frame callback: the current mode's scene and overlay, then the help, statistics
// and error texts on top.
#include "game/camera.h"
#include "game/game_mode.h"
#include "game/settings.h"
#include "render/device.h"
#include "scene/heightmap_renderer.h"
#include "scene/pipeline/postfx.h"
#include "scene/pipeline/scene_high.h"
#include "scene/scene_camera.h"
#include "scene/scene_render.h"
#include "scene/sky.h"

#include <cmath>

namespace {
constexpr float Z_NEAR = 0.1f, Z_FAR = 512.0f;

vec4f interp_frame_color(float f) {
    const vec4f &p = prev_frame_color, &c = cur_frame_color;
    return make4f(p.x + (c.x - p.x) * f, p.y + (c.y - p.y) * f, p.z + (c.z - p.z) * f,
                  p.w + (c.w - p.w) * f);
}
} // namespace

void render_game_scene(float time, float factor) {
    Matrix44 cam = camera_matrix(factor);
    cur_view_itm = cam;
    cur_view_tm = inverse_camera_matrix(cam);
    set_scene_camera(cam);
    set_view_tm(cur_view_tm);
    float zoom = interp_zoom(factor);
    set_proj_tm(CAMERA_FOV / zoom, float(d3d_wd) / float(d3d_ht > 0 ? d3d_ht : 1), Z_NEAR, Z_FAR);
    get_glob_tm(cur_glob_tm);
    set_vs_consts(0, &cur_glob_tm.m[0][0], 4);
    vec4f pos = interp_camera_pos(factor);
    set_vs_consts(4, &pos.x, 1);
    update_sky(factor);
    HeightmapRenderer::frameUpdate(time);
    postfx_frame_color = interp_frame_color(factor);
    if (gfx_quality == 1)
        render_scene_high(time, factor);
    else
        render_scene_low(time, factor);
    apply_postfx_high();
}

const char* help_text(bool dev_mode) {
    if (dev_mode)
        return "F1: show/hide this\nF9: game/dev mode\nWASD/arrows: move\nShift: move faster\n"
               "F5: toggle post-effect\nF6: toggle anti-aliasing\nRight mouse: set sun position\n"
               "G: generate new world\nH: add water everywhere\nR: erode land\n"
               "Ctrl-M: toggle monsters\nPrintScreen: screenshot\nAlt-Enter: toggle fullscreen\n"
               "Alt-F4: quit\n";
    return "F1: show/hide this\nF9: game/dev mode\nWASD/arrows: move\n"
           "double-tap forward or backward: dash\nSpace/PgUp: move up\nX/C/PgDn: move down\n"
           "hold Ctrl: select spells\nLMB/RMB: fire assigned spell\nCtrl-G: generate new world\n"
           "Ctrl-M: toggle monsters\nCtrl-N: mana cheat\nCtrl-...: other dev-mode keys\n"
           "PrintScreen: screenshot\nAlt-Enter: toggle fullscreen\nAlt-F4: quit\n";
}

void render_game_frame(float time) {
    GameMode* mode = get_game_mode();
    if (mode) mode->render(time);
    set_backbuffer_target();
    if (mode) mode->render_overlay(time);
    draw_game_overlays();
}
