#include "world/erosion.h"

#include "core/vec4f.h"
#include "platform/log.h"
#include "world/det_math.h"
#include "world/heightmap.h"
#include "world/rnd.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

void (*erosion_progress_hook)(const char* text, float fraction) = nullptr;

namespace HeightmapData {

ErosionStats last_erosion_stats;

namespace {

constexpr int MASK = HMAP_SIZE - 1;

// Vector constants of the droplet loop, kept in memory and set at the start of each run:
// GCC rebuilds an equal-lane literal from a scalar load and a shuffle at every use, which
// cost the loop dozens of instructions a step.
struct LoopConsts {
    __m128 one, quarter, neg_zero, c255, byte_unit;
    __m128 exp_max, exp_min, log2e, ln2_hi, ln2_lo, p6, p5, p4, p3, p2;
    __m128i exp_bias;
};
LoopConsts kc;

void set_loop_consts() {
    kc.one = _mm_set1_ps(1.0f), kc.quarter = _mm_set1_ps(0.25f);
    kc.neg_zero = _mm_set1_ps(-0.0f), kc.c255 = _mm_set1_ps(255.0f);
    kc.byte_unit = _mm_set1_ps(0x1.0101p-8f);
    kc.exp_max = _mm_set1_ps(88.0f), kc.exp_min = _mm_set1_ps(-87.0f);
    kc.log2e = _mm_set1_ps(1.44269504f);
    kc.ln2_hi = _mm_set1_ps(0.693359375f), kc.ln2_lo = _mm_set1_ps(-2.12194440e-4f);
    kc.p6 = _mm_set1_ps(1.0f / 720.0f), kc.p5 = _mm_set1_ps(1.0f / 120.0f);
    kc.p4 = _mm_set1_ps(1.0f / 24.0f), kc.p3 = _mm_set1_ps(1.0f / 6.0f);
    kc.p2 = _mm_set1_ps(0.5f);
    kc.exp_bias = _mm_set1_epi32(127);
}

// det_exp4 and bytes_to_unit, operation for operation, on those constants.
inline __m128 exp4(__m128 x) {
    x = _mm_min_ps(x, kc.exp_max);
    x = _mm_max_ps(x, kc.exp_min);
    __m128 fn = _mm_mul_ps(x, kc.log2e);
    __m128i n = _mm_cvtps_epi32(fn);
    fn = _mm_cvtepi32_ps(n);
    __m128 r = _mm_sub_ps(x, _mm_mul_ps(fn, kc.ln2_hi));
    r = _mm_sub_ps(r, _mm_mul_ps(fn, kc.ln2_lo));
    __m128 p = kc.p6;
    p = _mm_add_ps(_mm_mul_ps(p, r), kc.p5);
    p = _mm_add_ps(_mm_mul_ps(p, r), kc.p4);
    p = _mm_add_ps(_mm_mul_ps(p, r), kc.p3);
    p = _mm_add_ps(_mm_mul_ps(p, r), kc.p2);
    p = _mm_add_ps(_mm_mul_ps(p, r), kc.one);
    p = _mm_add_ps(_mm_mul_ps(p, r), kc.one);
    __m128i e = _mm_slli_epi32(_mm_add_epi32(n, kc.exp_bias), 23);
    return _mm_mul_ps(p, _mm_castsi128_ps(e));
}

inline __m128 unit_of_bytes(__m128i b) {
    __m128 below = _mm_mul_ps(_mm_cvtepi32_ps(b), kc.byte_unit);
    return _mm_castsi128_ps(
        _mm_sub_epi32(_mm_castps_si128(below), _mm_cmpgt_epi32(b, _mm_setzero_si128())));
}

// Four packed colours as channel vectors (lane i: colour i), in 0..1.
struct Colors4 {
    __m128 r, g, b, a;
};

// Clamped to 0..1 (NaN as 0), times 255, nearest-even: the same bytes as pack_color.
inline __m128i to_byte4(__m128 v) {
    v = _mm_min_ps(_mm_max_ps(v, _mm_setzero_ps()), kc.one);
    return _mm_cvtps_epi32(_mm_mul_ps(v, kc.c255));
}

inline __m128 select(__m128 mask, __m128 a, __m128 b) {
    return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b));
}

