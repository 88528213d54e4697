#include "core/ramp.h"
#include "world/det_math.h"
#include "world/noise.h"
#include "world/rnd.h"
#include "world_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(WorldRnd, LcgStepAndFloats) {
    game_rnd_seed = 0;
    EXPECT_EQ(rnd_step(), 0x14057b7eu);
    EXPECT_EQ(rnd_step(), 0x1a08ee11u);
    game_rnd_seed = ~0ull;
    EXPECT_EQ(rnd_step(), 0xbbb38751u);
    game_rnd_seed = 0;
    EXPECT_EQ(rnd_float(), float(0x14057b7eu) / 4294967296.0f);
    // The top outputs round to 1.0 in single precision; the range stays [0, 1).
    for (uint64_t s = 0; s < 300; ++s) {
        game_rnd_seed =
            ((0xFFFFFFFFull << 32) - 1442695040888963407ull + s) * 0xc097ef87329e28a5ull;
        float u = rnd_float();
        ASSERT_LT(u, 1.0f);
        ASSERT_GE(u, 0.0f);
    }
}

TEST(WorldNoise, ReseedGivesADoubledPermutationAndOffsets) {
    game_rnd_seed = 99;
    reseed_noise();
    bool seen[256] = {};
    for (int i = 0; i < 256; ++i) {
        EXPECT_FALSE(seen[noise_perm[i]]);
        seen[noise_perm[i]] = true;
        EXPECT_EQ(noise_perm[i], noise_perm[i + 256]);
    }
    for (float r : noise_rnd) ASSERT_TRUE(r >= 0.0f && r < 1.0f);
    uint8_t first[512];
    memcpy(first, noise_perm, 512);
    uint64_t after = game_rnd_seed;
    game_rnd_seed = 99;
    reseed_noise();
    EXPECT_EQ(memcmp(first, noise_perm, 512), 0);
    EXPECT_EQ(after, game_rnd_seed); // 1024 swaps + 512 offsets drawn
}

TEST(WorldNoise, ZeroAtLatticePoints) {
    game_rnd_seed = 5;
    reseed_noise();
    for (int i = -20; i <= 20; ++i) EXPECT_EQ(noise1(float(i)), 0.0f) << i;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_EQ(tiled_noise2(float(x), float(y), 8), 0.0f);
    float mx = 0;
    for (int i = 0; i < 1000; ++i) mx = std::max(mx, std::fabs(noise1(i * 0.0137f)));
    EXPECT_GT(mx, 0.1f);
    EXPECT_LT(mx, 4.0f);
}

TEST(WorldNoise, TiledNoiseRepeatsWithItsTile) {
    game_rnd_seed = 6;
    reseed_noise();
    for (int i = 0; i < 200; ++i) {
        float x = float(i % 23) * 0.375f, y = float(i / 23) * 0.8125f; // exact sums
        EXPECT_EQ(tiled_noise2(x + 8.0f, y, 8), tiled_noise2(x, y, 8));
        EXPECT_EQ(tiled_noise2(x, y + 8.0f, 8), tiled_noise2(x, y, 8));
        EXPECT_EQ(tiled_noise2(x + 256.0f, y, 256), tiled_noise2(x, y, 256));
        EXPECT_EQ(tiled_noise2(x, y, 0), tiled_noise2(x, y, 256)); // a tile byte of 0 is 256
    }
    int differ = 0; // a period of 256 is not one of 8
    for (int i = 0; i < 20; ++i)
        differ +=
            tiled_noise2(1.25f + float(i), 0.5f, 256) != tiled_noise2(9.25f + float(i), 0.5f, 256);
    EXPECT_GT(differ, 10);
}

TEST(WorldNoise, RowEvaluationEqualsSinglePoints) {
    game_rnd_seed = 8;
    reseed_noise();
    float xs[300], out[300];
    for (int i = 0; i < 300; ++i) xs[i] = float(i) * 0.731f - 40.0f;
    for (int tile : {1, 4, 64, 256}) {
        tiled_noise2_row(xs, 300, 3.37f, tile, out);
        for (int i = 0; i < 300; ++i)
            ASSERT_EQ(float_bits(out[i]), float_bits(tiled_noise2(xs[i], 3.37f, tile)));
    }
}

