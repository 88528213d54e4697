// A fixed sequence of generators, erosion and water steps: the reference world of a seed,
// used by worldtool and by the determinism tests.
#pragma once

#include <cstdint>

// Builds the reference world of seed into the HeightmapData arrays.
void generate_sample_world(uint64_t seed, unsigned erosion_droplets = 40000);

// FNV-1a over hmap, surface and water, in that order.
uint64_t hash_world();
