// The renderer's CPU passes: window, near instances, land and water meshes, the shore
// rule, the water texture-coordinate layers, and the region checks.
#include "scene/heightmap_renderer.h"

#include "world/heightmap.h"
#include "world/rnd.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <vector>

using namespace HeightmapData;
using HR = HeightmapRenderer;

// The program defines these for the render layer; these tests never open a device.
bool isFullscreen = false;

namespace {

struct BuildingCall {
    int x, z;
    const Surface* s;
};
std::vector<BuildingCall> building_calls;
void record_building(const Surface* s, int x, int z) {
    building_calls.push_back({x, z, s});
}

#pragma pack(push, 1)
struct Grid {
    int16_t x, z;
    float h;
};
struct Inst {
    int16_t x, z;
    float h[4];
};
struct WaterLow {
    int16_t x, z;
    float level, foam;
};
struct WaterHigh {
    int16_t x, z;
    float level, uv[4], foam;
};
#pragma pack(pop)

class RendererCpu : public ::testing::Test {
  protected:
    std::vector<Inst> inst = std::vector<Inst>(NEAR_INSTANCES);
    std::vector<Grid> grid = std::vector<Grid>(HMAP_CELLS);
    std::vector<uint16_t> land_ib = std::vector<uint16_t>(LAND_IB_INDICES);
    std::vector<uint16_t> water_ib = std::vector<uint16_t>(WATER_IB_INDICES);

    void SetUp() override {
        reset();
        for (int i = 0; i < HMAP_CELLS; ++i) {
            HR::curh[i] = float(i % 7);
            HR::curw[i] = 0.0f;
        }
        memset(water, 0, sizeof(water));
        memset(tmpw, 0, sizeof(tmpw));
        building_calls.clear();
        scene_render_building = record_building;
        HR::high_quality = false;
    }
    void TearDown() override {
        scene_render_building = [](const Surface*, int, int) {};
    }