// A reaction as the droplet loop uses it: each rate four times over (one load makes the
// vector) and the orders.
struct Reaction {
    float k[4][4];
    int n[4];
};

struct Reactions {
    DynArray<Reaction> r;
    int live; // channels some reaction changes
    float time;
};

// Lets four deposited colours (lanes: corners) evolve by the reactions for reactionTime, in
// at most 10 sub-steps each that stop every falling channel at 0. Lane for lane the same
// arithmetic as one colour at a time. A channel no reaction changes (all k 0) gets rate +0
// and stays as it is while the products are finite, so it is skipped then.
template <int N> // N reactions; 0: any number
inline void react4(Colors4& col, const Reactions& rx) {
    __m128 ch[4] = {col.r, col.g, col.b, col.a};
    const int n = N ? N : rx.r.num;
    __m128 T = _mm_set1_ps(rx.time);
    const __m128 zero = _mm_setzero_ps();
    for (int sub = 0; sub < 10; ++sub) {
        __m128 active = _mm_cmpgt_ps(T, zero);
        if (!_mm_movemask_ps(active)) break;
        __m128 R[4] = {zero, zero, zero, zero};
        int used = rx.live;
        for (int i = 0; i < n; ++i) {
            const Reaction& r = rx.r.items[i];
            __m128 prod = kc.one;
#pragma GCC unroll 4
            for (int j = 0; j < 4; ++j)
                if (r.n[j] > 0) {
                    __m128 pw = ch[j];
                    for (int o = 1; o < r.n[j]; ++o) pw = _mm_mul_ps(pw, ch[j]);
                    prod = _mm_mul_ps(prod, pw);
                }
            if (_mm_movemask_ps(_mm_cmpeq_ps(_mm_sub_ps(prod, prod), zero)) != 15) used = 15;
#pragma GCC unroll 4
            for (int j = 0; j < 4; ++j)
                R[j] = _mm_add_ps(R[j], _mm_mul_ps(_mm_loadu_ps(r.k[j]), prod));
        }
        __m128 dt = T;
#pragma GCC unroll 4
        for (int j = 0; j < 4; ++j) {
            if (!(used & (1 << j))) continue;
            __m128 falling = _mm_cmplt_ps(R[j], zero);
            if (!_mm_movemask_ps(falling)) continue;
            __m128 t = _mm_div_ps(_mm_xor_ps(ch[j], kc.neg_zero), R[j]);
            dt = select(_mm_and_ps(falling, _mm_cmplt_ps(t, dt)), t, dt);
        }
#pragma GCC unroll 4
        for (int j = 0; j < 4; ++j)
            if (used & (1 << j))
                ch[j] = select(active, _mm_add_ps(ch[j], _mm_mul_ps(dt, R[j])), ch[j]);
        T = select(active, _mm_sub_ps(T, dt), T);
    }
    col = {ch[0], ch[1], ch[2], ch[3]};
}

// The reactions of the parameters, for react4.
void prepare_reactions(const ErosionParams& p, Reactions& rx) {
    rx.live = 0, rx.time = p.reactionTime;
    for (const ErosionReaction& e : p.reactions) {
        Reaction r;
        for (int j = 0; j < 4; ++j) {
            for (float& k : r.k[j]) k = e.k[j];
            if (!(e.k[j] == 0.0f)) rx.live |= 1 << j;
            r.n[j] = e.n[j];
        }
        rx.r.push_back(r);
    }
}

