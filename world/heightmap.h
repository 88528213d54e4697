// The wrapping 256 x 256 world grid: heights, water and surface records shared by the
// generators, the water simulation, the renderer and the game-object module.
#pragma once

#include "platform/game_export.h"

#include <cstdint>
#include <emmintrin.h>

constexpr int HMAP_SIZE = 256;
constexpr int HMAP_SIZE_SHIFT = 8;
constexpr int HMAP_CELLS = HMAP_SIZE * HMAP_SIZE;

// Ground types as the world script sees them; GT_NONE passed to a generator keeps the type.
enum { GT_NONE = -1, GT_HOUSE = 0, GT_ROCK = 1, GT_SAND = 2, GT_SOIL = 3 };
enum { ST_OPEN = 0, ST_NONE = 0, ST_GRASS = 1, ST_ASH = 2, ST_SNOW = 3, ST_ROAD = 4 };

// Flat index of the wrapped cell (x, z); x is the fast index.
inline int hm_index(int x, int z) {
    return ((z & (HMAP_SIZE - 1)) << HMAP_SIZE_SHIFT) | (x & (HMAP_SIZE - 1));
}

namespace HeightmapData {

struct Water {
    float depth;  // water column above the ground, never negative after a step
    float flow_x; // towards x + 1 (negative: arriving from x + 1), depth per second / 4
    float flow_z; // towards z + 1
    float foam;   // 0..1
};

struct Surface {
    uint32_t color;      // ground colour, 0xAARRGGBB
    uint32_t surf_color; // colour of the surface layer; 0 with surf_type 0
    int ground_type : 4; // GT_ values, signed so that GT_NONE reads back as -1
    unsigned surf_type : 4;
    unsigned tile_rot : 3; // house tile orientation code
    unsigned tile : 21;    // index into HeightmapRenderer::house_tile_info
};

static_assert(sizeof(Water) == 16 && sizeof(Surface) == 12);

alignas(64) GAME_EXPORT extern float hmap[HMAP_CELLS];
alignas(64) GAME_EXPORT extern float target_hmap[HMAP_CELLS];
alignas(64) GAME_EXPORT extern Water water[HMAP_SIZE][HMAP_SIZE]; // [z][x]
// State at the start of the last step.
alignas(64) GAME_EXPORT extern Water tmpw[HMAP_SIZE][HMAP_SIZE];
alignas(64) GAME_EXPORT extern Surface surface[HMAP_CELLS];
alignas(64) extern float old_depth[HMAP_CELLS]; // scratch of simWater

GAME_EXPORT void reset();
GAME_EXPORT void calcHtRange(float& min, float& max);
GAME_EXPORT float recenterHt(); // centres the hmap range on 0, returns half the range
void updateHmap(float dt);
void morphHmap(float dt, float* out); // out: HMAP_CELLS floats, 16-byte aligned
GAME_EXPORT void addWater(float amount);

void simWater(float dt);
// simWater takes eight points at a time where the CPU has AVX2 (same results); tests clear
// it to check the four-wide path too.
extern bool water_wide;
// Highest land (or water) level over the square [x - r, x + r] x [z - r, z + r] minus pos.y.
GAME_EXPORT __m128 calcSquareDepth(__m128 pos, float r, bool with_water);

inline Water& waterAt(int x, int z) {
    return water[z & (HMAP_SIZE - 1)][x & (HMAP_SIZE - 1)];
}

} // namespace HeightmapData
