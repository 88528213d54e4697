#include "scene/scene_render.h"

#include "platform/log.h"
#include "render/device.h"
#include "render/shaders.h"
#include "render/textures.h"
#include "scene/heightmap_renderer.h"
#include "scene/sky.h"

#include <initializer_list>

namespace {
void no_actor(float) {}
void no_fx(float, float) {}

Shader* postfx_none_sh = nullptr;

void set_forward_consts() {
    float c5[4] = {use_fog ? 1.0f : 0.0f, 0.0f, 0.0f, 0.0f};
    set_vs_consts(5, c5, 1);
    set_sky_vs_consts(30);
}

// Forward extras after the sky: debug drawing and particles.
void render_forward_extras(float since_step, float t) {
    set_stencil_test(0, 0, D3DCMP_ALWAYS);
    set_zenable(true);
    set_zwrite(true);
    set_wireframe(use_wireframe);
    scene_render_debug_vis(since_step);
    scene_render_common_fx(since_step, t);
    set_wireframe(false);
}
} // namespace

Texture* scene_tex = nullptr;
Texture *rt_a = nullptr, *rt_b = nullptr, *rt_c = nullptr, *rt_d = nullptr;
bool use_wireframe = false;
vec4f postfx_frame_color = {0, 0, 0, 0};
void (*scene_render_actor)(float) = no_actor;
void (*scene_render_debug_vis)(float) = no_actor;
void (*scene_render_common_fx)(float, float) = no_fx;
void (*scene_show_splash)(const char*, float) = nullptr;

void init_scene_tex() {
    close_scene_tex();
    scene_tex = create_screen_texture();
    if (!scene_tex) fatal("can't create scene image texture");
}

void close_scene_tex() {
    release_texture(scene_tex);
    scene_tex = nullptr;
}

void init_postfx() {
    close_postfx();
    if (scene_show_splash) scene_show_splash("Creating post-effect textures", 0.0f);
    rt_a = create_screen_texture();
    rt_b = create_screen_texture();
    rt_c = create_screen_texture();
    rt_d = create_screen_texture();
    if (!rt_a || !rt_b || !rt_c || !rt_d) fatal("can't create textures for post-effect");
    if (scene_show_splash) scene_show_splash("Compiling post-effect shaders", 0.0f);
    postfx_none_sh = get_shader("postfx_none.sh");
}

void close_postfx() {
    for (Texture** t : {&rt_a, &rt_b, &rt_c, &rt_d}) {
        release_texture(*t);
        *t = nullptr;
    }
    release_shader(postfx_none_sh);
    postfx_none_sh = nullptr;
}

void render_scene_low(float since_step, float t) {
    set_forward_consts();
    set_render_target(scene_tex, 0, true);
    set_zenable(true);
    set_zwrite(true);
    if (use_wireframe) {
        clear_view(WIREFRAME_CLEAR);
        set_wireframe(true);
    } else {
        clear_view_z();
    }
    set_stencil_test(255, 1, D3DCMP_ALWAYS);
    set_stencil_replace_bits(1);

    HeightmapRenderer::renderLand();
    scene_render_actor(since_step);
    HeightmapRenderer::renderWater(t);

    set_stencil_test(0, 0, D3DCMP_ALWAYS);
    set_wireframe(false);
    set_zenable(false);
    set_zwrite(false);
    set_stencil_replace_bits(0);
    if (!use_wireframe) {
        set_stencil_test(255, 0, D3DCMP_EQUAL);
        render_sky();
    }
    render_forward_extras(since_step, t);
    set_stencil_test(0, 0, D3DCMP_ALWAYS);
}

void apply_postfx() {
    set_wireframe(false);
    set_backbuffer_target();
    set_zenable(false);
    set_zwrite(false);
    set_stencil_test(0, 0, D3DCMP_ALWAYS);
    set_blend_none();
    // Only the plain copy exists so far, whatever use_postfx says.
    set_shader(postfx_none_sh);
    bind_texture(0, scene_tex);
    set_texture_address(0, 1);
    set_texture_filter(0, false);
    float c16[4] = {0.5f, -0.5f, 0.5f + 0.5f / float(d3d_wd), 0.5f + 0.5f / float(d3d_ht)};
    set_vs_consts(16, c16, 1);
    set_ps_consts(1, &postfx_frame_color.x, 1);
    draw_postfx();
}
