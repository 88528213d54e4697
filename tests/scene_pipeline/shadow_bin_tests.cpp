#include "scene/pipeline/shadows.h"

#include <cmath>
#include <gtest/gtest.h>
#include <vector>

// The device layer's program hooks; no device is opened here.
bool isFullscreen = false;

namespace {
// Looking along +z from the origin: left-handed, depth 0..1, 90 degrees, aspect 16:9.
Matrix44 forward_glob() {
    const float s = 1.0f, aspect = 16.0f / 9.0f, zn = 0.1f, zf = 512.0f;
    const float q = zf / (zf - zn);
    Matrix44 m = {};
    m.m[0][0] = s / aspect;
    m.m[1][1] = s;
    m.m[2][2] = q;
    m.m[2][3] = 1.0f;
    m.m[3][2] = -zn * q;
    return m;
}

const vec4f CAM = make4f(0, 0, 0, 1);
const vec4f SUN_UP = make4f(0, 1, 0, 0);

struct Instance {
    int col, row;
    std::vector<float> radii;
};

std::vector<Instance> instances(int n) {
    std::vector<Instance> out;
    for_each_shadow_instance(n, [&](int c, int r, const vec4f* b) {
        Instance in{c, r, {}};
        for (int i = 0; i < n; ++i) in.radii.push_back(b[i].w);
        out.push_back(in);
    });
    return out;
}

int tiles_with_balls() {
    int n = 0;
    for (const ShadowTile& t : shadow_tiles) n += t.last >= 0;
    return n;
}
} // namespace

TEST(ShadowBins, EmptyFrameHasNoInstances) {
    reset_shadow_bins(forward_glob(), CAM, SUN_UP);
    for (int n : {8, 4, 2, 1}) EXPECT_TRUE(instances(n).empty());
    for (const ShadowTile& t : shadow_tiles) {
        EXPECT_EQ(t.first, -1);
        EXPECT_EQ(t.last, -1);
        EXPECT_EQ(t.full, 0);
        EXPECT_EQ(t.count, 0);
    }
}

TEST(ShadowBins, ThirteenBallsInOneTileSplitEightFourOne) {
    reset_shadow_bins(forward_glob(), CAM, SUN_UP);
    // Small balls far ahead in the middle of the screen all land in one tile.
    for (int i = 0; i < 13; ++i)
        render_shadow_ball(make4f(0.3f, 0.3f, 100.0f, 1), 0.01f + i * 0.001f);
    ASSERT_EQ(tiles_with_balls(), 1);
    EXPECT_EQ(shadow_balls.num, 13);
    std::vector<Instance> i8 = instances(8), i4 = instances(4), i2 = instances(2),
                          i1 = instances(1);
    ASSERT_EQ(i8.size(), 1u);
    ASSERT_EQ(i4.size(), 1u);
    EXPECT_TRUE(i2.empty());
    ASSERT_EQ(i1.size(), 1u);
    // Centre (0.3, 0.3) at depth 100 projects near ndc 0: column 8, row 4.
    EXPECT_EQ(i8[0].col, 8);
    EXPECT_EQ(i8[0].row, 4);
    // Every ball exactly once, in order.
    std::vector<float> all = i8[0].radii;
    all.insert(all.end(), i4[0].radii.begin(), i4[0].radii.end());
    all.insert(all.end(), i1[0].radii.begin(), i1[0].radii.end());
    ASSERT_EQ(all.size(), 13u);
    for (int i = 0; i < 13; ++i) EXPECT_FLOAT_EQ(all[i], 0.01f + i * 0.001f);
}

TEST(ShadowBins, BlockCountsFollowTheBitsOfTheRemainder) {
    // 8k + r balls: k full blocks, then 4, 2, 1 by the bits of r; 16 chains two full blocks.
    for (int total : {1, 2, 3, 7, 8, 9, 16, 23}) {
        reset_shadow_bins(forward_glob(), CAM, SUN_UP);
        for (int i = 0; i < total; ++i) render_shadow_ball(make4f(0.3f, 0.3f, 100.0f, 1), 0.02f);
        const int r = total % 8;
        EXPECT_EQ(int(instances(8).size()), total / 8) << total;
        EXPECT_EQ(int(instances(4).size()), (r >> 2) & 1) << total;
        EXPECT_EQ(int(instances(2).size()), (r >> 1) & 1) << total;
        EXPECT_EQ(int(instances(1).size()), r & 1) << total;
        int balls = 0;
        for (int n : {8, 4, 2, 1}) balls += n * int(instances(n).size());
        EXPECT_EQ(balls, total);
    }
}