inline __m128 lane(__m128 v, int i) {
    switch (i) {
    case 0:
        return _mm_shuffle_ps(v, v, 0x00);
    case 1:
        return _mm_shuffle_ps(v, v, 0x55);
    case 2:
        return _mm_shuffle_ps(v, v, 0xAA);
    default:
        return _mm_shuffle_ps(v, v, 0xFF);
    }
}

// Working copies of one run. Colours as four floats per cell, each exactly byte / 255 (what
// the record's bytes say), so that blending and mixing need no unpacking; the layer byte
// says what still has to be cleared of a cell's surface layer. surface is brought up to
// date at the end of the run.
alignas(64) __m128 run_color[HMAP_CELLS];
alignas(64) uint8_t run_layer[HMAP_CELLS];
enum : uint8_t { LAYER_ERODES = 1, LAYER_DEPOSITS = 2 }; // grass: erosion only

// Returns whether any cell has a surface layer (worlds are usually eroded before they are
// painted, and then the droplets need not look).
bool begin_run() {
    uint8_t any = 0;
    for (int i = 0; i < HMAP_CELLS; ++i) {
        const Surface& s = surface[i];
        run_color[i] = unpack_color(s.color);
        run_layer[i] = s.surf_type == ST_GRASS
                           ? LAYER_ERODES
                           : (s.surf_type || s.surf_color ? LAYER_ERODES | LAYER_DEPOSITS : 0);
        any |= run_layer[i];
    }
    return any;
}

// byte / 255 gives back its byte, so untouched cells keep theirs.
void end_run() {
    for (int i = 0; i < HMAP_CELLS; ++i) {
        Surface& s = surface[i];
        s.color = pack_color(run_color[i]);
        if (!run_layer[i] && (s.surf_type || s.surf_color)) s.surf_type = ST_OPEN, s.surf_color = 0;
    }
}

// LAYER_ERODES in the bytes of the cells a four-bit lane mask picks.
constexpr struct ErodesIn {
    uint32_t bits[16];
    constexpr ErodesIn() : bits() {
        for (int m = 0; m < 16; ++m)
            for (int l = 0; l < 4; ++l)
                if (m & (1 << l)) bits[m] |= uint32_t(LAYER_ERODES) << (8 * l);
    }
    constexpr uint32_t operator[](int m) const { return bits[m]; }
} erodes_in;

// The colour as stored: clamped, rounded to bytes and read back.
inline __m128 quantize(__m128 v) {
    return unit_of_bytes(to_byte4(v));
}

inline Colors4 quantize4(const Colors4& c) {
    return {quantize(c.r), quantize(c.g), quantize(c.b), quantize(c.a)};
}

inline Colors4 blend4(Colors4 o, __m128 c, __m128 b) {
    o.r = _mm_add_ps(o.r, _mm_mul_ps(_mm_sub_ps(lane(c, 0), o.r), b));
    o.g = _mm_add_ps(o.g, _mm_mul_ps(_mm_sub_ps(lane(c, 1), o.g), b));
    o.b = _mm_add_ps(o.b, _mm_mul_ps(_mm_sub_ps(lane(c, 2), o.b), b));
    o.a = _mm_add_ps(o.a, _mm_mul_ps(_mm_sub_ps(lane(c, 3), o.a), b));
    return o;
}

inline Colors4 select4(__m128 mask, const Colors4& a, const Colors4& b) {
    return {select(mask, a.r, b.r), select(mask, a.g, b.g), select(mask, a.b, b.b),
            select(mask, a.a, b.a)};
}

// Per-run constants of the droplet loop.
struct Run {
    float Ki, Kq, Kr, Kd, g2, wkeep, min_slope, neg_blend;
    bool layers;
    int react; // 0: no reactions, 1: one, 2: more
    Reactions reactions;
};

inline void react(Colors4& c, const Run& run) {
    if (run.react == 1)
        react4<1>(c, run.reactions);
    else
        react4<0>(c, run.reactions);
}

