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

// v^n for n >= 1 as a plain running product (orders are small).
inline float powi(float v, int n) {
    float r = v;
    for (int i = 1; i < n; ++i) r *= v;
    return r;
}

// Four packed colours as channel vectors (lane i: colour i), in 0..1.
struct Colors4 {
    __m128 r, g, b, a;
};

inline Colors4 unpack4(__m128i c) {
    const __m128i m = _mm_set1_epi32(255);
    return {bytes_to_unit(_mm_and_si128(_mm_srli_epi32(c, 16), m)),
            bytes_to_unit(_mm_and_si128(_mm_srli_epi32(c, 8), m)),
            bytes_to_unit(_mm_and_si128(c, m)), bytes_to_unit(_mm_srli_epi32(c, 24))};
}

// Clamped to 0..1 (NaN as 0), times 255, nearest-even: the same bytes as pack_color.
inline __m128i to_byte4(__m128 v) {
    v = _mm_min_ps(_mm_max_ps(v, _mm_setzero_ps()), DET_SPLAT(1.0f));
    return _mm_cvtps_epi32(_mm_mul_ps(v, DET_SPLAT(255.0f)));
}

inline __m128i pack4(const Colors4& c) {
    __m128i hi = _mm_or_si128(_mm_slli_epi32(to_byte4(c.a), 24), _mm_slli_epi32(to_byte4(c.r), 16));
    __m128i lo = _mm_or_si128(_mm_slli_epi32(to_byte4(c.g), 8), to_byte4(c.b));
    return _mm_or_si128(hi, lo);
}

inline __m128 select(__m128 mask, __m128 a, __m128 b) {
    return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b));
}

