#include "scene/pipeline/postfx.h"

#include "render/device.h"
#include "render/shaders.h"
#include "render/textures.h"
#include "scene/heightmap_renderer.h"
#include "scene/scene_render.h"

#include <utility>

int postfx_main_uses = 0;
int mlaa_passes = 0;

namespace {
Shader* postfx_main_sh = nullptr;
Shader* postfx_plain_sh = nullptr;
Shader* mlaa_edge_sh = nullptr;
Shader* mlaa_runs_first_sh = nullptr;
Shader* mlaa_runs_sh = nullptr;
Shader* mlaa_combine_sh = nullptr;

Shader** const SHADERS[] = {&postfx_main_sh,     &postfx_plain_sh, &mlaa_edge_sh,
                            &mlaa_runs_first_sh, &mlaa_runs_sh,    &mlaa_combine_sh};

// The stencil bit of the pixels along edges; the scene's passes use bits 0 and 1.
constexpr int EDGE_BIT = 4;

// Edge flags the first run pass walks; its square passes the 255 cap of a run.
constexpr int RUN_WALK = 16;

void bind_stage(int stage, Texture* tex, bool wrap) {
    bind_texture(stage, tex);
    set_texture_address(stage, wrap ? 0 : 1);
    set_texture_filter(stage, false);
}

void set_uv_consts() {
    const float c16[4] = {0.5f, -0.5f, 0.5f + 0.5f / float(d3d_wd), 0.5f + 0.5f / float(d3d_ht)};
    set_vs_consts(16, c16, 1);
}

void fullscreen(Shader* sh) {
    set_shader(sh);
    draw_postfx();
    ++mlaa_passes;
}
} // namespace

void init_postfx_high() {
    init_postfx();
    for (Shader** s : SHADERS) {
        if (*s) release_shader(*s);
        *s = nullptr;
    }
    postfx_main_sh = get_shader("postfx_main.sh");
    postfx_plain_sh = get_shader("postfx_none.sh");
    mlaa_edge_sh = get_shader("mlaa_edge.sh");
    mlaa_runs_first_sh = get_shader("mlaa_runs.sh", "FIRST\0 1\0");
    mlaa_runs_sh = get_shader("mlaa_runs.sh");
    mlaa_combine_sh = get_shader("mlaa_combine.sh");
}

void close_postfx_high() {
    for (Shader** s : SHADERS) {
        if (*s) release_shader(*s);
        *s = nullptr;
    }
    close_postfx();
}

void run_mlaa() {
    mlaa_passes = 0;
    const float w = float(d3d_wd), h = float(d3d_ht);
    set_zenable(false);
    set_zwrite(false);
    set_stencil_test(0, 0, D3DCMP_ALWAYS);
    set_blend_none();
    set_color_write_mask(15);
    set_uv_consts();

    // Edges. The scene is finished, so the depth-stencil buffer is free: the edge pass marks
    // the pixels the blend may change (stencil EDGE_BIT), and the later passes shade only
    // those. Pixels the edge pass discards read as "no edge".
    set_render_target(rt_c, 0, true);
    clear_view(0);
    set_stencil_test(EDGE_BIT, EDGE_BIT, D3DCMP_ALWAYS);
    set_stencil_replace_bits(EDGE_BIT);
    bind_stage(0, scene_tex, false);
    const float c17e[4] = {1.0f / w, 1.0f / h, 0.0f, 0.0f};
    set_vs_consts(17, c17e, 1);
    fullscreen(mlaa_edge_sh);
    scene_pass_done("mlaa edges");

    // Runs along rows and columns at once: the first pass walks up to RUN_WALK edge flags,
    // the second hops along that result RUN_WALK - 1 times a = RUN_WALK pixels, which reaches
    // the 255 cap. Two passes instead of sixteen log steps; the runs come out the same.
    const float walk[4] = {0.0f, float(RUN_WALK), 0.0f, 0.0f};
    const float hop[4] = {float(RUN_WALK) / 255.0f, float(RUN_WALK - 1), 0.0f, 0.0f};
    const float steps[4] = {1.0f / w, 1.0f / h, float(RUN_WALK) / w, float(RUN_WALK) / h};
    set_vs_consts(17, steps, 1);
    set_stencil_replace_bits(0);
    set_stencil_test(EDGE_BIT, EDGE_BIT, D3DCMP_EQUAL);
    set_render_target(rt_b, 0, true);
    bind_stage(0, rt_c, false);
    bind_stage(1, nullptr, false);
    set_ps_consts(0, walk, 1);
    fullscreen(mlaa_runs_first_sh);
    scene_pass_done("mlaa runs 1");
    std::swap(rt_b, rt_d);
    set_render_target(rt_b, 0, true);
    bind_stage(1, rt_d, false);
    set_ps_consts(0, hop, 1);
    fullscreen(mlaa_runs_sh);
    scene_pass_done("mlaa runs 2");
    bind_texture(1, nullptr);
    std::swap(rt_b, rt_d);

    // Blend each edge pixel with its neighbours across the reconstructed silhouette; every
    // other pixel is the scene's, copied without a draw.
    copy_texture(rt_b, scene_tex);
    scene_pass_done("mlaa copy");
    set_color_write_mask(15);
    set_render_target(rt_b, 0, true);
    bind_stage(0, scene_tex, false);
    bind_stage(1, rt_c, true);
    bind_stage(2, rt_d, true);
    const float px[4] = {1.0f / w, 1.0f / h, 0.0f, 0.0f};
    set_vs_consts(17, px, 1);
    set_ps_consts(0, px, 1);
    fullscreen(mlaa_combine_sh);
    scene_pass_done("mlaa combine");
    set_stencil_test(0, 0, D3DCMP_ALWAYS);
    for (int s = 0; s < 3; ++s) bind_texture(s, nullptr);
    std::swap(scene_tex, rt_b);
}

void apply_postfx_high() {
    set_wireframe(false);
    if (use_ppaa) run_mlaa();
    set_backbuffer_target();
    set_zenable(false);
    set_zwrite(false);
    set_stencil_test(0, 0, D3DCMP_ALWAYS);
    set_blend_none();
    set_color_write_mask(15);
    // Without the effect the pass would only copy: the copy needs no draw.
    const bool effect = use_postfx && !use_wireframe && HeightmapRenderer::high_quality;
    if (!effect && copy_to_backbuffer(scene_tex)) {
        scene_pass_done("copy to back buffer");
        return;
    }
    bind_stage(0, scene_tex, false);
    set_uv_consts();
    if (effect) {
        const float c0[4] = {1.0f / float(d3d_wd), 1.0f / float(d3d_ht), float(d3d_wd),
                             float(d3d_ht)};
        set_ps_consts(0, c0, 1);
        set_shader(postfx_main_sh);
        ++postfx_main_uses;
    } else {
        set_shader(postfx_plain_sh);
    }
    set_ps_consts(1, &postfx_frame_color.x, 1);
    draw_postfx();
    bind_texture(0, nullptr);
    scene_pass_done(effect ? "screen effect" : "copy to back buffer");
}
