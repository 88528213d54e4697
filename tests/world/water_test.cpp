#include "water_reference.h"
#include "world/heightmap.h"
#include "world/hmGen.h"
#include "world/rnd.h"
#include "world_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

using namespace HeightmapData;

namespace {

double total_volume() {
    double v = 0;
    for (auto& row : water)
        for (const Water& w : row) v += w.depth;
    return v;
}

void rough_world(uint64_t seed) {
    game_rnd_seed = seed;
    reset();
    reseed_noise();
    addSimplexNoise(0.0f, 12.0f, 4, 5, 0.5f);
    for (int i = 0; i < HMAP_CELLS; ++i) {
        float r = rnd_float();
        water[i >> 8][i & 255] = {r < 0.3f ? 0.0f : r * 3.0f, rnd_float() - 0.5f,
                                  rnd_float() - 0.5f, rnd_float() * 0.5f};
    }
}

} // namespace

TEST(WorldWater, MatchesTheSequentialPassOrderBitForBit) {
    static Water start[256][256], ref[256][256], ref_tmp[256][256];
    const bool wide = water_wide;
    for (uint64_t seed : {1u, 2u}) {
        water_wide = wide && seed == 1; // both widths where the CPU has the wide one
        rough_world(seed);
        memcpy(start, water, sizeof(water));
        for (int i = 0; i < 60; ++i) water_reference::sim_water(0.05f);
        memcpy(ref, water, sizeof(water));
        memcpy(ref_tmp, tmpw, sizeof(tmpw));
        memcpy(water, start, sizeof(water));
        for (int i = 0; i < 60; ++i) simWater(0.05f);
        ASSERT_EQ(memcmp(ref_tmp, tmpw, sizeof(tmpw)), 0);
        for (int z = 0; z < 256; ++z)
            for (int x = 0; x < 256; ++x)
                ASSERT_EQ(memcmp(&ref[z][x], &water[z][x], sizeof(Water)), 0)
                    << "cell " << x << "," << z << " depth " << ref[z][x].depth << " vs "
                    << water[z][x].depth;
    }
    water_wide = wide;
}

TEST(WorldWater, ColumnOnFlatGroundSpreadsSymmetricallyAndKeepsVolume) {
    reset();
    water[100][50].depth = 4.0f;
    for (int i = 0; i < 30; ++i) simWater(0.05f);
    EXPECT_LT(water[100][50].depth, 4.0f);
    EXPECT_GT(water[100][51].depth, 0.0f);
    EXPECT_FLOAT_EQ(water[100][51].depth, water[100][49].depth);
    EXPECT_FLOAT_EQ(water[100][51].depth, water[101][50].depth);
    EXPECT_FLOAT_EQ(water[100][51].depth, water[99][50].depth);
    EXPECT_NEAR(total_volume(), 4.0, 4e-6);
    for (auto& row : water)
        for (const Water& w : row) ASSERT_GE(w.depth, 0.0f);
}

TEST(WorldWater, ClosedBasinKeepsItsVolumeOver1000Steps) {
    reset();
    for (int z = 0; z < 256; ++z)
        for (int x = 0; x < 256; ++x) {
            float dx = float(x - 128), dz = float(z - 128);
            hm(x, z) = (dx * dx + dz * dz) * 0.01f + 0.3f * std::sin(float(x) * 0.7f);
            if (dx * dx + dz * dz < 900)
                water[z][x].depth = 0.5f + 0.001f * float((x * 7 + z) % 13);
        }
    double v0 = total_volume();
    for (int i = 0; i < 1000; ++i) simWater(0.05f);
    EXPECT_NEAR(total_volume() / v0, 1.0, 1e-5);
    for (auto& row : water)
        for (const Water& w : row) ASSERT_GE(w.depth, 0.0f);
}

TEST(WorldWater, HigherDryNeighbourCutsTheFlowAndRaisesFoam) {
    reset();
    for (float& h : hmap) h = 1.5f;
    hm(10, 10) = 0.0f;
    water[10][10].depth = 1.0f;
    simWater(0.05f);
    const Water& w = water[10][10];
    float ax = (1.0f - 1.5f) * 0.5f;
    EXPECT_EQ(w.flow_x, ax);
    EXPECT_EQ(w.flow_z, ax);
    EXPECT_EQ(w.foam, std::min(1.0f, (ax * ax + ax * ax) * 3.2f + (0.1f + 0.1f) * 0.75f));
    EXPECT_EQ(w.depth, 1.0f);
    EXPECT_EQ(water[10][11].depth, 0.0f);
    simWater(0.05f); // flowing inwards with nothing above this ground: cut again
    EXPECT_EQ(water[10][10].flow_x, ax);
    EXPECT_EQ(water[10][10].depth, 1.0f);
}