// Lets four deposited colours (lanes: corners) evolve by the reactions for reactionTime, in
// at most 10 sub-steps each that stop every falling channel at 0. Lane for lane the same
// arithmetic as one colour at a time. A channel no reaction changes (all k 0) gets rate +0
// and stays as it is while the products are finite, so it is skipped then.
void react4(Colors4& col, const ErosionParams& p) {
    __m128* ch[4] = {&col.r, &col.g, &col.b, &col.a};
    int live = 0;
    for (const ErosionReaction& r : p.reactions)
        for (int j = 0; j < 4; ++j)
            if (!(r.k[j] == 0.0f)) live |= 1 << j;
    __m128 T = _mm_set1_ps(p.reactionTime);
    const __m128 zero = _mm_setzero_ps();
    for (int sub = 0; sub < 10; ++sub) {
        __m128 active = _mm_cmpgt_ps(T, zero);
        if (!_mm_movemask_ps(active)) break;
        __m128 R[4] = {zero, zero, zero, zero};
        int used = live;
        for (const ErosionReaction& r : p.reactions) {
            __m128 prod = DET_SPLAT(1.0f);
            for (int j = 0; j < 4; ++j)
                if (r.n[j] > 0) {
                    __m128 pw = *ch[j];
                    for (int i = 1; i < r.n[j]; ++i) pw = _mm_mul_ps(pw, *ch[j]);
                    prod = _mm_mul_ps(prod, pw);
                }
            if (_mm_movemask_ps(_mm_cmpeq_ps(_mm_sub_ps(prod, prod), zero)) != 15) used = 15;
            for (int j = 0; j < 4; ++j)
                R[j] = _mm_add_ps(R[j], _mm_mul_ps(_mm_set1_ps(r.k[j]), prod));
        }
        __m128 dt = T;
        for (int j = 0; j < 4; ++j) {
            if (!(used & (1 << j))) continue;
            __m128 falling = _mm_cmplt_ps(R[j], zero);
            if (!_mm_movemask_ps(falling)) continue;
            __m128 t = _mm_div_ps(_mm_xor_ps(*ch[j], DET_SPLAT(-0.0f)), R[j]);
            dt = select(_mm_and_ps(falling, _mm_cmplt_ps(t, dt)), t, dt);
        }
        for (int j = 0; j < 4; ++j)
            if (used & (1 << j))
                *ch[j] = select(active, _mm_add_ps(*ch[j], _mm_mul_ps(dt, R[j])), *ch[j]);
        T = select(active, _mm_sub_ps(T, dt), T);
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

// Surface layers are bits 4-7 of the bit-field word; most cells have none, so the common
// case only reads. A cell without a layer has surf_color 0 already (they are set together).
inline uint32_t field_word(const Surface& s) {
    uint32_t word;
    memcpy(&word, reinterpret_cast<const char*>(&s) + 8, 4);
    return word;
}

// Drops A at (ix + fx, iz + fz) onto the cell's four corners. Corners that get nothing are
// left alone, so a droplet with no sediment changes nothing where it stops.
inline __attribute__((always_inline)) void deposit(float A, int ix, int iz, float fx, float fz,
                                                   __m128 c, const ErosionParams& p) {
    if (!(A > 0.0f)) return;
    __m128 wx = _mm_setr_ps(1.0f - fx, fx, 1.0f - fx, fx);
    __m128 wz = _mm_setr_ps(1.0f - fz, 1.0f - fz, fz, fz);
    __m128 a = _mm_mul_ps(_mm_mul_ps(_mm_set1_ps(A), wx), wz);
    __m128 b = _mm_sub_ps(DET_SPLAT(1.0f), det_exp4(_mm_mul_ps(a, _mm_set1_ps(-p.depositBlend))));
    int got = _mm_movemask_ps(_mm_cmpgt_ps(a, _mm_setzero_ps()));
    int x0 = ix & MASK, z0 = (iz & MASK) << 8, z1 = ((iz + 1) & MASK) << 8;
    Surface* s[4];
    __m128i colors, layers;
    if (got == 15 && x0 != MASK) {
        // The usual case: every corner gets a share and each row's two corners are
        // neighbours in memory: two heights at once, and both records of a row in two loads
        // (colours at words 0 and 3 of the first, layer words at 0 and 3 of the second).
        float* h0 = hmap + (z0 | x0);
        float* h1 = hmap + (z1 | x0);
        __m128 hs = _mm_loadh_pi(_mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<__m64*>(h0)),
                                 reinterpret_cast<__m64*>(h1));
        hs = _mm_add_ps(hs, a);
        _mm_storel_pi(reinterpret_cast<__m64*>(h0), hs);
        _mm_storeh_pi(reinterpret_cast<__m64*>(h1), hs);
        s[0] = surface + (z0 | x0), s[1] = s[0] + 1;
        s[2] = surface + (z1 | x0), s[3] = s[2] + 1;
        const char* r0 = reinterpret_cast<const char*>(s[0]);
        const char* r1 = reinterpret_cast<const char*>(s[2]);
        __m128 c0 = _mm_loadu_ps(reinterpret_cast<const float*>(r0));
        __m128 c1 = _mm_loadu_ps(reinterpret_cast<const float*>(r1));
        __m128 f0 = _mm_loadu_ps(reinterpret_cast<const float*>(r0 + 8));
        __m128 f1 = _mm_loadu_ps(reinterpret_cast<const float*>(r1 + 8));
        colors = _mm_castps_si128(_mm_shuffle_ps(c0, c1, _MM_SHUFFLE(3, 0, 3, 0)));
        layers = _mm_castps_si128(_mm_shuffle_ps(f0, f1, _MM_SHUFFLE(3, 0, 3, 0)));
    } else {
        int x1 = (ix + 1) & MASK;
        const int cells[4] = {z0 | x0, z0 | x1, z1 | x0, z1 | x1};
        alignas(16) float av[4];
        _mm_store_ps(av, a);
        for (int k = 0; k < 4; ++k) {
            s[k] = surface + cells[k];
            if (got & (1 << k)) hmap[cells[k]] += av[k];
        }
        colors =
            _mm_setr_epi32(int(s[0]->color), int(s[1]->color), int(s[2]->color), int(s[3]->color));
        layers = _mm_setr_epi32(int(field_word(*s[0])), int(field_word(*s[1])),
                                int(field_word(*s[2])), int(field_word(*s[3])));
    }
    // Every layer but grass goes.
    __m128i layer = _mm_and_si128(layers, _mm_set1_epi32(0xF0));
    __m128i keep = _mm_or_si128(_mm_cmpeq_epi32(layer, _mm_setzero_si128()),
                                _mm_cmpeq_epi32(layer, _mm_set1_epi32(ST_GRASS << 4)));
    if (int strip = got & ~_mm_movemask_ps(_mm_castsi128_ps(keep)))
        for (int k = 0; k < 4; ++k)
            if (strip & (1 << k)) s[k]->surf_type = ST_OPEN, s[k]->surf_color = 0;

    // The four corners' colours are blended side by side. A corner that gets nothing has
    // b = 0 and keeps its bytes exactly.
    Colors4 o = unpack4(colors);
    o.r = _mm_add_ps(o.r, _mm_mul_ps(_mm_sub_ps(lane(c, 0), o.r), b));
    o.g = _mm_add_ps(o.g, _mm_mul_ps(_mm_sub_ps(lane(c, 1), o.g), b));
    o.b = _mm_add_ps(o.b, _mm_mul_ps(_mm_sub_ps(lane(c, 2), o.b), b));
    o.a = _mm_add_ps(o.a, _mm_mul_ps(_mm_sub_ps(lane(c, 3), o.a), b));
    if (p.reactionTime > 0.0f && p.reactions.num > 0) react4(o, p);
    alignas(16) uint32_t packed[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(packed), pack4(o));
    if (got == 15) {
        s[0]->color = packed[0], s[1]->color = packed[1];
        s[2]->color = packed[2], s[3]->color = packed[3];
        return;
    }
    for (int k = 0; k < 4; ++k)
        if (got & (1 << k)) s[k]->color = packed[k];
}

// Takes E from the cells within distance 2 of (px, pz) (kernel 1 - d^2 / 4, summing to
// about E) and strips their surface layers. The droplet's colour takes up theirs by mass:
// mixing cell by cell, each with the sediment carried so far, is the mass-weighted mean
// (c s + sum of colour e) / (s + sum of e), computed here in one go.
void erode(float E, float px, float pz, int ix, int iz, float s, __m128& c) {
    if (!(E > 0.0f)) return;
    __m128 kE = _mm_set1_ps(E * 0.15915494f);
    __m128 xs = _mm_add_ps(_mm_set1_ps(float(ix - 1)), __m128{0.0f, 1.0f, 2.0f, 3.0f});
    __m128 dx = _mm_sub_ps(xs, _mm_set1_ps(px));
    __m128 dx2 = _mm_mul_ps(dx, dx);
    const __m128 one = DET_SPLAT(1.0f), quarter = DET_SPLAT(0.25f);
    __m128 esum = _mm_setzero_ps();
    Colors4 acc{esum, esum, esum, esum};
    int xa = (ix - 1) & MASK;
    bool contiguous = xa <= HMAP_SIZE - 4;
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
        __m128i colors, layers;
        Surface* cell[4];
        if (contiguous) {
            float* h = hmap + row + xa;
            _mm_storeu_ps(h, _mm_sub_ps(_mm_loadu_ps(h), e));
            cell[0] = &surface[row + xa];
            cell[1] = cell[0] + 1, cell[2] = cell[0] + 2, cell[3] = cell[0] + 3;
            // The four 12-byte records in three loads: colours at words 0, 3, 6, 9 and the
            // bit-field words at 2, 5, 8, 11.
            const char* b = reinterpret_cast<const char*>(cell[0]);
            __m128 v0 = _mm_loadu_ps(reinterpret_cast<const float*>(b));
            __m128 v1 = _mm_loadu_ps(reinterpret_cast<const float*>(b + 16));
            __m128 v2 = _mm_loadu_ps(reinterpret_cast<const float*>(b + 32));
            __m128 t1 = _mm_shuffle_ps(v1, v2, _MM_SHUFFLE(0, 1, 0, 2));
            colors = _mm_castps_si128(_mm_shuffle_ps(v0, t1, _MM_SHUFFLE(2, 0, 3, 0)));
            __m128 t2 = _mm_shuffle_ps(v0, v1, _MM_SHUFFLE(1, 1, 2, 2));
            __m128 t3 = _mm_shuffle_ps(v2, v2, _MM_SHUFFLE(3, 3, 0, 0));
            layers = _mm_castps_si128(_mm_shuffle_ps(t2, t3, _MM_SHUFFLE(2, 0, 2, 0)));
        } else {
            alignas(16) float ev[4];
            _mm_store_ps(ev, e);
            for (int l = 0; l < 4; ++l) {
                hmap[row | ((xa + l) & MASK)] -= ev[l];
                cell[l] = &surface[row | ((xa + l) & MASK)];
            }
            colors = _mm_setr_epi32(int(cell[0]->color), int(cell[1]->color), int(cell[2]->color),
                                    int(cell[3]->color));
            layers = _mm_setr_epi32(int(field_word(*cell[0])), int(field_word(*cell[1])),
                                    int(field_word(*cell[2])), int(field_word(*cell[3])));
        }
        Colors4 cc = unpack4(colors);
        acc.r = _mm_add_ps(acc.r, _mm_mul_ps(cc.r, e));
        acc.g = _mm_add_ps(acc.g, _mm_mul_ps(cc.g, e));
        acc.b = _mm_add_ps(acc.b, _mm_mul_ps(cc.b, e));
        acc.a = _mm_add_ps(acc.a, _mm_mul_ps(cc.a, e));
        esum = _mm_add_ps(esum, e);
        __m128i bare =
            _mm_cmpeq_epi32(_mm_and_si128(layers, _mm_set1_epi32(0xF0)), _mm_setzero_si128());
        if (int strip = m & ~_mm_movemask_ps(_mm_castsi128_ps(bare)))
            for (int l = 0; l < 4; ++l)
                if (strip & (1 << l)) cell[l]->surf_type = ST_OPEN, cell[l]->surf_color = 0;
    }
    _MM_TRANSPOSE4_PS(acc.r, acc.g, acc.b, acc.a);
    __m128 taken = _mm_add_ps(_mm_add_ps(acc.r, acc.g), _mm_add_ps(acc.b, acc.a));
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
int run_droplet(const ErosionParams& p, ErosionStats& st) {
    int ix = int(rnd_step() & MASK);
    int iz = int(rnd_step() & MASK);
    float px = float(ix), pz = float(iz), fx = 0.0f, fz = 0.0f;
    Corners q = corners_at(ix, iz);
    float h = q.h00;
    float dx = 0.0f, dz = 0.0f, v = 0.0f, w = 1.0f, s = 0.0f;
    __m128 c = _mm_setzero_ps();
    const float Ki = p.Ki, Kq = p.Kq, Kr = p.Kr, Kd = p.Kd, g2 = 2.0f * p.g;
    const float wkeep = 1.0f - p.Kw, min_slope = p.minSlope;

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

        if (h <= hn) {
            float need = hn - h + 0.001f;
            if (s <= need) {
                deposit(s, ix, iz, fx, fz, c, p);
                return step;
            }
            deposit(need, ix, iz, fx, fz, c, p);
            s -= need;
            v = 0.0f;
            h = hn + 0.001f;
        }
        float drop = h - hn;
        float capacity = std::max(drop, min_slope) * v * w * Kq;
        if (s < capacity) {
            float E = std::min((capacity - s) * Kr, 0.99f * drop);
            erode(E, px, pz, ix, iz, s, c);
            drop -= E;
            s += E;
        } else {
            float D = (s - capacity) * Kd;
            deposit(D, ix, iz, fx, fz, c, p);
            drop += D;
            s -= D;
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
    for (unsigned i = 0; i < count; ++i) {
        if (i && !(i & 16383) && erosion_progress_hook)
            erosion_progress_hook("Calculating erosion", (float(i) + 0.5f) / float(count));
        int steps = run_droplet(params, st);
        if (steps > EROSION_MAX_STEPS) {
            debug("droplet #%d path is too long!", int(i));
            ++st.long_paths;
            steps = EROSION_MAX_STEPS;
        }
        st.steps += unsigned(steps);
    }
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
