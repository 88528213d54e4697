#include "scene/heightmap_renderer.h"

#include "platform/log.h"
#include "render/buffers.h"
#include "render/device.h"
#include "render/shaders.h"
#include "render/textures.h"
#include "render/vertex_decl.h"
#include "scene/scene_camera.h"
#include "scene/scene_render.h"
#include "scene/sky.h"
#include "world/rnd.h"

#include <cmath>
#include <cstring>
#include <initializer_list>

using namespace HeightmapData;

namespace {

void no_building(const Surface*, int, int) {}

#pragma pack(push, 1)
struct GridVertex {
    int16_t x, z;
    float h;
};
struct PatchInstance {
    int16_t x, z;
    float h[4];
};
struct WaterVertexHigh {
    int16_t x, z;
    float level;
    float uv[4];
    float foam;
};
struct WaterVertexLow {
    int16_t x, z;
    float level;
    float foam;
};
#pragma pack(pop)
static_assert(sizeof(GridVertex) == 8 && sizeof(PatchInstance) == 20);
static_assert(sizeof(WaterVertexHigh) == 28 && sizeof(WaterVertexLow) == 12);

constexpr int NEAR_FIRST = 95, NEAR_LAST = 158;
constexpr float WET_DEPTH = 0.1f;
constexpr uint64_t UV_RND_START = 12345; // every run's ripples start alike

// Columns [j0, j1] of window row k inside the land circle (j1 < j0: none).
struct CircleRows {
    int j0[255], j1[255];
    CircleRows() {
        for (int k = 0; k < 255; ++k) {
            j0[k] = 255;
            j1[k] = -1;
            for (int j = 0; j < 255; ++j) {
                int a = 2 * k - 255, b = 2 * j - 255;
                if (a * a + b * b > 67600) continue;
                if (j < j0[k]) j0[k] = j;
                j1[k] = j;
            }
        }
    }
};
const CircleRows circle;

// Per map cell: wet in either step state.
alignas(64) uint8_t wet[HMAP_CELLS];

// Window blocks of 8 x 8 cells that may show on screen, [k >> 3][j >> 3]. Vertex work on
// the CPU rasteriser is paid for every triangle sent, seen or not.
constexpr int BLOCK_SHIFT = 3, BLOCKS = HMAP_SIZE >> BLOCK_SHIFT;
uint8_t block_vis[BLOCKS][BLOCKS];
// Blocks drawn with quads of 2 x 2 cells (see chooseLevels). Blocks that may be: wholly in
// the land circle, clear of the near block and of the window's last row and column.
uint8_t block_coarse[BLOCKS][BLOCKS];
// Blocks whose near cells are drawn as plain quads: a patch's 32 triangles only pay where a
// cell covers many pixels (its edges are straight, so it meets plain quads without gaps).
uint8_t block_plain[BLOCKS][BLOCKS];
struct CoarseCandidates {
    uint8_t ok[BLOCKS][BLOCKS];
    CoarseCandidates() {
        for (int a = 0; a < BLOCKS; ++a)
            for (int b = 0; b < BLOCKS; ++b) {
                const int k0 = a << BLOCK_SHIFT, j0 = b << BLOCK_SHIFT, n = 1 << BLOCK_SHIFT;
                bool in = k0 + n <= 255 && j0 + n <= 255;
                for (int k = k0; in && k < k0 + n; ++k)
                    in = circle.j0[k] <= j0 && circle.j1[k] >= j0 + n - 1;
                const bool near = k0 + n > NEAR_FIRST && k0 <= NEAR_LAST && j0 + n > NEAR_FIRST &&
                                  j0 <= NEAR_LAST;
                ok[a][b] = in && !near;
            }
    }
};
const CoarseCandidates coarse_candidates;

// The horizon ring's index buffer runs block by block (16 x 16 quads), so that the blocks
// in view can be drawn as a few ranges: first quad of each block, and the end.
constexpr int HBLOCK = 16, HBLOCKS = (HORIZON_SIZE - 1 + HBLOCK - 1) / HBLOCK;
int hblock_first[HBLOCKS * HBLOCKS + 1];
uint8_t hblock_vis[HBLOCKS * HBLOCKS];

// True when the box lies wholly on the outer side of one plane of the view volume
// (clip x and y within +-w, depth 0..w).
bool box_outside(const Matrix44& m, float x0, float x1, float y0, float y1, float z0, float z1) {
    int out[5] = {};
    for (int c = 0; c < 8; ++c) {
        const float x = c & 1 ? x1 : x0, y = c & 2 ? y1 : y0, z = c & 4 ? z1 : z0;
        float p[4];
        for (int i = 0; i < 4; ++i)
            p[i] = x * m.m[0][i] + y * m.m[1][i] + z * m.m[2][i] + m.m[3][i];
        out[0] += p[0] < -p[3];
        out[1] += p[0] > p[3];
        out[2] += p[1] < -p[3];
        out[3] += p[1] > p[3];
        out[4] += p[2] > p[3] || p[3] <= 0.0f;
    }
    for (int n : out)
        if (n == 8) return true;
    return false;
}

VertexDecl *grid_decl, *patch_decl, *water_decl;
Shader *land_sh, *land_inst_sh, *water_sh, *norm_sh, *interp_sh, *horizon_sh;
Shader* aper_sh[3];
// Low path: the normal pass, with the sky visibility carried over (norm_sh) or computed
// (vis_sh), from the gradient map grad_tex, which the high path's land reads directly.
Shader *grad_sh, *vis_sh;
Texture* grad_tex;
GpuBuffer *patch_vb, *patch_ib, *inst_vb, *land_vb, *land_ib, *horizon_vb, *horizon_ib, *water_vb,
    *water_ib;

inline float mixf(float a, float b, float t) {
    return a + (b - a) * t;
}

void set_pass_states() {
    set_zenable(false);
    set_zwrite(false);
    set_stencil_test(0, 0, D3DCMP_ALWAYS);
    set_blend_none();
    set_cull_mode(0);
}

void check_region(int x0, int z0, int nx, int nz) {
    ASSERT_TEXT(nx > 0 && nz > 0, "nx>0 && nz>0");
    ASSERT_TEXT(x0 >= 0 && z0 >= 0 && x0 + nx <= HMAP_SIZE && z0 + nz <= HMAP_SIZE,
                "x0>=0 && z0>=0 && x0+nx<=HMAP_SIZE && z0+nz<=HMAP_SIZE");
}

// The interpolated pairs hold nothing yet (a new renderer).
bool maps_unfilled = true;
// markDirty since the last rebuild: the sky visibility is recomputed whole.
bool world_changed = true;
// Aperture variant of the current map (-1: none yet); a new one is recomputed whole.
int aper_quality = -1;

int clamped_aper_quality() {
    return land_shadow_quality < 0 ? 0 : (land_shadow_quality > 2 ? 2 : land_shadow_quality);
}

// What height_tex, color_tex and surf_color_tex hold per cell, so that an upload draws only
// the cells that changed: between world changes the colours never do, and the heights only
// where water moves. Invalid after creation and after a device reset.
float tex_height[HMAP_CELLS];
uint32_t tex_color[HMAP_CELLS], tex_surf_color[HMAP_CELLS];
bool heights_known = false, colors_known = false;
int known_reset_count = 0; // d3d_reset_count they were known at

void forget_lost_uploads() {
    if (known_reset_count == d3d_reset_count) return;
    heights_known = colors_known = false;
    known_reset_count = d3d_reset_count;
}
// Step fraction the aperture view map was last interpolated with (negative: never).
float view_t = -1.0f;
// This frame's step fraction, with which the land and water shaders blend the normal maps.
float frame_t = 0.0f;

// Staging for map uploads: one texel per cell of the region, rows packed.
alignas(64) unsigned char upload_texels[HMAP_CELLS * 4];

// Writes value(cell index) of every cell in the region into the texture's matching texels
// (texel (x, z) is cell (x, z)) as one upload, not a point drawn per cell, and only when a
// cell differs from known[] (or !valid); known[] then holds the region's values.
template <typename T, typename F>
void upload_changed(Texture* target, int x0, int z0, int nx, int nz, T* known, bool valid,
                    F value) {
    static_assert(sizeof(T) == 4);
    bool changed = !valid;
    unsigned char* out = upload_texels;
    for (int z = z0; z < z0 + nz; ++z)
        for (int x = x0; x < x0 + nx; ++x, out += 4) {
            const int i = hm_index(x, z);
            const T v = value(i);
            memcpy(out, &v, 4);
            if (valid && v == known[i]) continue;
            known[i] = v;
            changed = true;
        }
    if (changed) write_texture_rect(target, 0, x0, z0, nx, nz, upload_texels);
}

void set_region_consts(int x0, int z0, int nx, int nz) {
    float c16[4] = {float(nx) / 256.0f, float(nz) / 256.0f, float(2 * x0 - 256 + nx) / 256.0f,
                    -float(2 * z0 - 256 + nz) / 256.0f};
    float c17[4] = {0.5f, -0.5f, 0.5f + 0.5f / 256.0f, 0.5f + 0.5f / 256.0f};
    float p0[4] = {1.0f / 256.0f, 1.0f / 256.0f, 0.0f, 0.0f};
    set_vs_consts(16, c16, 1);
    set_vs_consts(17, c17, 1);
    set_ps_consts(0, p0, 1);
}

void bind_wrap(int stage, Texture* tex, bool linear) {
    bind_texture(stage, tex);
    set_texture_address(stage, 0);
    set_texture_filter(stage, linear);
}

// Stages 1 and 5: the normal maps that land_norm.inc blends, and the fraction in c20.
void bind_normal_pair() {
    float p20[4] = {frame_t, 0.0f, 0.0f, 0.0f};
    set_ps_consts(20, p20, 1);
    bind_wrap(1, HeightmapRenderer::norm_tex[0], true);
    bind_wrap(5, HeightmapRenderer::norm_tex[1], true);
}

template <typename T>
void release_all(T** p, void (*rel)(T*)) {
    if (*p) rel(*p);
    *p = nullptr;
}

} // namespace

