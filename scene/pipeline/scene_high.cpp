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
#include <initializer_list>

namespace {
void no_shadow_casters(float) {}

Shader* dr_calc_light_sh = nullptr;

void bind_point_clamp(int stage, Texture* tex) {
    bind_texture(stage, tex);
    set_texture_address(stage, 1);
    set_texture_filter(stage, false);
}

void bind_wrap_linear(int stage, Texture* tex) {
    bind_texture(stage, tex);
    set_texture_address(stage, 0);
    set_texture_filter(stage, true);
}

void set_screen_uv_consts() {
    const float c16[4] = {0.5f, -0.5f, 0.5f + 0.5f / float(d3d_wd), 0.5f + 0.5f / float(d3d_ht)};
    set_vs_consts(16, c16, 1);
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
    using HR = HeightmapRenderer;
    Matrix44 glob;
    get_glob_tm(glob);
    set_render_target(scene_tex, 0, true);
    bind_point_clamp(11, rt_d);
    bind_wrap_linear(0, HR::aper_view_tex);
    bind_wrap_linear(2, HR::color_tex);
    bind_wrap_linear(3, HR::surf_color_tex);
    bind_wrap_linear(4, HR::detail_tex);
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
    scene_pass_done("clear");

    // 3: water keeps the ground's depth underneath, so the lighting sees how deep it is.
    HeightmapRenderer::renderLand();
    scene_pass_done("land");
    scene_render_actor(since_step);
    scene_pass_done("objects");
    set_render_target(nullptr, 2, false);
    HeightmapRenderer::renderWater(t);
    set_render_target(nullptr, 1, false);
    scene_pass_done("water");

    // 4-5
    bind_gbuffer_stages();
    set_wireframe(false);
    set_zenable(false);
    set_zwrite(false);
    set_stencil_replace_bits(0);
    set_stencil_test(255, 0, D3DCMP_NOTEQUAL);

    render_shadow_mask(since_step); // 6, into rt_d
    scene_pass_done("shadow mask");

    // 7 and 10: lighting and fog in one pass, straight into the scene image over the
    // geometry pixels (no round trip through a work target).
    if (use_wireframe) {
        set_render_target(scene_tex, 0, true);
        clear_view_color(WIREFRAME_CLEAR);
    }
    render_deferred_light();
    scene_pass_done("light and fog");

    // 8: horizon with its own stencil bit, only where no geometry is: the lit geometry is
    // already in place and must stay in front.
    set_wireframe(use_wireframe);
    set_zenable(true);
    set_stencil_test(1, 2, D3DCMP_EQUAL);
    set_stencil_replace_bits(2);
    HeightmapRenderer::renderHorizon();
    scene_pass_done("horizon");
    set_wireframe(false);
    set_zenable(false);
    set_stencil_replace_bits(0);

    // 9: sky where nothing was drawn.
    if (!use_wireframe) {
        set_stencil_test(255, 0, D3DCMP_EQUAL);
        render_sky();
        scene_pass_done("sky");
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
    scene_pass_done("extras");
}
