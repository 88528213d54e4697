// Water on the land: depths and pipe flows on the grid edges, one fixed step at a time.
//
// The transport pass of a step is specified as one in-place sweep in index order, so the
// order in which a depth receives and gives water decides its rounding. The sweep is split
// here into a vectorised pass that computes what every point gives to each neighbour (which
// depends only on the snapshot) and an accumulation pass that applies, per point, the same
// additions in the same order as the sweep would (by the index of the giving point).
#include "world/heightmap.h"

#include <algorithm>
#include <cfloat>
#include <cstring>
#include <immintrin.h>

namespace HeightmapData {

namespace {

constexpr int N = HMAP_SIZE;
constexpr int MASK = N - 1;

// Scratch of one step. The snapshot, the ground and the new flows are also kept as
// separate arrays in rows of S floats with the row's own wrapped neighbours in the pads
// (x = -1 at P - 1, x = 256 at P + 256), so that shifted neighbours are plain loads.
constexpr int S = N + 8, P = 4;
alignas(64) float snap_d[N * S];
alignas(64) float snap_fx[N * S];
alignas(64) float snap_fz[N * S];
alignas(64) float snap_fo[N * S];
alignas(64) float ground[N * S];
alignas(64) float step_fx[N * S];
alignas(64) float step_fz[N * S];
// What each point gives (to itself: its loss), by flat index.
alignas(64) float give_self[HMAP_CELLS];
alignas(64) float give_east[HMAP_CELLS];
alignas(64) float give_west[HMAP_CELLS];
alignas(64) float give_north[HMAP_CELLS];
alignas(64) float give_south[HMAP_CELLS];

inline int srow(int z) {
    return (z & MASK) * S + P;
}

inline void wrap_pads(float* row) {
    row[-1] = row[N - 1];
    row[N] = row[0];
}

inline __m128 sel(__m128 m, __m128 a, __m128 b) {
    return _mm_or_ps(_mm_and_ps(m, a), _mm_andnot_ps(m, b));
}

struct StepConsts {
    __m128 b3, keep, damp, gain, foam_keep, zero, one, tenth, foam_k;
};

// Pass 1 for one row: the snapshot in tmpw, and its fields split into the padded rows.
void snapshot_row(int z) {
    const Water* in = water[z];
    Water* out = tmpw[z];
    int j = srow(z);
    for (int x = 0; x < N; x += 4) {
        __m128 d = _mm_load_ps(&in[x].depth), fx = _mm_load_ps(&in[x + 1].depth);
        __m128 fz = _mm_load_ps(&in[x + 2].depth), fo = _mm_load_ps(&in[x + 3].depth);
        _mm_store_ps(&out[x].depth, d), _mm_store_ps(&out[x + 1].depth, fx);
        _mm_store_ps(&out[x + 2].depth, fz), _mm_store_ps(&out[x + 3].depth, fo);
        _MM_TRANSPOSE4_PS(d, fx, fz, fo);
        _mm_store_ps(snap_d + j + x, d), _mm_store_ps(snap_fx + j + x, fx);
        _mm_store_ps(snap_fz + j + x, fz), _mm_store_ps(snap_fo + j + x, fo);
    }
    memcpy(ground + j, hmap + (z << 8), N * sizeof(float));
    wrap_pads(snap_d + j), wrap_pads(snap_fx + j), wrap_pads(ground + j);
}

// Passes 2 and 3 for one row: smoothed flows, cut flows, pressure, foam; depth is copied to
// old_depth on the way since these passes leave it alone.
void flow_row(int z, const StepConsts& k) {
    int j = srow(z), ju = srow(z - 1), jd = srow(z + 1);
    for (int x = 0; x < N; x += 4) {
        int i = j + x;
        __m128 d = _mm_load_ps(snap_d + i), fx = _mm_load_ps(snap_fx + i);
        __m128 fz = _mm_load_ps(snap_fz + i), fo = _mm_load_ps(snap_fo + i);
        __m128 fx_l = _mm_loadu_ps(snap_fx + i - 1), fx_r = _mm_loadu_ps(snap_fx + i + 1);
        __m128 fz_u = _mm_load_ps(snap_fz + ju + x), fz_d = _mm_load_ps(snap_fz + jd + x);
        fx = _mm_add_ps(_mm_mul_ps(_mm_add_ps(fx_l, fx_r), k.b3), _mm_mul_ps(fx, k.keep));
        fz = _mm_add_ps(_mm_mul_ps(_mm_add_ps(fz_u, fz_d), k.b3), _mm_mul_ps(fz, k.keep));

        __m128 h = _mm_load_ps(ground + i);
        __m128 de = _mm_loadu_ps(snap_d + i + 1), he = _mm_loadu_ps(ground + i + 1);
        __m128 ds = _mm_load_ps(snap_d + jd + x), hs = _mm_load_ps(ground + jd + x);
        __m128 L = _mm_add_ps(h, d), Le = _mm_add_ps(he, de), Ls = _mm_add_ps(hs, ds);

        // A flow is cut when the side it drains has no water above the other side's ground.
        __m128 A = _mm_max_ps(_mm_min_ps(_mm_sub_ps(L, he), d), k.zero);
        __m128 B = _mm_max_ps(_mm_min_ps(_mm_sub_ps(Le, h), de), k.zero);
        __m128 cut = _mm_or_ps(_mm_and_ps(_mm_cmpge_ps(fx, k.zero), _mm_cmple_ps(A, k.zero)),
                               _mm_and_ps(_mm_cmplt_ps(fx, k.zero), _mm_cmple_ps(B, k.zero)));
        fx = _mm_andnot_ps(cut, fx);
        fo = sel(cut, _mm_add_ps(fo, k.tenth), fo);
        __m128 ax = _mm_mul_ps(_mm_sub_ps(L, Le), k.gain);
        fx = _mm_add_ps(_mm_mul_ps(fx, k.damp), ax);

        A = _mm_max_ps(_mm_min_ps(_mm_sub_ps(L, hs), d), k.zero);
        B = _mm_max_ps(_mm_min_ps(_mm_sub_ps(Ls, h), ds), k.zero);
        cut = _mm_or_ps(_mm_and_ps(_mm_cmpge_ps(fz, k.zero), _mm_cmple_ps(A, k.zero)),
                        _mm_and_ps(_mm_cmplt_ps(fz, k.zero), _mm_cmple_ps(B, k.zero)));
        fz = _mm_andnot_ps(cut, fz);
        fo = sel(cut, _mm_add_ps(fo, k.tenth), fo);
        __m128 az = _mm_mul_ps(_mm_sub_ps(L, Ls), k.gain);
        fz = _mm_add_ps(_mm_mul_ps(fz, k.damp), az);

        __m128 turb = _mm_mul_ps(_mm_add_ps(_mm_mul_ps(ax, ax), _mm_mul_ps(az, az)), k.foam_k);
        fo = _mm_min_ps(_mm_add_ps(turb, _mm_mul_ps(fo, k.foam_keep)), k.one);

        _mm_store_ps(old_depth + (z << 8) + x, d);
        _mm_store_ps(step_fx + i, fx);
        _mm_store_ps(step_fz + i, fz);
        _MM_TRANSPOSE4_PS(d, fx, fz, fo);
        Water* out = water[z];
        _mm_store_ps(&out[x].depth, d);
        _mm_store_ps(&out[x + 1].depth, fx);
        _mm_store_ps(&out[x + 2].depth, fz);
        _mm_store_ps(&out[x + 3].depth, fo);
    }
    wrap_pads(step_fx + j);
}

// What each point of a row gives to its four neighbours and loses itself this step.
void give_row(int z, __m128 move) {
    const __m128 zero = _mm_setzero_ps(), limit = _mm_set1_ps(0.001f);
    int j = srow(z), ju = srow(z - 1), jd = srow(z + 1);
    for (int x = 0; x < N; x += 4) {
        int i = (z << 8) | x, si = j + x;
        __m128 d0 = _mm_load_ps(snap_d + si);
        __m128 L0 = _mm_add_ps(_mm_load_ps(ground + si), d0);
        __m128 east = _mm_load_ps(step_fx + si);
        __m128 south = _mm_load_ps(step_fz + si);
        __m128 west = _mm_sub_ps(zero, _mm_loadu_ps(step_fx + si - 1));
        __m128 north = _mm_sub_ps(zero, _mm_load_ps(step_fz + ju + x));
        __m128 he = _mm_loadu_ps(ground + si + 1), hw = _mm_loadu_ps(ground + si - 1);
        __m128 hn = _mm_load_ps(ground + ju + x), hs = _mm_load_ps(ground + jd + x);
        // Zero when negative or when that neighbour's ground is above this level.
        west = _mm_andnot_ps(_mm_or_ps(_mm_cmplt_ps(west, zero), _mm_cmpgt_ps(hw, L0)), west);
        north = _mm_andnot_ps(_mm_or_ps(_mm_cmplt_ps(north, zero), _mm_cmpgt_ps(hn, L0)), north);
        east = _mm_andnot_ps(_mm_or_ps(_mm_cmplt_ps(east, zero), _mm_cmpgt_ps(he, L0)), east);
        south = _mm_andnot_ps(_mm_or_ps(_mm_cmplt_ps(south, zero), _mm_cmpgt_ps(hs, L0)), south);
        __m128 total = _mm_add_ps(_mm_add_ps(_mm_add_ps(south, east), west), north);
        __m128 amount = _mm_mul_ps(total, move);
        __m128 go = _mm_and_ps(_mm_cmpgt_ps(d0, zero), _mm_cmpgt_ps(amount, limit));
        amount = _mm_and_ps(go, _mm_min_ps(amount, d0));
        // Points that give nothing divide 0 by a total that may be 0; mask the lanes after.
        __m128 safe = sel(go, total, _mm_set1_ps(1.0f));
        _mm_store_ps(give_self + i, amount);
        _mm_store_ps(give_east + i, _mm_and_ps(go, _mm_mul_ps(amount, _mm_div_ps(east, safe))));
        _mm_store_ps(give_west + i, _mm_and_ps(go, _mm_mul_ps(amount, _mm_div_ps(west, safe))));
        _mm_store_ps(give_north + i, _mm_and_ps(go, _mm_mul_ps(amount, _mm_div_ps(north, safe))));
        _mm_store_ps(give_south + i, _mm_and_ps(go, _mm_mul_ps(amount, _mm_div_ps(south, safe))));
    }
}

// The flow and transport passes again, eight points at a time, for CPUs with AVX2 (chosen
// at run time): lane for lane the same operations, so the same bits.
#define W8 __attribute__((target("avx2")))

W8 inline __m256 sel8(__m256 m, __m256 a, __m256 b) {
    return _mm256_or_ps(_mm256_and_ps(m, a), _mm256_andnot_ps(m, b));
}

W8 inline __m256 wide(__m128 v) {
    return _mm256_set_m128(v, v);
}

W8 void flow_row8(int z, const StepConsts& c) {
    const __m256 b3 = wide(c.b3), keep = wide(c.keep), damp = wide(c.damp), gain = wide(c.gain);
    const __m256 foam_keep = wide(c.foam_keep), zero = _mm256_setzero_ps(), one = wide(c.one);
    const __m256 tenth = wide(c.tenth), foam_k = wide(c.foam_k);
    int j = srow(z), ju = srow(z - 1), jd = srow(z + 1);
    for (int x = 0; x < N; x += 8) {
        int i = j + x;
        __m256 d = _mm256_loadu_ps(snap_d + i), fx = _mm256_loadu_ps(snap_fx + i);
        __m256 fz = _mm256_loadu_ps(snap_fz + i), fo = _mm256_loadu_ps(snap_fo + i);
        __m256 fx_l = _mm256_loadu_ps(snap_fx + i - 1), fx_r = _mm256_loadu_ps(snap_fx + i + 1);
        __m256 fz_u = _mm256_loadu_ps(snap_fz + ju + x), fz_d = _mm256_loadu_ps(snap_fz + jd + x);
        fx = _mm256_add_ps(_mm256_mul_ps(_mm256_add_ps(fx_l, fx_r), b3), _mm256_mul_ps(fx, keep));
        fz = _mm256_add_ps(_mm256_mul_ps(_mm256_add_ps(fz_u, fz_d), b3), _mm256_mul_ps(fz, keep));

        __m256 h = _mm256_loadu_ps(ground + i);
        __m256 de = _mm256_loadu_ps(snap_d + i + 1), he = _mm256_loadu_ps(ground + i + 1);
        __m256 ds = _mm256_loadu_ps(snap_d + jd + x), hs = _mm256_loadu_ps(ground + jd + x);
        __m256 L = _mm256_add_ps(h, d), Le = _mm256_add_ps(he, de), Ls = _mm256_add_ps(hs, ds);

        __m256 A = _mm256_max_ps(_mm256_min_ps(_mm256_sub_ps(L, he), d), zero);
        __m256 B = _mm256_max_ps(_mm256_min_ps(_mm256_sub_ps(Le, h), de), zero);
        __m256 cut = _mm256_or_ps(
            _mm256_and_ps(_mm256_cmp_ps(fx, zero, _CMP_GE_OQ), _mm256_cmp_ps(A, zero, _CMP_LE_OQ)),
            _mm256_and_ps(_mm256_cmp_ps(fx, zero, _CMP_LT_OQ), _mm256_cmp_ps(B, zero, _CMP_LE_OQ)));
        fx = _mm256_andnot_ps(cut, fx);
        fo = sel8(cut, _mm256_add_ps(fo, tenth), fo);
        __m256 ax = _mm256_mul_ps(_mm256_sub_ps(L, Le), gain);
        fx = _mm256_add_ps(_mm256_mul_ps(fx, damp), ax);

        A = _mm256_max_ps(_mm256_min_ps(_mm256_sub_ps(L, hs), d), zero);
        B = _mm256_max_ps(_mm256_min_ps(_mm256_sub_ps(Ls, h), ds), zero);
        cut = _mm256_or_ps(
            _mm256_and_ps(_mm256_cmp_ps(fz, zero, _CMP_GE_OQ), _mm256_cmp_ps(A, zero, _CMP_LE_OQ)),
            _mm256_and_ps(_mm256_cmp_ps(fz, zero, _CMP_LT_OQ), _mm256_cmp_ps(B, zero, _CMP_LE_OQ)));
        fz = _mm256_andnot_ps(cut, fz);
        fo = sel8(cut, _mm256_add_ps(fo, tenth), fo);
        __m256 az = _mm256_mul_ps(_mm256_sub_ps(L, Ls), gain);
        fz = _mm256_add_ps(_mm256_mul_ps(fz, damp), az);

        __m256 turb =
            _mm256_mul_ps(_mm256_add_ps(_mm256_mul_ps(ax, ax), _mm256_mul_ps(az, az)), foam_k);
        fo = _mm256_min_ps(_mm256_add_ps(turb, _mm256_mul_ps(fo, foam_keep)), one);

        _mm256_storeu_ps(old_depth + (z << 8) + x, d);
        _mm256_storeu_ps(step_fx + i, fx);
        _mm256_storeu_ps(step_fz + i, fz);
        Water* out = water[z] + x;
        for (int half = 0; half < 2; ++half) {
            __m128 r0 = half ? _mm256_extractf128_ps(d, 1) : _mm256_castps256_ps128(d);
            __m128 r1 = half ? _mm256_extractf128_ps(fx, 1) : _mm256_castps256_ps128(fx);
            __m128 r2 = half ? _mm256_extractf128_ps(fz, 1) : _mm256_castps256_ps128(fz);
            __m128 r3 = half ? _mm256_extractf128_ps(fo, 1) : _mm256_castps256_ps128(fo);
            _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
            Water* o = out + 4 * half;
            _mm_store_ps(&o[0].depth, r0), _mm_store_ps(&o[1].depth, r1);
            _mm_store_ps(&o[2].depth, r2), _mm_store_ps(&o[3].depth, r3);
        }
    }
    wrap_pads(step_fx + j);
}

// Zero when negative or when that neighbour's ground is above the level.
W8 inline __m256 drop8(__m256 f, __m256 hv, __m256 L0) {
    __m256 zero = _mm256_setzero_ps();
    return _mm256_andnot_ps(
        _mm256_or_ps(_mm256_cmp_ps(f, zero, _CMP_LT_OQ), _mm256_cmp_ps(hv, L0, _CMP_GT_OQ)), f);
}

W8 inline __m256 share8(__m256 f, __m256 go, __m256 amount, __m256 safe) {
    return _mm256_and_ps(go, _mm256_mul_ps(amount, _mm256_div_ps(f, safe)));
}

W8 void give_row8(int z, __m128 move4) {
    const __m256 zero = _mm256_setzero_ps(), limit = _mm256_set1_ps(0.001f);
    const __m256 move = wide(move4), one = _mm256_set1_ps(1.0f);
    int j = srow(z), ju = srow(z - 1), jd = srow(z + 1);
    for (int x = 0; x < N; x += 8) {
        int i = (z << 8) | x, si = j + x;
        __m256 d0 = _mm256_loadu_ps(snap_d + si);
        __m256 L0 = _mm256_add_ps(_mm256_loadu_ps(ground + si), d0);
        __m256 east = _mm256_loadu_ps(step_fx + si);
        __m256 south = _mm256_loadu_ps(step_fz + si);
        __m256 west = _mm256_sub_ps(zero, _mm256_loadu_ps(step_fx + si - 1));
        __m256 north = _mm256_sub_ps(zero, _mm256_loadu_ps(step_fz + ju + x));
        __m256 he = _mm256_loadu_ps(ground + si + 1), hw = _mm256_loadu_ps(ground + si - 1);
        __m256 hn = _mm256_loadu_ps(ground + ju + x), hs = _mm256_loadu_ps(ground + jd + x);
        west = drop8(west, hw, L0), north = drop8(north, hn, L0), east = drop8(east, he, L0);
        south = drop8(south, hs, L0);
        __m256 total = _mm256_add_ps(_mm256_add_ps(_mm256_add_ps(south, east), west), north);
        __m256 amount = _mm256_mul_ps(total, move);
        __m256 go = _mm256_and_ps(_mm256_cmp_ps(d0, zero, _CMP_GT_OQ),
                                  _mm256_cmp_ps(amount, limit, _CMP_GT_OQ));
        amount = _mm256_and_ps(go, _mm256_min_ps(amount, d0));
        __m256 safe = sel8(go, total, one);
        _mm256_store_ps(give_self + i, amount);
        _mm256_store_ps(give_east + i, share8(east, go, amount, safe));
        _mm256_store_ps(give_west + i, share8(west, go, amount, safe));
        _mm256_store_ps(give_north + i, share8(north, go, amount, safe));
        _mm256_store_ps(give_south + i, share8(south, go, amount, safe));
    }
}

#undef W8

// Applies the transfers of point (x, z) and its neighbours in the order of the giving
// points' indices, as the in-place sweep does; used where the neighbours wrap.
void settle_edge(int x, int z) {
    int i = (z << 8) | x;
    int w = (z << 8) | ((x - 1) & MASK), e = (z << 8) | ((x + 1) & MASK);
    int n = (((z - 1) & MASK) << 8) | x, s = (((z + 1) & MASK) << 8) | x;
    struct Event {
        int src;
        float delta;
    } ev[5] = {{i, -give_self[i]},
               {w, give_east[w]},
               {e, give_west[e]},
               {n, give_south[n]},
               {s, give_north[s]}};
    for (int a = 1; a < 5; ++a) // insertion sort: the sources are distinct
        for (int b = a; b > 0 && ev[b].src < ev[b - 1].src; --b) std::swap(ev[b], ev[b - 1]);
    float d = water[z][x].depth;
    for (const Event& v : ev) d += v.delta;
    water[z][x].depth = d;
}

// Interior points receive from north and west before giving, and from east and south after.
void settle_row(int z) {
    int row = z << 8;
    Water* wr = water[z];
    for (int x = 4; x < N - 4; x += 4) {
        int i = row | x;
        __m128 d = _mm_setr_ps(wr[x].depth, wr[x + 1].depth, wr[x + 2].depth, wr[x + 3].depth);
        d = _mm_add_ps(d, _mm_load_ps(give_south + i - N));
        d = _mm_add_ps(d, _mm_loadu_ps(give_east + i - 1));
        d = _mm_sub_ps(d, _mm_load_ps(give_self + i));
        d = _mm_add_ps(d, _mm_loadu_ps(give_west + i + 1));
        d = _mm_add_ps(d, _mm_load_ps(give_north + i + N));
        alignas(16) float out[4];
        _mm_store_ps(out, d);
        wr[x].depth = out[0], wr[x + 1].depth = out[1], wr[x + 2].depth = out[2];
        wr[x + 3].depth = out[3];
    }
    for (int x = 0; x < 4; ++x) settle_edge(x, z);
    for (int x = N - 4; x < N; ++x) settle_edge(x, z);
}

} // namespace

bool water_wide = __builtin_cpu_supports("avx2");

void addWater(float amount) {
    for (auto& row : water)
        for (Water& w : row) w.depth += amount;
}

void simWater(float dt) {
    StepConsts k;
    float b = std::min(dt, 1.0f);
    k.b3 = _mm_set1_ps(b / 3.0f);
    k.keep = _mm_set1_ps(1.0f - 2.0f * b / 3.0f);
    k.damp = _mm_set1_ps(float(std::max(0.0, 1.0 - 0.1 * double(dt))));
    k.gain = _mm_set1_ps(10.0f * dt);
    k.foam_keep = _mm_set1_ps(std::max(0.0f, 1.0f - 5.0f * dt));
    k.zero = _mm_setzero_ps();
    k.one = _mm_set1_ps(1.0f);
    k.tenth = _mm_set1_ps(0.1f);
    k.foam_k = _mm_set1_ps(3.2f);
    __m128 move = _mm_set1_ps(4.0f * dt);

    for (int z = 0; z < N; ++z) snapshot_row(z);
    if (water_wide) {
        for (int z = 0; z < N; ++z) flow_row8(z, k);
        for (int z = 0; z < N; ++z) give_row8(z, move);
    } else {
        for (int z = 0; z < N; ++z) flow_row(z, k);
        for (int z = 0; z < N; ++z) give_row(z, move);
    }
    for (int x = 0; x < N; ++x) settle_edge(x, 0);
    for (int z = 1; z < N - 1; ++z) settle_row(z);
    for (int x = 0; x < N; ++x) settle_edge(x, N - 1);
}

__m128 calcSquareDepth(__m128 pos, float r, bool with_water) {
    alignas(16) float p[4];
    _mm_store_ps(p, pos);
    auto fl = [](float v) { return _mm_cvtss_si32(_mm_set_ss(v - 0.4999999f)); };
    auto level = [with_water](int i, int j) {
        float l = hmap[hm_index(i, j)];
        if (with_water) l += waterAt(i, j).depth;
        return l;
    };
    // Level along x at a grid row, and along z at a grid column.
    auto along_x = [&](float X, int x0, int j) {
        float a = level(x0, j);
        return a + (level(x0 + 1, j) - a) * (X - float(x0));
    };
    auto along_z = [&](int i, float Z, int z0) {
        float a = level(i, z0);
        return a + (level(i, z0 + 1) - a) * (Z - float(z0));
    };
    auto bilinear = [&](float X, int x0, float Z, int z0) {
        float a = along_x(X, x0, z0), b = along_x(X, x0, z0 + 1);
        return a + (b - a) * (Z - float(z0));
    };
    float xl = p[0] - r, xh = p[0] + r, zl = p[2] - r, zh = p[2] + r;
    int x0 = fl(xl), x1 = fl(xh), z0 = fl(zl), z1 = fl(zh);
    float best = -FLT_MAX;
    best = std::max(best, bilinear(xl, x0, zl, z0));
    best = std::max(best, bilinear(xh, x1, zl, z0));
    best = std::max(best, bilinear(xl, x0, zh, z1));
    best = std::max(best, bilinear(xh, x1, zh, z1));
    for (int i = x0 + 1; i <= x1; ++i) {
        best = std::max(best, along_z(i, zl, z0));
        best = std::max(best, along_z(i, zh, z1));
    }
    for (int j = z0 + 1; j <= z1; ++j) {
        best = std::max(best, along_x(xl, x0, j));
        best = std::max(best, along_x(xh, x1, j));
        for (int i = x0 + 1; i <= x1; ++i) best = std::max(best, level(i, j));
    }
    return _mm_set1_ps(best - p[1]);
}

} // namespace HeightmapData