TEST(ShadowBins, DistantBallsCastNothing) {
    reset_shadow_bins(forward_glob(), CAM, SUN_UP);
    render_shadow_ball(make4f(0, 0, 112.0f, 1), 1.0f);       // exactly 112 away
    render_shadow_ball(make4f(80.0f, 5.0f, 80.0f, 1), 1.0f); // 113 horizontally
    EXPECT_EQ(tiles_with_balls(), 0);
    EXPECT_EQ(shadow_balls.num, 2);                        // still listed for the debug view
    render_shadow_ball(make4f(0, 50.0f, 111.9f, 1), 1.0f); // height does not count
    EXPECT_GT(tiles_with_balls(), 0);
}

TEST(ShadowBins, BallsOutsideTheViewAreDropped) {
    reset_shadow_bins(forward_glob(), CAM, SUN_UP);
    render_shadow_ball(make4f(0, 0, -20.0f, 1), 1.0f); // behind the camera
    render_shadow_ball(make4f(60, 0, 20.0f, 1), 1.0f); // far to the right
    render_shadow_ball(make4f(0, 60, 20.0f, 1), 1.0f); // far above
    EXPECT_EQ(tiles_with_balls(), 0);
    // Just outside the frustum, but its shadow volume reaches in.
    render_shadow_ball(make4f(38.0f, 0, 20.0f, 1), 1.0f);
    EXPECT_GT(tiles_with_balls(), 0);
    for (int t = 0; t < SHADOW_TILES; ++t) {
        if (shadow_tiles[t].last >= 0) {
            EXPECT_EQ(t % SHADOW_TILES_X, SHADOW_TILES_X - 1);
        }
    }
}

TEST(ShadowBins, RectangleCoversTheShadowVolume) {
    // A sun low from the +x side throws the volume to -x: tiles left of the ball get it.
    reset_shadow_bins(forward_glob(), CAM, make4f(1, 0, 0, 0));
    render_shadow_ball(make4f(0, 0, 30.0f, 1), 1.0f);
    int min_col = 99, max_col = -1, min_row = 99, max_row = -1;
    for (int t = 0; t < SHADOW_TILES; ++t) {
        if (shadow_tiles[t].last < 0) continue;
        min_col = std::min(min_col, t % SHADOW_TILES_X);
        max_col = std::max(max_col, t % SHADOW_TILES_X);
        min_row = std::min(min_row, t / SHADOW_TILES_X);
        max_row = std::max(max_row, t / SHADOW_TILES_X);
    }
    // Volume centre x = -3 at z 30: ndc -0.05625, radius 5 gives 0.1125 (w - 5 = 25).
    EXPECT_EQ(min_col, 6);
    EXPECT_EQ(max_col, 8);
    EXPECT_EQ(min_row, 3);
    EXPECT_EQ(max_row, 5);
}

TEST(ShadowBins, CameraInsideTheVolumeCoversTheScreen) {
    reset_shadow_bins(forward_glob(), CAM, SUN_UP);
    render_shadow_ball(make4f(0, 1.0f, 1.0f, 1), 1.0f);
    EXPECT_EQ(tiles_with_balls(), SHADOW_TILES);
    EXPECT_EQ(int(instances(1).size()), SHADOW_TILES);
}

TEST(ShadowBins, ManyBallsChainBlocksPerTile) {
    reset_shadow_bins(forward_glob(), CAM, SUN_UP);
    for (int i = 0; i < 1000; ++i) render_shadow_ball(make4f(0.3f, 0.3f, 100.0f, 1), 0.02f);
    const ShadowTile& t = shadow_tiles[4 * SHADOW_TILES_X + 8];
    EXPECT_EQ(t.full, 124);
    EXPECT_EQ(t.count, 8);
    EXPECT_EQ(int(instances(8).size()), 125);
    // The chain from first reaches last after `full` links.
    int b = t.first;
    for (int i = 0; i < t.full; ++i) b = shadow_next_block[b];
    EXPECT_EQ(b, t.last);
    EXPECT_EQ(shadow_next_block[t.last], -1);
}
