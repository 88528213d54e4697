#include "scene/objects/buildings.h"

#include "platform/dyn_array.h"
#include "scene/heightmap_renderer.h"

#include <initializer_list>

using namespace HeightmapData;

namespace {
struct HouseCell {
    const Surface* s;
    int x, z;
};
DynArray<HouseCell> cells_drawn;   // appended this frame
DynArray<HouseCell> cells_shadows; // drawn last, for the shadow pass

const char* const TILE_MESHES[19] = {
    "roof_corner.mesh",   "tower_corner.mesh",   "tower_wall1.mesh",    "tower_wall2.mesh",
    "castle_walk.mesh",   "merlon_top.mesh",     "merlon_corner.mesh",  "merlon_wall1.mesh",
    "merlon_wall2.mesh",  "castle_wall1.mesh",   "castle_wall2.mesh",   "castle_wall3.mesh",
    "castle_wall4.mesh",  "castle_slant1.mesh",  "castle_slant2.mesh",  "castle_slant3.mesh",
    "castle_slant4.mesh", "castle_corner1.mesh", "castle_corner2.mesh",
};

uint32_t pack_rot(const TileRot& r) {
    auto b = [](int v) { return uint32_t(v * 127 + 128); };
    return b(r.m00) << 16 | b(r.m01) << 8 | b(r.m10) | b(r.m11) << 24;
}
} // namespace

TileRot tile_rot_matrix(int code) {
    // Images of the tile frame's x and z axes.
    int ax[2] = {1, 0}, az[2] = {0, 1};
    for (int* v : {ax, az}) {
        if (code & 2) v[1] = -v[1];
        if (code & 4) v[0] = -v[0];
        if (code & 1) {
            int t = v[0];
            v[0] = v[1];
            v[1] = t;
        }
    }
    return TileRot{ax[0], az[0], ax[1], az[1]};
}

bool make_building_instance(const Surface* s, int x, int z, BuildingInstance& out) {
    if (int(s->tile) >= HeightmapRenderer::num_house_tiles) return false;
    const TileRot r = tile_rot_matrix(int(s->tile_rot));
    out.x = int16_t(x);
    out.z = int16_t(z);
    static const int CORNERS[4][2] = {{-1, -1}, {1, -1}, {-1, 1}, {1, 1}};
    for (int c = 0; c < 4; ++c) {
        const int lx = CORNERS[c][0], lz = CORNERS[c][1];
        const int wx = r.m00 * lx + r.m01 * lz, wz = r.m10 * lx + r.m11 * lz;
        out.h[c] = HeightmapRenderer::curh[hm_index(x + (wx + 1) / 2, z + (wz + 1) / 2)];
    }
    out.rot = pack_rot(r);
    return true;
}

void add_house_cell(const Surface* s, int x, int z) {
    BuildingInstance b;
    if (!make_building_instance(s, x, z, b)) return;
    BuildingInstRender* r = HeightmapRenderer::house_tile_info[s->tile].inst;
    if (r) r->addInstance(&b);
}

Matrix44 house_cell_tm(const Surface* s, int x, int z) {
    const TileRot r = tile_rot_matrix(int(s->tile_rot));
    float mean = 0.0f;
    for (int dz = 0; dz < 2; ++dz)
        for (int dx = 0; dx < 2; ++dx) mean += HeightmapRenderer::curh[hm_index(x + dx, z + dz)];
    return Matrix44{{{float(r.m00), 0.0f, float(r.m10), 0.0f},
                     {0.0f, 1.0f, 0.0f, 0.0f},
                     {float(r.m01), 0.0f, float(r.m11), 0.0f},
                     {float(x) + 0.5f, mean * 0.25f, float(z) + 0.5f, 1.0f}}};
}

void init_house_renderers() {
    for (int i = 0; i < HeightmapRenderer::num_house_tiles; ++i)
        HeightmapRenderer::house_tile_info[i].inst->init(TILE_MESHES[i]);
}

void close_house_renderers() {
    for (int i = 0; i < HeightmapRenderer::num_house_tiles; ++i)
        HeightmapRenderer::house_tile_info[i].inst->close();
    cells_drawn.clear();
    cells_shadows.clear();
}

void record_house_cell(const Surface* s, int x, int z) {
    add_house_cell(s, x, z);
    cells_drawn.push_back(HouseCell{s, x, z});
}

void render_house_cells() {
    for (int i = 0; i < HeightmapRenderer::num_house_tiles; ++i)
        HeightmapRenderer::house_tile_info[i].inst->render();
    cells_shadows.num = 0;
    for (const HouseCell& c : cells_drawn) cells_shadows.push_back(c);
    cells_drawn.num = 0;
}

void render_house_shadows() {
    for (const HouseCell& c : cells_shadows) {
        if (int(c.s->tile) >= HeightmapRenderer::num_house_tiles) continue;
        const BuildingInstRender* r = HeightmapRenderer::house_tile_info[c.s->tile].inst;
        r->renderShadowBalls(house_cell_tm(c.s, c.x, c.z), 1.0f);
    }
}