TEST(WorldNoise, VoronoiNear4IsTheSortedHeadOfAll9) {
    game_rnd_seed = 7;
    reseed_noise();
    for (int i = 0; i < 300; ++i) {
        float x = float(i) * 0.173f, y = float(i) * 0.311f + 1.0f;
        Point2 p9[9], p4[4];
        int id9[9], id4[4];
        float d4[4];
        tiled_voronoi_noise2_all9(x, y, 3, p9, id9);
        tiled_voronoi_noise2_near4(x, y, 3, d4, id4, p4);
        float d9[9];
        for (int c = 0; c < 9; ++c) d9[c] = p9[c].x * p9[c].x + p9[c].y * p9[c].y;
        bool used[9] = {};
        for (int k = 0; k < 4; ++k) {
            int best = -1;
            for (int c = 0; c < 9; ++c)
                if (!used[c] && (best < 0 || d9[c] < d9[best])) best = c;
            used[best] = true;
            EXPECT_EQ(d4[k], d9[best]);
            EXPECT_EQ(id4[k], id9[best]);
            EXPECT_EQ(p4[k].x, p9[best].x);
        }
        // Ids are the wrapped lattice cell (z << 16 | x) within the tile of 8.
        EXPECT_EQ(id9[4], ((int(std::floor(y)) & 7) << 16) | (int(std::floor(x)) & 7));
    }
    // Null outputs are skipped.
    tiled_voronoi_noise2_near4(1.5f, 2.5f, 2, nullptr, nullptr, nullptr);
    tiled_voronoi_noise2_all9(1.5f, 2.5f, 2, nullptr, nullptr);
}

TEST(WorldDetMath, ExpAndSinCosAreAccurate) {
    for (int i = -800; i <= 100; ++i) {
        float x = float(i) * 0.1f;
        double want = std::exp(double(x));
        EXPECT_NEAR(det_exp(x) / want, 1.0, 3e-7) << x;
    }
    for (int i = 0; i <= 1000; ++i) {
        float t = float(i) / 1000.0f, c, s;
        det_sincos_2pi(t, &c, &s);
        EXPECT_NEAR(c, std::cos(2 * M_PI * t), 3e-7);
        EXPECT_NEAR(s, std::sin(2 * M_PI * t), 3e-7);
    }
}

TEST(WorldRamp, SamplingClampsInterpolatesAndReadsNaNAsStart) {
    FloatRamp f;
    ColorRamp c;
    for (int i = 0; i <= 256; ++i) {
        f.e[i] = float(i) * 2.0f;
        c.e[i] = make4f(float(i) / 256.0f, 1.0f, 0.0f, 0.5f);
    }
    EXPECT_EQ(f.get(-1.0f), 0.0f);
    EXPECT_EQ(f.get(1.0f), 512.0f);
    EXPECT_EQ(f.get(2.0f), 512.0f);
    EXPECT_EQ(f.get(0.5f), 256.0f);
    EXPECT_EQ(f.get(1.25f / 256.0f), 2.5f);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(f.get(nan), 0.0f);
    EXPECT_EQ(c.get(nan).x, 0.0f);
    EXPECT_EQ(c.get(-std::numeric_limits<float>::infinity()).x, 0.0f);
    EXPECT_EQ(c.get(std::numeric_limits<float>::infinity()).x, 1.0f);
    vec4f mid = c.get(0.25f);
    EXPECT_EQ(mid.x, 0.25f);
    EXPECT_EQ(mid.y, 1.0f);
    EXPECT_EQ(mid.w, 0.5f);
    // Packed: red 0.25 -> 64 (63.75 rounds up), green 255, alpha 0.5 -> 128 (127.5, ties even).
    EXPECT_EQ(c.getColor(0.25f), 0x8040FF00u);
}

TEST(WorldRamp, ColorPackingClampsAndTreatsNaNAsZero) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(vec4f_to_color(make4f(nan, 2.0f, -1.0f, nan)), 0x0000FF00u);
    EXPECT_EQ(vec4f_to_color(make4f(1.0f, 0.5f, 0.0f, 1.0f)), 0xFFFF8000u);
    vec4f v = color_to_vec4f(0x80FF4000u);
    EXPECT_EQ(v.x, 1.0f);
    EXPECT_EQ(v.y, 64.0f / 255.0f);
    EXPECT_EQ(v.z, 0.0f);
    EXPECT_EQ(v.w, 128.0f / 255.0f);
    for (uint32_t i = 0; i < 256; ++i) { // every byte survives the round trip
        uint32_t c = (i << 24) | ((255 - i) << 16) | (i << 8) | (i ^ 0x5A);
        ASSERT_EQ(vec4f_to_color(color_to_vec4f(c)), c);
        // Each byte reads as byte / 255, rounded once (a product with 1/255 is off for 126).
        vec4f u = color_to_vec4f(i << 16 | i << 8 | i | i << 24);
        ASSERT_EQ(u.x, float(i) / 255.0f) << i;
        ASSERT_EQ(u.w, float(i) / 255.0f) << i;
    }
}