    // Land quads over the whole frame (every block drawn fine: two triangles a quad).
    int frame() {
        HR::fillNearInstances(inst.data());
        HR::fillLandVertices(grid.data());
        return HR::fillLandIndices(land_ib.data()) / 2;
    }
};

// Quads inside the circle, counted straight from its definition.
int circle_quads(bool with_near) {
    int n = 0;
    for (int k = 0; k <= 254; ++k)
        for (int j = 0; j <= 254; ++j) {
            if ((2 * k - 255) * (2 * k - 255) + (2 * j - 255) * (2 * j - 255) > 67600) continue;
            if (!with_near && j >= 95 && j <= 158 && k >= 95 && k <= 158) continue;
            ++n;
        }
    return n;
}

TEST_F(RendererCpu, WindowFollowsTheRoundedCameraAndWraps) {
    HR::setWindow(make4f(1000.4f, 0, -3.6f, 1));
    EXPECT_EQ(HR::cam_cx, 1000);
    EXPECT_EQ(HR::cam_cz, -4);
    EXPECT_EQ(HR::win_ox, 872);
    EXPECT_EQ(HR::win_oz, -132);
    HR::curh[hm_index(104, 124)] = 42.5f;
    HR::fillLandVertices(grid.data());
    EXPECT_EQ(grid[0].x, 872);
    EXPECT_EQ(grid[0].z, -132);
    EXPECT_EQ(grid[0].h, 42.5f); // map column 872 mod 256 = 104, row -132 mod 256 = 124
    EXPECT_EQ(grid[256 * 255 + 255].x, 872 + 255);
    EXPECT_EQ(grid[256 * 255 + 255].z, -132 + 255);
    HR::setWindow(make4f(-0.5f, 0, 0.49f, 1));
    EXPECT_EQ(HR::cam_cx, 0);
    EXPECT_EQ(HR::cam_cz, 0);
}

TEST_F(RendererCpu, LandCircleAndNearBlockCounts) {
    HR::setWindow(make4f(10, 0, 20, 1));
    int quads = frame();
    EXPECT_EQ(quads, circle_quads(false));
    EXPECT_LE(quads * 6, LAND_IB_INDICES);
    EXPECT_EQ(HR::near_count, 64 * 64);
    EXPECT_TRUE(building_calls.empty());
    // First near instance: window cell (95, 95), corner heights from curh.
    EXPECT_EQ(inst[0].x, 10 - 128 + 95);
    EXPECT_EQ(inst[0].z, 20 - 128 + 95);
    int x = inst[0].x, z = inst[0].z;
    EXPECT_EQ(inst[0].h[0], HR::curh[hm_index(x, z)]);
    EXPECT_EQ(inst[0].h[1], HR::curh[hm_index(x + 1, z)]);
    EXPECT_EQ(inst[0].h[2], HR::curh[hm_index(x, z + 1)]);
    EXPECT_EQ(inst[0].h[3], HR::curh[hm_index(x + 1, z + 1)]);
    // Every index is a quad of the window grid outside the near block.
    for (int q = 0; q < quads; ++q) {
        const uint16_t* t = &land_ib[size_t(q) * 6];
        int v = t[0], j = v & 255, k = v >> 8;
        ASSERT_LT(j, 255);
        ASSERT_LT(k, 255);
        ASSERT_FALSE(j >= 95 && j <= 158 && k >= 95 && k <= 158);
        uint16_t want[6] = {uint16_t(v),     uint16_t(v + 256), uint16_t(v + 1),
                            uint16_t(v + 1), uint16_t(v + 256), uint16_t(v + 257)};
        ASSERT_EQ(memcmp(t, want, sizeof(want)), 0);
    }
}

TEST_F(RendererCpu, HouseCellsCallTheBuildingRendererOnce) {
    HR::setWindow(make4f(300, 0, -40, 1)); // origin (172, -168)
    // One house in the far circle (window cell (30, 128)), one in the near block, one
    // outside the circle (window corner).
    surface[hm_index(172 + 30, -168 + 128)].ground_type = GT_HOUSE;
    surface[hm_index(172 + 100, -168 + 120)].ground_type = GT_HOUSE;
    surface[hm_index(172 + 1, -168 + 1)].ground_type = GT_HOUSE;
    int quads = frame();
    EXPECT_EQ(quads, circle_quads(false) - 1);
    EXPECT_EQ(HR::near_count, 64 * 64 - 1);
    ASSERT_EQ(building_calls.size(), 2u);
    EXPECT_EQ(building_calls[0].x, 272); // near block first, unwrapped coordinates
    EXPECT_EQ(building_calls[0].z, -48);
    EXPECT_EQ(building_calls[0].s, &surface[hm_index(272, -48)]);
    EXPECT_EQ(building_calls[1].x, 202);
    EXPECT_EQ(building_calls[1].z, -40);
    for (int q = 0; q < quads; ++q) ASSERT_NE(land_ib[size_t(q) * 6], 128 * 256 + 30);
}

// A camera at (cx, cy, cz) looking along +z, 90 degrees wide, depth 0..1 over 0.1..512,
// in the row-vector form of view x projection.
Matrix44 look_along_z(float cx, float cy, float cz) {
    const float a = 512.0f / (512.0f - 0.1f), b = -0.1f * a;
    return {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, a, 1}, {-cx, -cy, b - cz * a, -cz}}};
}

