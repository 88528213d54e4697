#include "world/sample_world.h"

#include "world/erosion.h"
#include "world/hmGen.h"
#include "world/rnd.h"

#include <cstring>

namespace {

uint64_t fnv1a(uint64_t h, const void* data, size_t n) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 0x100000001B3ull;
    return h;
}

// Brown soil fading to green, weight rising with the noise value.
ColorRamp soil_ramp() {
    ColorRamp r;
    for (int i = 0; i <= 256; ++i) {
        float t = float(i) / 256.0f;
        r.e[i] = make4f(0.45f - 0.2f * t, 0.35f + 0.2f * t, 0.2f, 0.3f + 0.6f * t);
    }
    return r;
}

} // namespace

void generate_sample_world(uint64_t seed, unsigned erosion_droplets) {
    using namespace HeightmapData;
    static ColorRamp ramp = soil_ramp();
    game_rnd_seed = seed;
    reset();
    reseed_noise();
    addFastNoise(0.0f, 24.0f, &ramp, GT_SOIL, 255, 0.55f);
    addSimplexNoise(0.0f, 30.0f, 2, 6, 0.5f);
    addVoronoiHills(8, 0.0f, 18.0f, 0.9f);
    genVoronoiFaults(4, 0.0f, 12.0f, 0.5f, 2, 3, 2.0f);
    for (int i = 0; i < 3; ++i) {
        Point2 c{rnd_float() * 256.0f, rnd_float() * 256.0f};
        Point2 d{rnd_float() - 0.5f, rnd_float() - 0.5f};
        genFault(c, d, 10.0f, 0.75f, 3.0f, &ramp, GT_SAND, 255, hmap);
    }
    genCrater({rnd_float() * 256.0f, rnd_float() * 256.0f}, 9.0f, 1.2f, hmap);
    recenterHt();
    ErosionParams params;
    genDropletErosion(erosion_droplets, params);
    placeHouse(int(rnd_step() & 255), int(rnd_step() & 255), -1, hmap, true);
    for (int i = 0; i < 4; ++i)
        placeHouse(int(rnd_step() & 255), int(rnd_step() & 255), i, hmap, false);
    memcpy(target_hmap, hmap, sizeof(hmap));
    addWater(0.25f);
    for (int i = 0; i < 40; ++i) simWater(0.05f);
}

uint64_t hash_world() {
    using namespace HeightmapData;
    uint64_t h = 0xCBF29CE484222325ull;
    h = fnv1a(h, hmap, sizeof(hmap));
    h = fnv1a(h, surface, sizeof(surface));
    return fnv1a(h, water, sizeof(water));
}