void (*scene_render_building)(const Surface* s, int x, int z) = no_building;

int HeightmapRenderer::num_house_tiles = 19;
alignas(64) float HeightmapRenderer::curh[HMAP_CELLS];
alignas(64) float HeightmapRenderer::curw[HMAP_CELLS];
alignas(64) vec4f HeightmapRenderer::water_uv[2][HMAP_CELLS];
int HeightmapRenderer::uv_cur = 0, HeightmapRenderer::uv_cycle = 0;
uint64_t HeightmapRenderer::uv_rnd = UV_RND_START;
bool HeightmapRenderer::land_dirty = true;
int HeightmapRenderer::seen_reset_count = 0;
bool HeightmapRenderer::high_quality = false;
int HeightmapRenderer::cam_cx = 0, HeightmapRenderer::cam_cz = 0;
int HeightmapRenderer::win_ox = -128, HeightmapRenderer::win_oz = -128;
int HeightmapRenderer::near_count = 0, HeightmapRenderer::far_triangles = 0;
int HeightmapRenderer::water_quads = 0, HeightmapRenderer::horizon_quads = 0;
int HeightmapRenderer::visible_blocks = BLOCKS * BLOCKS;
int HeightmapRenderer::visible_horizon_blocks = HBLOCKS * HBLOCKS;
int HeightmapRenderer::coarse_blocks = 0, HeightmapRenderer::plain_near_blocks = 0;
float HeightmapRenderer::coarse_cell_pixels = 6.0f;
float HeightmapRenderer::patch_cell_pixels = 64.0f;
int HeightmapRenderer::next_slice = 0;
Texture* HeightmapRenderer::height_tex = nullptr;
Texture* HeightmapRenderer::color_tex = nullptr;
Texture* HeightmapRenderer::surf_color_tex = nullptr;
Texture* HeightmapRenderer::norm_tex[2] = {};
Texture* HeightmapRenderer::aper_tex[2] = {};
Texture* HeightmapRenderer::aper_view_tex = nullptr;
Texture* HeightmapRenderer::detail_tex = nullptr;
Texture* HeightmapRenderer::foam_tex = nullptr;

// [SECTION] CPU passes

void HeightmapRenderer::setWindow(const vec4f& cam_pos) {
    cam_cx = int(floorf(cam_pos.x + 0.5f));
    cam_cz = int(floorf(cam_pos.z + 0.5f));
    win_ox = cam_cx - 128;
    win_oz = cam_cz - 128;
    memset(block_vis, 1, sizeof(block_vis));
    memset(hblock_vis, 1, sizeof(hblock_vis));
    memset(block_coarse, 0, sizeof(block_coarse));
    memset(block_plain, 0, sizeof(block_plain));
    coarse_blocks = plain_near_blocks = 0;
    visible_blocks = BLOCKS * BLOCKS;
    visible_horizon_blocks = HBLOCKS * HBLOCKS;
}