TEST_F(RendererCpu, CulledQuadsLieOutsideTheViewAndHousesAreStillReported) {
    const vec4f cam = make4f(10, 40, 20, 1);
    HR::setWindow(cam);
    surface[hm_index(10, 0)].ground_type = GT_HOUSE;   // near block, behind the camera
    surface[hm_index(10, -90)].ground_type = GT_HOUSE; // far land, behind the camera
    const int all = frame();
    const std::vector<uint16_t> all_ib(land_ib.begin(), land_ib.begin() + all * 6);
    ASSERT_EQ(building_calls.size(), 2u);
    const Matrix44 m = look_along_z(cam.x, cam.y, cam.z);
    HR::cullBlocks(m);
    building_calls.clear();
    const int seen = frame();
    EXPECT_EQ(building_calls.size(), 2u);
    EXPECT_GT(seen, 1000);
    EXPECT_LT(seen, all / 2);
    EXPECT_LT(HR::near_count, 64 * 64 / 2);
    EXPECT_LT(HR::visible_blocks, 32 * 32 / 2);
    EXPECT_GT(HR::visible_horizon_blocks, 10); // the ring ahead
    EXPECT_LT(HR::visible_horizon_blocks, 12 * 12 / 2);
    // Every quad left out has all four corners beyond one plane of the view volume.
    std::vector<bool> kept(HMAP_CELLS);
    for (int q = 0; q < seen; ++q) kept[land_ib[size_t(q) * 6]] = true;
    for (int q = 0; q < all; ++q) {
        const int v = all_ib[size_t(q) * 6];
        if (kept[size_t(v)]) continue;
        int out[5] = {};
        for (int c = 0; c < 4; ++c) {
            const int j = v % 256 + (c & 1), k = v / 256 + (c >> 1);
            const float x = float(HR::win_ox + j), z = float(HR::win_oz + k);
            const float y = HR::curh[hm_index(HR::win_ox + j, HR::win_oz + k)];
            float p[4];
            for (int i = 0; i < 4; ++i)
                p[i] = x * m.m[0][i] + y * m.m[1][i] + z * m.m[2][i] + m.m[3][i];
            out[0] += p[0] < -p[3];
            out[1] += p[0] > p[3];
            out[2] += p[1] < -p[3];
            out[3] += p[1] > p[3];
            out[4] += p[3] <= 0.1f;
        }
        bool outside = false;
        for (int n : out) outside = outside || n == 4;
        ASSERT_TRUE(outside) << "quad " << v;
    }
    // Water over every cell: only the visible part of the circle is meshed.
    for (int i = 0; i < HMAP_CELLS; ++i) HR::curw[i] = 1.0f;
    HR::updateWaterDepth(0.0f); // dry in the step states: wet[] stays clear
    for (int z = 0; z < HMAP_SIZE; ++z)
        for (int x = 0; x < HMAP_SIZE; ++x) water[z][x].depth = 1.0f;
    HR::updateWaterDepth(1.0f);
    const int wet_seen = HR::fillWaterIndices(water_ib.data());
    EXPECT_GT(wet_seen, 1000);
    EXPECT_LT(wet_seen, circle_quads(true) / 2);
    HR::setWindow(cam); // shows everything again
    EXPECT_EQ(HR::fillWaterIndices(water_ib.data()), circle_quads(true));
    EXPECT_EQ(HR::visible_horizon_blocks, 12 * 12);
}

