#include "world/hmGen.h"

#include "platform/log.h"
#include "world/det_math.h"
#include "world/rnd.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace HeightmapData {

namespace {

void assert_heights(float min_ht, float max_ht) {
    ASSERT_TEXT(min_ht <= max_ht, "min_ht<=max_ht");
    ASSERT_TEXT(min_ht >= 0, "min_ht>=0");
}

int tile_shift_of(int tile) {
    ASSERT_TEXT((tile & (tile - 1)) == 0 && tile > 0, "(tile&(tile-1))==0 && tile>0");
    int shift = 0;
    while ((1 << shift) < tile) ++shift;
    return shift;
}

// Offset of integer coordinate m from c, folded into (-128, 128].
inline float fold_offset(int m, float c) {
    float d = float(m) - c;
    if (d > 128.0f) d -= 256.0f;
    if (d <= -128.0f) d += 256.0f;
    return d;
}

// c reduced into [0, 256) so that folded offsets stay exact for far-away centres.
inline float reduce_coord(float c) {
    float r = c - 256.0f * std::floor(c * (1.0f / 256.0f));
    return r >= 256.0f ? 0.0f : r;
}

// Fractal tiled noise along the row q at p = x step: octaves halving in amplitude, with
// coordinates doubled plus 0.5 and the tile doubled as a byte each octave. No octaves: 0.
void fractal_noise_row(float step, float q, int tile, int octaves, float* out) {
    if (octaves < 1) {
        for (int x = 0; x < HMAP_SIZE; ++x) out[x] = 0.0f;
        return;
    }
    float p[HMAP_SIZE], o[HMAP_SIZE];
    for (int x = 0; x < HMAP_SIZE; ++x) p[x] = float(x) * step;
    tiled_noise2_row(p, HMAP_SIZE, q, tile, out);
    float amp = 1.0f;
    for (int k = 1; k < octaves; ++k) {
        amp *= 0.5f;
        for (float& pp : p) pp = pp * 2.0f + 0.5f;
        q = q * 2.0f + 0.5f;
        tile = (tile * 2) & 255;
        tiled_noise2_row(p, HMAP_SIZE, q, tile, o);
        for (int x = 0; x < HMAP_SIZE; ++x) out[x] += amp * o[x];
    }
}

// The two nearest feature points, as the first two of tiled_voronoi_noise2_near4: squared
// distances and the hashes of their ids.
void voronoi_near2(float x, float y, int tile_shift, float d[2], int hash[2]) {
    int mask = (1 << tile_shift) - 1;
    int ix = hm_floor(x), iy = hm_floor(y);
    float fx = x - float(ix), fy = y - float(iy);
    float b0 = FLT_MAX, b1 = FLT_MAX;
    int h0 = 0, h1 = 0;
    for (int dy = -1; dy <= 1; ++dy) {
        const uint8_t* row =
            noise_perm + noise_perm[(unsigned(iy) + unsigned(dy)) & unsigned(mask) & 255u];
        for (int dx = -1; dx <= 1; ++dx) {
            int h = row[(unsigned(ix) + unsigned(dx)) & unsigned(mask) & 255u];
            float px = noise_rnd[2 * h] + float(dx) - fx;
            float py = noise_rnd[2 * h + 1] + float(dy) - fy;
            float dc = px * px + py * py;
            bool first = dc < b0, second = dc < b1;
            b1 = first ? b0 : (second ? dc : b1);
            h1 = first ? h0 : (second ? h : h1);
            b0 = first ? dc : b0;
            h0 = first ? h : h0;
        }
    }
    d[0] = b0, d[1] = b1;
    hash[0] = h0, hash[1] = h1;
}

void draw_heights(float* h, float min_ht, float max_ht) {
    for (int i = 0; i < 256; ++i) h[i] = min_ht + (max_ht - min_ht) * rnd_float();
}

} // namespace