void HeightmapRenderer::cullBlocks(const Matrix44& glob) {
    // Height range per block row strip: ground and water surface of the block's cells and
    // their neighbours (a dry vertex may take a neighbour's water level).
    static float lo[HMAP_SIZE][BLOCKS], hi[HMAP_SIZE][BLOCKS];
    for (int k = 0; k < HMAP_SIZE; ++k) {
        const int row = ((win_oz + k) & (HMAP_SIZE - 1)) << HMAP_SIZE_SHIFT;
        for (int b = 0; b < BLOCKS; ++b) {
            float l = 1e30f, h = -1e30f;
            for (int j = (b << BLOCK_SHIFT) - 1; j <= (b << BLOCK_SHIFT) + 9; ++j) {
                const int i = row | ((win_ox + j) & (HMAP_SIZE - 1));
                l = fminf(l, curh[i]);
                h = fmaxf(h, curh[i] + fmaxf(curw[i], 0.0f));
            }
            lo[k][b] = l;
            hi[k][b] = h;
        }
    }
    float all_lo = 1e30f, all_hi = -1e30f; // the window covers the whole map
    for (int k = 0; k < HMAP_SIZE; ++k)
        for (int b = 0; b < BLOCKS; ++b) {
            all_lo = fminf(all_lo, lo[k][b]);
            all_hi = fmaxf(all_hi, hi[k][b]);
        }
    visible_blocks = 0;
    for (int a = 0; a < BLOCKS; ++a)
        for (int b = 0; b < BLOCKS; ++b) {
            float l = 1e30f, h = -1e30f;
            for (int k = (a << BLOCK_SHIFT) - 1; k <= (a << BLOCK_SHIFT) + 9; ++k) {
                l = fminf(l, lo[k & (HMAP_SIZE - 1)][b]); // window rows -1 and 256 wrap
                h = fmaxf(h, hi[k & (HMAP_SIZE - 1)][b]);
            }
            const float x0 = float(win_ox + (b << BLOCK_SHIFT)),
                        z0 = float(win_oz + (a << BLOCK_SHIFT));
            const float span = float(1 << BLOCK_SHIFT);
            const bool out =
                box_outside(glob, x0, x0 + span, l - 2.0f * WET_DEPTH, h + 1.0f, z0, z0 + span);
            block_vis[a][b] = !out;
            visible_blocks += !out;
        }
    // Horizon blocks: ground plus water anywhere on the map, lowered by at most the bend at
    // the block's farthest corner from the camera (half a cell either way of its cell).
    const int hx0 = (cam_cx - 383) & ~3, hz0 = (cam_cz - 383) & ~3;
    visible_horizon_blocks = 0;
    for (int a = 0; a < HBLOCKS; ++a)
        for (int b = 0; b < HBLOCKS; ++b) {
            const float x0 = float(hx0 + 4 * HBLOCK * b), z0 = float(hz0 + 4 * HBLOCK * a);
            const float x1 = x0 + 4.0f * HBLOCK, z1 = z0 + 4.0f * HBLOCK;
            const float dx = fmaxf(fabsf(x0 - float(cam_cx)), fabsf(x1 - float(cam_cx))) + 0.5f;
            const float dz = fmaxf(fabsf(z0 - float(cam_cz)), fabsf(z1 - float(cam_cz))) + 0.5f;
            const float d = (sqrtf(dx * dx + dz * dz) - 128.0f) / 256.0f;
            const float bend = d > 0.0f ? d * d * 128.0f : 0.0f;
            const bool out = box_outside(glob, x0, x1, all_lo - bend - 1.0f, all_hi + 1.0f, z0, z1);
            hblock_vis[a * HBLOCKS + b] = !out;
            visible_horizon_blocks += !out;
        }
}

void HeightmapRenderer::chooseLevels(const Matrix44& glob, float wd, float ht) {
    coarse_blocks = plain_near_blocks = 0;
    const int n = 1 << BLOCK_SHIFT;
    for (int a = 0; a < BLOCKS; ++a)
        for (int b = 0; b < BLOCKS; ++b) {
            block_coarse[a][b] = block_plain[a][b] = 0;
            const int k0 = a << BLOCK_SHIFT, j0 = b << BLOCK_SHIFT;
            const bool near =
                k0 + n > NEAR_FIRST && k0 <= NEAR_LAST && j0 + n > NEAR_FIRST && j0 <= NEAR_LAST;
            if (!block_vis[a][b] || !(near || coarse_candidates.ok[a][b])) continue;
            // Screen area of the cell at the block's centre: a flat cell, so foreshortening
            // counts (what is seen at a grazing angle gets thin triangles).
            const int x = win_ox + (b << BLOCK_SHIFT) + n / 2,
                      z = win_oz + (a << BLOCK_SHIFT) + n / 2;
            const float y = curh[hm_index(x, z)];
            float s[3][2];
            bool behind = false;
            for (int c = 0; c < 3; ++c) {
                const float px = float(x) + (c == 1 ? 1.0f : 0.0f),
                            pz = float(z) + (c == 2 ? 1.0f : 0.0f);
                float p[4];
                for (int i = 0; i < 4; ++i)
                    p[i] = px * glob.m[0][i] + y * glob.m[1][i] + pz * glob.m[2][i] + glob.m[3][i];
                behind = behind || p[3] < 0.1f;
                s[c][0] = 0.5f * wd * p[0] / p[3];
                s[c][1] = 0.5f * ht * p[1] / p[3];
            }
            if (behind) continue;
            const float area = fabsf((s[1][0] - s[0][0]) * (s[2][1] - s[0][1]) -
                                     (s[1][1] - s[0][1]) * (s[2][0] - s[0][0]));
            if (near) {
                block_plain[a][b] = area < patch_cell_pixels;
                plain_near_blocks += block_plain[a][b];
                continue;
            }
            if (area >= coarse_cell_pixels) continue;
            bool house = false;
            for (int k = 0; k < n && !house; ++k)
                for (int j = 0; j < n; ++j)
                    house = house || surface[hm_index(win_ox + (b << BLOCK_SHIFT) + j,
                                                      win_oz + (a << BLOCK_SHIFT) + k)]
                                             .ground_type == GT_HOUSE;
            if (house) continue; // its cells must report the building
            block_coarse[a][b] = 1;
            ++coarse_blocks;
        }
}

void HeightmapRenderer::fillNearInstances(void* dst) {
    PatchInstance* out = static_cast<PatchInstance*>(dst);
    int n = 0;
    for (int k = NEAR_FIRST; k <= NEAR_LAST; ++k) {
        int z = win_oz + k;
        const uint8_t* vis = block_vis[k >> BLOCK_SHIFT];
        const uint8_t* plain = block_plain[k >> BLOCK_SHIFT];
        for (int j = NEAR_FIRST; j <= NEAR_LAST; ++j) {
            int x = win_ox + j;
            int i = hm_index(x, z);
            if (surface[i].ground_type == GT_HOUSE) {
                scene_render_building(&surface[i], x, z);
                continue;
            }
            if (!vis[j >> BLOCK_SHIFT] || plain[j >> BLOCK_SHIFT]) continue;
            PatchInstance& p = out[n++];
            p.x = int16_t(x);
            p.z = int16_t(z);
            p.h[0] = curh[i];
            p.h[1] = curh[hm_index(x + 1, z)];
            p.h[2] = curh[hm_index(x, z + 1)];
            p.h[3] = curh[hm_index(x + 1, z + 1)];
        }
    }
    near_count = n;
}