// Far blocks drawn coarse cover exactly the ground of the fine mesh, wound the same way, and
// leave no crack: every edge that one triangle alone uses lies on the fine mesh's outline
// (a coarse edge beside finer cells would be such an edge, and show as a gap).
TEST_F(RendererCpu, CoarseFarBlocksCoverTheSameGroundWithoutCracks) {
    const vec4f cam = make4f(10, 40, 20, 1);
    HR::setWindow(cam);
    for (int i = 0; i < HMAP_CELLS; ++i) HR::curh[i] = float(i % 7) * 0.3f;
    surface[hm_index(11, 130)].ground_type = GT_HOUSE; // far ahead: its block stays fine
    const Matrix44 m = look_along_z(cam.x, cam.y, cam.z);
    HR::cullBlocks(m);
    HR::fillNearInstances(inst.data());
    const int fine = HR::fillLandIndices(land_ib.data());
    // Directed edges (from << 16 | to) and twice the covered area, in cells.
    auto mesh = [&](int tris, std::map<int64_t, int>& edges) {
        int area2 = 0;
        for (int t = 0; t < tris; ++t) {
            const uint16_t* v = &land_ib[size_t(t) * 3];
            const int ax = v[0] & 255, az = v[0] >> 8, bx = v[1] & 255, bz = v[1] >> 8,
                      cx = v[2] & 255, cz = v[2] >> 8;
            const int cross = (bx - ax) * (cz - az) - (bz - az) * (cx - ax);
            EXPECT_LT(cross, 0) << "triangle " << t << " wound the other way or empty";
            area2 -= cross;
            for (int e = 0; e < 3; ++e) ++edges[int64_t(v[e]) << 16 | v[(e + 1) % 3]];
        }
        return area2;
    };
    std::map<int64_t, int> fine_edges, edges;
    const int fine_area2 = mesh(fine, fine_edges);
    HR::patch_cell_pixels = 0.0f; // near patches stay (see the next test)
    HR::chooseLevels(m, 640.0f, 360.0f);
    HR::patch_cell_pixels = 64.0f;
    EXPECT_GT(HR::coarse_blocks, 20);
    building_calls.clear();
    const int tris = HR::fillLandIndices(land_ib.data());
    EXPECT_EQ(building_calls.size(), 1u); // the house cell is still reported
    EXPECT_LT(tris, fine - 20 * 64);
    EXPECT_EQ(mesh(tris, edges), fine_area2);
    for (const auto& [e, n] : edges) {
        ASSERT_EQ(n, 1) << "edge used twice the same way";
        const int64_t back = (e & 0xFFFF) << 16 | e >> 16;
        if (edges.count(back)) continue;
        ASSERT_TRUE(fine_edges.count(e) && !fine_edges.count(back))
            << "edge " << (e >> 16) << "-" << (e & 0xFFFF) << " inside the land is open";
    }
    // Coarse triangles (a side two cells long) only far from the camera (window cell 128).
    int coarse_tris = 0;
    for (int t = 0; t < tris; ++t) {
        const uint16_t* v = &land_ib[size_t(t) * 3];
        if (abs((v[0] & 255) - (v[1] & 255)) < 2 && abs((v[0] >> 8) - (v[1] >> 8)) < 2 &&
            abs((v[0] & 255) - (v[2] & 255)) < 2 && abs((v[0] >> 8) - (v[2] >> 8)) < 2)
            continue;
        ++coarse_tris;
        const int dj = (v[0] & 255) - 128, dk = (v[0] >> 8) - 128;
        ASSERT_GT(dj * dj + dk * dk, 60 * 60) << "coarse triangle " << t;
    }
    EXPECT_GT(coarse_tris, 20 * 32);
    HR::setWindow(cam); // all fine again
    EXPECT_EQ(HR::fillLandIndices(land_ib.data()), circle_quads(false) * 2 - 2);
}