// Drops A1 and then A2 (Two; else only A1) at (ix + fx, iz + fz) onto the cell's four
// corners: the two deposits of a climb share their loads and stores. Corners that get
// nothing are left alone (-0 added to their heights changes no bit), so a droplet with no
// sediment changes nothing where it stops.
template <bool Two>
inline __attribute__((always_inline)) void deposit(float A1, float A2, int ix, int iz, float fx,
                                                   float fz, __m128 c, const Run& run) {
    const __m128 zero = _mm_setzero_ps(), negzero = kc.neg_zero, one = kc.one;
    __m128 wx = _mm_setr_ps(1.0f - fx, fx, 1.0f - fx, fx);
    __m128 wz = _mm_setr_ps(1.0f - fz, 1.0f - fz, fz, fz);
    __m128 a1 = _mm_mul_ps(_mm_mul_ps(_mm_set1_ps(A1), wx), wz);
    __m128 got1 = _mm_cmpgt_ps(a1, zero), got2 = zero, a2 = zero;
    if (Two) {
        a2 = _mm_mul_ps(_mm_mul_ps(_mm_set1_ps(A2), wx), wz);
        got2 = _mm_cmpgt_ps(a2, zero);
    }
    const int got = _mm_movemask_ps(_mm_or_ps(got1, got2));
    if (!got) return;
    const __m128 nb = _mm_set1_ps(run.neg_blend);
    __m128 b1 = _mm_sub_ps(one, exp4(_mm_mul_ps(a1, nb)));
    __m128 b2 = Two ? _mm_sub_ps(one, exp4(_mm_mul_ps(a2, nb))) : zero;
    __m128 add1 = select(got1, a1, negzero), add2 = select(got2, a2, negzero);

    const int x0 = ix & MASK, x1 = (ix + 1) & MASK;
    const int z0 = (iz & MASK) << 8, z1 = ((iz + 1) & MASK) << 8;
    const int cells[4] = {z0 | x0, z0 | x1, z1 | x0, z1 | x1};
    if (x0 != MASK) {
        // Each row's two corners are neighbours in memory: two heights at once.
        float* h0 = hmap + cells[0];
        float* h1 = hmap + cells[2];
        __m128 hs = _mm_loadh_pi(_mm_loadl_pi(zero, reinterpret_cast<__m64*>(h0)),
                                 reinterpret_cast<__m64*>(h1));
        hs = _mm_add_ps(hs, add1);
        if (Two) hs = _mm_add_ps(hs, add2);
        _mm_storel_pi(reinterpret_cast<__m64*>(h0), hs);
        _mm_storeh_pi(reinterpret_cast<__m64*>(h1), hs);
    } else {
        alignas(16) float av[4], bv[4];
        _mm_store_ps(av, add1);
        _mm_store_ps(bv, add2);
        for (int k = 0; k < 4; ++k) {
            hmap[cells[k]] += av[k];
            if (Two) hmap[cells[k]] += bv[k];
        }
    }

    if (run.layers) { // every layer but grass goes
        int strip = 0;
        for (int k = 0; k < 4; ++k) strip |= (run_layer[cells[k]] & LAYER_DEPOSITS) << k;
        if ((strip >>= 1) & got)
            for (int k = 0; k < 4; ++k)
                if (strip & got & (1 << k)) run_layer[cells[k]] = 0;
    }

    __m128 o[4] = {run_color[cells[0]], run_color[cells[1]], run_color[cells[2]],
                   run_color[cells[3]]};
    __m128 out[4];
    if (run.react) {
        // Reactions work on the four corners side by side.
        Colors4 oc{o[0], o[1], o[2], o[3]};
        _MM_TRANSPOSE4_PS(oc.r, oc.g, oc.b, oc.a);
        Colors4 m = blend4(oc, c, b1);
        react(m, run);
        Colors4 base = select4(got1, quantize4(m), oc);
        if (Two) {
            m = blend4(base, c, b2);
            react(m, run);
            base = select4(got2, quantize4(m), base);
        }
        _MM_TRANSPOSE4_PS(base.r, base.g, base.b, base.a);
        out[0] = base.r, out[1] = base.g, out[2] = base.b, out[3] = base.a;
    } else if (got == 15 && (!Two || _mm_movemask_ps(_mm_and_ps(got1, got2)) == 15)) {
        for (int k = 0; k < 4; ++k) { // the usual case: every corner gets every deposit
            out[k] = quantize(_mm_add_ps(o[k], _mm_mul_ps(_mm_sub_ps(c, o[k]), lane(b1, k))));
            if (Two)
                out[k] =
                    quantize(_mm_add_ps(out[k], _mm_mul_ps(_mm_sub_ps(c, out[k]), lane(b2, k))));
        }
    } else {
        for (int k = 0; k < 4; ++k) {
            __m128 m = _mm_add_ps(o[k], _mm_mul_ps(_mm_sub_ps(c, o[k]), lane(b1, k)));
            out[k] = select(lane(got1, k), quantize(m), o[k]);
            if (Two) {
                m = _mm_add_ps(out[k], _mm_mul_ps(_mm_sub_ps(c, out[k]), lane(b2, k)));
                out[k] = select(lane(got2, k), quantize(m), out[k]);
            }
        }
    }
    for (int k = 0; k < 4; ++k) run_color[cells[k]] = out[k];
}