void HeightmapRenderer::fillLandVertices(void* dst) {
    GridVertex* v = static_cast<GridVertex*>(dst);
    for (int k = 0; k < HMAP_SIZE; ++k) {
        int z = win_oz + k;
        const float* row = curh + ((z & (HMAP_SIZE - 1)) << HMAP_SIZE_SHIFT);
        for (int j = 0; j < HMAP_SIZE; ++j) {
            int x = win_ox + j;
            *v++ = GridVertex{int16_t(x), int16_t(z), row[x & (HMAP_SIZE - 1)]};
        }
    }
}

namespace {

uint16_t* put_tri(uint16_t* ip, int a, int b, int c) {
    ip[0] = uint16_t(a);
    ip[1] = uint16_t(b);
    ip[2] = uint16_t(c);
    return ip + 3;
}

// One coarse block: 2 x 2-cell quads, each wound as the fine ones. Along a side whose
// neighbour is drawn fine (or not at all), the quads fan out from their centre vertex through
// the side's middle vertex, so both sides share every vertex of the edge and nothing cracks.
uint16_t* put_coarse_block(uint16_t* ip, int a, int b, int& tris) {
    const auto coarse = [](int na, int nb) {
        return na >= 0 && nb >= 0 && na < BLOCKS && nb < BLOCKS && block_coarse[na][nb];
    };
    const bool st = !coarse(a - 1, b), sb = !coarse(a + 1, b), sl = !coarse(a, b - 1),
               sr = !coarse(a, b + 1);
    const int q = 1 << (BLOCK_SHIFT - 1);
    for (int qa = 0; qa < q; ++qa)
        for (int qb = 0; qb < q; ++qb) {
            const int v = ((a << BLOCK_SHIFT) + 2 * qa) * 256 + (b << BLOCK_SHIFT) + 2 * qb;
            const int v00 = v, v02 = v + 2, v20 = v + 512, v22 = v + 514, c = v + 257;
            const bool split[4] = {sl && qb == 0, sb && qa == q - 1, sr && qb == q - 1,
                                   st && qa == 0};
            if (!(split[0] || split[1] || split[2] || split[3])) {
                ip = put_tri(ip, v00, v20, v02);
                ip = put_tri(ip, v02, v20, v22);
                tris += 2;
                continue;
            }
            // Corners in the fine triangles' turning order, with the middle of each side.
            const int ring[4][3] = {
                {v00, v + 256, v20}, {v20, v + 513, v22}, {v22, v + 258, v02}, {v02, v + 1, v00}};
            for (int side = 0; side < 4; ++side) {
                if (split[side]) {
                    ip = put_tri(ip, c, ring[side][0], ring[side][1]);
                    ip = put_tri(ip, c, ring[side][1], ring[side][2]);
                    tris += 2;
                } else {
                    ip = put_tri(ip, c, ring[side][0], ring[side][2]);
                    ++tris;
                }
            }
        }
    return ip;
}

} // namespace

int HeightmapRenderer::fillLandIndices(uint16_t* ip) {
    int tris = 0;
    for (int k = 0; k < 255; ++k) {
        int z = win_oz + k;
        const Surface* row = surface + ((z & (HMAP_SIZE - 1)) << HMAP_SIZE_SHIFT);
        bool near_row = k >= NEAR_FIRST && k <= NEAR_LAST;
        const uint8_t* vis = block_vis[k >> BLOCK_SHIFT];
        const uint8_t* coarse = block_coarse[k >> BLOCK_SHIFT];
        const uint8_t* plain = block_plain[k >> BLOCK_SHIFT];
        for (int j = circle.j0[k]; j <= circle.j1[k]; ++j) {
            const bool near = near_row && j >= NEAR_FIRST && j <= NEAR_LAST;
            if (near && !plain[j >> BLOCK_SHIFT]) continue;
            int x = win_ox + j;
            const Surface& s = row[x & (HMAP_SIZE - 1)];
            if (s.ground_type == GT_HOUSE) {
                if (!near) scene_render_building(&s, x, z); // else fillNearInstances does
                continue;
            }
            if (!vis[j >> BLOCK_SHIFT] || coarse[j >> BLOCK_SHIFT]) continue;
            int v = k * 256 + j;
            ip[0] = uint16_t(v);
            ip[1] = uint16_t(v + 256);
            ip[2] = uint16_t(v + 1);
            ip[3] = uint16_t(v + 1);
            ip[4] = uint16_t(v + 256);
            ip[5] = uint16_t(v + 257);
            ip += 6;
            tris += 2;
        }
    }
    if (coarse_blocks > 0)
        for (int a = 0; a < BLOCKS; ++a)
            for (int b = 0; b < BLOCKS; ++b)
                if (block_coarse[a][b]) ip = put_coarse_block(ip, a, b, tris);
    return tris;
}

void HeightmapRenderer::updateWaterDepth(float t) {
    const Water* w = &water[0][0];
    const Water* p = &tmpw[0][0];
    for (int i = 0; i < HMAP_CELLS; ++i) {
        curw[i] = p[i].depth + (w[i].depth - p[i].depth) * t;
        wet[i] = uint8_t(p[i].depth > WET_DEPTH || w[i].depth > WET_DEPTH);
    }
}

void HeightmapRenderer::fillHorizonVertices(void* dst, const vec4f& cam) {
    GridVertex* v = static_cast<GridVertex*>(dst);
    int z0 = (cam_cz - 383) & ~3, x0 = (cam_cx - 383) & ~3;
    for (int l = 0; l < HORIZON_SIZE; ++l) {
        int z = z0 + 4 * l;
        float dz = float(z) - cam.z;
        for (int m = 0; m < HORIZON_SIZE; ++m) {
            int x = x0 + 4 * m;
            int i = hm_index(x, z);
            float h = curh[i] + curw[i];
            float dx = float(x) - cam.x;
            float d = (sqrtf(dx * dx + dz * dz) - 128.0f) / 256.0f;
            if (d > 0.0f) h -= d * d * 128.0f;
            *v++ = GridVertex{int16_t(x), int16_t(z), h};
        }
    }
}

