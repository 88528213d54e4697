#include "scene/pipeline/scene_high.h"

#include "render/device.h"
#include "render/shaders.h"
#include "render/textures.h"
#include "scene/heightmap_renderer.h"
#include "scene/pipeline/shadows.h"
#include "scene/scene_camera.h"
#include "scene/scene_render.h"
#include "scene/sky.h"

#include <cmath>

namespace {
void no_shadow_casters(float) {}

Shader* dr_calc_light_sh = nullptr;

void bind_point_clamp(int stage, Texture* tex) {
    bind_texture(stage, tex);
    set_texture_address(stage, 1);
    set_texture_filter(stage, false);
}

void set_screen_uv_consts() {
    const float c16[4] = {0.5f, -0.5f, 0.5f + 0.5f / float(d3d_wd), 0.5f + 0.5f / float(d3d_ht)};
    set_vs_consts(16, c16, 1);
}

void set_depth_column() {
    // The view matrix's depth column of the camera rows right, up, forward, position.
    const Matrix44& cam = scene_view_itm;
    const float* f = cam.m[2];
    const float* p = cam.m[3];
    const float k = 1.0f / SCENE_DEPTH_SCALE;
    const float c6[4] = {f[0] * k, f[1] * k, f[2] * k,
                         -(p[0] * f[0] + p[1] * f[1] + p[2] * f[2]) * k};
    set_vs_consts(6, c6, 1);
}
} // namespace

void (*scene_render_actor_shadow)(float) = no_shadow_casters;
int scene_high_fullscreen_passes = 0;

void init_deferred_shaders() {
    close_deferred_shaders();
    dr_calc_light_sh = get_shader("dr_calc_light.sh");
}

void close_deferred_shaders() {
    if (dr_calc_light_sh) release_shader(dr_calc_light_sh);
    dr_calc_light_sh = nullptr;
}

void set_view_ray_consts(const Matrix44& cam, const Matrix44& glob) {
    // The projection's x and y scales are the lengths of the view x projection's first two
    // columns (the view part is a rotation there).
    auto col_len = [&](int j) {
        return sqrtf(glob.m[0][j] * glob.m[0][j] + glob.m[1][j] * glob.m[1][j] +
                     glob.m[2][j] * glob.m[2][j]);
    };
    const float p00 = col_len(0), p11 = col_len(1);
    const float sx = p00 > 0.0f ? SCENE_DEPTH_SCALE / p00 : 0.0f;
    const float sy = p11 > 0.0f ? SCENE_DEPTH_SCALE / p11 : 0.0f;
    float c[12];
    for (int i = 0; i < 3; ++i) {
        c[i] = cam.m[0][i] * sx;
        c[4 + i] = cam.m[1][i] * sy;
        c[8 + i] = cam.m[2][i] * SCENE_DEPTH_SCALE;
    }
    c[3] = c[7] = c[11] = 0.0f;
    set_vs_consts(17, c, 3);
}

void bind_gbuffer_stages() {
    bind_point_clamp(8, rt_a);
    bind_point_clamp(9, rt_b);
    bind_point_clamp(10, rt_c);
    bind_point_clamp(11, nullptr);
}

void render_shadow_mask(float since_step) {
    Matrix44 glob;
    get_glob_tm(glob);
    set_render_target(rt_d, 0, true);
    set_sky_ps_consts();
    set_screen_uv_consts();
    set_view_ray_consts(scene_view_itm, glob);
    start_render_shadows();
    if (use_obj_shadows) scene_render_actor_shadow(since_step);
    end_render_shadows();
    ++scene_high_fullscreen_passes;
}

void render_deferred_light() {
    Matrix44 glob;
    get_glob_tm(glob);
    set_render_target(scene_tex, 0, true);
    bind_point_clamp(11, rt_d);
    set_screen_uv_consts();
    set_view_ray_consts(scene_view_itm, glob);
    set_sky_ps_consts();
    const float c17[4] = {use_fog ? 1.0f : 0.0f, 0.0f, 0.0f, 0.0f};
    set_ps_consts(17, c17, 1);
    set_shader(dr_calc_light_sh);
    draw_postfx();
    ++scene_high_fullscreen_passes;
    bind_texture(11, nullptr);
}

void render_scene_high(float since_step, float t) {
    scene_high_fullscreen_passes = 0;

    // 1-2: G-buffer; every land, water or object pixel gets stencil bit 0. Water writes no
    // depth, and at the land circle's far rim it covers no ground: there the depth must read
    // as far (fully fogged), not as whatever the target held from the last frame.
    set_depth_column();
    set_render_target(rt_c, 0, false);
    clear_view_color(0xFFFFFFFFu);
    set_render_target(rt_a, 0, true);
    set_render_target(rt_b, 1, false);
    set_render_target(rt_c, 2, false);
    set_zenable(true);
    set_zwrite(true);
    set_wireframe(use_wireframe);
    clear_view_z();
    set_stencil_test(255, 1, D3DCMP_ALWAYS);
    set_stencil_replace_bits(1);

    // 3: water keeps the ground's depth underneath, so the lighting sees how deep it is.
    HeightmapRenderer::renderLand();
    scene_render_actor(since_step);
    set_render_target(nullptr, 2, false);
    HeightmapRenderer::renderWater(t);
    set_render_target(nullptr, 1, false);

    // 4-5
    bind_gbuffer_stages();
    set_wireframe(false);
    set_zenable(false);
    set_zwrite(false);
    set_stencil_replace_bits(0);
    set_stencil_test(255, 0, D3DCMP_NOTEQUAL);

    render_shadow_mask(since_step); // 6, into rt_d

    // 7 and 10: lighting and fog in one pass, straight into the scene image over the
    // geometry pixels (no round trip through a work target).
    if (use_wireframe) {
        set_render_target(scene_tex, 0, true);
        clear_view_color(WIREFRAME_CLEAR);
    }
    render_deferred_light();

    // 8: horizon with its own stencil bit, only where no geometry is: the lit geometry is
    // already in place and must stay in front.
    set_wireframe(use_wireframe);
    set_zenable(true);
    set_stencil_test(1, 2, D3DCMP_EQUAL);
    set_stencil_replace_bits(2);
    HeightmapRenderer::renderHorizon();
    set_wireframe(false);
    set_zenable(false);
    set_stencil_replace_bits(0);

    // 9: sky where nothing was drawn.
    if (!use_wireframe) {
        set_stencil_test(255, 0, D3DCMP_EQUAL);
        render_sky();
    }

    set_stencil_test(0, 0, D3DCMP_ALWAYS);
    for (int s = 8; s <= 11; ++s) bind_texture(s, nullptr);

    // 11: forward extras.
    const float c5[4] = {use_fog ? 1.0f : 0.0f, 0.0f, 0.0f, 0.0f};
    set_vs_consts(5, c5, 1);
    set_sky_vs_consts(30);
    set_zenable(true);
    set_zwrite(true);
    set_wireframe(use_wireframe);
    scene_render_debug_vis(since_step);
    scene_render_common_fx(since_step, t);
    set_wireframe(false);
}