// Takes E from the cells within distance 2 of (px, pz) (kernel 1 - d^2 / 4, summing to
// about E) and strips their surface layers. The droplet's colour takes up theirs by mass:
// mixing cell by cell, each with the sediment carried so far, is the mass-weighted mean
// (c s + sum of colour e) / (s + sum of e), computed here in one go, each column's sum
// kept apart (a share of 0 adds nothing).
inline void erode(float E, float px, float pz, int ix, int iz, float s, __m128& c, bool layers) {
    if (!(E > 0.0f)) return;
    __m128 kE = _mm_set1_ps(E * 0.15915494f);
    __m128 xs = _mm_add_ps(_mm_set1_ps(float(ix - 1)), __m128{0.0f, 1.0f, 2.0f, 3.0f});
    __m128 dx = _mm_sub_ps(xs, _mm_set1_ps(px));
    __m128 dx2 = _mm_mul_ps(dx, dx);
    const __m128 one = kc.one, quarter = kc.quarter;
    __m128 esum = _mm_setzero_ps();
    __m128 acc[4] = {esum, esum, esum, esum};
    const int xa = (ix - 1) & MASK;
    const bool contiguous = xa <= HMAP_SIZE - 4;
    const int col[4] = {xa, (xa + 1) & MASK, (xa + 2) & MASK, (xa + 3) & MASK};
#pragma GCC unroll 4
    for (int r = 0; r < 4; ++r) {
        int z = iz - 1 + r;
        float dz = float(z) - pz;
        __m128 k = _mm_sub_ps(one, _mm_mul_ps(_mm_add_ps(dx2, _mm_set1_ps(dz * dz)), quarter));
        __m128 pos = _mm_cmpgt_ps(k, _mm_setzero_ps());
        int m = _mm_movemask_ps(pos);
        if (!m) continue;
        __m128 e = _mm_and_ps(_mm_mul_ps(k, kE), pos);
        int row = (z & MASK) << 8;
        if (contiguous) {
            float* h = hmap + row + xa;
            _mm_storeu_ps(h, _mm_sub_ps(_mm_loadu_ps(h), e));
        } else {
            alignas(16) float ev[4];
            _mm_store_ps(ev, e);
            for (int l = 0; l < 4; ++l) hmap[row | col[l]] -= ev[l];
        }
        for (int l = 0; l < 4; ++l)
            acc[l] = _mm_add_ps(acc[l], _mm_mul_ps(run_color[row | col[l]], lane(e, l)));
        esum = _mm_add_ps(esum, e);
        if (!layers) continue;
        uint8_t* lr = run_layer + row;
        uint32_t bytes;
        if (contiguous)
            memcpy(&bytes, lr + xa, 4);
        else
            bytes = lr[col[0]] | lr[col[1]] << 8 | lr[col[2]] << 16 | uint32_t(lr[col[3]]) << 24;
        if (bytes & erodes_in[m])
            for (int l = 0; l < 4; ++l)
                if (m & (1 << l)) lr[col[l]] = 0;
    }
    __m128 taken = _mm_add_ps(_mm_add_ps(acc[0], acc[1]), _mm_add_ps(acc[2], acc[3]));
    __m128 e2 = _mm_add_ps(esum, _mm_movehl_ps(esum, esum));
    float etotal = _mm_cvtss_f32(_mm_add_ss(e2, _mm_shuffle_ps(e2, e2, 1)));
    float den = s + etotal;
    if (!(den > 0.0f)) return; // all shares underflowed: nothing taken up
    __m128 mixed = _mm_add_ps(_mm_mul_ps(c, _mm_set1_ps(s)), taken);
    c = _mm_div_ps(mixed, _mm_set1_ps(den));
}