TEST(WorldWater, ZeroStepChangesNothing) {
    reset();
    game_rnd_seed = 3;
    for (auto& row : water)
        for (Water& w : row) w = {1.0f, rnd_float() - 0.5f, rnd_float() - 0.5f, rnd_float()};
    static Water before[256][256];
    memcpy(before, water, sizeof(water));
    simWater(0.0f);
    for (int z = 0; z < 256; ++z)
        for (int x = 0; x < 256; ++x) {
            ASSERT_EQ(water[z][x].depth, before[z][x].depth);
            ASSERT_EQ(water[z][x].flow_x, before[z][x].flow_x);
            ASSERT_EQ(water[z][x].flow_z, before[z][x].flow_z);
            ASSERT_EQ(water[z][x].foam, before[z][x].foam);
        }
    EXPECT_EQ(memcmp(tmpw, before, sizeof(before)), 0);
}

TEST(WorldWater, OverdrawnPointGivesExactlyItsSnapshotDepth) {
    reset();
    water[50][50] = {0.01f, 10.0f, 10.0f, 0.0f};
    simWater(0.05f);
    EXPECT_EQ(water[50][50].depth, 0.0f);
    float east = water[50][51].depth, south = water[51][50].depth;
    float west = water[50][49].depth, north = water[49][50].depth;
    EXPECT_GT(east, 0.0f);
    EXPECT_GT(east, 100 * west); // the set flows dominate the pressure of the dry sides
    EXPECT_NEAR(east + south + west + north, 0.01f, 1e-9f);
}

TEST(WorldWater, AddWaterOnFlatLandMakesNoFlow) {
    reset();
    addWater(1.0f);
    simWater(0.05f);
    for (auto& row : water)
        for (const Water& w : row) {
            ASSERT_EQ(w.depth, 1.0f);
            ASSERT_EQ(w.flow_x, 0.0f);
            ASSERT_EQ(w.flow_z, 0.0f);
        }
}

TEST(WorldWater, SquareDepthIsTheHighestBilinearLevel) {
    reset();
    game_rnd_seed = 8;
    for (float& h : hmap) h = rnd_float() * 4.0f;
    for (auto& row : water)
        for (Water& w : row) w.depth = rnd_float();
    __m128 at = _mm_setr_ps(10.0f, 1.0f, 20.0f, 0.0f);
    EXPECT_EQ(_mm_cvtss_f32(calcSquareDepth(at, 0.0f, false)), hm(10, 20) - 1.0f);
    EXPECT_EQ(_mm_cvtss_f32(calcSquareDepth(at, 0.0f, true)),
              hm(10, 20) + water[20][10].depth - 1.0f);
    alignas(16) float lanes[4];
    _mm_store_ps(lanes, calcSquareDepth(at, 0.0f, true));
    EXPECT_TRUE(lanes[0] == lanes[1] && lanes[1] == lanes[2] && lanes[2] == lanes[3]);

    // Dense sampling never exceeds the exact maximum and comes close to it; wraps at 0.
    for (Point2 c : {Point2{100.3f, 50.8f}, Point2{0.2f, 255.6f}}) {
        float r = 1.7f;
        float got = _mm_cvtss_f32(calcSquareDepth(_mm_setr_ps(c.x, 0, c.y, 0), r, true));
        float best = -1e30f;
        for (int j = 0; j <= 200; ++j)
            for (int i = 0; i <= 200; ++i) {
                float X = c.x - r + 2 * r * float(i) / 200, Z = c.y - r + 2 * r * float(j) / 200;
                int x0 = int(std::floor(X)), z0 = int(std::floor(Z));
                float fx = X - float(x0), fz = Z - float(z0);
                auto L = [](int x, int z) { return hm(x, z) + waterAt(x, z).depth; };
                float a = L(x0, z0) + (L(x0 + 1, z0) - L(x0, z0)) * fx;
                float b = L(x0, z0 + 1) + (L(x0 + 1, z0 + 1) - L(x0, z0 + 1)) * fx;
                best = std::max(best, a + (b - a) * fz);
            }
        EXPECT_GE(got, best - 1e-4f);
        EXPECT_LE(got, best + 0.05f);
    }
}
