#include "scene/pipeline/shadows.h"

#include "platform/log.h"
#include "render/buffers.h"
#include "render/device.h"
#include "render/overlay/debug_vis.h"
#include "render/overlay/dyn_vb_writer.h"
#include "render/shaders.h"
#include "render/vertex_decl.h"
#include "scene/scene_camera.h"
#include "scene/sky.h"

#include <cmath>
#include <cstring>

ShadowTile shadow_tiles[SHADOW_TILES];
DynArray<ShadowBlock> shadow_blocks;
DynArray<int> shadow_next_block;
DynArray<vec4f> shadow_balls;
int shadow_instance_count[4];
int shadow_draw_calls = 0;
Matrix44 shadow_glob_tm;
vec4f shadow_camera_pos;
vec4f shadow_sun_dir;

namespace {
constexpr int VARIANTS[4] = {8, 4, 2, 1};

GpuBuffer* tile_vb = nullptr;
GpuBuffer* tile_ib = nullptr;
VertexDecl* inst_decl[4] = {};
Shader* shadow_sh[4] = {};
float glob_rk[4]; // per clip axis: sum of the absolute x, y, z terms

void compute_rk() {
    for (int j = 0; j < 4; ++j)
        glob_rk[j] = fabsf(shadow_glob_tm.m[0][j]) + fabsf(shadow_glob_tm.m[1][j]) +
                     fabsf(shadow_glob_tm.m[2][j]);
}

void add_to_tile(ShadowTile& t, const vec4f& ball) {
    if (t.last >= 0 && t.count < SHADOW_BLOCK) {
        shadow_blocks[t.last].ball[t.count++] = ball;
        return;
    }
    const int nb = shadow_blocks.num;
    shadow_blocks.push_back(ShadowBlock{}).ball[0] = ball;
    shadow_next_block.push_back(-1);
    if (t.last >= 0) {
        shadow_next_block[t.last] = nb;
        ++t.full;
    } else {
        t.first = nb;
    }
    t.last = nb;
    t.count = 1;
}

int to_tile(float ndc, float scale, int max) {
    float f = floorf((ndc + 1.0f) * scale);
    if (!(f >= 0.0f)) return 0; // NaN too
    return f > float(max) ? max : int(f);
}

void draw_instances(int count, int stride) {
    set_vb(1, common_vb_writer.vb, 0, stride);
    set_instancing(count);
    draw_indexed(PRIM_TRIANGLELIST, 0, 0, 4, 0, 2);
    ++shadow_draw_calls;
}
} // namespace

void reset_shadow_bins(const Matrix44& glob_tm, const vec4f& cam_pos, const vec4f& sun) {
    shadow_glob_tm = glob_tm;
    shadow_camera_pos = cam_pos;
    shadow_sun_dir = sun;
    compute_rk();
    shadow_balls.num = 0;
    shadow_blocks.num = 0;
    shadow_next_block.num = 0;
    for (ShadowTile& t : shadow_tiles) t = ShadowTile{-1, -1, 0, 0};
}

void start_render_shadows() {
    Matrix44 tm;
    get_glob_tm(tm);
    reset_shadow_bins(tm, scene_camera_pos(), cur_sun_dir);
}

void render_shadow_ball(vec4f centre, float radius) {
    shadow_balls.push_back(make4f(centre.x, centre.y, centre.z, radius));
    const float dx = centre.x - shadow_camera_pos.x, dz = centre.z - shadow_camera_pos.z;
    if (dx * dx + dz * dz >= SHADOW_MAX_DIST * SHADOW_MAX_DIST) return;

    // The shadow falls away from the sun: the caster volume is 5r around centre - 3r x sun.
    const float R = 5.0f * radius;
    const float p[3] = {centre.x - 3.0f * radius * shadow_sun_dir.x,
                        centre.y - 3.0f * radius * shadow_sun_dir.y,
                        centre.z - 3.0f * radius * shadow_sun_dir.z};
    const Matrix44& m = shadow_glob_tm;
    float clip[4], ext[4];
    for (int j = 0; j < 4; ++j) {
        clip[j] = p[0] * m.m[0][j] + p[1] * m.m[1][j] + p[2] * m.m[2][j] + m.m[3][j];
        ext[j] = glob_rk[j] * R;
    }
    const float wmax = clip[3] + ext[3];
    if (clip[0] - ext[0] > wmax || clip[0] + ext[0] < -wmax) return;
    if (clip[1] - ext[1] > wmax || clip[1] + ext[1] < -wmax) return;
    if (clip[2] + ext[2] < 0.0f || clip[2] - ext[2] > wmax) return;

    int tx0 = 0, tx1 = SHADOW_TILES_X - 1, ty0 = 0, ty1 = SHADOW_TILES_Y - 1;
    const float wnear = clip[3] - ext[3];
    // A camera inside the caster volume sees it all over the screen.
    if (wnear >= 0.1f) {
        const float inv_w = 1.0f / (clip[3] > 0.1f ? clip[3] : 0.1f);
        const float cx = clip[0] * inv_w, cy = clip[1] * inv_w;
        const float ex = ext[0] / wnear, ey = ext[1] / wnear;
        tx0 = to_tile(cx - ex, 8.0f, SHADOW_TILES_X - 1);
        tx1 = to_tile(cx + ex, 8.0f, SHADOW_TILES_X - 1);
        ty0 = to_tile(cy - ey, 4.5f, SHADOW_TILES_Y - 1);
        ty1 = to_tile(cy + ey, 4.5f, SHADOW_TILES_Y - 1);
    }
    const vec4f ball = make4f(centre.x, centre.y, centre.z, radius);
    for (int ty = ty0; ty <= ty1; ++ty)
        for (int tx = tx0; tx <= tx1; ++tx)
            add_to_tile(shadow_tiles[ty * SHADOW_TILES_X + tx], ball);
}