struct Corners {
    float h00, h10, h01, h11;
};

inline Corners corners_at(int ix, int iz) {
    int x0 = ix & MASK, x1 = (ix + 1) & MASK, z0 = (iz & MASK) << 8, z1 = ((iz + 1) & MASK) << 8;
    return {hmap[z0 | x0], hmap[z0 | x1], hmap[z1 | x0], hmap[z1 | x1]};
}

// Runs one droplet; returns its completed steps, or EROSION_MAX_STEPS + 1 for a cut path.
int run_droplet(const Run& run, ErosionStats& st) {
    int ix = int(rnd_step() & MASK);
    int iz = int(rnd_step() & MASK);
    float px = float(ix), pz = float(iz), fx = 0.0f, fz = 0.0f;
    Corners q = corners_at(ix, iz);
    float h = q.h00;
    float dx = 0.0f, dz = 0.0f, v = 0.0f, w = 1.0f, s = 0.0f;
    __m128 c = _mm_setzero_ps();
    const float Ki = run.Ki, Kq = run.Kq, Kr = run.Kr, Kd = run.Kd, g2 = run.g2;
    const float wkeep = run.wkeep, min_slope = run.min_slope;

    for (int step = 0; step < EROSION_MAX_STEPS; ++step) {
        float gx = (q.h00 + q.h01) - (q.h10 + q.h11);
        float gz = (q.h00 + q.h10) - (q.h01 + q.h11);
        dx = gx + (dx - gx) * Ki;
        dz = gz + (dz - gz) * Ki;
        float len = _mm_cvtss_f32(_mm_sqrt_ss(_mm_set_ss(dx * dx + dz * dz)));
        if (len <= 1.1920929e-7f) {
            det_sincos_2pi(rnd_float(), &dx, &dz);
            ++st.random_dirs;
        } else {
            dx /= len;
            dz /= len;
        }
        float npx = px + dx, npz = pz + dz;
        // Non-finite heights (a script can write any value) end the droplet instead of
        // turning its position into garbage cell indices.
        if (!(std::fabs(npx) < 1e6f && std::fabs(npz) < 1e6f)) return step;
        int nix = hm_floor(npx), niz = hm_floor(npz);
        float nfx = npx - float(nix), nfz = npz - float(niz);
        Corners nq = corners_at(nix, niz);
        float ha = nq.h00 + (nq.h10 - nq.h00) * nfx;
        float hb = nq.h01 + (nq.h11 - nq.h01) * nfx;
        float hn = ha + (hb - ha) * nfz;

        float drop;
        if (h <= hn) {
            float need = hn - h + 0.001f;
            if (s <= need) {
                if (s > 0.0f) deposit<false>(s, 0.0f, ix, iz, fx, fz, c, run);
                return step;
            }
            s -= need;
            v = 0.0f;
            h = hn + 0.001f;
            drop = h - hn;
            // With v 0 the capacity is 0 (or NaN) and s > need > 0: a deposit always follows
            // the one of need, at the same place.
            float capacity = std::max(drop, min_slope) * v * w * Kq;
            float D = (s - capacity) * Kd;
            deposit<true>(need, D, ix, iz, fx, fz, c, run);
            drop += D;
            s -= D;
        } else {
            drop = h - hn;
            float capacity = std::max(drop, min_slope) * v * w * Kq;
            if (s < capacity) {
                float E = std::min((capacity - s) * Kr, 0.99f * drop);
                erode(E, px, pz, ix, iz, s, c, run.layers);
                drop -= E;
                s += E;
            } else {
                float D = (s - capacity) * Kd;
                deposit<false>(D, 0.0f, ix, iz, fx, fz, c, run);
                drop += D;
                s -= D;
            }
        }
        v = _mm_cvtss_f32(_mm_sqrt_ss(_mm_set_ss(v * v + g2 * drop)));
        w *= wkeep;
        px = npx, pz = npz, ix = nix, iz = niz, fx = nfx, fz = nfz, q = nq, h = hn;
    }
    return EROSION_MAX_STEPS + 1;
}

} // namespace

