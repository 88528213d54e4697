#include "world/hmGen.h"
#include "world/rnd.h"
#include "world_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace HeightmapData;

namespace {

void seeded(uint64_t seed) {
    game_rnd_seed = seed;
    reset();
    reseed_noise();
}

std::vector<float> copy_hmap() {
    return std::vector<float>(hmap, hmap + HMAP_CELLS);
}

} // namespace

TEST(WorldGen, FastNoiseIsDeterministicAndPositive) {
    static float a[HMAP_CELLS], b[HMAP_CELLS];
    game_rnd_seed = 11;
    makeFastNoise(a, 1.0f, 0.5f);
    uint64_t after = game_rnd_seed;
    game_rnd_seed = 11;
    makeFastNoise(b, 1.0f, 0.5f);
    EXPECT_EQ(memcmp(a, b, sizeof(a)), 0);
    EXPECT_EQ(after, game_rnd_seed);
    // Four draws per quad over 4 + 16 + ... + 16384 quads.
    game_rnd_seed = 11;
    for (int i = 0; i < 4 * (4 + 16 + 64 + 256 + 1024 + 4096 + 16384); ++i) rnd_step();
    EXPECT_EQ(after, game_rnd_seed);
    // First level from the four -0.5 corners: (9 + 3 + 3 + 1) / 16 x -0.5 plus a positive draw;
    // the mean rises by about a / 2 per level.
    double sum = 0;
    for (float v : a) sum += v;
    EXPECT_GT(sum / HMAP_CELLS, 0.0);
    EXPECT_LT(sum / HMAP_CELLS, 1.5);
    // Zero amplitude: every value is the smoothed -0.5.
    makeFastNoise(a, 0.0f, 0.5f);
    for (float v : a) ASSERT_EQ(v, -0.5f);
}

TEST(WorldGen, FastNoiseAddsHeightsAndPaints) {
    seeded(12);
    ColorRamp ramp;
    for (auto& e : ramp.e) e = make4f(1.0f, 0.0f, 0.0f, 1.0f); // full weight, pure red
    addFastNoise(2.0f, 6.0f, &ramp, GT_SAND, 255, 0.5f);
    static float noise[HMAP_CELLS];
    game_rnd_seed = 12;
    reseed_noise();
    makeFastNoise(noise, 1.0f, 0.5f);
    for (int i = 0; i < HMAP_CELLS; i += 97) {
        EXPECT_EQ(hmap[i], noise[i] * 4.0f + 2.0f);
        EXPECT_EQ(surface[i].color, 0xFFFF0000u);
        EXPECT_EQ(surface[i].ground_type, GT_SAND);
    }
    seeded(12);
    addFastNoise(0.0f, 1.0f, nullptr, GT_NONE, 0, 0.5f); // no ramp, keep types
    EXPECT_EQ(surface[5].color, 0xFF808080u);
    EXPECT_EQ(surface[5].ground_type, GT_ROCK);
}

TEST(WorldGen, SimplexNoiseNeverLowersAndUsesOnlyTheBaseTileForOneOctave) {
    seeded(13);
    addSimplexNoise(0.0f, 10.0f, 8, 6, 0.5f);
    float lo, hi;
    calcHtRange(lo, hi);
    EXPECT_GE(lo, 0.0f);
    EXPECT_GT(hi, 3.0f);
    seeded(13);
    addSimplexNoise(0.0f, 10.0f, 8, 1, 0.5f);
    // One octave: exactly the base tile's noise, which wraps with the map.
    for (int z = 0; z < 256; ++z)
        for (int x = 0; x < 256; ++x) {
            float n = tiled_noise2(float(x) * 0.03125f, float(z) * 0.03125f, 8);
            ASSERT_EQ(hm(x, z), std::max(0.0f, n * 0.286f + 0.5f) * 10.0f) << x << "," << z;
        }
}

TEST(WorldGen, VoronoiHillsOutOfReachLeaveCellsAlone) {
    seeded(14);
    addVoronoiHills(8, 1.0f, 5.0f, 1e-3f);
    int changed = 0;
    for (float h : hmap) changed += h != 0.0f;
    EXPECT_LT(changed, 64); // only cells right on a feature point
    seeded(14);
    addVoronoiHills(8, 1.0f, 5.0f, 0.8f);
    float lo, hi;
    calcHtRange(lo, hi);
    EXPECT_GE(lo, 0.0f);
    EXPECT_LE(hi, 5.0f);
    EXPECT_GT(hi, 1.0f);
}

