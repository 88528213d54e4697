#include "scene/scene_render.h"

#include "platform/log.h"
#include "render/buffers.h"
#include "render/device.h"
#include "render/shaders.h"
#include "render/textures.h"
#include "render/vertex_decl.h"
#include "scene/heightmap_renderer.h"
#include "scene/land_tiles.h"
#include "scene/scene_camera.h"
#include "scene/sky.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <vector>

namespace {
void no_actor(float) {}
void no_fx(float, float) {}
void no_pass(const char*) {}

Shader* postfx_none_sh = nullptr;
Shader* land_screen_sh = nullptr; // "land.sh" with SCREEN, made on the first low frame
// Quads over the screen tiles that may show land, rebuilt every low frame.
GpuBuffer* land_tile_vb = nullptr;
int land_tile_vb_quads = 0;
std::vector<uint8_t> land_tiles;

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
void (*scene_pass_done)(const char*) = no_pass;
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
    for (Shader** s : {&postfx_none_sh, &land_screen_sh}) {
        if (*s) release_shader(*s);
        *s = nullptr;
    }
    if (land_tile_vb) release_vb(land_tile_vb);
    land_tile_vb = nullptr;
    land_tile_vb_quads = 0;
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

namespace {
// Stencil bit of the land's pixels (bit 0 marks all geometry).
constexpr int LAND_BIT = 8;

void bind_point_clamp(int stage, Texture* tex) {
    bind_texture(stage, tex);
    set_texture_address(stage, 1);
    set_texture_filter(stage, false);
}

// Draws quads over the runs of screen tiles that may show land (the whole screen when the
// buffer for them is missing).
void draw_land_tiles(const Matrix44& glob) {
    using HR = HeightmapRenderer;
    const int tx = land_tiles_x(d3d_wd), ty = land_tiles_y(d3d_ht);
    // A row holds at most every other tile as a run of its own.
    const int max_quads = ty * (tx + 1) / 2;
    if (land_tile_vb_quads != max_quads) {
        if (land_tile_vb) release_vb(land_tile_vb);
        land_tile_vb = create_vb(max_quads * 6 * 12, 0);
        land_tile_vb_quads = land_tile_vb ? max_quads : 0;
        land_tiles.assign(size_t(tx) * size_t(ty), 0);
    }
    float* v = land_tile_vb ? static_cast<float*>(lock_vb(land_tile_vb, 0, 0)) : nullptr;
    if (!v) {
        draw_postfx();
        return;
    }
    mark_land_tiles(glob, d3d_wd, d3d_ht, HR::curh, HR::win_ox, HR::win_oz, land_tiles.data());
    int quads = 0;
    const float sx = 2.0f * LAND_TILE_PIXELS / float(d3d_wd);
    const float sy = 2.0f * LAND_TILE_PIXELS / float(d3d_ht);
    for (int r = 0; r < ty; ++r)
        for (int c = 0; c < tx;) {
            if (!land_tiles[size_t(r * tx + c)]) {
                ++c;
                continue;
            }
            int e = c;
            while (e < tx && land_tiles[size_t(r * tx + e)]) ++e;
            const float x0 = float(c) * sx - 1.0f, x1 = std::min(float(e) * sx - 1.0f, 1.0f);
            const float y0 = 1.0f - float(r) * sy, y1 = std::max(1.0f - float(r + 1) * sy, -1.0f);
            const float q[6][2] = {{x0, y0}, {x1, y0}, {x0, y1}, {x0, y1}, {x1, y0}, {x1, y1}};
            for (const auto& p : q) *v++ = p[0], *v++ = p[1], *v++ = 0.0f;
            ++quads;
            c = e;
        }
    unlock_vb(land_tile_vb);
    if (quads == 0) return;
    static const VertexElementDesc decl[] = {{0, 0, VSD_FLOAT3, VSD_POSITION, 0}, VSD_END};
    set_vertex_decl(get_vertex_decl(decl));
    set_vb(0, land_tile_vb, 0, 12);
    set_cull_mode(0);
    draw_prim(PRIM_TRIANGLELIST, 0, quads * 2);
    set_cull_mode(1);
    set_vb(0, nullptr, 0, 0);
}

// Shades the land's pixels once each from the depth its mesh left in rt_a (see land.sh);
// stages 1 to 4 as renderLand left them.
void shade_land() {
    if (!land_screen_sh) land_screen_sh = get_shader("land.sh", "SCREEN\0 1\0");
    Matrix44 glob;
    get_glob_tm(glob);
    set_render_target(scene_tex, 0, true);
    set_wireframe(false);
    set_zenable(false);
    set_zwrite(false);
    set_stencil_test(LAND_BIT, LAND_BIT, D3DCMP_EQUAL);
    bind_point_clamp(10, rt_a);
    bind_texture(5, HeightmapRenderer::norm_tex[1]); // the mesh's draw unbinds it
    set_texture_address(5, 0);
    set_texture_filter(5, true);
    // c16 keeps renderLand's map coordinates, which the shader reads.
    const float c20[4] = {0.5f, -0.5f, 0.5f + 0.5f / float(d3d_wd), 0.5f + 0.5f / float(d3d_ht)};
    set_vs_consts(20, c20, 1);
    set_view_ray_consts(scene_view_itm, glob);
    const float c17[4] = {use_fog ? 1.0f : 0.0f, 0.0f, 0.0f, 0.0f};
    set_ps_consts(17, c17, 1);
    set_shader(land_screen_sh);
    draw_land_tiles(glob);
    for (int s : {5, 10}) bind_texture(s, nullptr);
}
} // namespace

void render_scene_low(float since_step, float t) {
    set_forward_consts();
    set_depth_column();
    // The land's depth into rt_a first; the scene image is cleared (wireframe) or fully
    // drawn over (land, sky) afterwards.
    set_render_target(rt_a, 0, true);
    set_zenable(true);
    set_zwrite(true);
    clear_view_z();
    set_wireframe(use_wireframe);
    set_stencil_test(255, 1 | LAND_BIT, D3DCMP_ALWAYS);
    set_stencil_replace_bits(1 | LAND_BIT);
    HeightmapRenderer::renderLand();
    scene_pass_done("land");
    set_render_target(scene_tex, 0, true);
    if (use_wireframe) clear_view_color(WIREFRAME_CLEAR);
    shade_land();
    scene_pass_done("land shading");

    // Objects and water over the shaded land; the sky goes where nothing is.
    set_zenable(true);
    set_zwrite(true);
    set_wireframe(use_wireframe);
    set_stencil_test(255, 1, D3DCMP_ALWAYS);
    scene_render_actor(since_step);
    scene_pass_done("objects");
    HeightmapRenderer::renderWater(t);
    scene_pass_done("water");

    set_stencil_test(0, 0, D3DCMP_ALWAYS);
    set_wireframe(false);
    set_zenable(false);
    set_zwrite(false);
    set_stencil_replace_bits(0);
    if (!use_wireframe) {
        set_stencil_test(255, 0, D3DCMP_EQUAL);
        render_sky();
        scene_pass_done("sky");
    }
    render_forward_extras(since_step, t);
    set_stencil_test(0, 0, D3DCMP_ALWAYS);
    scene_pass_done("extras");
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