// Near cells that cover few pixels become plain quads of the far grid, each once; a house
// among them is still reported once, and setWindow brings the patches back.
TEST_F(RendererCpu, SmallNearCellsArePlainQuadsOnce) {
    const vec4f cam = make4f(10, 5, 20, 1);
    HR::setWindow(cam);
    surface[hm_index(12, 30)].ground_type = GT_HOUSE; // near block, ahead
    const Matrix44 m = look_along_z(cam.x, cam.y, cam.z);
    HR::cullBlocks(m);
    const int quads = frame(), patches = HR::near_count;
    ASSERT_EQ(building_calls.size(), 1u);
    HR::coarse_cell_pixels = 0.0f; // far blocks stay fine (see the test above)
    HR::chooseLevels(m, 640.0f, 360.0f);
    const int plain_blocks = HR::plain_near_blocks; // only those farther ahead
    HR::chooseLevels(m, 64.0f, 36.0f);              // a tiny screen: all of them
    HR::coarse_cell_pixels = 6.0f;
    EXPECT_GT(HR::plain_near_blocks, plain_blocks);
    EXPECT_GT(plain_blocks, 0);
    building_calls.clear();
    const int plain_quads = frame();
    EXPECT_EQ(building_calls.size(), 1u);
    EXPECT_LT(HR::near_count, patches);
    EXPECT_EQ(plain_quads - quads, patches - HR::near_count);
    std::vector<int> seen(HMAP_CELLS);
    for (int q = 0; q < plain_quads; ++q) ASSERT_EQ(++seen[land_ib[size_t(q) * 6]], 1);
    for (int i = 0; i < HR::near_count; ++i) {
        const int v = ((inst[size_t(i)].z - HR::win_oz) << 8) | (inst[size_t(i)].x - HR::win_ox);
        ASSERT_EQ(seen[size_t(v)], 0) << "a cell both as a patch and a quad";
    }
    HR::setWindow(cam);
    HR::cullBlocks(m);
    EXPECT_EQ(frame(), quads);
    EXPECT_EQ(HR::near_count, patches);
}

TEST_F(RendererCpu, HorizonRingCountMatchesItsFormula) {
    std::vector<uint16_t> ib(HORIZON_IB_INDICES);
    int quads = HR::buildHorizonIndices(ib.data());
    int want = 0;
    for (int a = -191; a <= 189; a += 2)
        for (int i = -191; i <= 189; i += 2)
            if (a * a + i * i > 3843) ++want;
    EXPECT_EQ(quads, want);
    EXPECT_LE(quads * 6, HORIZON_IB_INDICES);
    EXPECT_EQ(ib[0], 0);
    EXPECT_EQ(ib[1], 192);
    EXPECT_EQ(ib[5], 193);
    EXPECT_EQ(circle_quads(true) * 6 <= WATER_IB_INDICES, true);
}

TEST_F(RendererCpu, HorizonBendsAwayBeyond128Units) {
    HR::setWindow(make4f(5.2f, 0, 7.0f, 1));
    for (int i = 0; i < HMAP_CELLS; ++i) HR::curh[i] = 3.0f;
    HR::curw[hm_index(-380, -376)] = 0.5f;
    std::vector<Grid> v(HORIZON_SIZE * HORIZON_SIZE);
    HR::fillHorizonVertices(v.data(), make4f(5.2f, 0, 7.0f, 1));
    // Origin: (5 - 383) and (7 - 383) with the low two bits cleared.
    EXPECT_EQ(v[0].x, -380);
    EXPECT_EQ(v[0].z, -376);
    float d = (sqrtf(385.2f * 385.2f + 383.0f * 383.0f) - 128.0f) / 256.0f;
    EXPECT_NEAR(v[0].h, 3.5f - d * d * 128.0f, 1e-3f);
    int mid = 96 * 192 + 96; // (4, 8): within 128 units, not lowered
    EXPECT_EQ(v[mid].x, 4);
    EXPECT_EQ(v[mid].h, 3.0f);
}

TEST_F(RendererCpu, ShoreRuleTakesTheLakeLevelOnlyBelowTheGround) {
    HR::setWindow(make4f(128, 0, 128, 1)); // window = map
    for (int i = 0; i < HMAP_CELLS; ++i) HR::curh[i] = 10.0f;
    // Dry vertex (50, 50), depth 0.05, ground 5, next to a lake at level 2 + 1 = 3.
    HR::curh[hm_index(50, 50)] = 5.0f;
    HR::curw[hm_index(50, 50)] = 0.05f;
    HR::curh[hm_index(51, 50)] = 2.0f;
    HR::curw[hm_index(51, 50)] = 1.0f;
    // Dry vertex (80, 80), ground 5, next to water standing at 6 + 1 = 7.
    HR::curh[hm_index(80, 80)] = 5.0f;
    HR::curh[hm_index(79, 81)] = 6.0f;
    HR::curw[hm_index(79, 81)] = 1.0f;
    std::vector<WaterLow> v(HMAP_CELLS);
    HR::fillWaterVertices(v.data(), 0.0f);
    EXPECT_FLOAT_EQ(v[50 * 256 + 50].level, 3.0f - 0.1f);
    EXPECT_FLOAT_EQ(v[80 * 256 + 80].level, 5.0f - 0.1f);
    EXPECT_FLOAT_EQ(v[50 * 256 + 51].level, 3.0f - 0.1f); // wet: its own surface
    EXPECT_FLOAT_EQ(v[10 * 256 + 10].level, 10.0f - 0.1f);
    EXPECT_EQ(v[80 * 256 + 80].x, 80);
}