TEST(WorldGen, VoronoiFaultsMakePlateausWithinRange) {
    seeded(15);
    genVoronoiFaults(4, 2.0f, 9.0f, 0.4f, 2, 2, 1.0f);
    float lo, hi;
    calcHtRange(lo, hi);
    EXPECT_GE(lo, 2.0f);
    EXPECT_LE(hi, 9.0f);
    int flat = 0; // most cells sit on a plateau: equal to a neighbour
    for (int i = 0; i < HMAP_CELLS; ++i) flat += hmap[i] == hmap[(i + 1) & 0xFFFF];
    EXPECT_GT(flat, HMAP_CELLS / 2);
}

TEST(WorldGen, VoronoiFaultsMatchTheirDefinitionCellByCell) {
    const int tile = 8, warp_tile = 2, octaves = 3;
    const float warp = 0.6f, slope = 1.5f;
    seeded(18);
    uint64_t seed = game_rnd_seed;
    genVoronoiFaults(tile, 1.0f, 7.0f, warp, warp_tile, octaves, slope);
    game_rnd_seed = seed;
    float H[256];
    for (float& h : H) h = 1.0f + 6.0f * rnd_float();
    auto fractal = [&](float p, float q) {
        int t = warp_tile * tile;
        float n = tiled_noise2(p, q, t), amp = 1.0f;
        for (int o = 1; o < octaves; ++o) {
            amp *= 0.5f, p = p * 2 + 0.5f, q = q * 2 + 0.5f, t = (t * 2) & 255;
            n += amp * tiled_noise2(p, q, t);
        }
        return n;
    };
    float fw = float(warp_tile * tile) / 256.0f, fv = float(tile) / 256.0f;
    for (int i = 0; i < 400; ++i) {
        int x = (i * 37) & 255, z = (i * 91 + 5) & 255;
        float wx = fractal(float(x) * fw, float(z) * fw),
              wz = fractal(float(z) * fw, float(x) * fw);
        float d[4];
        int ids[4];
        tiled_voronoi_noise2_near4(float(x) * fv + warp * wx, float(z) * fv + warp * wz, 3, d, ids,
                                   nullptr);
        float A = H[voronoi_id_hash(ids[0])], B = H[voronoi_id_hash(ids[1])];
        float e =
            (std::sqrt(d[1]) - std::sqrt(d[0])) * (slope / fv) / std::max(std::fabs(A - B), 0.1f);
        ASSERT_EQ(hm(x, z), e > 1.0f ? A : ((A - B) * e + A + B) / 2.0f) << x << "," << z;
    }
}

TEST(WorldGen, FaultStaysInItsEllipseAndZeroDirectionChangesNothing) {
    seeded(16);
    ColorRamp ramp;
    for (auto& e : ramp.e) e = make4f(0.0f, 0.0f, 1.0f, 1.0f);
    uint64_t before = game_rnd_seed;
    genFault({3.0f, 250.0f}, {0.0f, 0.0f}, 20.0f, 0.75f, 1.0f, &ramp, GT_SAND, 255, hmap);
    EXPECT_NE(before, game_rnd_seed); // the draw still happens, keeping later calls aligned
    for (int i = 0; i < HMAP_CELLS; ++i) {
        ASSERT_EQ(hmap[i], 0.0f);
        ASSERT_EQ(surface[i].color, 0xFF808080u);
    }
    genFault({3.0f, 250.0f}, {1.0f, 0.0f}, 20.0f, 0.75f, 1.0f, &ramp, GT_SAND, 255, hmap);
    int painted = 0;
    for (int z = 0; z < 256; ++z)
        for (int x = 0; x < 256; ++x) {
            float dx = float(x) - 3.0f, dz = float(z) - 250.0f;
            dx -= dx > 128 ? 256 : 0;
            dz += dz <= -128 ? 256 : 0;
            float F = (dx / 64) * (dx / 64) + (dz / 128) * (dz / 128);
            if (F >= 1.0f) {
                ASSERT_EQ(hm(x, z), 0.0f) << x << "," << z;
            }
            if (surface[hm_index(x, z)].color == 0xFF0000FFu) {
                ++painted;
                EXPECT_EQ(surface[hm_index(x, z)].ground_type, GT_SAND);
            }
        }
    EXPECT_GT(painted, 0);
    // Far side (+x) up by about 0.75 height, near side down by about 0.25 height.
    EXPECT_NEAR(hm(3 + 30, 250), 15.0f * 0.6f, 6.0f);
    EXPECT_LT(hm(256 + 3 - 30, 250), 0.0f);
}