void HeightmapRenderer::fillWaterVertices(void* dst, float t) {
    WaterVertexHigh* vh = static_cast<WaterVertexHigh*>(dst);
    WaterVertexLow* vl = static_cast<WaterVertexLow*>(dst);
    const vec4f* uv_prev = water_uv[uv_cur ^ 1];
    const vec4f* uv_now = water_uv[uv_cur];
    for (int k = 0; k < HMAP_SIZE; ++k) {
        int z = win_oz + k;
        for (int j = 0; j < HMAP_SIZE; ++j) {
            int x = win_ox + j;
            int i = hm_index(x, z);
            float g = curh[i], d = curw[i];
            float level;
            if (d > WET_DEPTH) {
                level = g + d - WET_DEPTH;
            } else {
                float sum = 0.0f;
                int n = 0;
                for (int dz = -1; dz <= 1; ++dz)
                    for (int dx = -1; dx <= 1; ++dx) {
                        if (!dx && !dz) continue;
                        int ni = hm_index(x + dx, z + dz);
                        if (curw[ni] > WET_DEPTH) {
                            sum += curh[ni] + curw[ni];
                            ++n;
                        }
                    }
                float avg = n ? sum / float(n) : 0.0f;
                level = (n && avg <= g) ? avg - WET_DEPTH : g - WET_DEPTH;
            }
            const Water& a = tmpw[z & 255][x & 255];
            const Water& b = water[z & 255][x & 255];
            float foam = a.foam + (b.foam - a.foam) * t;
            if (high_quality) {
                const vec4f &p = uv_prev[i], &c = uv_now[i];
                *vh++ = WaterVertexHigh{
                    int16_t(x),
                    int16_t(z),
                    level,
                    {mixf(p.x, c.x, t), mixf(p.y, c.y, t), mixf(p.z, c.z, t), mixf(p.w, c.w, t)},
                    foam};
            } else {
                *vl++ = WaterVertexLow{int16_t(x), int16_t(z), level, foam};
            }
        }
    }
}

int HeightmapRenderer::fillWaterIndices(uint16_t* ip) {
    int quads = 0;
    for (int k = 0; k < 255; ++k) {
        int z = win_oz + k;
        const uint8_t* r0 = wet + ((z & 255) << 8);
        const uint8_t* r1 = wet + (((z + 1) & 255) << 8);
        const uint8_t* vis = block_vis[k >> BLOCK_SHIFT];
        for (int j = circle.j0[k]; j <= circle.j1[k]; ++j) {
            if (!vis[j >> BLOCK_SHIFT]) continue;
            int x = win_ox + j;
            if (!(r0[x & 255] | r0[(x + 1) & 255] | r1[x & 255] | r1[(x + 1) & 255])) continue;
            int v = k * 256 + j;
            ip[0] = uint16_t(v);
            ip[1] = uint16_t(v + 256);
            ip[2] = uint16_t(v + 1);
            ip[3] = uint16_t(v + 1);
            ip[4] = uint16_t(v + 256);
            ip[5] = uint16_t(v + 257);
            ip += 6;
            ++quads;
        }
    }
    return quads;
}

int HeightmapRenderer::buildHorizonIndices(uint16_t* ip) {
    int quads = 0;
    for (int a = 0; a < HBLOCKS; ++a)
        for (int b = 0; b < HBLOCKS; ++b) {
            hblock_first[a * HBLOCKS + b] = quads;
            for (int row = a * HBLOCK; row < (a + 1) * HBLOCK && row < HORIZON_SIZE - 1; ++row)
                for (int col = b * HBLOCK; col < (b + 1) * HBLOCK && col < HORIZON_SIZE - 1;
                     ++col) {
                    int qa = 2 * row - 191, qi = 2 * col - 191;
                    if (qa * qa + qi * qi <= 3843) continue;
                    int d = row * HORIZON_SIZE + col;
                    ip[0] = uint16_t(d);
                    ip[1] = uint16_t(d + HORIZON_SIZE);
                    ip[2] = uint16_t(d + 1);
                    ip[3] = uint16_t(d + 1);
                    ip[4] = uint16_t(d + HORIZON_SIZE);
                    ip[5] = uint16_t(d + HORIZON_SIZE + 1);
                    ip += 6;
                    ++quads;
                }
        }
    hblock_first[HBLOCKS * HBLOCKS] = quads;
    return quads;
}

void HeightmapRenderer::reseedLayer(int buf, int layer) {
    float r1 = rnd_float(uv_rnd), r2 = rnd_float(uv_rnd), r3 = rnd_float(uv_rnd);
    float a = 6.2831853f * r1;
    float ca = cosf(a), sa = sinf(a), ou = 256.0f * r2, ov = 256.0f * r3;
    vec4f* uv = water_uv[buf];
    for (int z = 0; z < HMAP_SIZE; ++z) {
        float K = float((z - win_oz) & 255);
        for (int x = 0; x < HMAP_SIZE; ++x) {
            float J = float((x - win_ox) & 255);
            float u = J * ca + K * sa + ou, v = -J * sa + K * ca + ov;
            vec4f& e = uv[(z << 8) | x];
            if (layer == 0) {
                e.x = u;
                e.y = v;
            } else {
                e.z = u;
                e.w = v;
            }
        }
    }
}

void HeightmapRenderer::stepUpdate(float dt) {
    if (high_quality) uv_cur ^= 1;
    const vec4f* src = water_uv[uv_cur ^ 1];
    vec4f* dst = water_uv[uv_cur];
    for (int z = 0; z < HMAP_SIZE; ++z) {
        int zm = (z - 1) & 255;
        for (int x = 0; x < HMAP_SIZE; ++x) {
            int xm = (x - 1) & 255;
            Water& w = water[z][x];
            float vx = (water[z][xm].flow_x + w.flow_x) * 0.5f;
            float vz = (water[zm][x].flow_z + w.flow_z) * 0.5f;
            float px = float(x) - vx * dt, pz = float(z) - vz * dt;
            float fx0 = floorf(px), fz0 = floorf(pz);
            float fx = px - fx0, fz = pz - fz0;
            int ix = int(fx0) & 255, iz = int(fz0) & 255;
            int ix1 = (ix + 1) & 255, iz1 = (iz + 1) & 255;
            float w00 = (1 - fx) * (1 - fz), w10 = fx * (1 - fz), w01 = (1 - fx) * fz,
                  w11 = fx * fz;
            float f = tmpw[iz][ix].foam * w00 + tmpw[iz][ix1].foam * w10 +
                      tmpw[iz1][ix].foam * w01 + tmpw[iz1][ix1].foam * w11;
            w.foam = (f + w.foam) * 0.5f;
            if (!high_quality) continue;
            __m128 s =
                _mm_add_ps(_mm_add_ps(_mm_mul_ps(src[(iz << 8) | ix].load(), _mm_set1_ps(w00)),
                                      _mm_mul_ps(src[(iz << 8) | ix1].load(), _mm_set1_ps(w10))),
                           _mm_add_ps(_mm_mul_ps(src[(iz1 << 8) | ix].load(), _mm_set1_ps(w01)),
                                      _mm_mul_ps(src[(iz1 << 8) | ix1].load(), _mm_set1_ps(w11))));
            dst[(z << 8) | x].store(s);
        }
    }
    if (high_quality) {
        ++uv_cycle;
        if (uv_cycle == 20) {
            reseedLayer(uv_cur, 0);
        } else if (uv_cycle >= 40) {
            uv_cycle = 0;
            reseedLayer(uv_cur, 1);
        }
    }
    land_dirty = true;
}