void init_shadows() {
    close_shadows();
    tile_vb = create_vb(4 * 4, BUF_STATIC);
    tile_ib = create_ib(6, BUF_STATIC);
    if (!tile_vb || !tile_ib) fatal("Can't create shadows VB");
    int16_t* vp = static_cast<int16_t*>(lock_vb(tile_vb, 0, 0));
    ASSERT_TEXT(vp, "vp");
    const int16_t corners[8] = {0, 0, 0, 1, 1, 0, 1, 1};
    memcpy(vp, corners, sizeof(corners));
    unlock_vb(tile_vb);
    uint16_t* ip = static_cast<uint16_t*>(lock_ib(tile_ib, 0, 0));
    ASSERT_TEXT(ip, "ip");
    const uint16_t idx[6] = {0, 1, 2, 2, 1, 3};
    memcpy(ip, idx, sizeof(idx));
    unlock_ib(tile_ib);

    for (int v = 0; v < 4; ++v) {
        const int n = VARIANTS[v];
        VertexElementDesc desc[2 + SHADOW_BLOCK + 1];
        desc[0] = {0, 0, VSD_SHORT2, VSD_POSITION, 0};
        desc[1] = {0, 1, VSD_SHORT2, VSD_POSITION, 1};
        for (int k = 0; k < n; ++k)
            desc[2 + k] = {uint16_t(4 + 16 * k), 1, VSD_FLOAT4, VSD_TEXCOORD, uint8_t(k)};
        desc[2 + n] = VSD_END;
        inst_decl[v] = get_vertex_decl(desc);
        char defines[16] = "NUMVEC\0 0\0";
        defines[8] = char('0' + n);
        shadow_sh[v] = get_shader("dr_shadow.sh", defines);
    }
}

void close_shadows() {
    if (tile_vb) release_vb(tile_vb);
    if (tile_ib) release_ib(tile_ib);
    tile_vb = nullptr;
    tile_ib = nullptr;
    for (int v = 0; v < 4; ++v) {
        if (shadow_sh[v]) release_shader(shadow_sh[v]);
        shadow_sh[v] = nullptr;
        inst_decl[v] = nullptr;
    }
}

void end_render_shadows() {
    shadow_draw_calls = 0;
    for (int& c : shadow_instance_count) c = 0;
    clear_view_color(0xFFFFFFFFu);
    if (!tile_vb) return;
    set_ps_consts(16, &shadow_camera_pos.x, 1);
    set_blend_multiply();
    const float c15[4] = {2.0f / float(SHADOW_TILES_X), 2.0f / float(SHADOW_TILES_Y), -1.0f, -1.0f};
    set_vs_consts(15, c15, 1);
    set_cull_mode(0);
    set_vb(0, tile_vb, 0, 4);
    set_ib(tile_ib);
    DynVBWriter& w = common_vb_writer;
    for (int v = 0; v < 4; ++v) {
        const int n = VARIANTS[v];
        const int stride = 4 + 16 * n;
        int total = 0;
        for_each_shadow_instance(n, [&](int, int, const vec4f*) { ++total; });
        if (total == 0) continue;
        shadow_instance_count[v] = total;
        set_vertex_decl(inst_decl[v]);
        set_shader(shadow_sh[v]);
        w.begin(draw_instances, stride);
        for_each_shadow_instance(n, [&](int col, int row, const vec4f* balls) {
            if (!w.fits(stride)) w.flush(false);
            int16_t cell[2] = {int16_t(col), int16_t(row)};
            memcpy(w.cur, cell, 4);
            memcpy(w.cur + 4, balls, size_t(16 * n));
            w.cur += stride;
            ++w.count;
        });
        w.flush(true);
    }
    set_instancing(0);
    set_vb(1, nullptr, 0, 0);
    set_vb(0, nullptr, 0, 0);
    set_blend_none();
    set_cull_mode(1);
}

void render_shadows_debug() {
    for (const vec4f& b : shadow_balls) {
        const float r = b.w;
        draw_debug_vis_cross_point(make4f(b.x, b.y, b.z, 1.0f), r, 0xFF000000u);
        const vec4f c = make4f(b.x - 3.0f * r * shadow_sun_dir.x, b.y - 3.0f * r * shadow_sun_dir.y,
                               b.z - 3.0f * r * shadow_sun_dir.z, 1.0f);
        draw_debug_vis_cross_point(c, 5.0f * r, 0xFF00FF00u);
    }
}