TEST(WorldGen, CraterNeverRaisesAndUsesTheRoundedCentreWhenEmpty) {
    seeded(17);
    addSimplexNoise(0.0f, 10.0f, 4, 4, 0.5f);
    std::vector<float> before = copy_hmap();
    genCrater({100.3f, 40.7f}, 12.0f, 1.5f, hmap);
    int lowered = 0;
    for (int i = 0; i < HMAP_CELLS; ++i) {
        ASSERT_LE(hmap[i], before[i]);
        lowered += hmap[i] < before[i];
    }
    EXPECT_GT(lowered, 300);

    // Radius 0.3 between lattice points: no cell lies within it, so the level is the height
    // at the rounded centre (10, 20), not at the floored (9, 20).
    reset();
    hm(9, 20) = -4.0f;
    genCrater({9.6f, 20.4f}, 0.3f, 1.0f, hmap);
    double dist = std::sqrt(0.4 * 0.4 + 0.4 * 0.4), diff = dist - 0.3, k = 1 - diff / 0.3;
    double q = diff * 2 / 3, t = 1 - q * q, v = 0 - diff;
    v += t * (-1.5 - v);
    EXPECT_NEAR(hm(10, 20), v * k * k, 1e-5);
    EXPECT_EQ(hm(9, 20), -4.0f);
}

TEST(WorldGen, NonFiniteArgumentsLeaveTheMapSane) {
    seeded(19);
    genCrater({NAN, 10.0f}, 5.0f, 1.0f, hmap);
    genCrater({10.0f, 10.0f}, INFINITY, 1.0f, hmap);
    for (float h : hmap) ASSERT_EQ(h, 0.0f);
    genVoronoiFaults(4, 0.0f, 1.0f, NAN, 2, 2, 1.0f); // NaN warp: garbage heights, no crash
    addVoronoiHills(4, 0.0f, 1.0f, NAN);
    Point2 p[9];
    int ids[9];
    tiled_voronoi_noise2_all9(NAN, 1e30f, 8, p, ids);
    for (int id : ids) EXPECT_EQ(id & ~((255 << 16) | 255), 0);
    // Out-of-range coordinates read some lattice cell; the sanitizers check the arithmetic.
    EXPECT_LE(std::fabs(tiled_noise2(1e30f, -1e30f, 256)), 4.0f);
}

TEST(WorldGen, HugeCraterLowersEachCellOnce) {
    reset();
    for (float& h : hmap) h = 10.0f;
    genCrater({128.0f, 128.0f}, 100.0f, 0.05f, hmap);
    // (248, 128) lies 120 from the centre (its other copy, 136 away, is also within 2 r):
    // diff 20, k 0.8, v 9, lowered once to 10 + (9 - 10) x 0.64.
    EXPECT_NEAR(hm(248, 128), 9.36f, 1e-4f);
    EXPECT_NEAR(hm(128, 128), 5.0f, 1e-4f); // centre: 10 - 100 x 0.05
    float lo, hi;
    calcHtRange(lo, hi);
    EXPECT_GE(lo, 5.0f - 1e-4f);
    EXPECT_LE(hi, 10.0f);
}