void blend_ramp_color(Surface& s, const ColorRamp& ramp, float t, int alpha) {
    __m128 smp = ramp.sample(t);
    __m128 w = _mm_shuffle_ps(smp, smp, _MM_SHUFFLE(3, 3, 3, 3));
    // Target: the sample's red, green and blue with the caller's alpha.
    __m128 a = _mm_set1_ps(float(alpha) / 255.0f);
    __m128 ba = _mm_shuffle_ps(smp, a, _MM_SHUFFLE(0, 0, 2, 2)); // b, b, a, a
    __m128 target = _mm_shuffle_ps(smp, ba, _MM_SHUFFLE(2, 0, 1, 0));
    __m128 old = unpack_color(s.color);
    s.color = pack_color(_mm_add_ps(old, _mm_mul_ps(_mm_sub_ps(target, old), w)));
}

void makeFastNoise(float* out, float amplitude, float roughness) {
    // The previous level's lattice; the finest old level (spacing 2) has 128 x 128 points.
    static float old[128 * 128];
    out[hm_index(0, 0)] = out[hm_index(128, 0)] = -0.5f;
    out[hm_index(0, 128)] = out[hm_index(128, 128)] = -0.5f;
    float a = amplitude;
    for (int s = 128; s >= 2; s >>= 1) {
        int n = HMAP_SIZE / s, t = s / 2;
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) old[j * n + i] = out[hm_index(i * s, j * s)];
        for (int j = 0; j < n; ++j) {
            const float* r0 = old + j * n;
            const float* r1 = old + ((j + 1) & (n - 1)) * n;
            for (int i = 0; i < n; ++i) {
                int i1 = (i + 1) & (n - 1);
                float p00 = r0[i], p10 = r0[i1], p01 = r1[i], p11 = r1[i1];
                int X = i * s, Z = j * s;
                float v;
                v = (9.0f * p00 + 3.0f * p10 + 3.0f * p01 + p11) / 16.0f;
                out[hm_index(X, Z)] = v + a * rnd_float();
                v = (9.0f * p10 + 3.0f * p00 + 3.0f * p11 + p01) / 16.0f;
                out[hm_index(X + t, Z)] = v + a * rnd_float();
                v = (9.0f * p01 + 3.0f * p00 + 3.0f * p11 + p10) / 16.0f;
                out[hm_index(X, Z + t)] = v + a * rnd_float();
                v = (9.0f * p11 + 3.0f * p10 + 3.0f * p01 + p00) / 16.0f;
                out[hm_index(X + t, Z + t)] = v + a * rnd_float();
            }
        }
        a *= roughness;
    }
}

void addFastNoise(float min_ht, float max_ht, const ColorRamp* ramp, int ground_type, int alpha,
                  float roughness) {
    assert_heights(min_ht, max_ht);
    float* data = static_cast<float*>(malloc(HMAP_CELLS * sizeof(float)));
    ASSERT_TEXT(data, "data");
    makeFastNoise(data, 1.0f, roughness);
    float range = max_ht - min_ht;
    for (int i = 0; i < HMAP_CELLS; ++i) {
        float v = data[i];
        if (ramp) blend_ramp_color(surface[i], *ramp, v, alpha);
        if (ground_type != GT_NONE) surface[i].ground_type = ground_type;
        hmap[i] += v * range + min_ht;
    }
    free(data);
}

void addSimplexNoise(float min_ht, float max_ht, int tile, int octaves, float persistence) {
    assert_heights(min_ht, max_ht);
    tile_shift_of(tile);
    float scale = float(tile) / 256.0f, range = max_ht - min_ht;
    float u[HMAP_SIZE], n[HMAP_SIZE], o[HMAP_SIZE];
    for (int z = 0; z < HMAP_SIZE; ++z) {
        for (int x = 0; x < HMAP_SIZE; ++x) u[x] = scale * float(x);
        float v = scale * float(z);
        tiled_noise2_row(u, HMAP_SIZE, v, tile, n);
        float amp = 1.0f;
        int t = tile;
        for (int k = 1; k < octaves; ++k) {
            t = (t * 2) & 255;
            for (float& uu : u) uu = 2.0f * uu + 0.5f;
            v = 2.0f * v + 0.5f;
            amp *= persistence;
            tiled_noise2_row(u, HMAP_SIZE, v, t, o);
            for (int x = 0; x < HMAP_SIZE; ++x) n[x] += amp * o[x];
        }
        float* row = hmap + (z << HMAP_SIZE_SHIFT);
        for (int x = 0; x < HMAP_SIZE; ++x) {
            float r = n[x] * 0.286f + 0.5f;
            if (!(r > 0.0f)) r = 0.0f;
            row[x] += r * range + min_ht;
        }
    }
}

