#include "scene/land_tiles.h"

#include "world/heightmap.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
constexpr int BLOCK = 8, BLOCKS = HMAP_SIZE / BLOCK;
constexpr float NEAR_W = 0.05f; // clip w below which a corner counts as behind the camera

struct Clip {
    float x, y, w;
};

Clip project(const Matrix44& m, float x, float y, float z) {
    return {x * m.m[0][0] + y * m.m[1][0] + z * m.m[2][0] + m.m[3][0],
            x * m.m[0][1] + y * m.m[1][1] + z * m.m[2][1] + m.m[3][1],
            x * m.m[0][3] + y * m.m[1][3] + z * m.m[2][3] + m.m[3][3]};
}

// Screen extent in normalised device coordinates, grown by points in front of the camera.
struct Extent {
    float x0 = 1e30f, x1 = -1e30f, y0 = 1e30f, y1 = -1e30f;
    void add(const Clip& c) {
        const float x = c.x / c.w, y = c.y / c.w;
        x0 = std::min(x0, x), x1 = std::max(x1, x);
        y0 = std::min(y0, y), y1 = std::max(y1, y);
    }
    bool empty() const { return x0 > x1; }
};

// The box's corners in front of the near plane and the points where its edges cross it.
Extent box_extent(const Matrix44& m, const float lo[3], const float hi[3]) {
    Clip c[8];
    for (int i = 0; i < 8; ++i)
        c[i] = project(m, i & 1 ? hi[0] : lo[0], i & 2 ? hi[1] : lo[1], i & 4 ? hi[2] : lo[2]);
    Extent e;
    for (const Clip& p : c)
        if (p.w >= NEAR_W) e.add(p);
    for (int a = 0; a < 8; ++a)
        for (int bit = 1; bit < 8; bit <<= 1) {
            if (a & bit) continue;
            const Clip &p = c[a], &q = c[a | bit];
            if ((p.w < NEAR_W) == (q.w < NEAR_W)) continue;
            const float t = (NEAR_W - p.w) / (q.w - p.w);
            e.add({p.x + (q.x - p.x) * t, p.y + (q.y - p.y) * t, NEAR_W});
        }
    return e;
}

// Nearest doubled offset from the window centre within [lo, hi] (doubled cell centres).
int nearest(int lo, int hi) {
    return lo > 0 ? lo : hi < 0 ? hi : 0;
}
} // namespace

int mark_land_tiles(const Matrix44& glob, int wd, int ht, const float* heights, int ox, int oz,
                    uint8_t* tiles) {
    const int tx = land_tiles_x(wd), ty = land_tiles_y(ht);
    memset(tiles, 0, size_t(tx) * size_t(ty));
    int marked = 0;
    for (int a = 0; a < BLOCKS; ++a) {
        const int k0 = a * BLOCK, k1 = std::min(k0 + BLOCK, HMAP_SIZE - 1);
        const int dk = nearest(2 * k0 - 255, 2 * (k0 + BLOCK - 1) - 255);
        for (int b = 0; b < BLOCKS; ++b) {
            const int j0 = b * BLOCK, j1 = std::min(j0 + BLOCK, HMAP_SIZE - 1);
            const int dj = nearest(2 * j0 - 255, 2 * (j0 + BLOCK - 1) - 255);
            if (dk * dk + dj * dj > 67600) continue; // no cell of the land circle
            float h0 = 1e30f, h1 = -1e30f;
            for (int k = k0; k <= k1; ++k)
                for (int j = j0; j <= j1; ++j) {
                    const float h = heights[hm_index(ox + j, oz + k)];
                    h0 = std::min(h0, h), h1 = std::max(h1, h);
                }
            const float lo[3] = {float(ox + j0), h0, float(oz + k0)};
            const float hi[3] = {float(ox + j1), h1, float(oz + k1)};
            const Extent e = box_extent(glob, lo, hi);
            if (e.empty() || e.x1 < -1.0f || e.x0 > 1.0f || e.y1 < -1.0f || e.y0 > 1.0f) continue;
            // Pixel columns from the left, rows from the top; one pixel of margin.
            const float px0 = (e.x0 + 1.0f) * 0.5f * float(wd) - 1.0f;
            const float px1 = (e.x1 + 1.0f) * 0.5f * float(wd) + 1.0f;
            const float py0 = (1.0f - e.y1) * 0.5f * float(ht) - 1.0f;
            const float py1 = (1.0f - e.y0) * 0.5f * float(ht) + 1.0f;
            const int c0 = std::max(0, int(std::floor(px0 / LAND_TILE_PIXELS)));
            const int c1 = std::min(tx - 1, int(std::floor(px1 / LAND_TILE_PIXELS)));
            const int r0 = std::max(0, int(std::floor(py0 / LAND_TILE_PIXELS)));
            const int r1 = std::min(ty - 1, int(std::floor(py1 / LAND_TILE_PIXELS)));
            for (int r = r0; r <= r1; ++r)
                for (int c = c0; c <= c1; ++c) {
                    uint8_t& t = tiles[r * tx + c];
                    marked += t == 0;
                    t = 1;
                }
        }
    }
    return marked;
}