TEST_F(RendererCpu, WaterDepthFoamAndWetQuads) {
    HR::setWindow(make4f(128, 0, 128, 1));
    tmpw[40][60].depth = 0.0f;
    water[40][60].depth = 0.4f; // wet in the current state only
    tmpw[40][60].foam = 0.2f;
    water[40][60].foam = 0.6f;
    HR::updateWaterDepth(0.25f);
    EXPECT_FLOAT_EQ(HR::curw[hm_index(60, 40)], 0.1f);
    std::vector<WaterLow> v(HMAP_CELLS);
    HR::fillWaterVertices(v.data(), 0.25f);
    EXPECT_FLOAT_EQ(v[40 * 256 + 60].foam, 0.3f);
    std::vector<uint16_t> ib(WATER_IB_INDICES);
    int quads = HR::fillWaterIndices(ib.data());
    ASSERT_EQ(quads, 4); // the four quads that share the wet corner
    EXPECT_EQ(ib[0], 39 * 256 + 59);
    // Depth 0.1 exactly counts as dry.
    water[40][60].depth = 0.1f;
    HR::updateWaterDepth(0.0f);
    EXPECT_EQ(HR::fillWaterIndices(ib.data()), 0);
}

TEST_F(RendererCpu, LayerBWeight) {
    HR::uv_cycle = 20;
    EXPECT_FLOAT_EQ(HR::layerBWeight(0.0f), 1.0f);
    HR::uv_cycle = 0;
    EXPECT_FLOAT_EQ(HR::layerBWeight(0.0f), 0.0f);
    HR::uv_cycle = 39;
    EXPECT_NEAR(HR::layerBWeight(1.0f), 0.0f, 1e-6f); // the step to 40
    HR::uv_cycle = 10;
    EXPECT_FLOAT_EQ(HR::layerBWeight(0.0f), 0.5f);
}