void addVoronoiHills(int tile, float min_ht, float max_ht, float radius) {
    int shift = tile_shift_of(tile);
    float H[256];
    draw_heights(H, min_ht, max_ht);
    float scale = float(tile) / 256.0f, r2 = radius * radius;
    Point2 p[9];
    int ids[9];
    for (int z = 0; z < HMAP_SIZE; ++z) {
        for (int x = 0; x < HMAP_SIZE; ++x) {
            tiled_voronoi_noise2_all9(float(x) * scale, float(z) * scale, shift, p, ids);
            float best = 0.0f;
            bool any = false;
            for (int c = 0; c < 9; ++c) {
                float w = 1.0f - (p[c].x * p[c].x + p[c].y * p[c].y) / r2;
                if (!(w > 0.0f)) continue;
                float v = H[voronoi_id_hash(ids[c])] * w;
                if (!any || v > best) best = v, any = true;
            }
            hmap[(z << HMAP_SIZE_SHIFT) | x] += best;
        }
    }
}

void genVoronoiFaults(int tile, float min_ht, float max_ht, float warp, int warp_tile,
                      int warp_octaves, float slope) {
    // The warp along z at (x, z) is the warp along x at (z, x): one field serves both.
    static float warp_field[HMAP_CELLS];
    int shift = tile_shift_of(tile);
    float H[256];
    draw_heights(H, min_ht, max_ht);
    int wt = warp_tile * tile;
    float fw = float(wt) / 256.0f, fv = float(tile) / 256.0f, W = slope / fv;
    for (int z = 0; z < HMAP_SIZE; ++z)
        fractal_noise_row(fw, float(z) * fw, wt, warp != 0.0f ? std::max(warp_octaves, 1) : 0,
                          warp_field + (z << HMAP_SIZE_SHIFT));
    float d2[2];
    int h[2];
    for (int z = 0; z < HMAP_SIZE; ++z) {
        for (int x = 0; x < HMAP_SIZE; ++x) {
            float wx = warp_field[(z << HMAP_SIZE_SHIFT) | x];
            float wz = warp_field[(x << HMAP_SIZE_SHIFT) | z];
            voronoi_near2(float(x) * fv + warp * wx, float(z) * fv + warp * wz, shift, d2, h);
            float A = H[h[0]], B = H[h[1]];
            float e = (std::sqrt(d2[1]) - std::sqrt(d2[0])) * W / std::max(std::fabs(A - B), 0.1f);
            hmap[(z << HMAP_SIZE_SHIFT) | x] += e > 1.0f ? A : ((A - B) * e + A + B) / 2.0f;
        }
    }
}