TEST(WorldGen, PlaceHouseOriginsAndTemplates) {
    reset();
    placeHouse(100, 50, -1, hmap, false);
    // Court 18 x 18 from (91, 41): corner tile 'b' (1), heights from the digits x 0.75.
    EXPECT_EQ(surface[hm_index(91, 41)].ground_type, GT_HOUSE);
    EXPECT_EQ(surface[hm_index(91, 41)].tile, 1u); // bottom row "bcdb....": 'b'
    EXPECT_EQ(surface[hm_index(91, 41)].tile_rot, 0u);
    EXPECT_EQ(surface[hm_index(108, 58)].tile, 1u); // top row "...bdcb": last 'b', orient 6
    EXPECT_EQ(surface[hm_index(108, 58)].tile_rot, 6u);
    EXPECT_EQ(surface[hm_index(95, 41)].ground_type, GT_ROCK); // '.' keeps the cell
    EXPECT_EQ(surface[hm_index(90, 41)].ground_type, GT_ROCK);
    EXPECT_EQ(hm(92, 42), 8.0f * 6.75f / 9.0f); // second row "0888...": mean base 0
    EXPECT_EQ(hm(93, 43), 9.0f * 6.75f / 9.0f);
    EXPECT_EQ(hm(92, 57), 8.0f * 6.75f / 9.0f);
    EXPECT_EQ(hm(93, 57), 9.0f * 6.75f / 9.0f);
    EXPECT_EQ(hm(91, 41), 0.0f);

    // kind 4 -> template 2 (4 x 10), origin (x - 2, z - 5); wraps at the map edge.
    reset();
    for (float& h : hmap) h = 3.0f;
    placeHouse(1, 2, 4, hmap, false);
    EXPECT_EQ(surface[hm_index(-1, -3)].ground_type, GT_HOUSE);
    EXPECT_EQ(surface[hm_index(2, 6)].ground_type, GT_HOUSE);
    EXPECT_EQ(surface[hm_index(3, 6)].ground_type, GT_ROCK);
    EXPECT_EQ(surface[hm_index(2, 7)].ground_type, GT_ROCK);
    EXPECT_EQ(hm(-1, -3), 3.0f);                     // rim digit 0 sits at the base
    EXPECT_EQ(hm(0, 0), 3.0f + 5.0f * 6.75f / 9.0f); // text row 7: "05550"
    EXPECT_EQ(hm(1, 2), 3.0f + 7.0f * 6.75f / 9.0f); // text row 5: "05750"

    // Relative: the mean of terrain minus the template's relief.
    reset();
    for (float& h : hmap) h = 5.0f;
    placeHouse(50, 50, 0, hmap, true); // template 1, 4 x 4
    float relief = (8 * 8 + 9) * 6.75f / 9.0f;
    float base = (25 * 5.0f - relief) / 25.0f;
    EXPECT_FLOAT_EQ(hm(48, 48), base);
    EXPECT_FLOAT_EQ(hm(50, 50), base + 6.75f);
}

namespace {

struct CountWalk : IWalkMapGrid {
    int calls = 0;
    float last_x = -1, last_z = -1, size = 0;
    void on_map_grid_walk(float x, float z, float s) override {
        ++calls;
        last_x = x, last_z = z, size = s;
    }
};

struct Collect : IMapPointReceiver {
    std::vector<Point2> pts;
    void on_map_point(float x, float z) override { pts.push_back({x, z}); }
};

} // namespace

TEST(WorldGen, WalkMapGridLevels) {
    CountWalk w;
    walk_map_grid(3, w);
    EXPECT_EQ(w.calls, 32 * 32);
    EXPECT_EQ(w.last_x, 248.0f);
    EXPECT_EQ(w.size, 8.0f);
    CountWalk one;
    walk_map_grid(12, one); // above 8: a single 256 cell
    EXPECT_EQ(one.calls, 1);
    EXPECT_EQ(one.size, 256.0f);
    CountWalk fine;
    walk_map_grid(-1, fine);
    EXPECT_EQ(fine.calls, 512 * 512);
    EXPECT_EQ(fine.last_x, 255.5f);
    EXPECT_EQ(fine.size, 0.5f);

    Collect c;
    GenMapCellPoints gen(&c, 3);
    game_rnd_seed = 1;
    walk_map_grid(6, gen); // 4 x 4 cells of 64
    ASSERT_EQ(c.pts.size(), 48u);
    game_rnd_seed = 1;
    float r1 = rnd_float(), r2 = rnd_float();
    EXPECT_EQ(c.pts[0].x, 64.0f * r1);
    EXPECT_EQ(c.pts[0].y, 64.0f * r2);
    EXPECT_GE(c.pts[47].x, 192.0f);
    EXPECT_GE(c.pts[47].y, 192.0f);
}
