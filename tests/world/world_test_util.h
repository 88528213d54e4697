// Helpers shared by the world tests.
#pragma once

#include "world/heightmap.h"

#include <cstdint>
#include <cstring>

inline uint64_t fnv_bytes(const void* data, size_t n) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    uint64_t h = 0xCBF29CE484222325ull;
    for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 0x100000001B3ull;
    return h;
}

inline uint32_t float_bits(float f) {
    uint32_t u;
    memcpy(&u, &f, 4);
    return u;
}

inline float& hm(int x, int z) {
    return HeightmapData::hmap[hm_index(x, z)];
}