void genFault(Point2 centre, Point2 dir, float height, float up_part, float noise_amp,
              const ColorRamp* ramp, int ground_type, int alpha, float* dst) {
    float s0 = centre.y + centre.x + 256.0f * rnd_float();
    float len = std::sqrt(dir.x * dir.x + dir.y * dir.y);
    // A zero direction would put every cell inside the ellipse and shift the whole map.
    if (!(len > 0.0f)) return;
    float ux = dir.x / len, uz = dir.y / len;
    float low = -0.25f * height, high = 0.75f * height, base = (up_part - 0.75f) * height;

    float p0[257], p1[257];
    for (int i = 0; i <= 256; ++i) {
        float A = s0 + 0.005f * float(i);
        float c = 2.0f * A + 0.5f, n = noise1(A), amp = 1.0f;
        for (int o = 0; o < 3; ++o, c = 2.0f * c + 0.5f) amp *= 0.5f, n += amp * noise1(c);
        p0[i] = n;
        c = 32.0f * A + 0.5f, n = noise1(16.0f * A), amp = 1.0f;
        for (int o = 0; o < 2; ++o, c = 2.0f * c + 0.5f) amp *= 0.5f, n += amp * noise1(c);
        p1[i] = n;
    }

    float cx = reduce_coord(centre.x), cz = reduce_coord(centre.y);
    for (int z = 0; z < HMAP_SIZE; ++z) {
        float dz = fold_offset(z, cz);
        for (int x = 0; x < HMAP_SIZE; ++x) {
            float dx = fold_offset(x, cx);
            float along = dx * ux + dz * uz, across = -dx * uz + dz * ux;
            float qa = along / 64.0f, qc = across / 128.0f;
            float F = qa * qa + qc * qc;
            if (!(F < 1.0f)) continue;
            int G = hm_floor(across);
            float f = across - float(G);
            int i0 = (G + 128) & 255, i1 = (G + 129) & 255;
            float P0 = p0[i0] + (p0[i1] - p0[i0]) * f;
            float P1 = p1[i0] + (p1[i1] - p1[i0]) * f;
            float s = ((P0 + P1 / 16.0f) * noise_amp + along) * (4.0f - (1.0f - P1) * 0.7f);
            float g = 1.0f - F;
            float w = (3.0f - 2.0f * g) * (g * g);
            float wl = w * low, wh = w * high, v;
            int cell = (z << HMAP_SIZE_SHIFT) | x;
            if (s > wh) {
                v = wh;
            } else if (s < wl) {
                v = wl;
            } else {
                if (ramp) blend_ramp_color(surface[cell], *ramp, (s - wl) / (wh - wl), alpha);
                if (ground_type != GT_NONE) surface[cell].ground_type = ground_type;
                v = s;
            }
            dst[cell] += w * base + v;
        }
    }
}

namespace {

// Integer coordinates around c within distance r, one per map row or column: a range of
// at most 256 consecutive values whose offsets from c lie in (-128, 128].
void crater_span(float c, float r, int* lo, int* hi) {
    int first = int(std::floor(c - 128.0f)) + 1;
    *lo = std::max(hm_ceil(c - r), first);
    *hi = std::min(hm_floor(c + r), first + 255);
}

} // namespace

void genCrater(Point2 centre, float radius, float steepness, float* dst) {
    // A non-finite centre or radius has no cells to visit (and no integer bounds).
    if (!std::isfinite(centre.x) || !std::isfinite(centre.y) || !std::isfinite(radius)) return;
    float cx = reduce_coord(centre.x), cz = reduce_coord(centre.y);
    float r2 = radius * radius;
    int x0, x1, z0, z1;

    crater_span(cx, std::fabs(radius), &x0, &x1);
    crater_span(cz, std::fabs(radius), &z0, &z1);
    float sum = 0.0f;
    int count = 0;
    for (int z = z0; z <= z1; ++z) {
        float dz = float(z) - cz;
        for (int x = x0; x <= x1; ++x) {
            float dx = float(x) - cx;
            if (dx * dx + dz * dz < r2) sum += dst[hm_index(x, z)], ++count;
        }
    }
    float h = count ? sum / float(count)
                    : dst[hm_index(_mm_cvtss_si32(_mm_set_ss(cx)), _mm_cvtss_si32(_mm_set_ss(cz)))];

    float R2 = 2.0f * radius, m = h - 1.5f * steepness;
    float outer2 = R2 * R2;
    crater_span(cx, std::fabs(R2), &x0, &x1);
    crater_span(cz, std::fabs(R2), &z0, &z1);
    for (int z = z0; z <= z1; ++z) {
        float dz = float(z) - cz;
        for (int x = x0; x <= x1; ++x) {
            float dx = float(x) - cx;
            float d2 = dx * dx + dz * dz;
            if (!(d2 < outer2)) continue;
            float dist = std::sqrt(d2), diff = dist - radius;
            float q = diff * 2.0f / 3.0f, t = 1.0f - q * q;
            float& cell = dst[hm_index(x, z)];
            if (d2 < r2) {
                float v = h - std::sqrt(r2 - d2) * steepness;
                if (dist > radius - 1.5f) v += t * (m - v);
                if (v < cell) cell = v;
            } else {
                float k = 1.0f - diff / radius;
                float v = h - steepness * diff;
                if (dist < radius + 1.5f) v += t * (m - v);
                if (v < cell) cell += (v - cell) * (k * k);
            }
        }
    }
}

} // namespace HeightmapData
