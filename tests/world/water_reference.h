// The water step written plainly: four passes in index order, transport in place. The
// engine must match it bit for bit; its benchmark runs against it.
#pragma once

#include "world/heightmap.h"

#include <algorithm>
#include <cstring>

namespace water_reference {

using namespace HeightmapData;

inline float& hm(int x, int z) {
    return hmap[hm_index(x, z)];
}

// The step exactly as described: four passes in index order, transport in place.
inline void sim_water(float dt) {
    static Water snap[256][256];
    static float od[HMAP_CELLS];
    float b = std::min(dt, 1.0f);
    float damp = float(std::max(0.0, 1.0 - 0.1 * double(dt)));
    float gain = 10.0f * dt, move = 4.0f * dt, foam_keep = std::max(0.0f, 1.0f - 5.0f * dt);
    memcpy(snap, water, sizeof(snap));
    for (int z = 0; z < 256; ++z)
        for (int x = 0; x < 256; ++x) {
            Water& w = water[z][x];
            w.flow_x =
                (snap[z][(x - 1) & 255].flow_x + snap[z][(x + 1) & 255].flow_x) * (b / 3.0f) +
                snap[z][x].flow_x * (1.0f - 2.0f * b / 3.0f);
            w.flow_z =
                (snap[(z - 1) & 255][x].flow_z + snap[(z + 1) & 255][x].flow_z) * (b / 3.0f) +
                snap[z][x].flow_z * (1.0f - 2.0f * b / 3.0f);
        }
    for (int z = 0; z < 256; ++z)
        for (int x = 0; x < 256; ++x) {
            Water& w = water[z][x];
            float d = w.depth, h = hm(x, z), L = h + d;
            float de = waterAt(x + 1, z).depth, he = hm(x + 1, z), Le = he + de;
            float ds = waterAt(x, z + 1).depth, hs = hm(x, z + 1), Ls = hs + ds;
            float A = std::max(0.0f, std::min(L - he, d)), B = std::max(0.0f, std::min(Le - h, de));
            if ((w.flow_x >= 0 && A <= 0) || (w.flow_x < 0 && B <= 0)) w.flow_x = 0, w.foam += 0.1f;
            float ax = (L - Le) * gain;
            w.flow_x = w.flow_x * damp + ax;
            A = std::max(0.0f, std::min(L - hs, d)), B = std::max(0.0f, std::min(Ls - h, ds));
            if ((w.flow_z >= 0 && A <= 0) || (w.flow_z < 0 && B <= 0)) w.flow_z = 0, w.foam += 0.1f;
            float az = (L - Ls) * gain;
            w.flow_z = w.flow_z * damp + az;
            w.foam = std::min(1.0f, (ax * ax + az * az) * 3.2f + w.foam * foam_keep);
        }
    for (int i = 0; i < HMAP_CELLS; ++i) od[i] = water[i >> 8][i & 255].depth;
    for (int z = 0; z < 256; ++z)
        for (int x = 0; x < 256; ++x) {
            float d0 = od[hm_index(x, z)];
            if (d0 <= 0) continue;
            float L0 = hm(x, z) + d0;
            float west = -waterAt(x - 1, z).flow_x, north = -waterAt(x, z - 1).flow_z;
            float east = water[z][x].flow_x, south = water[z][x].flow_z;
            if (west < 0 || hm(x - 1, z) > L0) west = 0;
            if (north < 0 || hm(x, z - 1) > L0) north = 0;
            if (east < 0 || hm(x + 1, z) > L0) east = 0;
            if (south < 0 || hm(x, z + 1) > L0) south = 0;
            float total = south + east + west + north;
            float amount = total * move;
            if (amount <= 0.001f) continue;
            amount = std::min(amount, d0);
            water[z][x].depth -= amount;
            waterAt(x - 1, z).depth += amount * (west / total);
            waterAt(x, z - 1).depth += amount * (north / total);
            waterAt(x + 1, z).depth += amount * (east / total);
            waterAt(x, z + 1).depth += amount * (south / total);
        }
    memcpy(tmpw, snap, sizeof(snap));
}

} // namespace water_reference
