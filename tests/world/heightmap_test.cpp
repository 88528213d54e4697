#include "world/heightmap.h"
#include "world_test_util.h"

#include <gtest/gtest.h>

using namespace HeightmapData;

TEST(WorldHeightmap, IndicesWrapAtEveryEdge) {
    EXPECT_EQ(hm_index(-1, 0), hm_index(255, 0));
    EXPECT_EQ(hm_index(256, 3), hm_index(0, 3));
    EXPECT_EQ(hm_index(3, -1), (255 << 8) | 3);
    EXPECT_EQ(&waterAt(-1, 256), &water[0][255]);
}

TEST(WorldHeightmap, ResetGivesGreyRockWithoutWater) {
    hmap[77] = 5.0f;
    target_hmap[78] = 3.0f;
    water[1][2] = {1.0f, 2.0f, 3.0f, 0.5f};
    surface[9].surf_type = ST_SNOW;
    surface[9].tile = 12345;
    reset();
    float lo = 1, hi = 1;
    calcHtRange(lo, hi);
    EXPECT_EQ(lo, 0.0f);
    EXPECT_EQ(hi, 0.0f);
    for (int i = 0; i < HMAP_CELLS; ++i) {
        const Surface& s = surface[i];
        ASSERT_EQ(s.color, 0xFF808080u);
        ASSERT_EQ(s.surf_color, 0u);
        ASSERT_EQ(s.ground_type, GT_ROCK);
        ASSERT_EQ(s.surf_type, 0u);
        ASSERT_EQ(s.tile_rot, 0u);
        ASSERT_EQ(s.tile, 0u);
        ASSERT_EQ(target_hmap[i], 0.0f);
        const Water& w = water[i >> 8][i & 255];
        ASSERT_TRUE(w.depth == 0 && w.flow_x == 0 && w.flow_z == 0 && w.foam == 0);
    }
}

TEST(WorldHeightmap, SurfaceBitFieldLayout) {
    Surface s{};
    s.ground_type = GT_NONE;
    EXPECT_EQ(s.ground_type, -1);
    s.ground_type = GT_SOIL;
    s.surf_type = ST_ROAD;
    s.tile_rot = 5;
    s.tile = 18;
    uint32_t word;
    memcpy(&word, reinterpret_cast<const char*>(&s) + 8, 4);
    EXPECT_EQ(word, 3u | (4u << 4) | (5u << 8) | (18u << 11));
    s.surf_type = 0; // the other fields stay
    memcpy(&word, reinterpret_cast<const char*>(&s) + 8, 4);
    EXPECT_EQ(word, 3u | (5u << 8) | (18u << 11));
}

TEST(WorldHeightmap, RecenterShiftsRangeToZero) {
    reset();
    hm(10, 10) = -10.0f;
    hm(200, 30) = 30.0f;
    hm(5, 5) = 7.0f;
    target_hmap[3] = 4.0f;
    EXPECT_EQ(recenterHt(), 20.0f);
    EXPECT_EQ(hm(10, 10), -20.0f);
    EXPECT_EQ(hm(200, 30), 20.0f);
    EXPECT_EQ(hm(5, 5), -3.0f);
    EXPECT_EQ(hm(0, 0), -10.0f);
    EXPECT_EQ(target_hmap[3], 4.0f); // targets are not shifted

    reset();
    EXPECT_EQ(recenterHt(), 0.0f); // flat at 0: unchanged
    EXPECT_EQ(hm(17, 99), 0.0f);
    for (float& h : hmap) h = 2.5f;
    EXPECT_EQ(recenterHt(), 0.0f); // flat elsewhere: moved to 0
    EXPECT_EQ(hm(17, 99), 0.0f);
}

TEST(WorldHeightmap, MorphStepValues) {
    reset();
    target_hmap[0] = 10.0f;                     // far: 10 x 0.01 + 0.05
    hmap[1] = 3.0f, target_hmap[1] = 3.01f;     // closer than one step: lands exactly
    hmap[2] = 1.0f, target_hmap[2] = -9.0f;     // moving down
    hmap[3] = -0.004f, target_hmap[3] = 0.006f; // across zero, still exact
    static float out[HMAP_CELLS];
    morphHmap(0.05f, out);
    EXPECT_NEAR(out[0], 0.15f, 1e-6f);
    EXPECT_EQ(out[1], 3.01f);
    EXPECT_NEAR(out[2], 0.85f, 1e-6f);
    EXPECT_EQ(out[3], 0.006f);
    EXPECT_EQ(hmap[0], 0.0f); // morph leaves hmap alone
    updateHmap(0.05f);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(float_bits(hmap[i]), float_bits(out[i])) << i;
    // Large dt: the rate saturates at 1 and the whole distance is covered.
    hmap[0] = 0.0f;
    updateHmap(10.0f);
    EXPECT_EQ(hmap[0], 10.0f);
}

TEST(WorldHeightmap, UpdateSkipsGroupsOfFourAlreadyClose) {
    reset();
    for (int i = 0; i < 4; ++i) target_hmap[8 + i] = 0.0009f;  // whole group close: skipped
    for (int i = 0; i < 3; ++i) target_hmap[12 + i] = 0.0009f; // one cell far: all four move
    target_hmap[15] = 1.0f;
    static float out[HMAP_CELLS];
    morphHmap(0.05f, out);
    updateHmap(0.05f);
    for (int i = 8; i < 12; ++i) {
        EXPECT_EQ(hmap[i], 0.0f);
        EXPECT_EQ(out[i], 0.0009f); // morph moves every cell
    }
    for (int i = 12; i < 15; ++i) EXPECT_EQ(hmap[i], 0.0009f);
    EXPECT_GT(hmap[15], 0.0f);
}
