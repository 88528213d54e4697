#include "world/noise.h"

#include "world/det_math.h"
#include "world/rnd.h"

#include <cfloat>
#include <emmintrin.h>
#include <utility>

uint8_t noise_perm[512];
float noise_rnd[512];

namespace {

// Start-up tables (any permutation and any offsets do until the first reseed_noise).
struct InitNoiseTables {
    InitNoiseTables() {
        for (int i = 0; i < 512; ++i) {
            noise_perm[i] = uint8_t(((i & 255) * 167 + 13) & 255);
            noise_rnd[i] = float((uint32_t(i) * 2654435761u) >> 8) * (1.0f / 16777216.0f);
        }
    }
} init_noise_tables;

// Gradients by hash & 7: (0, 1), (0, -1), (-1, -1), (1, -1), (1, 0), (-1, 0), (-1, 1), (1, 1).
const float GRAD_X[8] = {0, 0, -1, 1, 1, -1, -1, 1};
const float GRAD_Y[8] = {1, -1, -1, -1, 0, 0, 1, 1};

inline float grad1(int a) {
    int b = noise_perm[a & 255];
    return float((b & 8) ? -(b & 7) - 1 : (b & 7) + 1);
}

} // namespace

void reseed_noise() {
    for (int i = 0; i < 256; ++i) noise_perm[i] = uint8_t(i);
    for (int pass = 0; pass < 4; ++pass)
        for (int i = 0; i < 256; ++i) std::swap(noise_perm[i], noise_perm[rnd_step() & 255]);
    for (int i = 0; i < 256; ++i) noise_perm[256 + i] = noise_perm[i];
    for (float& r : noise_rnd) r = rnd_float();
}

float noise1(float x) {
    int a = hm_floor(x);
    float f = x - float(a);
    float g0 = grad1(a), g1 = grad1(a + 1);
    float e0 = 1.0f - f * f, e1 = 1.0f - (f - 1.0f) * (f - 1.0f);
    e0 *= e0;
    e1 *= e1;
    return (e0 * e0 * g0 * f + e1 * e1 * g1 * (f - 1.0f)) * 0.4f;
}

namespace {

// The y half of a tiled_noise2 evaluation, shared along a row.
struct NoiseRow {
    int mask;
    const uint8_t* row0;
    const uint8_t* row1;
    __m128 dy, dy2;
};

inline NoiseRow noise_row(float y, int tile) {
    NoiseRow r;
    r.mask = (tile - 1) & 255;
    int iy = hm_floor(y);
    float fy = y - float(iy);
    r.row0 = noise_perm + noise_perm[iy & r.mask];
    r.row1 = noise_perm + noise_perm[(iy + 1) & r.mask];
    r.dy = _mm_sub_ps(_mm_set1_ps(fy), _mm_setr_ps(0.0f, 0.0f, 1.0f, 1.0f));
    r.dy2 = _mm_mul_ps(r.dy, r.dy);
    return r;
}

// The four corner kernels side by side, without branches: lanes outside their radius are
// masked to +0, as if skipped; summed in corner order (00, 10, 01, 11).
inline float noise_at(const NoiseRow& r, float x) {
    int ix = hm_floor(x);
    float fx = x - float(ix);
    int x0 = ix & r.mask, x1 = (ix + 1) & r.mask;
    int h00 = r.row0[x0] & 7, h10 = r.row0[x1] & 7, h01 = r.row1[x0] & 7, h11 = r.row1[x1] & 7;
    __m128 dx = _mm_sub_ps(_mm_set1_ps(fx), _mm_setr_ps(0.0f, 1.0f, 0.0f, 1.0f));
    __m128 k = _mm_sub_ps(_mm_sub_ps(_mm_set1_ps(1.0f), _mm_mul_ps(dx, dx)), r.dy2);
    __m128 gx = _mm_setr_ps(GRAD_X[h00], GRAD_X[h10], GRAD_X[h01], GRAD_X[h11]);
    __m128 gy = _mm_setr_ps(GRAD_Y[h00], GRAD_Y[h10], GRAD_Y[h01], GRAD_Y[h11]);
    __m128 k2 = _mm_mul_ps(k, k);
    __m128 dot = _mm_add_ps(_mm_mul_ps(gx, dx), _mm_mul_ps(gy, r.dy));
    __m128 c = _mm_and_ps(_mm_mul_ps(_mm_mul_ps(k2, k2), dot), _mm_cmpgt_ps(k, _mm_setzero_ps()));
    __m128 sum = _mm_add_ss(c, _mm_shuffle_ps(c, c, 1));
    sum = _mm_add_ss(sum, _mm_movehl_ps(c, c));
    sum = _mm_add_ss(sum, _mm_shuffle_ps(c, c, 3));
    return _mm_cvtss_f32(sum) * 2.75f;
}

} // namespace

float tiled_noise2(float x, float y, int tile) {
    return noise_at(noise_row(y, tile), x);
}

void tiled_noise2_row(const float* xs, int n, float y, int tile, float* out) {
    NoiseRow r = noise_row(y, tile);
    for (int i = 0; i < n; ++i) out[i] = noise_at(r, xs[i]);
}

void tiled_voronoi_noise2_all9(float x, float y, int tile_shift, Point2 out[9], int ids[9]) {
    int mask = (1 << tile_shift) - 1;
    int ix = hm_floor(x), iy = hm_floor(y);
    float fx = x - float(ix), fy = y - float(iy);
    int n = 0;
    for (int dy = -1; dy <= 1; ++dy) {
        int cy = int((unsigned(iy) + unsigned(dy)) & unsigned(mask)); // no overflow for NaN input
        for (int dx = -1; dx <= 1; ++dx, ++n) {
            int cx = int((unsigned(ix) + unsigned(dx)) & unsigned(mask));
            int h = noise_hash(cx, cy);
            if (out)
                out[n] = {noise_rnd[2 * h] + float(dx) - fx, noise_rnd[2 * h + 1] + float(dy) - fy};
            if (ids) ids[n] = int((unsigned(cy) << 16) | unsigned(cx)); // tiles above 2^16 wrap
        }
    }
}

void tiled_voronoi_noise2_near4(float x, float y, int tile_shift, float dist2[4], int ids[4],
                                Point2 out[4]) {
    Point2 p[9];
    int id[9];
    tiled_voronoi_noise2_all9(x, y, tile_shift, p, id);
    float d[4] = {FLT_MAX, FLT_MAX, FLT_MAX, FLT_MAX};
    int k[4] = {0, 0, 0, 0};
    for (int c = 0; c < 9; ++c) {
        float dc = p[c].x * p[c].x + p[c].y * p[c].y;
        int at = 0;
        while (at < 4 && !(d[at] > dc)) ++at;
        if (at == 4) continue;
        for (int j = 3; j > at; --j) d[j] = d[j - 1], k[j] = k[j - 1];
        d[at] = dc;
        k[at] = c;
    }
    for (int j = 0; j < 4; ++j) {
        if (dist2) dist2[j] = d[j];
        if (ids) ids[j] = id[k[j]];
        if (out) out[j] = p[k[j]];
    }
}