float HeightmapRenderer::layerBWeight(float t) {
    return 1.0f - fabsf((float(uv_cycle) + t - 20.0f) * 0.05f);
}

// [SECTION] GPU passes

void HeightmapRenderer::loadHeights(int x0, int z0, int nx, int nz) {
    check_region(x0, z0, nx, nz);
    forget_lost_uploads();
    const Water* w = &water[0][0];
    // A region that does not cover the map leaves the rest of what is known as it was.
    upload_changed<float>(height_tex, x0, z0, nx, nz, tex_height, heights_known,
                          [w](int i) { return hmap[i] + w[i].depth; });
    heights_known = heights_known || (nx == HMAP_SIZE && nz == HMAP_SIZE);
}

void HeightmapRenderer::loadColors(int x0, int z0, int nx, int nz) {
    check_region(x0, z0, nx, nz);
    forget_lost_uploads();
    upload_changed<uint32_t>(color_tex, x0, z0, nx, nz, tex_color, colors_known,
                             [](int i) { return surface[i].color; });
    upload_changed<uint32_t>(surf_color_tex, x0, z0, nx, nz, tex_surf_color, colors_known,
                             [](int i) { return surface[i].surf_color; });
    colors_known = colors_known || (nx == HMAP_SIZE && nz == HMAP_SIZE);
}

void HeightmapRenderer::markDirty() {
    land_dirty = true;
    world_changed = true;
}

void HeightmapRenderer::calcNormals(int x0, int z0, int nx, int nz) {
    check_region(x0, z0, nx, nz);
    Texture* t = norm_tex[0];
    norm_tex[0] = norm_tex[1];
    norm_tex[1] = t;
    set_pass_states();
    set_region_consts(x0, z0, nx, nz);
    bind_wrap(0, height_tex, true);
    set_render_target(high_quality ? norm_tex[1] : grad_tex, 0, false);
    set_shader(grad_sh);
    draw_postfx();
    if (high_quality) return;
    bind_wrap(2, grad_tex, true);
    bind_texture(1, norm_tex[0]);
    set_render_target(norm_tex[1], 0, false);
    set_shader(norm_sh);
    draw_postfx();
    bind_texture(1, nullptr);
    bind_texture(2, nullptr);
}

void HeightmapRenderer::calcVisibility(int x0, int z0, int nx, int nz) {
    check_region(x0, z0, nx, nz);
    if (!vis_sh) return;
    set_pass_states();
    set_region_consts(x0, z0, nx, nz);
    bind_wrap(0, height_tex, true);
    bind_wrap(2, grad_tex, true);
    set_render_target(norm_tex[1], 0, false);
    set_shader(vis_sh);
    draw_postfx();
    bind_texture(2, nullptr);
}

void HeightmapRenderer::calcAperture(int x0, int z0, int nx, int nz) {
    check_region(x0, z0, nx, nz);
    Texture* t = aper_tex[0];
    aper_tex[0] = aper_tex[1];
    aper_tex[1] = t;
    if (nx < HMAP_SIZE || nz < HMAP_SIZE) copy_texture(aper_tex[1], aper_tex[0]);
    set_render_target(aper_tex[1], 0, false);
    set_pass_states();
    set_region_consts(x0, z0, nx, nz);
    bind_wrap(0, height_tex, true);
    aper_quality = clamped_aper_quality();
    set_shader(aper_sh[aper_quality]);
    draw_postfx();
}

void HeightmapRenderer::interpTexture(Texture* target, Texture* prev, Texture* cur, float t,
                                      int size) {
    set_render_target(target, 0, false);
    set_pass_states();
    float c16[4] = {0.5f, -0.5f, 0.5f + 0.5f / float(size), 0.5f + 0.5f / float(size)};
    float p0[4] = {t, t, t, t};
    set_vs_consts(16, c16, 1);
    set_ps_consts(0, p0, 1);
    bind_wrap(0, prev, false);
    bind_wrap(1, cur, false);
    set_shader(interp_sh);
    draw_postfx();
}

void HeightmapRenderer::frameUpdate(float since_step) {
    float t = since_step * 20.0f;
    vec4f cam = scene_camera_pos();
    setWindow(cam);
    // A reset loses every render target, and a new renderer has none filled: both halves of
    // each interpolated pair get the current maps now, or the land would stay black until the
    // next simulation step (the first frame shown, at start-up).
    const bool lost = seen_reset_count != d3d_reset_count || maps_unfilled;
    seen_reset_count = d3d_reset_count;
    maps_unfilled = false;
    const bool rebuild = land_dirty || lost;
    if (rebuild) {
        loadHeights(0, 0, HMAP_SIZE, HMAP_SIZE);
        calcNormals(0, 0, HMAP_SIZE, HMAP_SIZE);
        // The sky visibility costs most and changes slowly: a band of rows per step.
        int z0 = 0, nz = HMAP_SIZE;
        if (world_changed || lost || (high_quality && aper_quality != clamped_aper_quality())) {
            next_slice = 0;
        } else {
            nz = HMAP_SIZE / MAP_SLICES;
            z0 = next_slice * nz;
            next_slice = (next_slice + 1) % MAP_SLICES;
        }
        if (high_quality)
            calcAperture(0, z0, HMAP_SIZE, nz);
        else
            calcVisibility(0, z0, HMAP_SIZE, nz);
        world_changed = false;
        if (lost) {
            copy_texture(norm_tex[0], norm_tex[1]);
            if (high_quality) copy_texture(aper_tex[0], aper_tex[1]);
        }
        loadColors(0, 0, HMAP_SIZE, HMAP_SIZE);
        land_dirty = false;
    }
    // The aperture view map holds the last blend until the pair or the fraction changes (a
    // paused game, or several frames at one step fraction). The normal maps are blended where
    // the land is drawn.
    if (high_quality && (rebuild || t != view_t)) {
        interpTexture(aper_view_tex, aper_tex[0], aper_tex[1], t, 256);
        view_t = t;
    }
    frame_t = t;
    set_cull_mode(1);
    morphHmap(since_step, curh);
    updateWaterDepth(t);
    Matrix44 glob;
    get_glob_tm(glob);
    cullBlocks(glob);
    chooseLevels(glob, float(d3d_wd), float(d3d_ht));

    void* vp = lock_vb(inst_vb, 0, 0);
    ASSERT_TEXT(vp, "vp");
    fillNearInstances(vp);
    unlock_vb(inst_vb);

    void* v = lock_vb(land_vb, 0, 0);
    ASSERT_TEXT(v, "v");
    fillLandVertices(v);
    unlock_vb(land_vb);

    uint16_t* ip = static_cast<uint16_t*>(lock_ib(land_ib, 0, 0));
    ASSERT_TEXT(ip, "ip");
    far_triangles = fillLandIndices(ip);
    unlock_ib(land_ib);

    if (high_quality) {
        vp = lock_vb(horizon_vb, 0, 0);
        ASSERT_TEXT(vp, "vp");
        fillHorizonVertices(vp, cam);
        unlock_vb(horizon_vb);
    }

    vp = lock_vb(water_vb, 0, 0);
    ASSERT_TEXT(vp, "vp");
    fillWaterVertices(vp, t);
    unlock_vb(water_vb);

    ip = static_cast<uint16_t*>(lock_ib(water_ib, 0, 0));
    ASSERT_TEXT(ip, "ip");
    water_quads = fillWaterIndices(ip);
    unlock_ib(water_ib);
}