ErosionReaction make_erosion_reaction(const vec4f& from, const vec4f& to, float rate) {
    ErosionReaction r;
    const float f[4] = {from.x, from.y, from.z, from.w}, t[4] = {to.x, to.y, to.z, to.w};
    for (int j = 0; j < 4; ++j) {
        r.k[j] = rate * (t[j] - f[j]);
        // Orders beyond any sensible power; also keeps NaN and huge values from the conversion.
        float o = f[j] > 64.0f ? 64.0f : (f[j] > -64.0f ? f[j] : -64.0f);
        r.n[j] = _mm_cvtss_si32(_mm_set_ss(o));
    }
    return r;
}

void genDropletErosion(unsigned count, ErosionParams& params) {
    auto start = std::chrono::steady_clock::now();
    ErosionStats st{0, 0, 0};
    Run run;
    run.Ki = params.Ki, run.Kq = params.Kq, run.Kr = params.Kr, run.Kd = params.Kd;
    run.g2 = 2.0f * params.g, run.wkeep = 1.0f - params.Kw, run.min_slope = params.minSlope;
    run.neg_blend = -params.depositBlend;
    run.react = params.reactionTime > 0.0f ? std::min(params.reactions.num, 2) : 0;
    if (run.react) prepare_reactions(params, run.reactions);
    set_loop_consts();
    run.layers = begin_run();
    for (unsigned i = 0; i < count; ++i) {
        if (i && !(i & 16383) && erosion_progress_hook)
            erosion_progress_hook("Calculating erosion", (float(i) + 0.5f) / float(count));
        int steps = run_droplet(run, st);
        if (steps > EROSION_MAX_STEPS) {
            debug("droplet #%d path is too long!", int(i));
            ++st.long_paths;
            steps = EROSION_MAX_STEPS;
        }
        st.steps += unsigned(steps);
    }
    end_run();
    last_erosion_stats = st;
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    unsigned ms = unsigned(secs * 1000.0);
    // An empty run (or one too fast to time) reports zero rates instead of dividing by zero.
    double rate = count && secs > 0.0 ? double(count) / secs : 0.0;
    double avg = count ? double(st.steps) / double(count) : 0.0;
    debug("computed %7d erosion droplets in %6u ms, %.0f droplets/s", int(count), ms, rate);
    debug("  %.2f average path length, %llu long paths cut, %llu random directions picked", avg,
          st.long_paths, st.random_dirs);
}

} // namespace HeightmapData
