// Droplet erosion written plainly, one scalar at a time, in the order the engine sums:
// the yardstick that the optimised genDropletErosion must match bit for bit, and the
// baseline its benchmark runs against.
#pragma once

#include "world/det_math.h"
#include "world/erosion.h"
#include "world/heightmap.h"
#include "world/rnd.h"

#include <cmath>

namespace erosion_reference {

using namespace HeightmapData;

inline float byte_to_unit(uint32_t c, int shift) {
    return float((c >> shift) & 255u) / 255.0f;
}

inline uint32_t unit_to_byte(float v) {
    v = v > 0.0f ? v : 0.0f; // NaN as 0
    v = v < 1.0f ? v : 1.0f;
    return uint32_t(std::nearbyint(v * 255.0f));
}

inline void read_color(uint32_t c, float out[4]) {
    out[0] = byte_to_unit(c, 16), out[1] = byte_to_unit(c, 8), out[2] = byte_to_unit(c, 0);
    out[3] = byte_to_unit(c, 24);
}

inline uint32_t write_color(const float v[4]) {
    return unit_to_byte(v[3]) << 24 | unit_to_byte(v[0]) << 16 | unit_to_byte(v[1]) << 8 |
           unit_to_byte(v[2]);
}

inline void react(float col[4], const ErosionParams& p) {
    float T = p.reactionTime;
    for (int sub = 0; sub < 10 && T > 0.0f; ++sub) {
        float R[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        for (const ErosionReaction& r : p.reactions) {
            float prod = 1.0f;
            for (int j = 0; j < 4; ++j) {
                if (r.n[j] <= 0) continue;
                float pw = col[j];
                for (int n = 1; n < r.n[j]; ++n) pw *= col[j];
                prod *= pw;
            }
            for (int j = 0; j < 4; ++j) R[j] += r.k[j] * prod;
        }
        float dt = T;
        for (int j = 0; j < 4; ++j)
            if (R[j] < 0.0f && -col[j] / R[j] < dt) dt = -col[j] / R[j];
        for (int j = 0; j < 4; ++j) col[j] += dt * R[j];
        T -= dt;
    }
}

inline void deposit(float A, int ix, int iz, float fx, float fz, const float c[4],
                    const ErosionParams& p) {
    if (!(A > 0.0f)) return;
    const float wx[4] = {1.0f - fx, fx, 1.0f - fx, fx}, wz[4] = {1.0f - fz, 1.0f - fz, fz, fz};
    const int cx[4] = {ix, ix + 1, ix, ix + 1}, cz[4] = {iz, iz, iz + 1, iz + 1};
    for (int k = 0; k < 4; ++k) {
        float a = A * wx[k] * wz[k];
        if (!(a > 0.0f)) continue;
        float b = 1.0f - det_exp(a * -p.depositBlend);
        int cell = hm_index(cx[k], cz[k]);
        Surface& s = surface[cell];
        hmap[cell] += a;
        if (s.surf_type != ST_GRASS) s.surf_type = ST_OPEN, s.surf_color = 0;
        float col[4];
        read_color(s.color, col);
        for (int j = 0; j < 4; ++j) col[j] = col[j] + (c[j] - col[j]) * b;
        if (p.reactionTime > 0.0f && p.reactions.num > 0) react(col, p);
        s.color = write_color(col);
    }
}

// Sums column by column over the rows, then the columns pairwise.
inline void erode(float E, float px, float pz, int ix, int iz, float s, float c[4]) {
    if (!(E > 0.0f)) return;
    float kE = E * 0.15915494f, taken[4][4] = {}, esum[4] = {};
    for (int r = 0; r < 4; ++r) {
        float dz = float(iz - 1 + r) - pz;
        for (int l = 0; l < 4; ++l) {
            float dx = float(ix - 1 + l) - px;
            float k = 1.0f - (dx * dx + dz * dz) * 0.25f;
            if (!(k > 0.0f)) continue;
            float e = k * kE;
            int cell = hm_index(ix - 1 + l, iz - 1 + r);
            hmap[cell] -= e;
            surface[cell].surf_type = ST_OPEN, surface[cell].surf_color = 0;
            float col[4];
            read_color(surface[cell].color, col);
            for (int j = 0; j < 4; ++j) taken[l][j] += col[j] * e;
            esum[l] += e;
        }
    }
    float etotal = (esum[0] + esum[2]) + (esum[1] + esum[3]);
    float den = s + etotal;
    if (!(den > 0.0f)) return;
    for (int j = 0; j < 4; ++j)
        c[j] = (c[j] * s + ((taken[0][j] + taken[1][j]) + (taken[2][j] + taken[3][j]))) / den;
}

inline float height(int x, int z) {
    return hmap[hm_index(x, z)];
}

// One droplet; returns its steps, or EROSION_MAX_STEPS + 1 for a cut path.
inline int droplet(const ErosionParams& p, ErosionStats& st) {
    int ix = int(rnd_step() & 255), iz = int(rnd_step() & 255);
    float px = float(ix), pz = float(iz), fx = 0.0f, fz = 0.0f;
    float h = height(ix, iz), dx = 0.0f, dz = 0.0f, v = 0.0f, w = 1.0f, s = 0.0f;
    float c[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    // Corners as read when the droplet arrived, before its own erosion or deposit there.
    float h00 = height(ix, iz), h10 = height(ix + 1, iz), h01 = height(ix, iz + 1),
          h11 = height(ix + 1, iz + 1);
    for (int step = 0; step < EROSION_MAX_STEPS; ++step) {
        float gx = (h00 + h01) - (h10 + h11), gz = (h00 + h10) - (h01 + h11);
        dx = gx + (dx - gx) * p.Ki;
        dz = gz + (dz - gz) * p.Ki;
        float len = std::sqrt(dx * dx + dz * dz);
        if (len <= 1.1920929e-7f) {
            det_sincos_2pi(rnd_float(), &dx, &dz);
            ++st.random_dirs;
        } else {
            dx /= len;
            dz /= len;
        }
        float npx = px + dx, npz = pz + dz;
        if (!(std::fabs(npx) < 1e6f && std::fabs(npz) < 1e6f)) return step;
        int nix = hm_floor(npx), niz = hm_floor(npz);
        float nfx = npx - float(nix), nfz = npz - float(niz);
        float n00 = height(nix, niz), n10 = height(nix + 1, niz), n01 = height(nix, niz + 1),
              n11 = height(nix + 1, niz + 1);
        float ha = n00 + (n10 - n00) * nfx, hb = n01 + (n11 - n01) * nfx;
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
        float capacity = std::max(drop, p.minSlope) * v * w * p.Kq;
        if (s < capacity) {
            float E = std::min((capacity - s) * p.Kr, 0.99f * drop);
            erode(E, px, pz, ix, iz, s, c);
            drop -= E;
            s += E;
        } else {
            float D = (s - capacity) * p.Kd;
            deposit(D, ix, iz, fx, fz, c, p);
            drop += D;
            s -= D;
        }
        v = std::sqrt(v * v + 2.0f * p.g * drop);
        w *= 1.0f - p.Kw;
        px = npx, pz = npz, ix = nix, iz = niz, fx = nfx, fz = nfz, h = hn;
        h00 = n00, h10 = n10, h01 = n01, h11 = n11;
    }
    return EROSION_MAX_STEPS + 1;
}

// count droplets; returns the total steps (cut paths count EROSION_MAX_STEPS).
inline unsigned long long run(unsigned count, const ErosionParams& p) {
    ErosionStats st{0, 0, 0};
    for (unsigned i = 0; i < count; ++i) {
        int steps = droplet(p, st);
        st.steps += unsigned(steps > EROSION_MAX_STEPS ? EROSION_MAX_STEPS : steps);
    }
    return st.steps;
}

} // namespace erosion_reference
