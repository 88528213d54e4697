// Noise primitives over the shared random state: 1D and tileable 2D gradient noise and
// tileable cellular (Voronoi) queries.
#pragma once

#include <cstdint>

struct Point2 {
    float x, y; // y is the map's z
};

extern uint8_t noise_perm[512]; // a permutation of 0..255, repeated
extern float noise_rnd[512];    // feature point offsets in [0, 1): (rnd[2h], rnd[2h + 1])

void reseed_noise(); // rebuilds both tables from game_rnd_seed

float noise1(float x);
float tiled_noise2(float x, float y, int tile); // period tile, a power of two up to 256
// tiled_noise2 at (xs[i], y) for i < n into out[i], sharing the work of the row.
void tiled_noise2_row(const float* xs, int n, float y, int tile, float* out);

// Feature points of the 3 x 3 cells around (x, y); null outputs are skipped.
void tiled_voronoi_noise2_all9(float x, float y, int tile_shift, Point2 out[9], int ids[9]);
// The four nearest of those, nearest first (earlier candidates win ties).
void tiled_voronoi_noise2_near4(float x, float y, int tile_shift, float dist2[4], int ids[4],
                                Point2 out[4]);

inline int noise_hash(int x, int z) {
    return noise_perm[noise_perm[z & 255] + (x & 255)];
}
inline int voronoi_id_hash(int id) {
    return noise_hash(id & 255, (id >> 16) & 255);
}