TEST_F(RendererCpu, StepUpdateAdvectsAndReseedsOneLayerAt20And40) {
    HR::high_quality = true;
    for (int z = 0; z < HMAP_SIZE; ++z)
        for (int x = 0; x < HMAP_SIZE; ++x)
            HR::water_uv[0][(z << 8) | x] = HR::water_uv[1][(z << 8) | x] =
                make4f(float(x), float(z), float(z), float(x));
    HR::uv_cur = 0;
    HR::uv_cycle = 0;
    HR::setWindow(make4f(300, 0, 10, 1));
    // A uniform flow of 4 cells per second along x moves coordinates back by 0.2 per step.
    for (int z = 0; z < HMAP_SIZE; ++z)
        for (int x = 0; x < HMAP_SIZE; ++x) water[z][x].flow_x = 4.0f;
    tmpw[5][5].foam = 1.0f;
    HR::land_dirty = false;
    HR::stepUpdate(0.05f);
    EXPECT_TRUE(HR::land_dirty);
    EXPECT_EQ(HR::uv_cur, 1);
    EXPECT_EQ(HR::uv_cycle, 1);
    const vec4f& e = HR::water_uv[1][(7 << 8) | 9];
    EXPECT_NEAR(e.x, 8.8f, 1e-4f);
    EXPECT_NEAR(e.w, 8.8f, 1e-4f);
    EXPECT_NEAR(e.y, 7.0f, 1e-4f);
    // Foam: half of tmpw's foam sampled 0.2 cells upstream, plus half of its own.
    EXPECT_NEAR(water[5][5].foam, 0.5f * 0.8f, 1e-5f);
    EXPECT_NEAR(water[5][6].foam, 0.5f * 0.2f, 1e-5f);

    for (int i = 0; i < HMAP_CELLS; ++i) HR::curh[i] = 0;
    for (int z = 0; z < HMAP_SIZE; ++z)
        for (int x = 0; x < HMAP_SIZE; ++x) water[z][x].flow_x = 0.0f;
    game_rnd_seed = 1234; // the ripples never draw from the game's numbers
    while (HR::uv_cycle != 19) HR::stepUpdate(0.05f);
    vec4f before = HR::water_uv[HR::uv_cur ^ 1][(7 << 8) | 9];
    HR::stepUpdate(0.05f); // cycle 20: layer A re-seeded in the buffer just written
    EXPECT_EQ(HR::uv_cycle, 20);
    const vec4f* buf = HR::water_uv[HR::uv_cur];
    EXPECT_EQ(buf[(7 << 8) | 9].z, before.z);
    EXPECT_EQ(buf[(7 << 8) | 9].w, before.w);
    // Layer A is a rotated window grid: unit steps between window neighbours, and the
    // seam only at the window edge (map column 172 = window column 0).
    auto step = [&](int x0, int x1, int z) {
        const vec4f &a = buf[(z << 8) | x0], &b = buf[(z << 8) | x1];
        return sqrtf((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y));
    };
    EXPECT_NEAR(step(255, 0, 30), 1.0f, 1e-3f);
    EXPECT_NEAR(step(100, 101, 30), 1.0f, 1e-3f);
    EXPECT_NEAR(step(171, 172, 30), 255.0f, 1e-2f);
    while (HR::uv_cycle != 39) HR::stepUpdate(0.05f);
    before = HR::water_uv[HR::uv_cur ^ 1][(7 << 8) | 9];
    HR::stepUpdate(0.05f);
    EXPECT_EQ(HR::uv_cycle, 0);
    buf = HR::water_uv[HR::uv_cur];
    EXPECT_EQ(buf[(7 << 8) | 9].x, before.x); // layer A kept, layer B re-seeded
    EXPECT_NE(buf[(7 << 8) | 9].z, before.z);
    EXPECT_EQ(game_rnd_seed, 1234u);
    HR::high_quality = false;
}

TEST_F(RendererCpu, LowPathStepOnlyAdvectsFoam) {
    HR::uv_cur = 0;
    HR::uv_cycle = 0;
    water[3][3].foam = 0.5f;
    HR::stepUpdate(0.05f);
    EXPECT_EQ(HR::uv_cur, 0);
    EXPECT_EQ(HR::uv_cycle, 0);
    EXPECT_FLOAT_EQ(water[3][3].foam, 0.25f);
    EXPECT_TRUE(HR::land_dirty);
}

using RendererDeath = RendererCpu;

TEST_F(RendererDeath, RegionPastTheMapEdgeIsFatal) {
    EXPECT_EXIT(HR::loadHeights(1, 0, 256, 4), ::testing::ExitedWithCode(100),
                "failed ASSERT\\(x0>=0 && z0>=0 && x0\\+nx<=HMAP_SIZE && z0\\+nz<=HMAP_SIZE\\)");
    EXPECT_EXIT(HR::calcNormals(0, 0, 0, 4), ::testing::ExitedWithCode(100),
                "failed ASSERT\\(nx>0 && nz>0\\)");
    EXPECT_EXIT(HR::loadColors(0, -1, 4, 4), ::testing::ExitedWithCode(100), "HMAP_SIZE");
}

} // namespace