void HeightmapRenderer::renderLand() {
    if (high_quality) bind_wrap(0, aper_view_tex, true);
    bind_normal_pair();
    bind_wrap(2, color_tex, true);
    bind_wrap(3, surf_color_tex, true);
    bind_wrap(4, detail_tex, true);
    // Where the normal maps hold the value of the point under the land: the high path's
    // texels at their centres, the low path's half a texel (a quarter cell) further along both
    // axes (see calc_norm_low.sh).
    float c16[4] = {1.0f / 256.0f, 1.0f / 256.0f, 1.0f / 512.0f,
                    high_quality ? 1.0f / 512.0f : 1.0f / 1024.0f};
    set_vs_consts(16, c16, 1);
    set_sky_ps_consts();

    if (near_count > 0) {
        set_vertex_decl(patch_decl);
        set_vb(0, patch_vb, 0, 8);
        set_vb(1, inst_vb, 0, sizeof(PatchInstance));
        set_ib(patch_ib);
        set_shader(land_inst_sh);
        set_instancing(near_count);
        draw_indexed(PRIM_TRIANGLELIST, 0, 0, 25, 0, 32);
        set_instancing(0);
        set_vb(1, nullptr, 0, 0);
    }
    if (far_triangles > 0) {
        set_vertex_decl(grid_decl);
        set_vb(0, land_vb, 0, sizeof(GridVertex));
        set_ib(land_ib);
        set_shader(land_sh);
        draw_indexed(PRIM_TRIANGLELIST, 0, 0, HMAP_CELLS, 0, far_triangles);
    }
    set_vb(0, nullptr, 0, 0);
    bind_texture(5, nullptr);
}

void HeightmapRenderer::renderWater(float t) {
    if (high_quality) {
        bind_wrap(0, aper_view_tex, true);
        bind_wrap(4, foam_tex, true);
        float w = layerBWeight(t);
        float c12[4] = {w, 0.0f, 0.0f, 0.0f};
        set_ps_consts(12, c12, 1);
    } else {
        bind_normal_pair();
        bind_wrap(4, detail_tex, true);
        set_sky_ps_consts();
        set_blend_alpha();
    }
    if (water_quads > 0) {
        set_vertex_decl(water_decl);
        set_vb(0, water_vb, 0,
               high_quality ? int(sizeof(WaterVertexHigh)) : int(sizeof(WaterVertexLow)));
        set_ib(water_ib);
        set_shader(water_sh);
        draw_indexed(PRIM_TRIANGLELIST, 0, 0, HMAP_CELLS, 0, water_quads * 2);
        set_vb(0, nullptr, 0, 0);
    }
    if (high_quality) {
        bind_wrap(1, height_tex, true);
    } else {
        bind_texture(5, nullptr);
        set_blend_none();
    }
}

void HeightmapRenderer::renderHorizon() {
    if (!high_quality || horizon_quads <= 0) return;
    set_vertex_decl(grid_decl);
    set_vb(0, horizon_vb, 0, sizeof(GridVertex));
    set_ib(horizon_ib);
    set_shader(horizon_sh);
    // Runs of consecutive blocks in view, one draw each.
    for (int i = 0; i < HBLOCKS * HBLOCKS;) {
        if (!hblock_vis[i]) {
            ++i;
            continue;
        }
        int e = i;
        while (e < HBLOCKS * HBLOCKS && hblock_vis[e]) ++e;
        const int first = hblock_first[i], n = hblock_first[e] - first;
        if (n > 0)
            draw_indexed(PRIM_TRIANGLELIST, 0, 0, HORIZON_SIZE * HORIZON_SIZE, first * 6, n * 2);
        i = e;
    }
    set_vb(0, nullptr, 0, 0);
}

// [SECTION] lifetime

