// The screen tiles the forward path shades the land in: every land point in view falls in a
// marked tile, and the sky stays unmarked.
#include "scene/land_tiles.h"

#include "world/heightmap.h"

#include <cmath>
#include <gtest/gtest.h>
#include <vector>

namespace {

constexpr int WD = 640, HT = 360;

// View x projection (row vectors, depth 0..1 over 0.1..512) of a camera at pos turned by
// yaw about y and pitched by pitch (radians, negative looks down).
Matrix44 camera(float x, float y, float z, float yaw, float pitch) {
    const float f[3] = {sinf(yaw) * cosf(pitch), sinf(pitch), cosf(yaw) * cosf(pitch)};
    const float r[3] = {cosf(yaw), 0, -sinf(yaw)};
    const float u[3] = {f[1] * r[2] - f[2] * r[1], f[2] * r[0] - f[0] * r[2],
                        f[0] * r[1] - f[1] * r[0]};
    const float p[3] = {x, y, z};
    const float s = 1.0f / tanf(0.6f), a = 512.0f / (512.0f - 0.1f);
    const float sx = s * float(HT) / float(WD);
    Matrix44 m = {};
    for (int i = 0; i < 3; ++i) {
        m.m[i][0] = r[i] * sx;
        m.m[i][1] = u[i] * s;
        m.m[i][2] = f[i] * a;
        m.m[i][3] = f[i];
    }
    auto dot = [&](const float* v) { return -(v[0] * p[0] + v[1] * p[1] + v[2] * p[2]); };
    m.m[3][0] = dot(r) * sx;
    m.m[3][1] = dot(u) * s;
    m.m[3][2] = dot(f) * a - 0.1f * a;
    m.m[3][3] = dot(f);
    return m;
}

struct Tiles {
    std::vector<uint8_t> t = std::vector<uint8_t>(size_t(land_tiles_x(WD) * land_tiles_y(HT)));
    std::vector<float> h = std::vector<float>(HMAP_CELLS);
    int marked = 0;
    int mark(const Matrix44& m, int ox, int oz) {
        return marked = mark_land_tiles(m, WD, HT, h.data(), ox, oz, t.data());
    }
    bool at(float px, float py) const {
        return t[size_t(int(py) / LAND_TILE_PIXELS * land_tiles_x(WD) +
                        int(px) / LAND_TILE_PIXELS)];
    }
};

TEST(LandTiles, EveryLandPointInViewLiesInAMarkedTile) {
    Tiles tiles;
    for (int i = 0; i < HMAP_CELLS; ++i) {
        const float x = float(i & 255), z = float(i >> 8);
        tiles.h[size_t(i)] = 18.0f * sinf(x * 0.11f) * cosf(z * 0.07f) + 4.0f * sinf(x * 0.9f + z);
    }
    struct View {
        float y, yaw, pitch;
    };
    // High and looking across, low among the hills, level, steeply down, and back along -z.
    const View views[] = {{40, 0.3f, -0.25f},
                          {6, 1.2f, -0.1f},
                          {12, 2.0f, 0.0f},
                          {60, 0.0f, -1.4f},
                          {25, 3.3f, -0.4f}};
    const int ox = 600 - 128, oz = -300 - 128; // the window around the camera's cell
    for (const View& v : views) {
        const Matrix44 m = camera(600.0f, v.y, -300.0f, v.yaw, v.pitch);
        tiles.mark(m, ox, oz);
        EXPECT_GT(tiles.marked, 0);
        int seen = 0;
        // Cell corners and centres of the land circle.
        for (int k = 0; k < 255; ++k)
            for (int j = 0; j < 255; ++j) {
                if ((2 * k - 255) * (2 * k - 255) + (2 * j - 255) * (2 * j - 255) > 67600) continue;
                for (float d : {0.0f, 0.5f}) {
                    const float x = float(ox + j) + d, z = float(oz + k) + d;
                    const float y = tiles.h[size_t(hm_index(ox + j, oz + k))];
                    float c[4];
                    for (int i = 0; i < 4; ++i)
                        c[i] = x * m.m[0][i] + y * m.m[1][i] + z * m.m[2][i] + m.m[3][i];
                    if (c[3] < 0.1f || fabsf(c[0]) > c[3] || fabsf(c[1]) > c[3]) continue;
                    const float px = (c[0] / c[3] + 1.0f) * 0.5f * WD;
                    const float py = (1.0f - c[1] / c[3]) * 0.5f * HT;
                    ++seen;
                    ASSERT_TRUE(tiles.at(std::min(px, WD - 1.0f), std::min(py, HT - 1.0f)))
                        << "view yaw " << v.yaw << ", point " << x << " " << y << " " << z;
                }
            }
        EXPECT_GT(seen, 100);
    }
}

TEST(LandTiles, TheSkyStaysUnmarked) {
    Tiles tiles; // flat land at height 0
    const int ox = -128, oz = -128, all = land_tiles_x(WD) * land_tiles_y(HT);
    // Looking up: no land at all.
    EXPECT_EQ(tiles.mark(camera(0, 10, 0, 0.5f, 0.7f), ox, oz), 0);
    // Straight down from high up: land everywhere.
    EXPECT_EQ(tiles.mark(camera(0, 60, 0, 0.0f, -1.5f), ox, oz), all);
    // Level just above the ground: land only below the horizon, the middle row.
    tiles.mark(camera(0, 2, 0, 0.8f, 0.0f), ox, oz);
    EXPECT_LT(tiles.marked, all * 3 / 4);
    for (int c = 0; c < land_tiles_x(WD); ++c) {
        EXPECT_TRUE(tiles.at(float(c * LAND_TILE_PIXELS), HT - 1.0f)) << c; // the ground
        EXPECT_FALSE(tiles.at(float(c * LAND_TILE_PIXELS), 0.0f)) << c;     // the sky
    }
}

} // namespace