void HeightmapRenderer::init(int gfx_quality) {
    close();
    if (scene_show_splash) scene_show_splash("Compiling land shaders", 0.0f);
    high_quality = gfx_quality >= 1;

    static const VertexElementDesc grid_desc[] = {
        {0, 0, VSD_SHORT2, VSD_POSITION, 0}, {4, 0, VSD_FLOAT1, VSD_POSITION, 1}, VSD_END};
    static const VertexElementDesc patch_desc[] = {{0, 0, VSD_FLOAT2, VSD_POSITION, 0},
                                                   {0, 1, VSD_SHORT2, VSD_POSITION, 1},
                                                   {4, 1, VSD_FLOAT4, VSD_POSITION, 2},
                                                   VSD_END};
    static const VertexElementDesc water_high_desc[] = {{0, 0, VSD_SHORT2, VSD_POSITION, 0},
                                                        {4, 0, VSD_FLOAT1, VSD_POSITION, 1},
                                                        {8, 0, VSD_FLOAT4, VSD_TEXCOORD, 0},
                                                        {24, 0, VSD_FLOAT1, VSD_TEXCOORD, 1},
                                                        VSD_END};
    static const VertexElementDesc water_low_desc[] = {{0, 0, VSD_SHORT2, VSD_POSITION, 0},
                                                       {4, 0, VSD_FLOAT1, VSD_POSITION, 1},
                                                       {8, 0, VSD_FLOAT1, VSD_TEXCOORD, 1},
                                                       VSD_END};
    grid_decl = get_vertex_decl(grid_desc);
    patch_decl = get_vertex_decl(patch_desc);
    water_decl = get_vertex_decl(high_quality ? water_high_desc : water_low_desc);

    static const char INST_DEFINES[] = "INST\0 1\0";
    land_sh = get_shader(high_quality ? "dr_land.sh" : "land.sh");
    land_inst_sh = get_shader(high_quality ? "dr_land.sh" : "land.sh", INST_DEFINES);
    water_sh = get_shader(high_quality ? "dr_water.sh" : "water.sh");
    grad_sh = get_shader("calc_norm.sh");
    if (!high_quality) {
        static const char VIS[] = "VIS\0 1\0";
        norm_sh = get_shader("calc_norm_low.sh");
        vis_sh = get_shader("calc_norm_low.sh", VIS);
    }
    if (high_quality) {
        static const char Q0[] = "QUALITY\0 0\0", Q1[] = "QUALITY\0 1\0", Q2[] = "QUALITY\0 2\0";
        aper_sh[0] = get_shader("calc_aper.sh", Q0);
        aper_sh[1] = get_shader("calc_aper.sh", Q1);
        aper_sh[2] = get_shader("calc_aper.sh", Q2);
    }
    interp_sh = get_shader("interp_tex.sh");
    horizon_sh = get_shader("horizon.sh");

    height_tex = create_render_texture(256, 256, 6);
    color_tex = create_render_texture(256, 256, 1);
    surf_color_tex = create_render_texture(256, 256, 1);
    // High: G32R32F gradients; low: A16B16G16R16F gradient and visibility.
    const int norm_size = high_quality ? 256 : 512, norm_format = high_quality ? 7 : 5;
    norm_tex[0] = create_render_texture(norm_size, norm_size, norm_format);
    norm_tex[1] = create_render_texture(norm_size, norm_size, norm_format);
    bool ok = height_tex && color_tex && surf_color_tex && norm_tex[0] && norm_tex[1];
    if (high_quality) {
        aper_tex[0] = create_render_texture(256, 256, 1);
        aper_tex[1] = create_render_texture(256, 256, 1);
        aper_view_tex = create_render_texture(256, 256, 1);
        ok = ok && aper_tex[0] && aper_tex[1] && aper_view_tex;
    } else {
        grad_tex = create_render_texture(256, 256, 7);
        ok = ok && grad_tex;
    }
    detail_tex = get_texture("detail.dds", false);
    ok = ok && detail_tex;
    if (high_quality) {
        foam_tex = get_texture("foam.dds", false);
        ok = ok && foam_tex;
    }
    if (!ok) fatal("can't create land textures");

    land_vb = create_vb(HMAP_CELLS * int(sizeof(GridVertex)), 0);
    horizon_vb = create_vb(HORIZON_SIZE * HORIZON_SIZE * int(sizeof(GridVertex)), 0);
    inst_vb = create_vb(NEAR_INSTANCES * int(sizeof(PatchInstance)), 0);
    patch_vb = create_vb(25 * 8, BUF_STATIC);
    if (!land_vb || !horizon_vb || !inst_vb || !patch_vb) fatal("Can't create land VB");
    water_vb = create_vb(
        HMAP_CELLS * int(high_quality ? sizeof(WaterVertexHigh) : sizeof(WaterVertexLow)), 0);
    if (!water_vb) fatal("Can't create water VB");
    land_ib = create_ib(LAND_IB_INDICES, BUF_STATIC);
    horizon_ib = create_ib(HORIZON_IB_INDICES, BUF_STATIC);
    patch_ib = create_ib(96, BUF_STATIC);
    if (!land_ib || !horizon_ib || !patch_ib) fatal("Can't create land IB");
    water_ib = create_ib(WATER_IB_INDICES, 0);
    if (!water_ib) fatal("Can't create water IB");

    float* pv = static_cast<float*>(lock_vb(patch_vb, 0, 0));
    ASSERT_TEXT(pv, "vp");
    for (int k = 0; k < 25; ++k) {
        pv[2 * k] = float(k % 5) * 0.25f;
        pv[2 * k + 1] = float(k / 5) * 0.25f;
    }
    unlock_vb(patch_vb);
    uint16_t* ip = static_cast<uint16_t*>(lock_ib(patch_ib, 0, 0));
    ASSERT_TEXT(ip, "ip");
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            uint16_t a = uint16_t(r * 5 + c);
            uint16_t q[6] = {a,
                             uint16_t(a + 5),
                             uint16_t(a + 1),
                             uint16_t(a + 1),
                             uint16_t(a + 5),
                             uint16_t(a + 6)};
            memcpy(ip, q, sizeof(q));
            ip += 6;
        }
    unlock_ib(patch_ib);
    ip = static_cast<uint16_t*>(lock_ib(horizon_ib, 0, 0));
    ASSERT_TEXT(ip, "ip");
    horizon_quads = buildHorizonIndices(ip);
    unlock_ib(horizon_ib);

    for (int z = 0; z < HMAP_SIZE; ++z)
        for (int x = 0; x < HMAP_SIZE; ++x)
            water_uv[0][(z << 8) | x] = make4f(float(x), float(z), float(z), float(x));
    memcpy(water_uv[1], water_uv[0], sizeof(water_uv[0]));
    uv_cur = 0;
    uv_cycle = 0;
    uv_rnd = UV_RND_START;
    near_count = far_triangles = water_quads = 0;
    land_dirty = true;
    maps_unfilled = true;
    world_changed = true;
    aper_quality = -1;
    next_slice = 0;
    heights_known = colors_known = false;
    known_reset_count = d3d_reset_count;
    view_t = -1.0f;
    frame_t = 0.0f;
    seen_reset_count = d3d_reset_count;
}

void HeightmapRenderer::close() {
    for (Shader** s : {&land_sh, &land_inst_sh, &water_sh, &norm_sh, &vis_sh, &grad_sh, &interp_sh,
                       &horizon_sh, &aper_sh[0], &aper_sh[1], &aper_sh[2]})
        release_all(s, release_shader);
    for (Texture** t : {&height_tex, &color_tex, &surf_color_tex, &norm_tex[0], &norm_tex[1],
                        &aper_tex[0], &aper_tex[1], &aper_view_tex, &grad_tex})
        release_all(t, release_texture);
    release_all(&detail_tex, free_texture);
    release_all(&foam_tex, free_texture);
    for (GpuBuffer** b : {&patch_vb, &inst_vb, &land_vb, &horizon_vb, &water_vb})
        release_all(b, release_vb);
    for (GpuBuffer** b : {&patch_ib, &land_ib, &horizon_ib, &water_ib}) release_all(b, release_ib);
    grid_decl = patch_decl = water_decl = nullptr;
    near_count = far_triangles = water_quads = horizon_quads = 0;
}
